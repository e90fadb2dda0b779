#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "framework/SyncObjs.h"
#include "tests/framework/TestThreads.h"

namespace {

using kortest::RunBounded;
using kortest::TTestThreads;
using kortest::WaitUntil;

bool TryEnterElsewhere(TCriticalSection& cs) {
  bool entered = false;
  RunBounded([&] {
    entered = cs.TryEnter();
    if (entered) cs.Leave();
  });
  return entered;
}

TEST(CriticalSectionConcurrency, ReentrantForItsOwnerExclusiveForOthers) {
  TCriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());  // same thread: enters again
  cs.Enter();
  EXPECT_FALSE(TryEnterElsewhere(cs));
  cs.Leave();
  cs.Leave();
  EXPECT_FALSE(TryEnterElsewhere(cs));  // still entered once
  cs.Leave();
  EXPECT_TRUE(TryEnterElsewhere(cs));
}

TEST(CriticalSectionConcurrency, GuardsACounter) {
  TCriticalSection cs;
  long counter = 0;  // plain on purpose: the thread sanitizer checks the guard
  TTestThreads threads;
  for (int t = 0; t < 4; ++t)
    threads.Start([&] {
      for (int i = 0; i < 2000; ++i) {
        std::lock_guard<TCriticalSection> outer(cs);
        std::lock_guard<TCriticalSection> inner(cs);
        ++counter;
      }
    });
  threads.JoinAll();
  EXPECT_EQ(counter, 8000);
}

TEST(EventTest, ManualResetStaysSignaledUntilReset) {
  TEvent event(true, false);
  EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
  event.SetEvent();
  EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
  event.ResetEvent();
  EXPECT_EQ(event.WaitFor(1), TWaitResult::wrTimeout);
}

TEST(EventTest, AutoResetReleasesOneWait) {
  TEvent event(false, true);  // starts signaled
  EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
  event.SetEvent();
  event.SetEvent();  // does not count
  EXPECT_EQ(event.WaitFor(TEvent::Infinite), TWaitResult::wrSignaled);
  EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
}

TEST(EventConcurrency, SetWakesWaitersOfManualEvent) {
  TEvent event(true, false);
  std::atomic<int> woken{0};
  TTestThreads threads;
  for (int t = 0; t < 3; ++t)
    threads.Start([&] {
      EXPECT_EQ(event.WaitFor(TEvent::Infinite), TWaitResult::wrSignaled);
      ++woken;
    });
  event.SetEvent();
  threads.JoinAll("waiters of a set event");
  EXPECT_EQ(woken.load(), 3);
}

TEST(EventConcurrency, AutoResetWakesOneWaiterPerSet) {
  TEvent event(false, false);
  std::atomic<int> woken{0};
  TTestThreads threads;
  for (int t = 0; t < 2; ++t)
    threads.Start([&] {
      EXPECT_EQ(event.WaitFor(TEvent::Infinite), TWaitResult::wrSignaled);
      ++woken;
    });
  event.SetEvent();
  WaitUntil([&] { return woken.load() >= 1; }, "first waiter");
  // Give a wrongly released second waiter the chance to show up.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(woken.load(), 1);
  event.SetEvent();
  threads.JoinAll("second waiter");
  EXPECT_EQ(woken.load(), 2);
}

}  // namespace
