// The next-run search against a plain walk over the calendar. The allowed
// values come from how each expression was generated, not from the parser,
// and the calendar is the standard library's.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "framework/Scheduler.h"
#include "tests/framework/ScheduleTestClock.h"

namespace {

using namespace std::chrono;

struct TGenerated {
  std::string Text;
  std::set<int> Allowed[7];
};

const int kLo[7] = {0, 0, 0, 1, 1, 1, 1900};
const int kHi[7] = {59, 59, 23, 31, 12, 7, 3000};

void AddRange(std::set<int>& to, int lo, int hi, int step) {
  for (int v = lo; v <= hi; v += step) to.insert(v);
}

// One field as text, recording the values it allows.
std::string GenerateField(std::mt19937& rng, int i, std::set<int>& allowed) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int lo = i == 6 ? 2024 : kLo[i], hi = i == 6 ? 2034 : kHi[i];
  const int a = pick(lo, hi), b = pick(a, hi), step = pick(1, (hi - lo) / 3 + 1);
  switch (pick(0, i == 6 ? 3 : 5)) {
    case 0:
      AddRange(allowed, kLo[i], kHi[i], 1);
      return "*";
    case 1:
      AddRange(allowed, kLo[i], kHi[i], step);
      return "*/" + std::to_string(step);
    case 2:
      AddRange(allowed, a, b, 1);
      return std::to_string(a) + "-" + std::to_string(b);
    case 3:
      allowed.insert(a);
      allowed.insert(b);
      return std::to_string(a) + "," + std::to_string(b);
    case 4:
      AddRange(allowed, a, b, step);
      return std::to_string(a) + "-" + std::to_string(b) + "/" + std::to_string(step);
    default: {
      const int c = pick(lo, hi);
      AddRange(allowed, a, b, step);
      allowed.insert(c);
      return std::to_string(c) + "," + std::to_string(a) + "-" + std::to_string(b) + "/" +
             std::to_string(step);
    }
  }
}

TGenerated Generate(std::mt19937& rng) {
  TGenerated g;
  for (int i = 0; i < 7; ++i) {
    if (i > 0) g.Text += ' ';
    g.Text += GenerateField(rng, i, g.Allowed[i]);
  }
  return g;
}

struct TMoment {
  sys_days Day;
  int Seconds;  // of the day
};

bool DayAllowed(const TGenerated& g, sys_days day) {
  const year_month_day ymd(day);
  const int weekDay = static_cast<int>(weekday(day).iso_encoding());
  return g.Allowed[3].count(static_cast<int>(unsigned(ymd.day()))) &&
         g.Allowed[4].count(static_cast<int>(unsigned(ymd.month()))) &&
         g.Allowed[5].count(weekDay) && g.Allowed[6].count(static_cast<int>(ymd.year()));
}

std::optional<int> FirstTimeAfter(const TGenerated& g, int after) {
  for (int h : g.Allowed[2])
    for (int m : g.Allowed[1])
      for (int s : g.Allowed[0])
        if (h * 3600 + m * 60 + s > after) return h * 3600 + m * 60 + s;
  return std::nullopt;
}

// The first allowed second after `from`, looking at most `days` ahead.
std::optional<TMoment> BruteForce(const TGenerated& g, TMoment from, int days) {
  for (int d = 0; d <= days; ++d) {
    const sys_days day = from.Day + std::chrono::days(d);
    if (!DayAllowed(g, day)) continue;
    if (auto t = FirstTimeAfter(g, d == 0 ? from.Seconds : -1)) return TMoment{day, *t};
  }
  return std::nullopt;
}

std::string Format(const TMoment& m) {
  const year_month_day ymd(m.Day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(ymd.year()),
                unsigned(ymd.month()), unsigned(ymd.day()), m.Seconds / 3600, m.Seconds / 60 % 60,
                m.Seconds % 60);
  return text;
}

TMoment RandomMoment(std::mt19937& rng) {
  const sys_days first = sys_days(year(2024) / 1 / 1);
  const int day = std::uniform_int_distribution<int>(0, 365 * 8)(rng);
  return {first + std::chrono::days(day), std::uniform_int_distribution<int>(0, 86399)(rng)};
}

}  // namespace

TEST(CronBruteForce, SearchAgreesWithACalendarWalk) {
  std::mt19937 rng(20260310);
  constexpr int kHorizonDays = 366 * 4;
  int compared = 0;
  for (int n = 0; n < 400; ++n) {
    const TGenerated g = Generate(rng);
    const TMoment from = RandomMoment(rng);
    const std::optional<TMoment> expected = BruteForce(g, from, kHorizonDays);
    SCOPED_TRACE(g.Text + " after " + Format(from));
    TDateTime found = 0;
    try {
      found = FindNextRun(ParseCronText(g.Text), ParseIsoDateTime(Format(from)));
    } catch (const EScheduleError&) {
      EXPECT_FALSE(expected) << "search gave up, walk found " << Format(*expected);
      continue;
    }
    if (expected) {
      EXPECT_EQ(Iso(found), Format(*expected));
      ++compared;
    } else if (found != 0) {
      // Beyond the walk's horizon: it must at least be allowed and later.
      const std::string text = Iso(found);
      const TMoment horizonEnd{from.Day + std::chrono::days(kHorizonDays), 86399};
      EXPECT_GT(text, Format(horizonEnd));
    }
  }
  EXPECT_GT(compared, 200);  // the generator must mostly make reachable schedules
}

TEST(CronBruteForce, SuccessiveRunsOfEveryGeneratedExpression) {
  std::mt19937 rng(4711);
  for (int n = 0; n < 60; ++n) {
    const TGenerated g = Generate(rng);
    SCOPED_TRACE(g.Text);
    TMoment at = RandomMoment(rng);
    TDateTime run = ParseIsoDateTime(Format(at));
    const TCronFields fields = ParseCronText(g.Text);
    for (int k = 0; k < 5; ++k) {
      const std::optional<TMoment> expected = BruteForce(g, at, 366 * 4);
      if (!expected) break;
      try {
        run = FindNextRun(fields, run);
      } catch (const EScheduleError&) {
        FAIL() << "search gave up before " << Format(*expected);
      }
      ASSERT_EQ(Iso(run), Format(*expected));
      at = *expected;
    }
  }
}

TEST(DateUtils, AgreesWithTheStandardCalendar) {
  const sys_days first = sys_days(year(1900) / 1 / 1);
  for (int d = 0; d < 366 * 300; d += 7) {
    const sys_days day = first + std::chrono::days(d);
    const TMoment m{day, (d * 7919) % 86400};
    const TDateTime value = ParseIsoDateTime(Format(m));
    ASSERT_EQ(FormatIsoDateTime(value), Format(m));
    ASSERT_EQ(DayOfTheWeek(value), static_cast<int>(weekday(day).iso_encoding()));
  }
  EXPECT_DOUBLE_EQ(ParseIsoDateTime("1900-01-01 00:00:00"), 2.0);  // day 0 is 1899-12-30
  EXPECT_DOUBLE_EQ(ParseIsoDateTime("1900-01-01 12:00:00"), 2.5);
  EXPECT_THROW(ParseIsoDateTime("2026-02-29 00:00:00"), EConvertError);
  EXPECT_THROW(ParseIsoDateTime("2026-1-01 00:00:00"), EConvertError);
  EXPECT_THROW(ParseIsoDateTime("2026-01-01 24:00:00"), EConvertError);
  EXPECT_THROW(ParseIsoDateTime("2026-01-01T00:00:00"), EConvertError);
}
