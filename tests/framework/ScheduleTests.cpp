#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Scheduler.h"
#include "tests/framework/ScheduleTestClock.h"

namespace {

// The next `count` runs of cron after the moment `from`.
std::vector<std::string> Runs(const std::string& cron, const std::string& from, int count) {
  TCronFields fields = ParseCronText(cron);
  std::vector<std::string> runs;
  TDateTime at = ParseIsoDateTime(from);
  for (int i = 0; i < count; ++i) {
    at = FindNextRun(fields, at);
    runs.push_back(Iso(at));
    if (at == 0) break;
  }
  return runs;
}

std::string Message(const std::string& cron) {
  try {
    ParseCronText(cron);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "parsed";
}

}  // namespace

TEST(CronParse, FieldsAndDefaults) {
  const TCronFields f = ParseCronText("0   30 8");  // a run of spaces is one separator
  EXPECT_EQ(f[0].Values, std::vector<int>{0});
  EXPECT_EQ(f[1].Values, std::vector<int>{30});
  EXPECT_EQ(f[2].Values, std::vector<int>{8});
  for (int i = 3; i < 7; ++i) EXPECT_TRUE(f[i].Values.empty() && f[i].Step == 1) << i;
  EXPECT_EQ(f[5].Min, 1);
  EXPECT_EQ(f[5].Max, 7);
  EXPECT_EQ(f[6].Min, 1900);
  EXPECT_EQ(f[6].Max, 3000);
}

TEST(CronParse, StepsRangesListsAndRelative) {
  const TCronFields f = ParseCronText("*/15 10-50/20 ?/3 1,5-9/2,3,5 ? 1-5 2030");
  EXPECT_EQ(f[0].Step, 15);
  EXPECT_TRUE(f[1].Values.empty());
  EXPECT_EQ(f[1].Min, 10);
  EXPECT_EQ(f[1].Max, 50);
  EXPECT_EQ(f[1].Step, 20);
  EXPECT_TRUE(f[2].Relative);
  EXPECT_EQ(f[2].Step, 3);
  EXPECT_EQ(f[3].Values, (std::vector<int>{1, 3, 5, 7, 9}));
  EXPECT_EQ(f[3].Min, 1);
  EXPECT_EQ(f[3].Max, 9);
  EXPECT_EQ(f[3].Step, 1);  // the last step given
  EXPECT_TRUE(f[4].Relative);
  EXPECT_EQ(f[4].Step, 0);
  EXPECT_EQ(f[6].Values, std::vector<int>{2030});
}

TEST(CronParse, Errors) {
  EXPECT_EQ(Message("? ? ? ? ? ? ?"), "Schedule is not in valid CRON format");
  EXPECT_EQ(Message("? ? ? ? ? ? ? 5"), "Schedule is not in valid CRON format");
  EXPECT_EQ(Message("?/5 ? ? ? ? ? ?"), "parsed");
  EXPECT_THROW(ParseCronText("a"), EConvertError);
  EXPECT_EQ(Message("a"), "'a' is not a valid integer value");
  EXPECT_THROW(ParseCronText("0 1,,2"), EConvertError);
  EXPECT_THROW(ParseCronText("*/x"), EConvertError);
  EXPECT_THROW(ParseCronText("0 5-"), EConvertError);
  // Values the field cannot hold would never match: refused when parsed.
  EXPECT_EQ(Message("0 60"), "Schedule is not in valid CRON format");
  EXPECT_EQ(Message("0 0 0 0"), "Schedule is not in valid CRON format");
  EXPECT_EQ(Message("0 0 0 * * 8"), "Schedule is not in valid CRON format");
  EXPECT_EQ(Message("0 0 22-2"), "Schedule is not in valid CRON format");
  EXPECT_EQ(Message("*/-5"), "Schedule is not in valid CRON format");
}

TEST(CronHelper, Stepping) {
  const TCronFields f = ParseCronText("?/20 5-50/15 1,7,9");
  const TChronEntryHelper relative(f[0]), range(f[1]), list(f[2]);
  EXPECT_EQ(relative.NextAtOrAfter(10), 30);
  EXPECT_EQ(relative.NextAtOrAfter(50), 10);  // (50 + 20) mod 60
  EXPECT_EQ(relative.NextAfter(10), 30);
  EXPECT_EQ(range.NextAtOrAfter(20), 20);
  EXPECT_EQ(range.NextAtOrAfter(21), 35);
  EXPECT_EQ(range.NextAtOrAfter(51), 5);  // outside: wraps to Min
  EXPECT_EQ(range.NextAtOrAfter(2), 5);
  EXPECT_EQ(range.NextAtOrAfter(49), 50);
  const TCronFields g = ParseCronText("5-49/15");
  EXPECT_EQ(TChronEntryHelper(g[0]).NextAtOrAfter(36), 5);  // 50 is past Max
  EXPECT_EQ(range.NextAfter(20), 35);
  EXPECT_EQ(list.NextAtOrAfter(7), 7);
  EXPECT_EQ(list.NextAfter(7), 9);
  EXPECT_EQ(list.NextAfter(9), 1);
  EXPECT_TRUE(list.Allows(9));
  EXPECT_FALSE(list.Allows(8));
}

TEST(CronSearch, DailyAtNoon) {
  EXPECT_EQ(Runs("0 0 12 * * * *", "2026-03-10 08:00:00", 3),
            (std::vector<std::string>{"2026-03-10 12:00:00", "2026-03-11 12:00:00",
                                      "2026-03-12 12:00:00"}));
  EXPECT_EQ(Runs("0 0 12", "2026-03-10 12:00:00", 1),
            std::vector<std::string>{"2026-03-11 12:00:00"});  // the base itself is excluded
  EXPECT_EQ(Runs("0 0 12", "2026-12-31 12:00:01", 1),
            std::vector<std::string>{"2027-01-01 12:00:00"});
}

TEST(CronSearch, EveryQuarterMinute) {
  EXPECT_EQ(
      Runs("*/15 * * * * * *", "2026-03-10 08:00:00", 5),
      (std::vector<std::string>{"2026-03-10 08:00:15", "2026-03-10 08:00:30", "2026-03-10 08:00:45",
                                "2026-03-10 08:01:00", "2026-03-10 08:01:15"}));
}

TEST(CronSearch, WorkdaysMondayIsOne) {
  // 2026-03-13 is a Friday.
  EXPECT_EQ(Runs("0 30 8 * * 1-5 *", "2026-03-13 09:00:00", 3),
            (std::vector<std::string>{"2026-03-16 08:30:00", "2026-03-17 08:30:00",
                                      "2026-03-18 08:30:00"}));
  EXPECT_EQ(Runs("0 0 0 * * 7", "2026-03-10 00:00:00", 2),
            (std::vector<std::string>{"2026-03-15 00:00:00", "2026-03-22 00:00:00"}));
  EXPECT_EQ(Runs("0 0 0 * * 6,7", "2026-03-10 00:00:00", 3),
            (std::vector<std::string>{"2026-03-14 00:00:00", "2026-03-15 00:00:00",
                                      "2026-03-21 00:00:00"}));
}

TEST(CronSearch, DayOfMonthAndWeekMustBothMatch) {
  // Friday the 13th.
  EXPECT_EQ(Runs("0 0 0 13 * 5", "2026-01-01 00:00:00", 3),
            (std::vector<std::string>{"2026-02-13 00:00:00", "2026-03-13 00:00:00",
                                      "2026-11-13 00:00:00"}));
}

TEST(CronSearch, Day31SkipsShortMonths) {
  EXPECT_EQ(Runs("0 0 0 31 * * *", "2026-01-31 00:00:00", 4),
            (std::vector<std::string>{"2026-03-31 00:00:00", "2026-05-31 00:00:00",
                                      "2026-07-31 00:00:00", "2026-08-31 00:00:00"}));
}

TEST(CronSearch, LeapDays) {
  EXPECT_EQ(Runs("0 0 0 29 2 * *", "2026-01-01 00:00:00", 2),
            (std::vector<std::string>{"2028-02-29 00:00:00", "2032-02-29 00:00:00"}));
  // 2100 is no leap year, 2000 was.
  EXPECT_EQ(Runs("0 0 0 29 2", "2097-01-01 00:00:00", 1),
            std::vector<std::string>{"2104-02-29 00:00:00"});
  EXPECT_EQ(Runs("0 0 0 29 2", "1999-01-01 00:00:00", 1),
            std::vector<std::string>{"2000-02-29 00:00:00"});
  EXPECT_EQ(Runs("59 59 23 28-29 2", "2024-02-28 23:59:59", 2),
            (std::vector<std::string>{"2024-02-29 23:59:59", "2025-02-28 23:59:59"}));
}

TEST(CronSearch, StepLists) {
  EXPECT_EQ(Runs("0 0-30/10,45 8 * * * *", "2026-03-10 07:00:00", 6),
            (std::vector<std::string>{"2026-03-10 08:00:00", "2026-03-10 08:10:00",
                                      "2026-03-10 08:20:00", "2026-03-10 08:30:00",
                                      "2026-03-10 08:45:00", "2026-03-11 08:00:00"}));
}

TEST(CronSearch, YearsAndTheEnd) {
  EXPECT_EQ(Runs("0 0 0 1 1 * 2027,2029", "2026-06-01 00:00:00", 3),
            (std::vector<std::string>{"2027-01-01 00:00:00", "2029-01-01 00:00:00", "none"}));
  EXPECT_EQ(Runs("59 59 23 31 12 * *", "3000-12-31 23:59:59", 1), std::vector<std::string>{"none"});
  // The 30th of February: the search reaches the last year and finds nothing.
  EXPECT_EQ(Runs("0 0 0 30 2", "2026-01-01 00:00:00", 1), std::vector<std::string>{"none"});
}

TEST(CronSearch, GivesUpAfterTenThousandSteps) {
  // Never matches, and each year costs about ten steps.
  try {
    Runs("0 0 0 31 2,4,6,9,11 * *", "2026-01-01 00:00:00", 1);
    FAIL() << "no error";
  } catch (const EScheduleError& e) {
    EXPECT_STREQ(e.what(), "Invalid cron format");
  }
}

TEST(CronSearch, MillisecondsOfTheBase) {
  TCronFields fields = ParseCronText("* * * * * * *");
  const TDateTime base = IncMilliseconds(ParseIsoDateTime("2026-03-10 08:00:00"), 500);
  EXPECT_EQ(Iso(FindNextRun(fields, base)), "2026-03-10 08:00:01");
}

TEST(CronSearch, RelativeFields) {
  // "?" alone allows every value; "?/n" the value n past the reference.
  EXPECT_EQ(Runs("0 0 12 ? * * *", "2026-03-10 08:00:00", 1),
            std::vector<std::string>{"2026-03-10 12:00:00"});
  EXPECT_EQ(Runs("0 ?/10 * * * * *", "2026-03-10 08:55:30", 1),
            std::vector<std::string>{"2026-03-10 09:05:00"});
}

TEST(ScheduleObject, SetCronTextAndRestart) {
  TTestClock clock("2026-03-10 08:00:00");
  TSchedule schedule(&clock);
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-10 08:00:00");  // now, at construction
  schedule.SetCronText("0 0 12");
  EXPECT_EQ(schedule.CronText(), "0 0 12");
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-10 12:00:00");
  EXPECT_EQ(Iso(schedule.LastRun()), "2026-03-10 08:00:00");
  EXPECT_TRUE(schedule.CalcNextRun());
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-11 12:00:00");
  EXPECT_EQ(Iso(schedule.LastRun()), "2026-03-10 12:00:00");

  EXPECT_THROW(schedule.SetCronText("0 0 x"), EConvertError);
  EXPECT_EQ(schedule.CronText(), "0 0 12");
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-11 12:00:00");

  clock.Set("2026-03-20 13:00:00");
  schedule.SetCronText("0 0 12");  // same text: nothing happens
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-11 12:00:00");
  EXPECT_TRUE(schedule.Restart());
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-21 12:00:00");
}

TEST(ScheduleObject, StartAndEndDates) {
  TTestClock clock("2026-03-10 08:00:00");
  TSchedule schedule(&clock);
  schedule.StartDate = ParseIsoDateTime("2026-04-01 00:00:00");
  schedule.SetCronText("0 0 12");
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-04-01 12:00:00");
  schedule.EndDate = ParseIsoDateTime("2026-04-02 18:00:00");
  EXPECT_TRUE(schedule.CalcNextRun());
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-04-02 12:00:00");
  EXPECT_FALSE(schedule.CalcNextRun());
  EXPECT_EQ(schedule.NextRun(), 0);
  schedule.EndDate = ParseIsoDateTime("2026-03-01 00:00:00");
  EXPECT_FALSE(schedule.Restart());
}

TEST(ScheduleObject, EvaluateStates) {
  TTestClock clock("2026-03-10 08:00:00");
  TSchedule schedule(&clock);
  schedule.SetCronText("0 0 12 * * * 2026");
  bool first = true;
  schedule.Evaluate(first);
  EXPECT_EQ(schedule.State(), kScheduleFire);  // the first evaluation fires
  EXPECT_FALSE(first);
  schedule.Evaluate(first);
  EXPECT_EQ(schedule.State(), kScheduleWait);  // 12:00 is still ahead
  clock.Set("2026-03-10 12:00:00");
  schedule.Evaluate(first);
  EXPECT_EQ(schedule.State(), kScheduleFire);
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-11 12:00:00");

  clock.Set("2026-12-31 12:00:00");
  schedule.Restart();
  EXPECT_EQ(schedule.NextRun(), 0);
  schedule.Evaluate(first);  // NextRun is past and has no successor
  EXPECT_EQ(schedule.State(), kScheduleFireLast);

  schedule.EndDate = ParseIsoDateTime("2026-12-01 00:00:00");
  schedule.Evaluate(first);
  EXPECT_EQ(schedule.State(), kScheduleExpired);
}

TEST(ScheduleObject, FirstEvaluationBeforeStartDateWaits) {
  TTestClock clock("2026-03-10 08:00:00");
  TSchedule schedule(&clock);
  schedule.SetCronText("0 0 12");
  schedule.StartDate = ParseIsoDateTime("2026-03-12 00:00:00");
  bool first = true;
  schedule.Evaluate(first);
  EXPECT_EQ(schedule.State(), kScheduleWait);
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-12 00:00:00");
  clock.Set("2026-03-12 00:00:01");
  schedule.Evaluate(first);
  EXPECT_EQ(schedule.State(), kScheduleFire);
  EXPECT_EQ(Iso(schedule.NextRun()), "2026-03-12 12:00:00");
}
