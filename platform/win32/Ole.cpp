// OLE Automation values through oleaut32: TVarData is the VARIANT record, so
// the calls reinterpret it in place.
#include "platform/Ole.h"

#include <float.h>
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

// oleaut32's conversions compute in the x87 unit in 32-bit processes, with
// the precision the process set: a mingw program or a host may set 64 bits
// of mantissa, which rounds dates differently from every other build (one
// bit in the last place). Conversions run with the 53 bits of a double, the
// same results as the 64-bit and posix builds; the caller's setting is
// restored afterwards.
class DoublePrecisionScope {
 public:
#if defined(__i386__)
  DoublePrecisionScope() : saved_(_controlfp(0, 0)) {
    _controlfp(_PC_53, _MCW_PC);
  }
  ~DoublePrecisionScope() {
    _controlfp(saved_, _MCW_PC);
  }

 private:
  unsigned saved_;
#endif
};

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
  [[maybe_unused]] const DoublePrecisionScope precision;
  return ::VariantChangeType(AsVariant(dest), AsSource(source), flags, vt);
}

}  // namespace plat
