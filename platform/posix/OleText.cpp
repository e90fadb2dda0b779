// Numbers and dates as US English text, parsed and formatted as oleaut32
// does for that locale.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/posix/OleConvert.h"

namespace plat::detail {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0xA0;
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int DigitValue(char16_t c, int radix) {
  int v = -1;
  if (IsDigit(c)) v = c - u'0';
  if (c >= u'a' && c <= u'f') v = c - u'a' + 10;
  if (c >= u'A' && c <= u'F') v = c - u'A' + 10;
  return v < radix ? v : -1;
}

// Reads text left to right; at() is NUL past the end.
class Cursor {
 public:
  explicit Cursor(std::u16string_view text) : text_(text) {}
  char16_t at(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : u'\0';
  }
  bool done() const { return pos_ >= text_.size(); }
  void next(std::size_t n = 1) { pos_ += n; }
  void skipBlanks() {
    while (!done() && IsBlank(at())) next();
  }
  bool take(char16_t c) {
    if (done() || at() != c) return false;
    next();
    return true;
  }

 private:
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

// "&H1F" or "&O17", blanks around.
HResult ParseRadix(Cursor& in, ParsedNumber& out) {
  const char16_t kind = in.at(1);
  const int radix = (kind == u'H' || kind == u'h') ? 16 : 8;
  in.next(2);
  int count = 0;
  for (int v; (v = DigitValue(in.at(), radix)) >= 0; in.next(), ++count) {
    if (out.radixValue > (~0ull - v) / radix) return kDispEOverflow;
    out.radixValue = out.radixValue * radix + v;
  }
  in.skipBlanks();
  if (count == 0 || !in.done()) return kDispETypeMismatch;
  out.radix = true;
  return kSOk;
}

struct Affixes {
  bool sign = false;
  bool currency = false;
  bool paren = false;
};

// Takes a sign or '$' that has not been seen yet; false for anything else.
bool TakeSignOrCurrency(char16_t c, ParsedNumber& out, Affixes& seen) {
  if ((c == u'+' || c == u'-') && !seen.sign) {
    seen.sign = true;
    out.negative = c == u'-';
    return true;
  }
  if (c == u'$' && !seen.currency) {
    seen.currency = true;
    return true;
  }
  return false;
}

// Sign, '$' and '(' before the digits, each at most once, blanks between.
bool ParsePrefix(Cursor& in, ParsedNumber& out, Affixes& seen) {
  for (;; in.next()) {
    in.skipBlanks();
    const char16_t c = in.at();
    if (TakeSignOrCurrency(c, out, seen)) continue;
    if (c != u'(' || seen.paren) return true;
    seen.paren = true;
  }
}

// Digits with thousands separators (allowed once a digit has been read) and
// one decimal point.
bool ParseMantissa(Cursor& in, ParsedNumber& out) {
  bool anyDigit = false;
  bool point = false;
  int fractionDigits = 0;
  for (;; in.next()) {
    const char16_t c = in.at();
    if (IsDigit(c)) {
      anyDigit = true;
      if (point) ++fractionDigits;
      if (!out.digits.empty() || c != u'0') out.digits += static_cast<char>(c);
    } else if (c == u',' && anyDigit) {
      continue;
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  out.exponent = -fractionDigits;
  if (out.digits.empty()) out.exponent = 0;
  return anyDigit;
}

bool ParseExponent(Cursor& in, ParsedNumber& out) {
  if (in.at() != u'e' && in.at() != u'E') return true;
  in.next();
  bool negative = false;
  if (in.at() == u'+' || in.at() == u'-') {
    negative = in.at() == u'-';
    in.next();
  }
  if (!IsDigit(in.at())) return false;
  int value = 0;
  for (; IsDigit(in.at()); in.next())
    if (value < 100000) value = value * 10 + (in.at() - u'0');
  out.exponent += negative ? -value : value;
  return true;
}

// '$', a trailing sign and the closing parenthesis after the digits.
bool ParseSuffix(Cursor& in, ParsedNumber& out, Affixes& seen) {
  bool closed = !seen.paren;
  for (;; in.next()) {
    in.skipBlanks();
    const char16_t c = in.at();
    if (TakeSignOrCurrency(c, out, seen)) continue;
    if (c != u')' || closed) break;
    closed = true;
  }
  if (seen.paren) out.negative = true;
  return closed && in.done();
}

// Days since 1899-12-30 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + 25569;
}

struct Civil {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

Civil CivilFromDays(std::int64_t days) {
  const std::int64_t z = days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// A token of date text: a number (with its digit count), a separator or
// an AM/PM marker.
struct Token {
  enum class Kind { Number, Separator, Meridiem } kind;
  int value;
  int digits;
};

bool StartsWithIgnoringCase(Cursor& in, char16_t first) {
  const char16_t a = in.at(), m = in.at(1);
  return (a == first || a == first + 0x20) && (m == u'M' || m == u'm');
}

bool Tokenize(std::u16string_view text, std::vector<Token>& tokens) {
  Cursor in(text);
  for (in.skipBlanks(); !in.done(); in.skipBlanks()) {
    const char16_t c = in.at();
    if (IsDigit(c)) {
      int value = 0, digits = 0;
      for (; IsDigit(in.at()); in.next(), ++digits)
        if (value < 100000) value = value * 10 + (in.at() - u'0');
      tokens.push_back({Token::Kind::Number, value, digits});
    } else if (c == u'/' || c == u'-' || c == u':') {
      tokens.push_back({Token::Kind::Separator, c, 0});
      in.next();
    } else if (StartsWithIgnoringCase(in, u'A') || StartsWithIgnoringCase(in, u'P')) {
      tokens.push_back({Token::Kind::Meridiem, c == u'P' || c == u'p', 0});
      in.next(2);
    } else {
      return false;
    }
  }
  return true;
}

bool IsNumber(const std::vector<Token>& t, std::size_t i) {
  return i < t.size() && t[i].kind == Token::Kind::Number;
}

bool IsSeparator(const std::vector<Token>& t, std::size_t i, char16_t c) {
  return i < t.size() && t[i].kind == Token::Kind::Separator && t[i].value == c;
}

// Month/day/year or year-month-day; two-digit years fall in 1950 to 2049 and
// a month above 12 swaps with the day.
bool ParseDatePart(const std::vector<Token>& t, std::size_t& i, std::int64_t& days) {
  if (!IsNumber(t, i) || !IsNumber(t, i + 2) || !IsNumber(t, i + 4)) return false;
  const char16_t sep = static_cast<char16_t>(t[i + 1].value);
  if ((sep != u'/' && sep != u'-') || !IsSeparator(t, i + 3, sep)) return false;
  const Token &a = t[i], &b = t[i + 2], &c = t[i + 4];
  std::int64_t year = 0;
  int month = 0, day = 0;
  if (a.digits >= 3) {
    year = a.value, month = b.value, day = c.value;
  } else {
    month = a.value, day = b.value, year = c.value;
    if (c.digits <= 2) year += year < 50 ? 2000 : 1900;
    if (month > 12 && day <= 12) std::swap(month, day);
  }
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  if (static_cast<unsigned>(day) > DaysInMonth(year, static_cast<unsigned>(month))) return false;
  days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  i += 5;
  return true;
}

// H:MM[:SS] with an optional AM/PM (which a 24-hour hour ignores).
struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
};

bool ParseTimePart(const std::vector<Token>& t, std::size_t& i, TimeOfDay& time) {
  if (!IsNumber(t, i) || !IsSeparator(t, i + 1, u':') || !IsNumber(t, i + 2)) return false;
  int hour = t[i].value, minute = t[i + 2].value, second = 0;
  i += 3;
  if (IsSeparator(t, i, u':')) {
    if (!IsNumber(t, i + 1)) return false;
    second = t[i + 1].value;
    i += 2;
  }
  if (i < t.size() && t[i].kind == Token::Kind::Meridiem) {
    if (hour == 12) hour = 0;
    if (hour < 12 && t[i].value != 0) hour += 12;
    ++i;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  time = {hour, minute, second};
  return true;
}

void AppendTime(std::string& text, int seconds) {
  const int hour = seconds / 3600;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d %s", hour % 12 == 0 ? 12 : hour % 12,
                seconds / 60 % 60, seconds % 60, hour < 12 ? "AM" : "PM");
  text += buffer;
}

}  // namespace

HResult ParseNumber(std::u16string_view text, ParsedNumber& out) {
  out = ParsedNumber();
  Cursor in(text);
  in.skipBlanks();
  if (in.at() == u'&' &&
      (in.at(1) == u'H' || in.at(1) == u'h' || in.at(1) == u'O' || in.at(1) == u'o'))
    return ParseRadix(in, out);
  Affixes seen;
  if (!ParsePrefix(in, out, seen) || !ParseMantissa(in, out) || !ParseExponent(in, out) ||
      !ParseSuffix(in, out, seen))
    return kDispETypeMismatch;
  return kSOk;
}

double ToDouble(const ParsedNumber& n) {
  if (n.radix) return static_cast<double>(n.radixValue);
  if (n.digits.empty()) return n.negative ? -0.0 : 0.0;
  // Digits and a decimal exponent only, so the C locale's decimal point
  // does not matter.
  const std::string text = (n.negative ? "-" : "") + n.digits + "e" + std::to_string(n.exponent);
  return std::strtod(text.c_str(), nullptr);
}

bool IsZero(const ParsedNumber& n) {
  return n.radix ? n.radixValue == 0 : n.digits.empty();
}

HResult ParseDate(std::u16string_view text, double& date) {
  std::vector<Token> tokens;
  if (!Tokenize(text, tokens) || tokens.empty()) return kDispETypeMismatch;
  std::size_t i = 0;
  std::int64_t days = 0;
  TimeOfDay time;
  const bool hasDate = ParseDatePart(tokens, i, days);
  if (!hasDate) i = 0;
  const bool hasTime = i < tokens.size() && ParseTimePart(tokens, i, time);
  if ((!hasDate && !hasTime) || i != tokens.size()) return kDispETypeMismatch;
  // Added part by part as oleaut32 does (that fixes the last bit of the
  // sum); before 1899-12-30 the time counts away from zero.
  const double d = static_cast<double>(days);
  date = days < 0 ? d - time.hour / 24.0 - time.minute / 1440.0 - time.second / 86400.0
                  : d + time.hour / 24.0 + time.minute / 1440.0 + time.second / 86400.0;
  return kSOk;
}

HResult FormatDate(double date, std::string& text) {
  if (!(date > -657435.0 && date < 2958466.0)) return kEInvalidArg;
  std::int64_t days = static_cast<std::int64_t>(date);  // toward zero
  const double fraction = std::fabs(date - static_cast<double>(days));
  // To the millisecond first, then to the second, half up.
  const auto ms = static_cast<std::int64_t>(std::floor(fraction * 86400000.0 + 0.5));
  int seconds = static_cast<int>((ms + 500) / 1000);
  if (seconds >= 86400) seconds -= 86400, ++days;
  text.clear();
  if (days != 0) {
    const Civil c = CivilFromDays(days);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%u/%u/%lld", c.month, c.day,
                  static_cast<long long>(c.year));
    text = buffer;
  }
  if (seconds != 0 || days == 0) {
    if (!text.empty()) text += ' ';
    AppendTime(text, seconds);
  }
  return kSOk;
}

// Windows prints doubles with 15 significant digits and singles with 7,
// switching to "1.5E+20" form as the C %G conversion does.
std::string FormatDouble(double value, int digits) {
  if (value == 0) return "0";
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
  return buffer;
}

std::string FormatCurrency(std::int64_t scaled) {
  const bool negative = scaled < 0;
  const std::uint64_t mag =
      negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string text = (negative ? "-" : "") + std::to_string(mag / 10000);
  std::uint64_t fraction = mag % 10000;
  if (fraction == 0) return text;
  int width = 4;
  while (fraction % 10 == 0) fraction /= 10, --width;
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, ".%0*llu", width, static_cast<unsigned long long>(fraction));
  return text + buffer;
}

}  // namespace plat::detail
