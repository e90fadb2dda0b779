// Pieces of the posix VariantChangeType shared by its source files. The user
// locale is taken as US English: '.' decimal point, ',' thousands separator,
// '$' currency, month/day/year dates and 12-hour times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Ole.h"

namespace plat::detail {

// A number as written in text: value = digits * 10^exponent, or a &H/&O
// literal.
struct ParsedNumber {
  bool negative = false;
  bool radix = false;
  std::uint64_t radixValue = 0;
  std::string digits;  // decimal digits without leading zeros
  int exponent = 0;
};

HResult ParseNumber(std::u16string_view text, ParsedNumber& out);
// The nearest double; infinite when out of range.
double ToDouble(const ParsedNumber& number);
bool IsZero(const ParsedNumber& number);

// A date or time in one of the US English forms, or YYYY-MM-DD.
HResult ParseDate(std::u16string_view text, double& date);
// "M/D/YYYY", "H:MM:SS AM" or both; E_INVALIDARG outside the OLE date range.
HResult FormatDate(double date, std::string& text);

std::string FormatDouble(double value, int digits);
std::string FormatCurrency(std::int64_t scaled);

// Converts source (of a type in the supported set, not Null) to vt into
// result, which the caller has initialised; never changes source.
HResult ChangeTypeInto(TVarData& result, const TVarData& source, std::uint16_t flags,
                       std::uint16_t vt);

}  // namespace plat::detail
