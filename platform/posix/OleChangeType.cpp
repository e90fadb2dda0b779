// VariantChangeType between the supported types, with the results of
// oleaut32: banker's rounding, range checks after rounding, and the Windows
// rule that an integer becomes the other-signed type of its own width by
// keeping its bits.
#include <cmath>
#include <limits>
#include <string>

#include "platform/Text.h"
#include "platform/posix/OleConvert.h"

namespace plat::detail {
namespace {

// A source value in one of four exact forms.
struct Scalar {
  enum class Kind { Signed, Unsigned, Real, Currency } kind = Kind::Signed;
  std::int64_t i = 0;   // Signed, or Currency times 10000
  std::uint64_t u = 0;  // Unsigned
  double r = 0;         // Real
  int width = 0;        // bytes of an integer source; kAnyWidth for Boolean
};

constexpr int kAnyWidth = -1;  // Boolean keeps its bits in every integer type

struct IntType {
  std::uint16_t vt;
  int bytes;                   // 1, 2, 4 or 8
  std::uint64_t max;           // the largest value
  std::uint64_t minMagnitude;  // the magnitude of the most negative value, 0 when unsigned
  std::uint64_t mask;          // all bits of the type
};

// One row per integer type.
constexpr IntType kIntTypes[] = {
    {varShortInt, 1, 0x7F, 0x80, 0xFF},
    {varSmallint, 2, 0x7FFF, 0x8000, 0xFFFF},
    {varInteger, 4, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF},
    {varInt64, 8, 0x7FFFFFFFFFFFFFFF, 0x8000000000000000, ~0ull},
    {varByte, 1, 0xFF, 0, 0xFF},
    {varWord, 2, 0xFFFF, 0, 0xFFFF},
    {varLongWord, 4, 0xFFFFFFFF, 0, 0xFFFFFFFF},
    {varUInt64, 8, ~0ull, 0, ~0ull},
};

const IntType* FindIntType(std::uint16_t vt) {
  for (const IntType& t : kIntTypes)
    if (t.vt == vt) return &t;
  return nullptr;
}

void StoreInt(TVarData& result, const IntType& t, std::uint64_t bits) {
  result.VType = t.vt;
  switch (t.bytes) {
    case 1:
      result.VByte = static_cast<std::uint8_t>(bits);
      break;
    case 2:
      result.VWord = static_cast<std::uint16_t>(bits);
      break;
    case 4:
      result.VLongWord = static_cast<std::uint32_t>(bits);
      break;
    default:
      result.VUInt64 = bits;
      break;
  }
}

std::uint64_t Magnitude(std::int64_t v) {
  return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// Stores sign and magnitude if the value lies in the type's range.
HResult StoreChecked(TVarData& result, const IntType& t, bool negative, std::uint64_t mag) {
  if (negative && mag != 0) {
    if (mag > t.minMagnitude) return kDispEOverflow;
    StoreInt(result, t, 0 - mag);
    return kSOk;
  }
  if (mag > t.max) return kDispEOverflow;
  StoreInt(result, t, mag);
  return kSOk;
}

HResult RealToInt(TVarData& result, const IntType& t, double r) {
  const double rounded = std::nearbyint(r);  // ties to even
  if (!(std::fabs(rounded) < 18446744073709551616.0)) return kDispEOverflow;
  const bool negative = rounded < 0;
  return StoreChecked(result, t, negative, static_cast<std::uint64_t>(std::fabs(rounded)));
}

// Currency divided by 10000 with ties to even.
std::int64_t RoundCurrency(std::int64_t scaled) {
  std::int64_t q = scaled / 10000;
  const std::int64_t rem = scaled % 10000;
  const std::int64_t absRem = rem < 0 ? -rem : rem;
  if (absRem > 5000 || (absRem == 5000 && (q % 2) != 0)) q += scaled < 0 ? -1 : 1;
  return q;
}

HResult ToInt(TVarData& result, const IntType& t, const Scalar& s) {
  using K = Scalar::Kind;
  const bool keepBits = s.width == kAnyWidth || s.width == t.bytes;
  switch (s.kind) {
    case K::Signed:
      if (keepBits) return StoreInt(result, t, static_cast<std::uint64_t>(s.i)), kSOk;
      return StoreChecked(result, t, s.i < 0, Magnitude(s.i));
    case K::Unsigned:
      if (keepBits) return StoreInt(result, t, s.u), kSOk;
      return StoreChecked(result, t, false, s.u);
    case K::Real:
      return RealToInt(result, t, s.r);
    case K::Currency: {
      const std::int64_t v = RoundCurrency(s.i);
      return StoreChecked(result, t, v < 0, Magnitude(v));
    }
  }
  return kEUnexpected;
}

// x * 10000 rounded to an integer with ties to even, from the exact product
// (the product's rounding error comes from fma).
HResult RealToCurrency(double x, std::int64_t& out) {
  const double p = x * 10000.0;
  if (!(p >= -9223372036854775808.0 && p < 9223372036854775808.0)) return kDispEOverflow;
  const double e = std::fma(x, 10000.0, -p);
  double r = std::nearbyint(p);
  const double d = p - r;
  if (d == 0.5 && e > 0) {
    r += 1;
  } else if (d == -0.5 && e < 0) {
    r -= 1;
  }
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return kDispEOverflow;
  std::int64_t value = static_cast<std::int64_t>(r);
  if (d == 0 && __builtin_add_overflow(value, static_cast<std::int64_t>(std::nearbyint(e)), &value))
    return kDispEOverflow;
  out = value;
  return kSOk;
}

// Integers become currency only strictly inside +-922337203685477.
constexpr std::uint64_t kCurrencyIntLimit = 922337203685477ull;

HResult ToCurrency(const Scalar& s, std::int64_t& out) {
  using K = Scalar::Kind;
  switch (s.kind) {
    case K::Signed:
      if (Magnitude(s.i) >= kCurrencyIntLimit) return kDispEOverflow;
      out = s.i * 10000;
      return kSOk;
    case K::Unsigned:
      if (s.u >= kCurrencyIntLimit) return kDispEOverflow;
      out = static_cast<std::int64_t>(s.u) * 10000;
      return kSOk;
    case K::Real:
      return RealToCurrency(s.r, out);
    case K::Currency:
      out = s.i;
      return kSOk;
  }
  return kEUnexpected;
}

double ToReal(const Scalar& s) {
  using K = Scalar::Kind;
  switch (s.kind) {
    case K::Signed:
      return static_cast<double>(s.i);
    case K::Unsigned:
      return static_cast<double>(s.u);
    case K::Real:
      return s.r;
    case K::Currency:
      return static_cast<double>(s.i) / 10000.0;
  }
  return 0;
}

float ToSingle(const Scalar& s) {
  using K = Scalar::Kind;
  if (s.kind == K::Signed) return static_cast<float>(s.i);
  if (s.kind == K::Unsigned) return static_cast<float>(s.u);
  return static_cast<float>(ToReal(s));
}

bool IsNonZero(const Scalar& s) {
  using K = Scalar::Kind;
  switch (s.kind) {
    case K::Signed:
      return s.i != 0;
    case K::Unsigned:
      return s.u != 0;
    case K::Real:
      return s.r != 0;
    case K::Currency:
      return s.i != 0;
  }
  return false;
}

bool InDateRange(double d) {
  return d > -657435.0 && d < 2958466.0;
}

HResult FromScalar(TVarData& result, const Scalar& s, std::uint16_t vt) {
  if (const IntType* t = FindIntType(vt)) return ToInt(result, *t, s);
  switch (vt) {
    case varSingle: {
      const float f = ToSingle(s);
      if (std::isinf(f) && !std::isinf(ToReal(s))) return kDispEOverflow;
      result.VType = varSingle;
      result.VSingle = f;
      return kSOk;
    }
    case varDouble:
    case varDate: {
      const double d = ToReal(s);
      if (vt == varDate && !InDateRange(d)) return kDispEOverflow;
      result.VType = vt;
      result.VDouble = d;
      return kSOk;
    }
    case varCurrency: {
      std::int64_t cy = 0;
      const HResult hr = ToCurrency(s, cy);
      if (!Succeeded(hr)) return hr;
      result.VType = varCurrency;
      result.VCurrency = cy;
      return kSOk;
    }
    case varBoolean:
      result.VType = varBoolean;
      result.VBoolean = IsNonZero(s) ? kVariantTrue : kVariantFalse;
      return kSOk;
    default:
      return kDispETypeMismatch;
  }
}

Scalar ToScalar(const TVarData& v) {
  using K = Scalar::Kind;
  Scalar s;
  switch (v.VType) {
    case varShortInt:
      s.i = v.VShortInt, s.width = 1;  // NOLINT(bugprone-signed-char-misuse): signed on purpose
      break;
    case varSmallint:
      s.i = v.VSmallInt, s.width = 2;
      break;
    case varInteger:
      s.i = v.VInteger, s.width = 4;
      break;
    case varInt64:
      s.i = v.VInt64, s.width = 8;
      break;
    case varBoolean:
      s.i = v.VBoolean, s.width = kAnyWidth;
      break;
    case varByte:
      s.kind = K::Unsigned, s.u = v.VByte, s.width = 1;
      break;
    case varWord:
      s.kind = K::Unsigned, s.u = v.VWord, s.width = 2;
      break;
    case varLongWord:
      s.kind = K::Unsigned, s.u = v.VLongWord, s.width = 4;
      break;
    case varUInt64:
      s.kind = K::Unsigned, s.u = v.VUInt64, s.width = 8;
      break;
    case varSingle:
      s.kind = K::Real, s.r = v.VSingle;
      break;
    case varDouble:
      s.kind = K::Real, s.r = v.VDouble;
      break;
    case varDate:
      s.kind = K::Real, s.r = v.VDate;
      break;
    case varCurrency:
      s.kind = K::Currency, s.i = v.VCurrency;
      break;
    default:
      break;  // Empty is 0
  }
  return s;
}

// Text of a number: exact integers stay exact, the rest goes through double.
HResult NumberToScalar(const ParsedNumber& n, Scalar& s, bool exactInteger) {
  using K = Scalar::Kind;
  if (n.radix) {
    s.kind = K::Unsigned, s.u = n.radixValue;
    return kSOk;
  }
  if (exactInteger && n.exponent >= 0 && n.digits.size() + n.exponent <= 20) {
    std::uint64_t mag = 0;
    for (char c : n.digits)
      if (__builtin_mul_overflow(mag, 10u, &mag) || __builtin_add_overflow(mag, c - '0', &mag))
        return kDispEOverflow;
    for (int k = 0; k < n.exponent; ++k)
      if (__builtin_mul_overflow(mag, 10u, &mag)) return kDispEOverflow;
    if (!n.negative) {
      s.kind = K::Unsigned, s.u = mag;
    } else if (mag <= (1ull << 63)) {
      s.kind = K::Signed, s.i = static_cast<std::int64_t>(0 - mag);
    } else {
      return kDispEOverflow;
    }
    return kSOk;
  }
  const double d = ToDouble(n);
  if (std::isinf(d)) return kDispEOverflow;
  s.kind = K::Real, s.r = d;
  return kSOk;
}

// A &H or &O literal fits an integer type when it fits its width; the bits
// are kept.
HResult RadixToInt(TVarData& result, const IntType& t, std::uint64_t value) {
  const std::uint64_t limit = t.mask;
  if (value > limit) return kDispEOverflow;
  StoreInt(result, t, value);
  return kSOk;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
    if (c != word[i]) return false;
  }
  return true;
}

HResult TextToBoolean(TVarData& result, std::u16string_view text) {
  bool value = false;
  if (EqualsIgnoringCase(text, u"TRUE") || EqualsIgnoringCase(text, u"#TRUE#")) {
    value = true;
  } else if (!EqualsIgnoringCase(text, u"FALSE") && !EqualsIgnoringCase(text, u"#FALSE#")) {
    ParsedNumber n;
    if (!Succeeded(ParseNumber(text, n))) return kDispETypeMismatch;
    value = !IsZero(n);
  }
  result.VType = varBoolean;
  result.VBoolean = value ? kVariantTrue : kVariantFalse;
  return kSOk;
}

HResult FromText(TVarData& result, BStr text, std::uint16_t vt) {
  const std::u16string_view view(text == nullptr ? u"" : text, SysStringLen(text));
  if (vt == varBoolean) return TextToBoolean(result, view);
  if (vt == varDate) {
    double date = 0;
    const HResult hr = ParseDate(view, date);
    if (!Succeeded(hr)) return hr;
    result.VType = varDate;
    result.VDate = date;
    return kSOk;
  }
  ParsedNumber n;
  HResult hr = ParseNumber(view, n);
  if (!Succeeded(hr)) return hr;
  const IntType* t = FindIntType(vt);
  if (t != nullptr && n.radix) return RadixToInt(result, *t, n.radixValue);
  Scalar s;
  hr = NumberToScalar(n, s, t != nullptr);
  if (!Succeeded(hr)) return hr;
  return FromScalar(result, s, vt);
}

HResult ToText(const TVarData& v, std::uint16_t flags, std::string& text) {
  switch (v.VType) {
    case varEmpty:
      text.clear();
      return kSOk;
    case varSingle:
      text = FormatDouble(v.VSingle, 7);
      return kSOk;
    case varDouble:
      text = FormatDouble(v.VDouble, 15);
      return kSOk;
    case varCurrency:
      text = FormatCurrency(v.VCurrency);
      return kSOk;
    case varDate:
      return FormatDate(v.VDate, text);
    case varBoolean:
      if ((flags & kVariantAlphaBool) != 0) {
        text = v.VBoolean != 0 ? "True" : "False";
        return kSOk;
      }
      break;
    default:
      break;
  }
  const Scalar s = ToScalar(v);
  text = s.kind == Scalar::Kind::Unsigned ? std::to_string(s.u) : std::to_string(s.i);
  return kSOk;
}

}  // namespace

HResult ChangeTypeInto(TVarData& result, const TVarData& source, std::uint16_t flags,
                       std::uint16_t vt) {
  if (vt == varNull) {
    result.VType = varNull;
    return kSOk;
  }
  if (source.VType == varNull) return kDispETypeMismatch;
  if (vt == varEmpty) return kSOk;
  if (vt == varOleStr) {
    std::string text;
    const HResult hr = ToText(source, flags, text);
    if (!Succeeded(hr)) return hr;
    result.VOleStr = SysAllocString(AnsiToWide(text));
    if (result.VOleStr == nullptr) return kEOutOfMemory;
    result.VType = varOleStr;
    return kSOk;
  }
  if (source.VType == varOleStr) return FromText(result, source.VOleStr, vt);
  return FromScalar(result, ToScalar(source), vt);
}

}  // namespace plat::detail
