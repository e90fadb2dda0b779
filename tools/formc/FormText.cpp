#include "tools/formc/FormText.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <vector>

namespace form {

namespace {

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '.';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at text[pos]; false when it is not valid.
bool DecodeUtf8(std::string_view text, std::size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<std::uint8_t>(text[pos]);
  int extra = b0 < 0x80             ? 0
              : (b0 & 0xE0) == 0xC0 ? 1
              : (b0 & 0xF0) == 0xE0 ? 2
              : (b0 & 0xF8) == 0xF0 ? 3
                                    : -1;
  if (extra < 0 || pos + static_cast<std::size_t>(extra) >= text.size()) return false;
  static constexpr std::uint8_t kMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = b0 & kMask[extra];
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<std::uint8_t>(text[pos + static_cast<std::size_t>(i)]);
    if ((b & 0xC0) != 0x80) return false;
    value = (value << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (value < kMin[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  pos += static_cast<std::size_t>(extra) + 1;
  cp = value;
  return true;
}

// ---- parsing ----

class TParser {
 public:
  explicit TParser(std::string_view text) : FText(text) {}

  TFormObject Parse() {
    SkipBlank();
    TFormObject root = ParseObject(0);
    SkipBlank();
    if (FPos < FText.size()) Fail("text after the last \"end\"");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < FPos && i < FText.size(); ++i) {
      if (FText[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw EFormTextError(std::to_string(line) + ":" + std::to_string(column) + ": " + what);
  }

  bool AtEnd() const { return FPos >= FText.size(); }
  char Peek(std::size_t ahead = 0) const {
    return FPos + ahead < FText.size() ? FText[FPos + ahead] : '\0';
  }

  void SkipBlank() {
    while (!AtEnd()) {
      const char c = Peek();
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++FPos;
      } else if (c == '/' && Peek(1) == '/') {
        while (!AtEnd() && Peek() != '\n') ++FPos;
      } else {
        return;
      }
    }
  }

  void Expect(char c) {
    SkipBlank();
    if (Peek() != c) Fail(std::string("\"") + c + "\" expected");
    ++FPos;
  }

  std::string Ident() {
    SkipBlank();
    if (!IsIdentStart(Peek())) Fail("name expected");
    const std::size_t start = FPos;
    while (IsIdentChar(Peek())) ++FPos;
    return std::string(FText.substr(start, FPos - start));
  }

  std::string PeekIdent() {
    SkipBlank();
    std::size_t end = FPos;
    if (!IsIdentStart(Peek())) return {};
    while (end < FText.size() && IsIdentChar(FText[end])) ++end;
    return std::string(FText.substr(FPos, end - FPos));
  }

  void CheckDepth(int depth) const {
    if (depth > kMaxFormDepth) Fail("nesting deeper than " + std::to_string(kMaxFormDepth));
  }

  static bool IsObjectKeyword(std::string_view word) {
    return SameText(word, "object") || SameText(word, "inherited") || SameText(word, "inline");
  }

  TFormObject ParseObject(int depth) {
    CheckDepth(depth);
    TFormObject object;
    const std::string keyword = Ident();
    if (SameText(keyword, "inherited"))
      object.Flags |= kFlagInherited;
    else if (SameText(keyword, "inline"))
      object.Flags |= kFlagInline;
    else if (!SameText(keyword, "object"))
      Fail("\"object\", \"inherited\" or \"inline\" expected");
    SkipBlank();
    if (Peek() != ':') object.Name = Ident();
    Expect(':');
    object.ClassName = Ident();
    SkipBlank();
    if (Peek() == '[') {
      ++FPos;
      object.Flags |= kFlagChildPos;
      object.ChildPos = static_cast<std::int32_t>(IntegerIn(
          std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
      Expect(']');
    }
    for (;;) {
      const std::string word = PeekIdent();
      if (word.empty()) Fail("property, object or \"end\" expected");
      if (SameText(word, "end")) {
        FPos += word.size();
        return object;
      }
      if (IsObjectKeyword(word)) {
        object.Children.push_back(ParseObject(depth + 1));
      } else {
        object.Properties.push_back(ParseProperty(depth));
      }
    }
  }

  TFormProperty ParseProperty(int depth) {
    TFormProperty property;
    property.Name = Ident();
    if (property.Name.size() > 255) Fail("property name longer than 255 bytes");
    Expect('=');
    property.Value = ParseValue(depth + 1);
    return property;
  }

  TFormValue ParseValue(int depth) {
    CheckDepth(depth);
    SkipBlank();
    const char c = Peek();
    if (c == '-' || IsDigit(c) || c == '$') return ParseNumber();
    if (c == '\'' || c == '#') return ParseString('\0');
    if ((c == 'a' || c == 'l' || c == 'u' || c == 'w') && (Peek(1) == '\'' || Peek(1) == '#')) {
      ++FPos;
      return ParseString(c);
    }
    if (c == '[') return ParseSet();
    if (c == '(') return ParseList(depth);
    if (c == '<') return ParseCollection(depth);
    if (c == '{') return ParseBinary();
    if (IsIdentStart(c)) return ParseIdentValue();
    Fail("value expected");
  }

  TFormValue ParseIdentValue() {
    const std::string word = Ident();
    TFormValue value;
    if (SameText(word, "True")) return TFormValue::MakeBool(true);
    if (SameText(word, "False")) return TFormValue::MakeBool(false);
    if (SameText(word, "nil")) {
      value.Type = TValueType::vaNil;
      return value;
    }
    if (SameText(word, "Null")) return value;  // vaNull
    if (word.size() > 255) Fail("identifier longer than 255 bytes");
    return TFormValue::MakeIdent(word);
  }

  // An integer (decimal or $hex, optional minus) within [low, high].
  std::int64_t IntegerIn(std::int64_t low, std::int64_t high) {
    SkipBlank();
    const bool negative = Peek() == '-';
    if (negative) ++FPos;
    std::uint64_t magnitude = 0;
    const bool hex = Peek() == '$';
    if (hex) ++FPos;
    const std::size_t start = FPos;
    const int base = hex ? 16 : 10;
    while (!AtEnd() && (hex ? HexDigit(Peek()) >= 0 : IsDigit(Peek()))) {
      const auto digit = static_cast<std::uint64_t>(HexDigit(Peek()));
      if (magnitude >
          (std::numeric_limits<std::uint64_t>::max() - digit) / static_cast<std::uint64_t>(base))
        Fail("number too large");
      magnitude = magnitude * static_cast<std::uint64_t>(base) + digit;
      ++FPos;
    }
    if (FPos == start) Fail("digits expected");
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (magnitude > limit) Fail("number too large");
    const std::int64_t value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < low || value > high) Fail("number out of range");
    return value;
  }

  TFormValue ParseNumber() {
    const std::size_t start = FPos;
    std::size_t scan = FPos;
    if (scan < FText.size() && FText[scan] == '-') ++scan;
    bool isFloat = false;
    if (scan < FText.size() && FText[scan] != '$') {
      while (scan < FText.size() && IsDigit(FText[scan])) ++scan;
      if (scan < FText.size() && (FText[scan] == '.' || FText[scan] == 'e' || FText[scan] == 'E'))
        isFloat = true;
    }
    if (!isFloat) {
      TFormValue value = TFormValue::MakeInt(IntegerIn(std::numeric_limits<std::int64_t>::min(),
                                                       std::numeric_limits<std::int64_t>::max()));
      if (Peek() == 'L') {  // forced 64-bit
        ++FPos;
        value.Type = TValueType::vaInt64;
      }
      return value;
    }
    while (scan < FText.size() && (IsDigit(FText[scan]) || FText[scan] == '.' ||
                                   FText[scan] == 'e' || FText[scan] == 'E' ||
                                   ((FText[scan] == '-' || FText[scan] == '+') &&
                                    (FText[scan - 1] == 'e' || FText[scan - 1] == 'E'))))
      ++scan;
    const std::string_view number = FText.substr(start, scan - start);
    FPos = scan;
    const char suffix = Peek();
    TFormValue value;
    if (suffix == 'c') {
      ++FPos;
      value.Type = TValueType::vaCurrency;
      value.Int = ParseCurrency(number);
      return value;
    }
    double parsed = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), parsed);
    if (error != std::errc() || end != number.data() + number.size()) {
      FPos = start;
      Fail("malformed number");
    }
    switch (suffix) {
      case 's': {
        float single = 0;
        std::from_chars(number.data(), number.data() + number.size(), single);
        value.Type = TValueType::vaSingle;
        value.Float = single;
        break;
      }
      case 't':
        value.Type = TValueType::vaDate;
        value.Float = parsed;
        break;
      case 'r':
        value.Type = TValueType::vaDouble;
        value.Float = parsed;
        break;
      default:
        return TFormValue::MakeExtended(parsed);
    }
    ++FPos;
    return value;
  }

  // Exact decimal to 1/10000 units, without going through a double.
  std::int64_t ParseCurrency(std::string_view number) {
    bool negative = false;
    std::size_t i = 0;
    if (i < number.size() && number[i] == '-') {
      negative = true;
      ++i;
    }
    std::uint64_t scaled = 0;
    int decimals = -1;
    const auto push = [&](int digit) {
      if (scaled > (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(digit)) / 10)
        Fail("currency out of range");
      scaled = scaled * 10 + static_cast<unsigned>(digit);
    };
    for (; i < number.size(); ++i) {
      const char c = number[i];
      if (c == '.' && decimals < 0) {
        decimals = 0;
        continue;
      }
      if (!IsDigit(c) || decimals >= 4) Fail("currency needs plain digits and at most 4 decimals");
      push(c - '0');
      if (decimals >= 0) ++decimals;
    }
    for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) push(0);
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (scaled > limit) Fail("currency out of range");
    return negative ? static_cast<std::int64_t>(0 - scaled) : static_cast<std::int64_t>(scaled);
  }

  // Quoted pieces and #char codes, joined by adjacency or "+".
  std::u32string StringPieces() {
    std::u32string out;
    for (;;) {
      const char c = Peek();
      if (c == '\'') {
        ++FPos;
        for (;;) {
          if (AtEnd() || Peek() == '\n') Fail("unterminated string");
          if (Peek() == '\'') {
            if (Peek(1) != '\'') break;
            ++FPos;
          }
          char32_t cp = 0;
          if (!DecodeUtf8(FText, FPos, cp)) Fail("text is not UTF-8");
          out.push_back(cp);
        }
        ++FPos;
      } else if (c == '#') {
        ++FPos;
        out.push_back(static_cast<char32_t>(IntegerIn(0, 0x10FFFF)));
      } else {
        const std::size_t save = FPos;
        SkipBlank();
        if (Peek() == '+') {
          ++FPos;
          SkipBlank();
          if (Peek() != '\'' && Peek() != '#') Fail("string expected after \"+\"");
          continue;
        }
        FPos = save;
        return out;
      }
    }
  }

  TFormValue ParseString(char prefix) {
    const std::size_t start = FPos;
    const std::u32string text = StringPieces();
    bool ascii = true, latin1 = true;
    for (char32_t cp : text) {
      ascii = ascii && cp < 0x80;
      latin1 = latin1 && cp <= 0xFF;
    }
    TFormValue value;
    if (prefix == '\0') prefix = ascii ? 'a' : 'w';
    if (prefix == 'a' || prefix == 'l') {
      if (!latin1) {
        FPos = start;
        Fail("8-bit string with a character above #255");
      }
      for (char32_t cp : text) value.Bytes.push_back(static_cast<char>(cp));
      value.Type =
          prefix == 'l' || value.Bytes.size() > 255 ? TValueType::vaLString : TValueType::vaString;
    } else if (prefix == 'u') {
      for (char32_t cp : text) AppendUtf8(value.Bytes, cp);
      value.Type = TValueType::vaUTF8String;
    } else {
      for (char32_t cp : text) {
        if (cp >= 0x10000) {
          value.Wide.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
          value.Wide.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
          value.Wide.push_back(static_cast<char16_t>(cp));
        }
      }
      value.Type = TValueType::vaWString;
    }
    return value;
  }

  TFormValue ParseSet() {
    Expect('[');
    TFormValue value;
    value.Type = TValueType::vaSet;
    SkipBlank();
    if (Peek() == ']') {
      ++FPos;
      return value;
    }
    for (;;) {
      value.Names.push_back(Ident());
      if (value.Names.back().size() > 255) Fail("set element longer than 255 bytes");
      SkipBlank();
      if (Peek() == ']') {
        ++FPos;
        return value;
      }
      Expect(',');
    }
  }

  TFormValue ParseList(int depth) {
    Expect('(');
    TFormValue value;
    value.Type = TValueType::vaList;
    for (;;) {
      SkipBlank();
      if (Peek() == ')') {
        ++FPos;
        return value;
      }
      if (AtEnd()) Fail("\")\" expected");
      value.List.push_back(ParseValue(depth + 1));
      if (value.List.back().Type == TValueType::vaNull) Fail("Null cannot stand in a list");
    }
  }

  TFormValue ParseCollection(int depth) {
    Expect('<');
    TFormValue value;
    value.Type = TValueType::vaCollection;
    for (;;) {
      SkipBlank();
      if (Peek() == '>') {
        ++FPos;
        return value;
      }
      if (!SameText(PeekIdent(), "item")) Fail("\"item\" or \">\" expected");
      FPos += 4;
      TFormItem item;
      SkipBlank();
      if (Peek() == '[') {
        ++FPos;
        item.HasIndex = true;
        item.IndexValue = TFormValue::MakeInt(IntegerIn(std::numeric_limits<std::int32_t>::min(),
                                                        std::numeric_limits<std::int32_t>::max()));
        Expect(']');
      }
      for (;;) {
        const std::string word = PeekIdent();
        if (word.empty()) Fail("property or \"end\" expected");
        if (SameText(word, "end")) {
          FPos += 3;
          break;
        }
        item.Properties.push_back(ParseProperty(depth + 1));
      }
      value.Items.push_back(std::move(item));
    }
  }

  TFormValue ParseBinary() {
    Expect('{');
    TFormValue value;
    value.Type = TValueType::vaBinary;
    for (;;) {
      SkipBlank();
      if (Peek() == '}') {
        ++FPos;
        return value;
      }
      const int high = HexDigit(Peek());
      const int low = HexDigit(Peek(1));
      if (high < 0 || low < 0) Fail("pairs of hexadecimal digits expected");
      value.Bytes.push_back(static_cast<char>(high * 16 + low));
      FPos += 2;
    }
  }

  std::string_view FText;
  std::size_t FPos = 0;
};

// ---- writing text ----

class TTextWriter {
 public:
  std::string Out;

  void Object(const TFormObject& object, int indent) {
    Indent(indent);
    Out += (object.Flags & kFlagInherited) ? "inherited "
           : (object.Flags & kFlagInline)  ? "inline "
                                           : "object ";
    Out += object.Name.empty() ? ": " : object.Name + ": ";
    Out += object.ClassName;
    if (object.Flags & kFlagChildPos) Out += " [" + std::to_string(object.ChildPos) + "]";
    Out += "\n";
    Properties(object.Properties, indent + 1);
    for (const TFormObject& child : object.Children) Object(child, indent + 1);
    Indent(indent);
    Out += "end\n";
  }

 private:
  void Indent(int level) { Out.append(static_cast<std::size_t>(level) * 2, ' '); }

  void Properties(const std::vector<TFormProperty>& properties, int indent) {
    for (const TFormProperty& property : properties) {
      Indent(indent);
      Out += property.Name + " = ";
      Value(property.Value, indent);
      Out += "\n";
    }
  }

  static std::string Double(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
  }

  // Code points as quoted runs of printable ASCII and #codes.
  void Quoted(const std::u32string& text) {
    if (text.empty()) {
      Out += "''";
      return;
    }
    bool open = false;
    for (char32_t cp : text) {
      if (cp >= 0x20 && cp < 0x7F) {
        if (!open) Out += '\'';
        open = true;
        if (cp == '\'') Out += '\'';
        Out += static_cast<char>(cp);
      } else {
        if (open) Out += '\'';
        open = false;
        Out += '#';
        Out += std::to_string(static_cast<std::uint32_t>(cp));
      }
    }
    if (open) Out += '\'';
  }

  void Text(const TFormValue& value) {
    std::u32string points;
    char prefix = 'a';
    if (value.Type == TValueType::vaWString) {
      prefix = 'w';
      for (char16_t unit : value.Wide) points.push_back(unit);  // surrogates stay units
    } else if (value.Type == TValueType::vaUTF8String) {
      prefix = 'u';
      for (std::size_t pos = 0; pos < value.Bytes.size();) {
        char32_t cp = 0;
        if (!DecodeUtf8(value.Bytes, pos, cp)) {
          cp = 0xFFFD;
          ++pos;
        }
        points.push_back(cp);
      }
    } else {
      for (char c : value.Bytes) points.push_back(static_cast<std::uint8_t>(c));
      if (value.Type == TValueType::vaLString && value.Bytes.size() <= 255) prefix = 'l';
    }
    bool ascii = true;
    for (char32_t cp : points) ascii = ascii && cp < 0x80;
    // The prefix is left out where the default rule picks the same type.
    const bool needed =
        prefix == 'u' || prefix == 'l' || (prefix == 'a' && !ascii) || (prefix == 'w' && ascii);
    if (needed) Out += prefix;
    Quoted(points);
  }

  void Value(const TFormValue& value, int indent) {
    switch (value.Type) {
      case TValueType::vaNull:
        Out += "Null";
        return;
      case TValueType::vaNil:
        Out += "nil";
        return;
      case TValueType::vaFalse:
        Out += "False";
        return;
      case TValueType::vaTrue:
        Out += "True";
        return;
      case TValueType::vaInt8:
      case TValueType::vaInt16:
      case TValueType::vaInt32:
        Out += std::to_string(value.Int);
        return;
      case TValueType::vaInt64:
        Out += std::to_string(value.Int);
        if (TFormValue::MakeInt(value.Int).Type != TValueType::vaInt64) Out += "L";
        return;
      case TValueType::vaExtended:
        Out += Double(value.ExtendedValue());
        return;
      case TValueType::vaSingle: {
        char buffer[64];
        auto result =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value.Float));
        std::string text(buffer, result.ptr);
        if (text.find_first_of(".e") == std::string::npos) text += ".0";
        Out += text + "s";
        return;
      }
      case TValueType::vaDate:
        Out += Double(value.Float) + "t";
        return;
      case TValueType::vaDouble:
        Out += Double(value.Float) + "r";
        return;
      case TValueType::vaCurrency:
        Currency(value.Int);
        return;
      case TValueType::vaIdent:
        Out += value.Bytes;
        return;
      case TValueType::vaString:
      case TValueType::vaLString:
      case TValueType::vaWString:
      case TValueType::vaUTF8String:
        Text(value);
        return;
      case TValueType::vaBinary:
        Binary(value.Bytes, indent);
        return;
      case TValueType::vaSet:
        Set(value);
        return;
      case TValueType::vaList:
        List(value, indent);
        return;
      case TValueType::vaCollection:
        Collection(value, indent);
        return;
    }
  }

  void Currency(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    Out += (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction + "c";
  }

  void Binary(const std::string& bytes, int indent) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Out += "{";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (i % 32 == 0) {
        Out += "\n";
        Indent(indent + 1);
      }
      const auto b = static_cast<std::uint8_t>(bytes[i]);
      Out += kHex[b >> 4];
      Out += kHex[b & 15];
    }
    Out += "}";
  }

  void Set(const TFormValue& value) {
    Out += "[";
    for (std::size_t i = 0; i < value.Names.size(); ++i) Out += (i ? ", " : "") + value.Names[i];
    Out += "]";
  }

  void List(const TFormValue& value, int indent) {
    Out += "(";
    for (const TFormValue& item : value.List) {
      Out += "\n";
      Indent(indent + 1);
      Value(item, indent + 1);
    }
    Out += ")";
  }

  void Collection(const TFormValue& value, int indent) {
    Out += "<";
    for (const TFormItem& item : value.Items) {
      Out += "\n";
      Indent(indent + 1);
      Out += "item";
      if (item.HasIndex) Out += " [" + std::to_string(item.IndexValue.Int) + "]";
      Out += "\n";
      Properties(item.Properties, indent + 2);
      Indent(indent + 1);
      Out += "end";
    }
    Out += ">";
  }
};

}  // namespace

TFormObject ParseFormText(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte-order mark
  return TParser(text).Parse();
}

std::string FormToText(const TFormObject& root) {
  TTextWriter writer;
  writer.Object(root, 0);
  return writer.Out;
}

}  // namespace form
