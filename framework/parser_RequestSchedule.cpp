#include "framework/parser_RequestSchedule.h"

#include <cstdio>

#include "framework/SysUtils.h"

namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::vector<std::string> SplitAny(const std::string& text, const char* separators) {
  std::vector<std::string> pieces;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find_first_of(separators, from);
    pieces.push_back(text.substr(from, at == std::string::npos ? at : at - from));
    if (at == std::string::npos) return pieces;
    from = at + 1;
  }
}

// A minute or second: a number from 0 to 59, else 0.
std::int32_t ClockField(const std::vector<std::string>& fields, std::size_t index) {
  std::int32_t value = 0;
  if (index >= fields.size() || !TryParseInt32(fields[index], value)) return 0;
  return value >= 0 && value < 60 ? value : 0;
}

enum class THalf { None, Am, Pm };

// The time of one trimmed, lower-cased piece; false when it gives none.
bool ParsePiece(const std::string& piece, TAtTime& time) {
  std::string clock = piece;
  THalf half = THalf::None;
  if (const std::size_t p = piece.find('p'); p != std::string::npos) {
    clock = piece.substr(0, p);
    half = THalf::Pm;
  } else if (const std::size_t a = piece.find('a'); a != std::string::npos) {
    clock = piece.substr(0, a);
    half = THalf::Am;
  }
  const std::vector<std::string> fields = SplitAny(std::string(Trim(clock)), ":");
  std::int32_t number = 0;
  // A piece without a readable hour is no time, whatever its letter says.
  if (!TryParseInt32(fields[0], number)) return false;
  std::int64_t hour = number;
  if (half == THalf::Pm && hour != 12) hour += 12;
  if (half == THalf::Am && hour == 12) hour = 0;
  if (hour < 0 || hour > 23) return false;
  time.Hour = static_cast<std::int32_t>(hour);
  time.Minute = ClockField(fields, 1);
  time.Second = ClockField(fields, 2);
  return true;
}

std::string FieldOr(const std::string& field, const char* empty) {
  std::string trimmed(Trim(field));
  return trimmed.empty() ? std::string(empty) : trimmed;
}

}  // namespace

std::vector<TAtTime> ParseAtTimes(const std::string& text) {
  std::vector<TAtTime> times;
  const std::vector<std::string> pieces = SplitAny(text, ";,");
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string piece = AsciiLower(std::string(Trim(pieces[i])));
    TAtTime time;
    time.Number = static_cast<std::int32_t>(i);
    if (!piece.empty() && ParsePiece(piece, time)) times.push_back(time);
  }
  return times;
}

std::string CronTextOfParams(const TExportCronParams& params) {
  return FieldOr(params[5], "0") + " " + FieldOr(params[4], "0") + " " + FieldOr(params[3], "0") +
         " " + FieldOr(params[2], "*") + " " + FieldOr(params[1], "*") + " " +
         FieldOr(params[0], "*") + " *";
}

std::string CronTextOfAtTime(const TAtTime& time) {
  return std::to_string(time.Second) + " " + std::to_string(time.Minute) + " " +
         std::to_string(time.Hour) + " * * * *";
}

std::string RequestScheduleKey(std::uint8_t method, const void* item, const void* controller) {
  char text[64];
  std::snprintf(text, sizeof text, "G%u_%08llX_%08llX", static_cast<unsigned>(method),
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(item)),
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(controller)));
  return text;
}

std::string ScheduleKeyOfEventName(const std::string& name) {
  return name.substr(0, name.find('/'));
}
