// OLE Automation values through oleaut32: TVarData is the VARIANT record, so
// the calls reinterpret it in place.
#include "platform/Ole.h"

#include <windows.h>  // brings in the OLE Automation declarations

#include <cstddef>

namespace plat {
namespace {

static_assert(sizeof(OleChar) == sizeof(OLECHAR), "OLECHAR size");
static_assert(sizeof(TVarData) == sizeof(VARIANT), "VARIANT size");
static_assert(offsetof(TVarData, VType) == offsetof(VARIANT, vt), "vt offset");
static_assert(offsetof(TVarData, VDouble) == offsetof(VARIANT, dblVal), "value offset");
static_assert(offsetof(TVarData, VRecordPair.VRecInfo) == offsetof(VARIANT, pRecInfo),
              "record offset");

VARIANT* AsVariant(TVarData& value) {
  return reinterpret_cast<VARIANT*>(&value);
}

// oleaut32 takes the source of a copy or conversion as non-const but does not
// change it.
VARIANT* AsSource(const TVarData& value) {
  return const_cast<VARIANT*>(reinterpret_cast<const VARIANT*>(&value));
}

}  // namespace

BStr SysAllocStringLen(const OleChar* text, std::uint32_t length) {
  return reinterpret_cast<BStr>(
      ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length));
}

BStr SysAllocString(std::u16string_view text) {
  return SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
}

void SysFreeString(BStr text) {
  ::SysFreeString(reinterpret_cast<BSTR>(text));
}

std::uint32_t SysStringLen(BStr text) {
  return ::SysStringLen(reinterpret_cast<BSTR>(text));
}

void VariantInit(TVarData& value) {
  ::VariantInit(AsVariant(value));
}

HResult VariantClear(TVarData& value) {
  return ::VariantClear(AsVariant(value));
}

HResult VariantCopy(TVarData& dest, const TVarData& source) {
  if (&dest == &source) return kSOk;
  return ::VariantCopy(AsVariant(dest), AsSource(source));
}

HResult VariantChangeType(TVarData& dest, const TVarData& source, std::uint16_t flags,
                          std::uint16_t vt) {
  return ::VariantChangeType(AsVariant(dest), AsSource(source), flags, vt);
}

}  // namespace plat
