#include "framework/FormStream.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace form {

namespace {

constexpr std::string_view kSignature = "TPF0";

bool IsAsciiSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// ---- reading ----

class TReader {
 public:
  explicit TReader(std::string_view bytes) : FBytes(bytes) {}

  TFormObject ReadRoot() {
    if (!HasFormSignature(FBytes)) throw EFormStreamError("Form stream: no TPF0 signature");
    FPos = kSignature.size();
    return ReadObject(0);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EFormStreamError("Form stream: " + what + " at offset " + std::to_string(FPos));
  }
  void Need(std::size_t count) const {
    if (count > FBytes.size() - FPos)
      Fail("truncated (" + std::to_string(count) + " bytes needed)");
  }
  std::uint8_t Byte() {
    Need(1);
    return static_cast<std::uint8_t>(FBytes[FPos++]);
  }
  std::uint8_t PeekByte() const {
    Need(1);
    return static_cast<std::uint8_t>(FBytes[FPos]);
  }
  std::uint64_t Unsigned(int size) {
    Need(static_cast<std::size_t>(size));
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
      value = (value << 8) | static_cast<std::uint8_t>(FBytes[FPos + static_cast<std::size_t>(i)]);
    FPos += static_cast<std::size_t>(size);
    return value;
  }
  std::string Bytes(std::size_t count) {
    Need(count);
    std::string out(FBytes.substr(FPos, count));
    FPos += count;
    return out;
  }
  std::string ShortString() { return Bytes(Byte()); }
  std::size_t Length32() { return static_cast<std::size_t>(Unsigned(4)); }

  void CheckDepth(int depth) const {
    if (depth > kMaxFormDepth) Fail("nesting deeper than " + std::to_string(kMaxFormDepth));
  }

  TFormObject ReadObject(int depth) {
    CheckDepth(depth);
    TFormObject object;
    if ((PeekByte() & 0xF0) == 0xF0) {
      object.Flags = Byte() & 0x0F;
      if (object.Flags & kFlagChildPos) {
        TFormValue pos = ReadValue(depth + 1);
        if (!pos.IsInteger() || pos.Type == TValueType::vaInt64)
          Fail("child position is no integer");
        object.ChildPos = static_cast<std::int32_t>(pos.Int);
      }
    }
    object.ClassName = ShortString();
    object.Name = ShortString();
    object.Properties = ReadProperties(depth);
    while (PeekByte() != 0) object.Children.push_back(ReadObject(depth + 1));
    ++FPos;
    return object;
  }

  std::vector<TFormProperty> ReadProperties(int depth) {
    std::vector<TFormProperty> properties;
    for (;;) {
      std::string name = ShortString();
      if (name.empty()) return properties;
      TFormValue value = ReadValue(depth + 1);
      properties.push_back({std::move(name), std::move(value)});
    }
  }

  TFormValue ReadValue(int depth) {
    CheckDepth(depth);
    const std::size_t at = FPos;
    const std::uint8_t code = Byte();
    if (code > kLastValueType) {
      FPos = at;
      Fail("unknown value type " + std::to_string(code));
    }
    TFormValue value;
    value.Type = static_cast<TValueType>(code);
    ReadPayload(value, depth);
    return value;
  }

  void ReadPayload(TFormValue& value, int depth) {
    switch (value.Type) {
      case TValueType::vaNull:
      case TValueType::vaFalse:
      case TValueType::vaTrue:
      case TValueType::vaNil:
        return;
      case TValueType::vaInt8:
        value.Int = static_cast<std::int64_t>(Unsigned(1) ^ 0x80) - 0x80;  // sign-extended
        return;
      case TValueType::vaInt16:
        value.Int = static_cast<std::int16_t>(Unsigned(2));
        return;
      case TValueType::vaInt32:
        value.Int = static_cast<std::int32_t>(Unsigned(4));
        return;
      case TValueType::vaInt64:
      case TValueType::vaCurrency:
        value.Int = static_cast<std::int64_t>(Unsigned(8));
        return;
      case TValueType::vaExtended:
        value.Bytes = Bytes(10);
        return;
      case TValueType::vaSingle:
        value.Float = std::bit_cast<float>(static_cast<std::uint32_t>(Unsigned(4)));
        return;
      case TValueType::vaDate:
      case TValueType::vaDouble:
        value.Float = std::bit_cast<double>(Unsigned(8));
        return;
      case TValueType::vaString:
      case TValueType::vaIdent:
        value.Bytes = ShortString();
        return;
      case TValueType::vaLString:
      case TValueType::vaUTF8String:
      case TValueType::vaBinary:
        value.Bytes = Bytes(Length32());
        return;
      case TValueType::vaWString:
        ReadWide(value);
        return;
      case TValueType::vaSet:
        for (std::string name = ShortString(); !name.empty(); name = ShortString())
          value.Names.push_back(std::move(name));
        return;
      case TValueType::vaList:
        while (PeekByte() != 0) value.List.push_back(ReadValue(depth + 1));
        ++FPos;
        return;
      case TValueType::vaCollection:
        ReadItems(value, depth);
        return;
    }
  }

  void ReadWide(TFormValue& value) {
    const std::size_t units = Length32();
    if (units > (FBytes.size() - FPos) / 2) Fail("UTF-16 length beyond the end");
    value.Wide.resize(units);
    for (std::size_t i = 0; i < units; ++i) value.Wide[i] = static_cast<char16_t>(Unsigned(2));
  }

  void ReadItems(TFormValue& value, int depth) {
    while (PeekByte() != 0) {
      TFormItem item;
      const std::uint8_t code = PeekByte();
      if (code == 2 || code == 3 || code == 4) {
        item.HasIndex = true;
        item.IndexValue = ReadValue(depth + 1);
      }
      if (Byte() != static_cast<std::uint8_t>(TValueType::vaList)) Fail("collection item expected");
      item.Properties = ReadProperties(depth + 1);
      value.Items.push_back(std::move(item));
    }
    ++FPos;
  }

  std::string_view FBytes;
  std::size_t FPos = 0;
};

// ---- writing ----

class TWriter {
 public:
  std::string Out;

  void WriteObject(const TFormObject& object, int depth) {
    CheckDepth(depth);
    // A class name of 240 characters or more starts with a byte the reader
    // takes for the flags prefix: such an object always carries the prefix.
    if (object.Flags != 0 || object.ClassName.size() >= 0xF0) {
      if (object.Flags > 0x0F) throw EFormStreamError("Form flags out of range in " + object.Name);
      Out.push_back(static_cast<char>(0xF0 | object.Flags));
      if (object.Flags & kFlagChildPos) WriteValue(TFormValue::MakeInt(object.ChildPos), depth + 1);
    }
    if (object.ClassName.empty()) throw EFormStreamError("Form object without a class name");
    ShortString(object.ClassName, "class name");
    ShortString(object.Name, "component name");
    WriteProperties(object.Properties, depth);
    for (const TFormObject& child : object.Children) WriteObject(child, depth + 1);
    Out.push_back('\0');
  }

 private:
  static void CheckDepth(int depth) {
    if (depth > kMaxFormDepth)
      throw EFormStreamError("Form nesting deeper than " + std::to_string(kMaxFormDepth));
  }
  void Unsigned(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) Out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
  void ShortString(std::string_view text, const char* what) {
    if (text.size() > 255)
      throw EFormStreamError(std::string("Form ") + what +
                             " longer than 255 bytes: " + std::string(text.substr(0, 40)) + "...");
    Out.push_back(static_cast<char>(text.size()));
    Out.append(text);
  }
  void Length32(std::size_t length) {
    if (length > 0x7FFFFFFF) throw EFormStreamError("Form value longer than 2 GB");
    Unsigned(length, 4);
  }

  void WriteProperties(const std::vector<TFormProperty>& properties, int depth) {
    for (const TFormProperty& property : properties) {
      if (property.Name.empty()) throw EFormStreamError("Form property without a name");
      ShortString(property.Name, "property name");
      WriteValue(property.Value, depth + 1);
    }
    Out.push_back('\0');
  }

  void WriteValue(const TFormValue& value, int depth) {
    CheckDepth(depth);
    Out.push_back(static_cast<char>(value.Type));
    switch (value.Type) {
      case TValueType::vaNull:
      case TValueType::vaFalse:
      case TValueType::vaTrue:
      case TValueType::vaNil:
        return;
      case TValueType::vaInt8:
        return CheckedInt(value.Int, 1);
      case TValueType::vaInt16:
        return CheckedInt(value.Int, 2);
      case TValueType::vaInt32:
        return CheckedInt(value.Int, 4);
      case TValueType::vaInt64:
      case TValueType::vaCurrency:
        return Unsigned(static_cast<std::uint64_t>(value.Int), 8);
      case TValueType::vaExtended:
        if (value.Bytes.size() != 10) throw EFormStreamError("Extended value without 10 bytes");
        Out.append(value.Bytes);
        return;
      case TValueType::vaSingle:
        return Unsigned(std::bit_cast<std::uint32_t>(static_cast<float>(value.Float)), 4);
      case TValueType::vaDate:
      case TValueType::vaDouble:
        return Unsigned(std::bit_cast<std::uint64_t>(value.Float), 8);
      case TValueType::vaString:
        return ShortString(value.Bytes, "string");
      case TValueType::vaIdent:
        if (value.Bytes.empty()) throw EFormStreamError("Empty identifier value");
        return ShortString(value.Bytes, "identifier");
      case TValueType::vaLString:
      case TValueType::vaUTF8String:
      case TValueType::vaBinary:
        Length32(value.Bytes.size());
        Out.append(value.Bytes);
        return;
      case TValueType::vaWString:
        Length32(value.Wide.size());
        for (char16_t unit : value.Wide) Unsigned(unit, 2);
        return;
      case TValueType::vaSet:
        return WriteSet(value);
      case TValueType::vaList:
        return WriteList(value, depth);
      case TValueType::vaCollection:
        return WriteItems(value, depth);
    }
    throw EFormStreamError("Unknown value type " + std::to_string(static_cast<int>(value.Type)));
  }

  void CheckedInt(std::int64_t value, int size) {
    const std::int64_t limit = std::int64_t{1} << (8 * size - 1);
    if (value < -limit || value >= limit)
      throw EFormStreamError("Integer " + std::to_string(value) + " does not fit its type");
    Unsigned(static_cast<std::uint64_t>(value), size);
  }

  void WriteSet(const TFormValue& value) {
    for (const std::string& name : value.Names) {
      if (name.empty()) throw EFormStreamError("Empty name in a set");
      ShortString(name, "set element");
    }
    Out.push_back('\0');
  }

  void WriteList(const TFormValue& value, int depth) {
    for (const TFormValue& item : value.List) {
      if (item.Type == TValueType::vaNull) throw EFormStreamError("Null value inside a list");
      WriteValue(item, depth + 1);
    }
    Out.push_back('\0');
  }

  void WriteItems(const TFormValue& value, int depth) {
    for (const TFormItem& item : value.Items) {
      if (item.HasIndex) {
        const TValueType t = item.IndexValue.Type;
        if (t != TValueType::vaInt8 && t != TValueType::vaInt16 && t != TValueType::vaInt32)
          throw EFormStreamError("Collection index is no 8-, 16- or 32-bit integer");
        WriteValue(item.IndexValue, depth + 1);
      }
      Out.push_back(static_cast<char>(TValueType::vaList));
      WriteProperties(item.Properties, depth + 1);
    }
    Out.push_back('\0');
  }
};

}  // namespace

TFormValue TFormValue::MakeInt(std::int64_t value) {
  TFormValue v;
  v.Int = value;
  if (value >= -128 && value <= 127)
    v.Type = TValueType::vaInt8;
  else if (value >= -32768 && value <= 32767)
    v.Type = TValueType::vaInt16;
  else if (value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max())
    v.Type = TValueType::vaInt32;
  else
    v.Type = TValueType::vaInt64;
  return v;
}

TFormValue TFormValue::MakeBool(bool value) {
  TFormValue v;
  v.Type = value ? TValueType::vaTrue : TValueType::vaFalse;
  return v;
}

TFormValue TFormValue::MakeString(std::string_view text) {
  TFormValue v;
  v.Type = text.size() > 255 ? TValueType::vaLString : TValueType::vaString;
  v.Bytes = std::string(text);
  return v;
}

TFormValue TFormValue::MakeIdent(std::string_view name) {
  TFormValue v;
  v.Type = TValueType::vaIdent;
  v.Bytes = std::string(name);
  return v;
}

TFormValue TFormValue::MakeExtended(double value) {
  TFormValue v;
  v.Type = TValueType::vaExtended;
  const auto bytes = DoubleToExtended(value);
  v.Bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return v;
}

TFormValue TFormValue::MakeWide(std::u16string_view text) {
  TFormValue v;
  v.Type = TValueType::vaWString;
  v.Wide = std::u16string(text);
  return v;
}

double TFormValue::ExtendedValue() const {
  if (Bytes.size() != 10) return 0;
  return ExtendedToDouble(reinterpret_cast<const std::uint8_t*>(Bytes.data()));
}

bool TFormValue::IsInteger() const {
  return Type == TValueType::vaInt8 || Type == TValueType::vaInt16 || Type == TValueType::vaInt32 ||
         Type == TValueType::vaInt64;
}

const TFormProperty* TFormObject::FindProperty(std::string_view name) const {
  for (const TFormProperty& property : Properties)
    if (property.Name == name) return &property;
  return nullptr;
}

const TFormObject* TFormObject::FindComponent(std::string_view name) const {
  if (IsAsciiSameText(Name, name)) return this;
  for (const TFormObject& child : Children)
    if (const TFormObject* found = child.FindComponent(name)) return found;
  return nullptr;
}

bool HasFormSignature(std::string_view bytes) {
  return bytes.substr(0, kSignature.size()) == kSignature;
}

TFormObject ReadFormStream(std::string_view bytes) {
  return TReader(bytes).ReadRoot();
}

std::string WriteFormStream(const TFormObject& root) {
  TWriter writer;
  writer.Out.append(kSignature);
  writer.WriteObject(root, 0);
  return writer.Out;
}

// x87 extended: sign and 15-bit exponent (bias 16383) in the top two bytes,
// a 64-bit significand with an explicit integer bit below.
std::array<std::uint8_t, 10> DoubleToExtended(double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const std::uint16_t sign = static_cast<std::uint16_t>((bits >> 63) << 15);
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t fraction = bits & 0xFFFFFFFFFFFFFull;
  std::uint16_t exp16 = 0;
  std::uint64_t mantissa = 0;
  if (exponent == 0x7FF) {  // infinity or NaN
    exp16 = 0x7FFF;
    mantissa = 0x8000000000000000ull | (fraction << 11);
  } else if (exponent != 0) {
    exp16 = static_cast<std::uint16_t>(exponent - 1023 + 16383);
    mantissa = 0x8000000000000000ull | (fraction << 11);
  } else if (fraction != 0) {  // subnormal double: normalise
    int shift = std::countl_zero(fraction) - 11;
    fraction <<= shift;
    exp16 = static_cast<std::uint16_t>(1 - 1023 + 16383 - shift);
    mantissa = fraction << 11;
  }
  exp16 |= sign;
  std::array<std::uint8_t, 10> out{};
  for (int i = 0; i < 8; ++i)
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mantissa >> (8 * i));
  out[8] = static_cast<std::uint8_t>(exp16 & 0xFF);
  out[9] = static_cast<std::uint8_t>(exp16 >> 8);
  return out;
}

double ExtendedToDouble(const std::uint8_t* bytes) {
  std::uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | bytes[i];
  const std::uint16_t exp16 = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
  const bool negative = (exp16 & 0x8000) != 0;
  const int exponent = exp16 & 0x7FFF;
  double result;
  if (exponent == 0x7FFF) {
    result = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::quiet_NaN();
  } else if (mantissa == 0) {
    result = 0;
  } else {
    // ldexp rounds correctly for the exponent; the significand is exact to
    // 64 bits and rounds once into the double.
    result = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  }
  return negative ? -result : result;
}

}  // namespace form
