// A settable clock for schedule tests, so no test waits on the real time.
#pragma once

#include <atomic>
#include <string>

#include "framework/DateUtils.h"
#include "framework/Scheduler.h"

class TTestClock : public TScheduleClock {
 public:
  explicit TTestClock(const std::string& now = "2026-03-10 08:00:00") { Set(now); }
  TDateTime Now() const override {
    const TDateTime now = FNow.load();
    if (FAdvanceMs != 0) FNow.store(IncMilliseconds(now, FAdvanceMs));
    return now;
  }
  void Set(const std::string& iso) { FNow = ParseIsoDateTime(iso); }
  void SetValue(TDateTime value) { FNow = value; }
  void AddMs(std::int64_t ms) { FNow = IncMilliseconds(FNow.load(), ms); }
  // Every reading moves the clock on by ms (a clock that runs fast).
  void AdvanceOnRead(std::int64_t ms) { FAdvanceMs = ms; }

 private:
  mutable std::atomic<TDateTime> FNow{0};
  std::atomic<std::int64_t> FAdvanceMs{0};
};

inline std::string Iso(TDateTime value) {
  return value == 0 ? "none" : FormatIsoDateTime(value);
}
