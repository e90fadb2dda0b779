#include "params/Variants.h"

#include <cstring>
#include <new>

#include "platform/Text.h"

namespace {

using plat::TVarData;

void Check(plat::HResult hr, std::uint16_t from, std::uint16_t to) {
  if (plat::Succeeded(hr)) return;
  if (hr == plat::kEOutOfMemory) throw std::bad_alloc();
  std::string what = hr == plat::kDispEOverflow ? "Overflow while converting variant of type ("
                                                : "Could not convert variant of type (";
  throw EVariantError(what + VarTypeName(from) + ") into type (" + VarTypeName(to) + ")", hr);
}

plat::BStr AllocBStr(std::u16string_view text) {
  plat::BStr result = plat::SysAllocString(text);
  if (!result && !text.empty()) throw std::bad_alloc();
  return result;
}

}  // namespace

OleVariant::OleVariant(const OleVariant& other) {
  plat::VariantInit(FData);
  Check(plat::VariantCopy(FData, other.FData), other.FData.VType, other.FData.VType);
}

OleVariant::OleVariant(OleVariant&& other) noexcept : FData(other.Detach()) {}

OleVariant& OleVariant::operator=(const OleVariant& other) {
  if (this != &other) {
    OleVariant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

OleVariant& OleVariant::operator=(OleVariant&& other) noexcept {
  if (this != &other) {
    plat::VariantClear(FData);
    FData = other.Detach();
  }
  return *this;
}

OleVariant::OleVariant(std::int32_t value) : OleVariant() {
  Set(plat::varInteger, &plat::TVarData::VInteger, value);
}
OleVariant::OleVariant(std::int16_t value) : OleVariant() {
  Set(plat::varSmallint, &plat::TVarData::VSmallInt, value);
}
OleVariant::OleVariant(std::int8_t value) : OleVariant() {
  Set(plat::varShortInt, &plat::TVarData::VShortInt, value);
}
OleVariant::OleVariant(std::uint8_t value) : OleVariant() {
  Set(plat::varByte, &plat::TVarData::VByte, value);
}
OleVariant::OleVariant(std::uint16_t value) : OleVariant() {
  Set(plat::varWord, &plat::TVarData::VWord, value);
}
OleVariant::OleVariant(std::uint32_t value) : OleVariant() {
  Set(plat::varLongWord, &plat::TVarData::VLongWord, value);
}
OleVariant::OleVariant(std::int64_t value) : OleVariant() {
  Set(plat::varInt64, &plat::TVarData::VInt64, value);
}
OleVariant::OleVariant(std::uint64_t value) : OleVariant() {
  Set(plat::varUInt64, &plat::TVarData::VUInt64, value);
}
OleVariant::OleVariant(float value) : OleVariant() {
  Set(plat::varSingle, &plat::TVarData::VSingle, value);
}
OleVariant::OleVariant(double value) : OleVariant() {
  Set(plat::varDouble, &plat::TVarData::VDouble, value);
}
OleVariant::OleVariant(bool value) : OleVariant() {
  FData.VType = plat::varBoolean;
  FData.VBoolean = value ? plat::kVariantTrue : plat::kVariantFalse;
}
OleVariant::OleVariant(std::string_view ansi)
    : OleVariant(std::u16string_view(plat::AnsiToWide(ansi))) {}
OleVariant::OleVariant(std::u16string_view wide) : OleVariant() {
  FData.VOleStr = AllocBStr(wide);
  FData.VType = plat::varOleStr;
}

OleVariant OleVariant::Null() {
  OleVariant result;
  result.FData.VType = plat::varNull;
  return result;
}

OleVariant OleVariant::Currency(std::int64_t scaledBy10000) {
  OleVariant result;
  result.Set(plat::varCurrency, &plat::TVarData::VCurrency, scaledBy10000);
  return result;
}

OleVariant OleVariant::Date(double oleDate) {
  OleVariant result;
  result.Set(plat::varDate, &plat::TVarData::VDate, oleDate);
  return result;
}

OleVariant OleVariant::FromHost(const TVarData& value, THostText text) {
  OleVariant result;
  if (value.VType == plat::varString || value.VType == plat::varUString) {
    bool ansi = value.VType == plat::varString && text == THostText::Ansi;
    if (!value.VPointer) return OleVariant(std::u16string_view());
    if (ansi) return OleVariant(std::string_view(value.VString));
    return OleVariant(std::u16string_view(value.VUString, plat::WideLength(value.VUString)));
  }
  Check(plat::VariantCopy(result.FData, value), value.VType, value.VType);
  return result;
}

TVarData OleVariant::Detach() noexcept {
  TVarData raw = FData;
  plat::VariantInit(FData);
  return raw;
}

void OleVariant::Clear() noexcept {
  plat::VariantClear(FData);
}

OleVariant OleVariant::ChangedType(std::uint16_t vt) const {
  // The host's string types are never stored: text targets mean OLE text.
  if (vt == plat::varString || vt == plat::varUString) vt = plat::varOleStr;
  if (vt == FData.VType) return *this;
  OleVariant result;
  Check(plat::VariantChangeType(result.FData, FData, 0, vt), FData.VType, vt);
  return result;
}

std::u16string OleVariant::AsWideString() const {
  OleVariant text = ChangedType(plat::varOleStr);
  plat::BStr s = text.FData.VOleStr;
  return std::u16string(s ? s : u"", plat::SysStringLen(s));
}

std::string OleVariant::AsAnsiString() const {
  return plat::WideToAnsi(AsWideString());
}

std::int32_t OleVariant::AsInteger() const {
  return ChangedType(plat::varInteger).FData.VInteger;
}

std::int64_t OleVariant::AsInt64() const {
  return ChangedType(plat::varInt64).FData.VInt64;
}

double OleVariant::AsDouble() const {
  return ChangedType(plat::varDouble).FData.VDouble;
}

bool OleVariant::AsBoolean() const {
  return ChangedType(plat::varBoolean).FData.VBoolean != 0;
}

bool operator==(const OleVariant& a, const OleVariant& b) {
  const TVarData& x = a.Data();
  const TVarData& y = b.Data();
  if (x.VType != y.VType) return false;
  switch (x.VType) {
    case plat::varEmpty:
    case plat::varNull:
      return true;
    case plat::varOleStr:
      return a.AsWideString() == b.AsWideString();
    case plat::varSmallint:
    case plat::varBoolean:
    case plat::varWord:
      return x.VWord == y.VWord;
    case plat::varShortInt:
    case plat::varByte:
      return x.VByte == y.VByte;
    case plat::varInteger:
    case plat::varSingle:
    case plat::varLongWord:
    case plat::varError:
      return x.VLongWord == y.VLongWord;
    default:
      return x.VUInt64 == y.VUInt64;
  }
}

std::string VarTypeName(std::uint16_t vt) {
  static const char* const kNames[] = {
      "Empty",    "Null",     "Smallint", "Integer",  "Single",  "Double",  "Currency", "Date",
      "OleStr",   "Dispatch", "Error",    "Boolean",  "Variant", "Unknown", "Decimal",  "$0F",
      "ShortInt", "Byte",     "Word",     "LongWord", "Int64",   "UInt64"};
  std::uint16_t base = vt & plat::varTypeMask;
  std::string name;
  if (base < sizeof(kNames) / sizeof(kNames[0]))
    name = kNames[base];
  else if (base == plat::varString)
    name = "String";
  else if (base == plat::varUString)
    name = "UnicodeString";
  else
    name = "$" + std::to_string(base);
  if (vt & plat::varArray) name = "Array " + name;
  if (vt & plat::varByRef) name = "ByRef " + name;
  return name;
}
