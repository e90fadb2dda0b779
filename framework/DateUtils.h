// Calendar arithmetic on OLE dates (TDateTime: days since 1899-12-30, the
// time of day as the fraction). Pure functions, any thread.
#pragma once

#include <cstdint>
#include <string>

#include "framework/SysUtils.h"

using TDateTime = double;

// A date or time that does not exist, or text that is not one.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The components of a moment, to the millisecond.
struct TDateParts {
  std::int32_t Year = 1899, Month = 12, Day = 30;
  std::int32_t Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

bool IsLeapYear(std::int32_t year);
std::int32_t DaysInMonth(std::int32_t year, std::int32_t month);  // 1..12

// Raises EConvertError for components outside the calendar (years 1..9999).
TDateTime EncodeDateTime(const TDateParts& parts);
// Rounded to the nearest millisecond; dates before 1899-12-30 are not used.
TDateTime EncodeDateTimeSafe(const TDateParts& parts, bool& ok);
TDateParts DecodeDateTime(TDateTime value);

// 1 Monday ... 7 Sunday.
std::int32_t DayOfTheWeek(TDateTime value);

// Whole milliseconds from a to b (negative when b is before a).
std::int64_t MillisecondsBetween(TDateTime a, TDateTime b);
TDateTime IncMilliseconds(TDateTime value, std::int64_t ms);

// "YYYY-MM-DD HH:MM:SS" both ways; parsing is strict and raises
// EConvertError naming the text.
std::string FormatIsoDateTime(TDateTime value);
TDateTime ParseIsoDateTime(const std::string& text);
