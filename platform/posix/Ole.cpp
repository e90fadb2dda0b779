// BSTR and VARIANT basics in the Windows memory layout: a BSTR points just
// past a 4-byte length in bytes and is followed by a NUL.
#include "platform/Ole.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/posix/OleConvert.h"

namespace plat {
namespace {

bool IsInterface(std::uint16_t vt) {
  return vt == varDispatch || vt == varUnknown;
}

// Types whose change is handled here; others are copied or refused.
bool IsSupported(std::uint16_t vt) {
  switch (vt) {
    case varEmpty:
    case varNull:
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
    case varOleStr:
    case varBoolean:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varUInt64:
      return true;
    default:
      return false;
  }
}

// Known OLE types a value of the supported set cannot become.
bool IsKnownOther(std::uint16_t vt) {
  return vt == varDispatch || vt == varError || vt == varVariant || vt == varUnknown ||
         vt == 14 /* decimal */;
}

HResult CheckTypes(std::uint16_t from, std::uint16_t to) {
  if (!IsSupported(from)) return kDispEBadVarType;
  if (IsSupported(to)) return kSOk;
  return IsKnownOther(to) ? kDispETypeMismatch : kDispEBadVarType;
}

}  // namespace

BStr SysAllocStringLen(const OleChar* text, std::uint32_t length) {
  const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OleChar);
  auto* block = static_cast<unsigned char*>(std::malloc(4 + bytes + sizeof(OleChar)));
  if (block == nullptr) return nullptr;
  const auto prefix = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &prefix, 4);
  auto* chars = reinterpret_cast<OleChar*>(block + 4);
  if (text != nullptr) std::memcpy(chars, text, bytes);
  chars[length] = u'\0';
  return chars;
}

BStr SysAllocString(std::u16string_view text) {
  return SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
}

void SysFreeString(BStr text) {
  if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - 4);
}

std::uint32_t SysStringLen(BStr text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - 4, 4);
  return bytes / sizeof(OleChar);
}

void VariantInit(TVarData& value) {
  value.VType = varEmpty;
  value.Reserved1 = value.Reserved2 = value.Reserved3 = 0;
  value.VRecordPair = {nullptr, nullptr};
}

HResult VariantClear(TVarData& value) {
  if (value.VType == varOleStr) {
    SysFreeString(value.VOleStr);
  } else if (IsInterface(value.VType) && value.VUnknown != nullptr) {
    value.VUnknown->Release();
  }
  VariantInit(value);
  return kSOk;
}

HResult VariantCopy(TVarData& dest, const TVarData& source) {
  if (&dest == &source) return kSOk;
  VariantClear(dest);
  dest = source;
  if (source.VType == varOleStr && source.VOleStr != nullptr) {
    dest.VOleStr = SysAllocStringLen(source.VOleStr, SysStringLen(source.VOleStr));
    if (dest.VOleStr == nullptr) {
      VariantInit(dest);
      return kEOutOfMemory;
    }
  } else if (IsInterface(source.VType) && source.VUnknown != nullptr) {
    source.VUnknown->AddRef();
  }
  return kSOk;
}

HResult VariantChangeType(TVarData& dest, const TVarData& source, std::uint16_t flags,
                          std::uint16_t vt) {
  try {
    TVarData result;
    VariantInit(result);
    HResult hr = kSOk;
    if (vt == source.VType) {
      hr = VariantCopy(result, source);
    } else {
      hr = CheckTypes(source.VType, vt);
      if (Succeeded(hr)) hr = detail::ChangeTypeInto(result, source, flags, vt);
    }
    if (!Succeeded(hr)) {
      VariantClear(result);
      return hr;
    }
    VariantClear(dest);  // after the conversion: dest may be the source
    dest = result;
    return kSOk;
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  } catch (...) {
    return kEUnexpected;
  }
}

}  // namespace plat
