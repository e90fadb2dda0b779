// How the schedules of MethodAtTime and MethodCron requests become cron
// strings for scheduled events. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/parser_BasicRequestItem.h"

// One time of day of a MethodAtTime list; Number is the piece's position in
// the list (it numbers the scheduled event).
struct TAtTime {
  std::int32_t Hour = 0;
  std::int32_t Minute = 0;
  std::int32_t Second = 0;
  std::int32_t Number = 0;
};

// The times of a list such as "8:30; 12:00 pm, 20:15:30". Pieces are split
// at ";" and ","; blanks around a piece are ignored and case does not matter.
// "h:m:s" on the 24-hour clock; a piece with "p" or "a" is read on the
// 12-hour clock up to that letter ("8:30 p" is 20:30, "12:00 pm" noon,
// "12 am" midnight). A minute or second that is not a number from 0 to 59 is
// 0; a piece whose hour is no number or lands outside 0..23 gives no time.
std::vector<TAtTime> ParseAtTimes(const std::string& text);

// "s m h dom mon dow *" of a stored cron record: empty day of week, month and
// day of month give "*", empty hours, minutes and seconds give "0".
std::string CronTextOfParams(const TExportCronParams& params);
// "s m h * * * *" for one time of day.
std::string CronTextOfAtTime(const TAtTime& time);

// "G<method>_<item address>_<controller address>", addresses in hex with at
// least 8 digits: the key an item's events are named by ("key/number").
std::string RequestScheduleKey(std::uint8_t method, const void* item, const void* controller);
// The part of an event name before the first "/".
std::string ScheduleKeyOfEventName(const std::string& name);
