#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/ScheduledEvent.h"
#include "platform/Messages.h"
#include "tests/framework/ScheduleTestClock.h"

namespace {

// Pumps the calling thread's messages until done() or about 5 s have passed.
bool PumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    plat::WaitAndProcessMessages(2);
  }
  return true;
}

void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) plat::WaitAndProcessMessages(2);
}

// Records each firing: how many, and on which thread.
struct TRecorder {
  std::atomic<int> Count{0};
  std::mutex Lock;
  std::thread::id LastThread;

  void Attach(TScheduledEvent& event) {
    event.OnSchedule = [this](TScheduledEvent&, std::uintptr_t) {
      std::lock_guard<std::mutex> lock(Lock);
      LastThread = std::this_thread::get_id();
      ++Count;
    };
  }
  std::thread::id Thread() {
    std::lock_guard<std::mutex> lock(Lock);
    return LastThread;
  }
};

TDateTime At(const std::string& iso, int ms = 0) {
  return IncMilliseconds(ParseIsoDateTime(iso), ms);
}

}  // namespace

TEST(ScheduledEvent, CreatedWithTypeTwoAndNotRunning) {
  TScheduledEvent event("noon");
  EXPECT_EQ(event.Name(), "noon");
  EXPECT_EQ(event.SignallingType(), 2);
  EXPECT_FALSE(event.Running());
  EXPECT_EQ(event.RunCount(), 0u);
  event.SetSignallingType(3);
  EXPECT_EQ(event.SignallingType(), 3);
}

TEST(ScheduledEvent, RunWithoutAnyRunReturnsFalse) {
  TTestClock clock("2026-03-10 08:00:00");
  TScheduledEvent event("past", &clock);
  event.Schedule().SetCronText("0 0 12 * * * 2020");
  event.SetSignallingType(3);
  EXPECT_FALSE(event.Run(false));
  EXPECT_FALSE(event.Running());
}

TEST(ScheduledEvent, TimerModeFiresOnTheOwnerAndSkipsMissedRuns) {
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 995));
  TScheduledEvent event("every second", &clock);
  TRecorder fired;
  fired.Attach(event);
  std::atomic<int> starts{0}, stops{0};
  event.OnStart = [&](TScheduledEvent&) { ++starts; };
  event.OnStop = [&](TScheduledEvent&) { ++stops; };
  event.Schedule().SetCronText("* * * * * * *");
  event.SetSignallingType(3);
  ASSERT_TRUE(event.Run(false));
  EXPECT_TRUE(event.Running());
  EXPECT_EQ(starts, 1);
  EXPECT_THROW(event.SetSignallingType(2), Exception);
  PumpFor(30);
  EXPECT_EQ(fired.Count, 0);  // 08:00:01 is not reached yet

  clock.SetValue(At("2026-03-10 08:00:01"));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 1; }));
  EXPECT_EQ(fired.Thread(), std::this_thread::get_id());
  EXPECT_EQ(Iso(event.Schedule().NextRun()), "2026-03-10 08:00:02");

  // The owner was blocked for ten seconds: one run, the others skipped.
  clock.SetValue(At("2026-03-10 08:00:11", 500));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 2; }));
  PumpFor(30);
  EXPECT_EQ(fired.Count, 2);
  EXPECT_EQ(Iso(event.Schedule().NextRun()), "2026-03-10 08:00:12");

  event.Stop();
  EXPECT_FALSE(event.Running());
  EXPECT_EQ(stops, 1);
  event.Stop();  // a second stop does nothing
  EXPECT_EQ(stops, 1);
  clock.SetValue(At("2026-03-10 08:00:20"));
  PumpFor(30);
  EXPECT_EQ(fired.Count, 2);  // the timer is gone
}

TEST(ScheduledEvent, FireHandsOnItsParameter) {
  TTestClock clock("2026-03-10 08:00:00");
  TScheduledEvent event("direct", &clock);
  std::uintptr_t seen = 0;
  event.OnSchedule = [&](TScheduledEvent& e, std::uintptr_t param) {
    EXPECT_EQ(&e, &event);
    seen = param;
  };
  event.Fire(7);  // not running yet
  EXPECT_EQ(seen, 0u);
  event.Schedule().SetCronText("0 0 12");
  event.SetSignallingType(3);
  ASSERT_TRUE(event.Run(false));
  event.Fire(42);
  EXPECT_EQ(seen, 42u);
  EXPECT_EQ(event.RunCount(), 1u);
}

TEST(ScheduledEvent, TimerModeDoesNotStallWhenTheRunIsUnderTwoMsAway) {
  // Half of the 1 ms left would be a timer of 0 ms, which never runs.
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 999));
  TScheduledEvent event("close", &clock);
  TRecorder fired;
  fired.Attach(event);
  event.Schedule().SetCronText("* * * * * * *");
  event.SetSignallingType(3);
  ASSERT_TRUE(event.Run(false));
  clock.SetValue(At("2026-03-10 08:00:01"));
  EXPECT_TRUE(PumpUntil([&] { return fired.Count == 1; }));
}

TEST(ScheduledEvent, FirstRunFiresAtTheFirstPassAndMaxRunsEnds) {
  // In timer mode the first pass comes at half the time to the next run.
  TTestClock clock;
  clock.SetValue(At("2026-03-10 11:59:59", 980));
  TScheduledEvent event("once", &clock);
  TRecorder fired;
  fired.Attach(event);
  std::atomic<int> maxRuns{0}, stops{0};
  event.OnMaxRuns = [&](TScheduledEvent&) { ++maxRuns; };
  event.OnStop = [&](TScheduledEvent&) { ++stops; };
  event.MaxRuns = 1;
  event.Schedule().SetCronText("0 0 12");
  event.SetSignallingType(3);
  ASSERT_TRUE(event.Run(true));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 1; }));
  EXPECT_EQ(maxRuns, 1);
  EXPECT_EQ(stops, 1);  // stopped from inside its own timer
  EXPECT_FALSE(event.Running());
  event.Fire(0);  // not running: nothing
  EXPECT_EQ(event.RunCount(), 1u);
  // It may run again.
  event.MaxRuns = 2;
  ASSERT_TRUE(event.Run(true));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 2; }));
  EXPECT_EQ(maxRuns, 2);
}

TEST(ScheduledEvent, PausedSkipsTimerRuns) {
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 990));
  TScheduledEvent event("paused", &clock);
  TRecorder fired;
  fired.Attach(event);
  event.Schedule().SetCronText("* * * * * * *");
  event.SetSignallingType(3);
  event.Paused = true;
  ASSERT_TRUE(event.Run(false));
  clock.SetValue(At("2026-03-10 08:00:01"));
  ASSERT_TRUE(PumpUntil([&] { return event.Schedule().NextRun() == At("2026-03-10 08:00:02"); }));
  EXPECT_EQ(fired.Count, 0);
}

TEST(ScheduledEvent, MissingHandlerEndsTheLoopQuietly) {
  TTestClock clock("2026-03-10 08:00:00");
  TScheduledEvent event("no handler", &clock);
  event.Schedule().SetCronText("* * * * * * *");
  event.SetSignallingType(3);
  ASSERT_TRUE(event.Run(true));
  const TDateTime next = event.Schedule().NextRun();
  clock.SetValue(At("2026-03-10 08:00:05"));
  PumpFor(50);
  EXPECT_EQ(event.Schedule().NextRun(), next);  // no further evaluation
  EXPECT_EQ(event.RunCount(), 0u);
  event.Stop();
}

TEST(ScheduledEventConcurrency, WindowRunsOnTheThreadThatStarted) {
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 990));
  TScheduledEvent event("window", &clock);
  TRecorder fired;
  fired.Attach(event);
  event.Schedule().SetCronText("* * * * * * *");
  ASSERT_TRUE(event.Run(true));  // the first evaluation fires
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 1; }));
  EXPECT_EQ(fired.Thread(), std::this_thread::get_id());
  clock.SetValue(At("2026-03-10 08:00:01"));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 2; }));
  EXPECT_EQ(fired.Thread(), std::this_thread::get_id());
  event.Stop();
  EXPECT_FALSE(event.Running());
}

TEST(ScheduledEventConcurrency, WorkerThreadPerRun) {
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 990));
  TScheduledEvent event("workers", &clock);
  TRecorder fired;
  fired.Attach(event);
  event.Schedule().SetCronText("* * * * * * *");
  event.SetSignallingType(0);
  ASSERT_TRUE(event.Run(true));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 1; }));
  EXPECT_NE(fired.Thread(), std::this_thread::get_id());
  clock.SetValue(At("2026-03-10 08:00:01"));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 2; }));
  EXPECT_NE(fired.Thread(), std::this_thread::get_id());
}

TEST(ScheduledEventConcurrency, MainThreadRuns) {
  plat::MakeCallingThreadMain();
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 990));
  TScheduledEvent event("main", &clock);
  TRecorder fired;
  fired.Attach(event);
  event.Schedule().SetCronText("* * * * * * *");
  event.SetSignallingType(1);
  ASSERT_TRUE(event.Run(true));
  ASSERT_TRUE(PumpUntil([&] { return fired.Count == 1; }));
  EXPECT_EQ(fired.Thread(), std::this_thread::get_id());
  event.Stop();
}

TEST(ScheduledEventConcurrency, LastRunAndExpiry) {
  TTestClock clock;
  clock.SetValue(At("2026-03-10 08:00:00", 990));
  std::atomic<int> lastRuns{0}, expired{0};
  {
    TScheduledEvent event("ends", &clock);
    TRecorder fired;
    fired.Attach(event);
    event.OnLastRun = [&](TScheduledEvent&) { ++lastRuns; };
    event.Schedule().EndDate = At("2026-03-10 08:00:01", 500);
    event.Schedule().SetCronText("* * * * * * *");
    ASSERT_TRUE(event.Run(false));
    clock.SetValue(At("2026-03-10 08:00:01"));
    ASSERT_TRUE(PumpUntil([&] { return lastRuns == 1 && fired.Count == 1; }));
  }
  clock.SetValue(At("2026-03-10 08:00:00", 990));
  {
    TScheduledEvent event("expires", &clock);
    TRecorder fired;
    fired.Attach(event);
    event.OnExpired = [&](TScheduledEvent&) { ++expired; };
    event.Schedule().EndDate = At("2026-03-10 08:00:05");
    event.Schedule().SetCronText("* * * * * * *");
    ASSERT_TRUE(event.Run(false));
    clock.SetValue(At("2026-03-10 08:00:06"));  // past the end before the next run
    ASSERT_TRUE(PumpUntil([&] { return expired == 1; }));
    EXPECT_EQ(fired.Count, 0);
  }
  EXPECT_EQ(lastRuns, 1);
}

TEST(ScheduledEventConcurrency, MaxRunsStopsFromARunThread) {
  TTestClock clock("2026-03-10 08:00:00");
  TScheduledEvent event("worker max", &clock);
  TRecorder fired;
  fired.Attach(event);
  std::atomic<int> stops{0};
  event.OnStop = [&](TScheduledEvent&) { ++stops; };
  event.MaxRuns = 1;
  event.SetSignallingType(0);
  event.Schedule().SetCronText("* * * * * * *");
  ASSERT_TRUE(event.Run(true));
  ASSERT_TRUE(PumpUntil([&] { return stops == 1; }));
  EXPECT_EQ(fired.Count, 1);
  EXPECT_FALSE(event.Running());
}

TEST(ScheduledEventConcurrency, DestroyWhileAWorkerRuns) {
  TTestClock clock("2026-03-10 08:00:00");
  std::atomic<bool> inHandler{false}, finished{false};
  {
    TScheduledEvent event("slow", &clock);
    event.OnSchedule = [&](TScheduledEvent&, std::uintptr_t) {
      inHandler = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      finished = true;
    };
    event.SetSignallingType(0);
    event.Schedule().SetCronText("* * * * * * *");
    ASSERT_TRUE(event.Run(true));
    ASSERT_TRUE(PumpUntil([&] { return inHandler.load(); }));
  }  // the destructor waits for the running handler
  EXPECT_TRUE(finished);
}

// Freeing an event joins its threads: the schedule thread and every run
// thread, the one inside its handler included, have ended once the
// destructor returns (nothing of the event is left running, e.g. while its
// module unloads). Many rounds, since a thread left to end by itself ends
// only a moment after the destructor.
TEST(ScheduledEventConcurrency, FreedEventLeavesNoThreadRunning) {
  struct TCase {
    std::uint8_t Type;
    int HandlerMs;  // how long each run takes
  };
  const TCase cases[] = {{0, 20}, {0, 0}, {2, 0}};
  for (const TCase& c : cases) {
    for (int round = 0; round < 25; ++round) {
      TTestClock clock("2026-03-10 08:00:00");
      std::atomic<int> entered{0};
      {
        TScheduledEvent event("joined", &clock);
        event.OnSchedule = [&](TScheduledEvent&, std::uintptr_t) {
          ++entered;
          std::this_thread::sleep_for(std::chrono::milliseconds(c.HandlerMs));
        };
        event.SetSignallingType(c.Type);
        event.Schedule().SetCronText("* * * * * * *");
        ASSERT_TRUE(event.Run(true));
        ASSERT_TRUE(PumpUntil([&] { return entered > 0; })) << "type " << int(c.Type);
      }
      ASSERT_EQ(TEventThreads::Live(), 0u) << "type " << int(c.Type) << " round " << round;
    }
  }
}

TEST(SchEventList, AddOwnsAndReports) {
  int added = 0;
  {
    TSchEventList list;
    list.OnAdd = [&](TSchEventList& l, TScheduledEvent& e) {
      EXPECT_EQ(&l, &list);
      EXPECT_EQ(e.Name(), added == 0 ? "08:00" : "cron");
      ++added;
    };
    TScheduledEvent* first = list.Add("08:00");
    list.Add("cron")->SetSignallingType(3);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), first);
    EXPECT_EQ(list.Items(1)->SignallingType(), 3);
  }  // the list frees its events
  EXPECT_EQ(added, 2);
}

TEST(IntervalMeter, MeasuresFromRestart) {
  TIntervalMeter meter;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(meter.ElapsedMs(), 20u);
  meter.Restart();
  EXPECT_LT(meter.ElapsedMs(), 20u);
}
