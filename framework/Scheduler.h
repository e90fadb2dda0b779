// Cron schedules: a seven-field cron string (seconds, minutes, hours, day of
// month, month, day of week with 1 = Monday, year) parsed into fields, and
// the search for the next run time. A TSchedule is used by one thread at a
// time (the thread of its TScheduledEvent); the search itself is pure.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/DateUtils.h"

// Parse and search errors: "Schedule is not in valid CRON format",
// "Invalid cron format". Bad numbers raise EConvertError.
class EScheduleError : public Exception {
 public:
  using Exception::Exception;
};

// Where schedules read the local time. Tests install their own; the system
// clock is the platform's.
class TScheduleClock {
 public:
  virtual ~TScheduleClock() = default;
  virtual TDateTime Now() const = 0;
};
const TScheduleClock& SystemScheduleClock();

// One cron position. Values is empty for "*", "?" and a single range.
struct TCronField {
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  std::int32_t Step = 0;
  bool Relative = false;  // given as "?"
  std::vector<std::int32_t> Values;
};

// The value-stepping rules of one field. A result below the value asked for
// means the field went round (the next larger field carries).
class TChronEntryHelper {
 public:
  explicit TChronEntryHelper(const TCronField& field) : FField(field) {}
  std::int32_t NextAtOrAfter(std::int32_t value) const;
  std::int32_t NextAfter(std::int32_t value) const;
  bool Allows(std::int32_t value) const { return NextAtOrAfter(value) == value; }

 private:
  std::int32_t NextRelative(std::int32_t value) const;
  std::int32_t NextInList(std::int32_t value) const;
  std::int32_t NextInRange(std::int32_t value) const;

  const TCronField& FField;
};

enum : std::uint8_t {
  kScheduleWait = 0,
  kScheduleFire = 1,
  kScheduleFireLast = 2,
  kScheduleExpired = 3,
};

using TCronFields = std::array<TCronField, 7>;

// Parses a cron string; raises EScheduleError or EConvertError.
TCronFields ParseCronText(const std::string& text);

// The earliest whole second after base that the fields allow (base itself
// with its milliseconds cleared is excluded), 0 when there is none up to the
// last year. Raises EScheduleError "Invalid cron format" past 10000 steps.
TDateTime FindNextRun(const TCronFields& fields, TDateTime base);

class TSchedule : public TObject {
 public:
  // clock: null for the system clock; must outlive the schedule.
  explicit TSchedule(const TScheduleClock* clock = nullptr);

  const std::string& CronText() const { return FCronText; }
  // Parses a text that differs from CronText, stores it and restarts. On a
  // parse error nothing changes.
  void SetCronText(const std::string& text);

  // NextRun := now, then the next run after it. False when there is none.
  bool Restart();
  // LastRun := NextRun; NextRun := the run after it, 0 when none.
  bool CalcNextRun();
  // Sets State for the moment now; FirstRun is cleared on the first call.
  void Evaluate(bool& firstRun);

  TDateTime Now() const { return FClock->Now(); }
  TDateTime NextRun() const { return FNextRun; }
  TDateTime LastRun() const { return FLastRun; }
  std::uint8_t State() const { return FState; }
  const TCronFields& Fields() const { return FFields; }

  TDateTime EndDate = 0;    // 0 none; after it the schedule has expired
  TDateTime StartDate = 0;  // 0 none; no run before it

 private:
  TDateTime RunAfter(TDateTime reference) const;

  const TScheduleClock* FClock;
  std::string FCronText;
  TDateTime FNextRun;
  TDateTime FLastRun = 0;
  TCronFields FFields;
  std::uint8_t FState = kScheduleWait;
};
