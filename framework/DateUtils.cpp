#include "framework/DateUtils.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Days from 0001-01-01 (day 0) of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int32_t y, std::int32_t m, std::int32_t d) {
  static const std::int32_t kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const std::int64_t py = y - 1;
  std::int64_t days = py * 365 + py / 4 - py / 100 + py / 400 + kBefore[m - 1] + (d - 1);
  if (m > 2 && IsLeapYear(y)) ++days;
  return days;
}

const std::int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool PartsValid(const TDateParts& p) {
  return p.Year >= 1 && p.Year <= 9999 && p.Month >= 1 && p.Month <= 12 && p.Day >= 1 &&
         p.Day <= DaysInMonth(p.Year, p.Month) && p.Hour >= 0 && p.Hour < 24 && p.Minute >= 0 &&
         p.Minute < 60 && p.Second >= 0 && p.Second < 60 && p.MSec >= 0 && p.MSec < 1000;
}

std::int64_t ToMs(TDateTime value) {
  return std::llround(value * double(kMsPerDay));
}

TDateTime FromMs(std::int64_t ms) {
  return double(ms) / double(kMsPerDay);
}

// Splits a day count (from 0001-01-01) into year, month and day.
void CivilFromDays(std::int64_t days, TDateParts& p) {
  std::int32_t y = static_cast<std::int32_t>(days / 366) + 1;
  while (DaysFromCivil(y + 1, 1, 1) <= days) ++y;
  std::int32_t m = 1;
  while (m < 12 && DaysFromCivil(y, m + 1, 1) <= days) ++m;
  p.Year = y;
  p.Month = m;
  p.Day = static_cast<std::int32_t>(days - DaysFromCivil(y, m, 1)) + 1;
}

}  // namespace

bool IsLeapYear(std::int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) {
  static const std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

TDateTime EncodeDateTimeSafe(const TDateParts& p, bool& ok) {
  ok = PartsValid(p);
  if (!ok) return 0;
  const std::int64_t days = DaysFromCivil(p.Year, p.Month, p.Day) - kOleEpoch;
  const std::int64_t ms = ((std::int64_t(p.Hour) * 60 + p.Minute) * 60 + p.Second) * 1000 + p.MSec;
  return FromMs(days * kMsPerDay + ms);
}

TDateTime EncodeDateTime(const TDateParts& parts) {
  bool ok = false;
  const TDateTime value = EncodeDateTimeSafe(parts, ok);
  if (!ok) throw EConvertError("Invalid argument to date encode");
  return value;
}

TDateParts DecodeDateTime(TDateTime value) {
  std::int64_t ms = ToMs(value);
  std::int64_t days = ms / kMsPerDay;
  std::int64_t rest = ms % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  TDateParts p;
  CivilFromDays(days + kOleEpoch, p);
  p.MSec = static_cast<std::int32_t>(rest % 1000);
  p.Second = static_cast<std::int32_t>(rest / 1000 % 60);
  p.Minute = static_cast<std::int32_t>(rest / 60000 % 60);
  p.Hour = static_cast<std::int32_t>(rest / 3600000);
  return p;
}

std::int32_t DayOfTheWeek(TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  // 0001-01-01 was a Monday.
  return static_cast<std::int32_t>(DaysFromCivil(p.Year, p.Month, p.Day) % 7) + 1;
}

std::int64_t MillisecondsBetween(TDateTime a, TDateTime b) {
  return ToMs(b) - ToMs(a);
}

TDateTime IncMilliseconds(TDateTime value, std::int64_t ms) {
  return FromMs(ToMs(value) + ms);
}

std::string FormatIsoDateTime(TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second);
  return text;
}

TDateTime ParseIsoDateTime(const std::string& text) {
  static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
  bool ok = text.size() == sizeof kPattern - 1;
  for (std::size_t i = 0; ok && i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    ok = kPattern[i] == 'd' ? digit : text[i] == kPattern[i];
  }
  TDateTime value = 0;
  if (ok) {
    auto num = [&](std::size_t at, std::size_t len) { return std::stoi(text.substr(at, len)); };
    const TDateParts p{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2), 0};
    value = EncodeDateTimeSafe(p, ok);
    ok = ok && p.Year >= 1900;
  }
  if (!ok) throw EConvertError("'" + text + "' is not a valid date and time");
  return value;
}
