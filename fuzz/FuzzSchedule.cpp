// Arbitrary text to the cron parser, and every schedule it accepts to the
// next-run search. Only the schedule's own errors may come out, and a run
// found must be later than the reference and allowed by every field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/DateUtils.h"
#include "framework/Scheduler.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckRun(const TCronFields& fields, TDateTime base, TDateTime run) {
  if (run == 0) return;
  Check(run > base);
  const TDateParts p = DecodeDateTime(run);
  const std::int32_t value[7] = {p.Second, p.Minute,          p.Hour, p.Day,
                                 p.Month,  DayOfTheWeek(run), p.Year};
  for (int i = 0; i < 7; ++i) {
    if (fields[i].Relative) continue;
    Check(TChronEntryHelper(fields[i]).Allows(value[i]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first four bytes pick the reference moment (1900 to about 2080).
  std::uint32_t seconds = 0;
  if (size >= 4) {
    std::memcpy(&seconds, data, 4);
    data += 4;
    size -= 4;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const TCronFields fields = ParseCronText(text);
    const TDateTime base = 2.0 + double(seconds % (180u * 365u * 86400u)) / 86400.0;
    TDateTime run = base;
    for (int i = 0; i < 3 && run != 0; ++i) {
      const TDateTime next = FindNextRun(fields, run);
      CheckRun(fields, run, next);
      run = next;
    }
  } catch (const EScheduleError&) {
  } catch (const EConvertError&) {
  }
  return 0;
}
