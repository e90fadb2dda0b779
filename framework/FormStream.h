// The binary form stream: the format in which forms (components, their
// properties and child components) travel as resources and in the options
// dialog package. Pure code over bytes; thread-safe (no shared state).
//
// Layout: the signature "TPF0", then one component record:
//   [flags]     optional: a byte 0xF0|flags (1 inherited, 2 child position,
//               4 inline), followed by an integer value when flag 2 is set
//   class name  one length byte, then the bytes
//   name        one length byte, then the bytes
//   properties  each a length-prefixed name and a typed value, ended by an
//               empty name (one zero byte)
//   children    component records, ended by a zero byte
// A value is one type byte (TValueType) and its payload; integers and
// lengths are little-endian. See docs/forms.md.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace form {

enum class TValueType : std::uint8_t {
  vaNull = 0,
  vaList = 1,  // values up to a vaNull byte
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,  // 10-byte x87 extended float
  vaString = 6,    // one length byte, 8-bit text
  vaIdent = 7,     // one length byte: enumeration value, colour, handler name
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,   // 32-bit length, bytes
  vaSet = 11,      // length-prefixed names up to an empty name
  vaLString = 12,  // 32-bit length, 8-bit text
  vaNil = 13,
  vaCollection = 14,  // items (each an optional integer index and a property
                      // list ended by an empty name) up to a vaNull byte
  vaSingle = 15,      // 4-byte float
  vaCurrency = 16,    // 64-bit integer, value times 10000
  vaDate = 17,        // 8-byte double, days since 1899-12-30
  vaWString = 18,     // 32-bit length in UTF-16 units, UTF-16LE
  vaInt64 = 19,
  vaUTF8String = 20,  // 32-bit length in bytes, UTF-8
  vaDouble = 21,      // 8-byte double
};
inline constexpr std::uint8_t kLastValueType = 21;

// A stream that cannot be read: truncated, a length beyond its end, an
// unknown value type, nesting too deep. The message says what and where.
class EFormStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TFormItem;

// One typed value. Which fields carry it depends on Type:
//   Int      vaInt8/16/32/64 and vaCurrency (scaled by 10000)
//   Float    vaSingle, vaDate, vaDouble
//   Bytes    vaString, vaLString, vaIdent, vaUTF8String, vaBinary, and the
//            ten raw bytes of vaExtended (so every value round-trips exactly)
//   Wide     vaWString
//   Names    vaSet
//   List     vaList
//   Items    vaCollection
struct TFormValue {
  TValueType Type = TValueType::vaNull;
  std::int64_t Int = 0;
  double Float = 0;
  std::string Bytes;
  std::u16string Wide;
  std::vector<std::string> Names;
  std::vector<TFormValue> List;
  std::vector<TFormItem> Items;

  // Makers for the common kinds; MakeInt picks the smallest integer type.
  static TFormValue MakeInt(std::int64_t value);
  static TFormValue MakeBool(bool value);
  static TFormValue MakeString(std::string_view text);  // vaString, or vaLString past 255
  static TFormValue MakeIdent(std::string_view name);
  static TFormValue MakeExtended(double value);
  static TFormValue MakeWide(std::u16string_view text);
  // vaExtended's value as a double (rounded; infinities and NaN kept).
  double ExtendedValue() const;
  bool IsInteger() const;

  friend bool operator==(const TFormValue&, const TFormValue&) = default;
};

struct TFormProperty {
  std::string Name;
  TFormValue Value;
  friend bool operator==(const TFormProperty&, const TFormProperty&) = default;
};

// One collection item. HasIndex: the item carries an integer index value
// before its properties (IndexValue, an integer TFormValue).
struct TFormItem {
  bool HasIndex = false;
  TFormValue IndexValue;
  std::vector<TFormProperty> Properties;
  friend bool operator==(const TFormItem&, const TFormItem&) = default;
};

inline constexpr std::uint8_t kFlagInherited = 1;
inline constexpr std::uint8_t kFlagChildPos = 2;
inline constexpr std::uint8_t kFlagInline = 4;

struct TFormObject {
  std::uint8_t Flags = 0;
  std::int32_t ChildPos = 0;  // with kFlagChildPos
  std::string ClassName;
  std::string Name;
  std::vector<TFormProperty> Properties;
  std::vector<TFormObject> Children;

  // The property of that name (exact match), or nil.
  const TFormProperty* FindProperty(std::string_view name) const;
  // This object or the first descendant (depth first) of that name, compared
  // without regard to ASCII case; nil when there is none.
  const TFormObject* FindComponent(std::string_view name) const;

  friend bool operator==(const TFormObject&, const TFormObject&) = default;
};

// Objects, lists and collections nest at most this deep.
inline constexpr int kMaxFormDepth = 64;

// Reads a whole stream ("TPF0" and one component record); bytes after the
// record are ignored. Raises EFormStreamError.
TFormObject ReadFormStream(std::string_view bytes);
// True when bytes start with the signature.
bool HasFormSignature(std::string_view bytes);

// The stream of root. Raises EFormStreamError for what the format cannot
// hold (a name or vaString/vaIdent text over 255 bytes, an empty name, a
// non-integer collection index, nesting too deep).
std::string WriteFormStream(const TFormObject& root);

// 10-byte x87 extended <-> double, independent of the compiler's long double.
std::array<std::uint8_t, 10> DoubleToExtended(double value);
double ExtendedToDouble(const std::uint8_t* bytes);

}  // namespace form
