#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/korTimerEx.h"
#include "platform/Messages.h"
#include "platform/Time.h"
#include "tests/framework/TestPump.h"
#include "tests/framework/TestThreads.h"

namespace {

// Counts the calls of a timer and where they ran.
struct TimerLog {
  std::mutex mutex;
  std::vector<std::thread::id> threads;
  std::vector<TObject*> senders;

  TNotifyEvent Handler() {
    return [this](TObject* sender) {
      std::lock_guard<std::mutex> lock(mutex);
      threads.push_back(std::this_thread::get_id());
      senders.push_back(sender);
    };
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return threads.size();
  }
};

using kortest::PumpUntil;

void PumpFor(unsigned ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) plat::WaitAndProcessMessages(2);
}

TEST(korTimerEx, Defaults) {
  TkorTimerEx timer;
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_EQ(timer.OwnerThread(), std::this_thread::get_id());
}

TEST(korTimerEx, RunsOnlyFromTheOwnersMessageLoop) {
  TimerLog log;
  TkorTimerEx timer;
  timer.SetInterval(5);
  timer.SetOnTimer(log.Handler());
  plat::SleepMs(40);
  EXPECT_EQ(log.Count(), 0u);  // nothing without pumping
  PumpUntil([&] { return log.Count() >= 3; });
  for (auto id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());
  for (auto* s : log.senders) EXPECT_EQ(s, &timer);
}

TEST(korTimerEx, NeedsEnabledAnIntervalAndAHandler) {
  TimerLog log;
  TkorTimerEx timer;
  timer.SetInterval(0);
  timer.SetOnTimer(log.Handler());
  PumpFor(40);
  EXPECT_EQ(log.Count(), 0u);
  timer.SetEnabled(false);
  timer.SetInterval(5);
  PumpFor(40);
  EXPECT_EQ(log.Count(), 0u);
  timer.SetEnabled(true);
  PumpUntil([&] { return log.Count() >= 1; });
  timer.SetOnTimer(nullptr);
  std::size_t seen = log.Count();
  PumpFor(40);
  EXPECT_EQ(log.Count(), seen);
}

TEST(korTimerEx, ErrorsOfTheHandlerGoToTheErrorHandler) {
  static std::string reported;
  TkorTimerEx::SetErrorHandler([](const char* message) { reported = message; });
  int calls = 0;
  TkorTimerEx timer;
  timer.SetInterval(5);
  timer.SetOnTimer([&](TObject*) {
    ++calls;
    throw std::runtime_error("tick failed");
  });
  PumpUntil([&] { return calls >= 2; });  // still running after a failure
  TkorTimerEx::SetErrorHandler(nullptr);
  EXPECT_EQ(reported, "tick failed");
}

TEST(korTimerEx, HandlerMayFreeItsOwnTimer) {
  int calls = 0;
  auto* timer = new TkorTimerEx;
  timer->SetInterval(5);
  timer->SetOnTimer([&](TObject* sender) {
    ++calls;
    delete static_cast<TkorTimerEx*>(sender);
  });
  PumpUntil([&] { return calls >= 1; });
  PumpFor(30);
  EXPECT_EQ(calls, 1);
}

TEST(korTimerEx, FreeTimerDisablesAndClears) {
  TimerLog log;
  auto* timer = new TkorTimerEx;
  timer->SetInterval(5);
  timer->SetOnTimer(log.Handler());
  PumpUntil([&] { return log.Count() >= 1; });
  FreeTimer(timer);
  EXPECT_EQ(timer, nullptr);
  std::size_t seen = log.Count();
  PumpFor(30);
  EXPECT_EQ(log.Count(), seen);
}

TEST(korTimerEx, OwnedByAComponent) {
  TimerLog log;
  {
    TComponent owner(nullptr);
    auto* timer = new TkorTimerEx(&owner);
    timer->SetInterval(5);
    timer->SetOnTimer(log.Handler());
    EXPECT_EQ(owner.ComponentCount(), 1);
  }
  PumpFor(30);
  EXPECT_EQ(log.Count(), 0u);
}

TEST(korTimerExConcurrency, DisableFromAnotherThreadTakesEffectOnTheNextPump) {
  TimerLog log;
  TkorTimerEx timer;
  timer.SetInterval(5);
  timer.SetOnTimer(log.Handler());
  PumpUntil([&] { return log.Count() >= 1; });
  kortest::RunBounded([&] { timer.SetEnabled(false); });
  EXPECT_TRUE(timer.Enabled());  // not applied on the other thread
  plat::SleepMs(30);             // the timer comes due meanwhile
  std::size_t before = log.Count();
  plat::ProcessPendingMessages();
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(log.Count(), before);  // the disable came first
  PumpFor(30);
  EXPECT_EQ(log.Count(), before);
  kortest::RunBounded([&] { timer.SetEnabled(true); });
  PumpUntil([&] { return log.Count() > before; });
  for (auto id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(korTimerExConcurrency, IntervalFromAnotherThreadIsAppliedByTheOwner) {
  TimerLog log;
  TkorTimerEx timer;
  timer.SetInterval(0);
  timer.SetOnTimer(log.Handler());
  kortest::RunBounded([&] { timer.SetInterval(5); });
  PumpUntil([&] { return log.Count() >= 2; });
  for (auto id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(korTimerExConcurrency, TimerOfAWorkerThreadFiresOnlyThere) {
  TimerLog log;
  std::thread::id worker;
  kortest::RunBounded([&] {
    worker = std::this_thread::get_id();
    TkorTimerEx timer;
    timer.SetInterval(5);
    timer.SetOnTimer(log.Handler());
    PumpUntil([&] { return log.Count() >= 3; });
  });
  PumpFor(20);  // this thread's loop does not run it
  for (auto id : log.threads) EXPECT_EQ(id, worker);
}

TEST(korTimerExConcurrency, FreedFromAnotherThreadItStopsForGood) {
  TimerLog log;
  auto* timer = new TkorTimerEx;
  timer->SetInterval(5);
  timer->SetOnTimer(log.Handler());
  PumpUntil([&] { return log.Count() >= 1; });
  std::atomic<bool> freed{false};
  kortest::TTestThreads threads;
  threads.Start([&] {
    delete timer;
    freed = true;
  });
  PumpUntil([&] { return freed.load(); });  // the owner answers the disable
  threads.JoinAll();
  std::size_t seen = log.Count();
  PumpFor(40);  // and then releases the window
  EXPECT_EQ(log.Count(), seen);
}

}  // namespace

namespace {

// A timer whose period is far beyond the test: only FireSoon can run it.
TEST(korTimerExConcurrency, FireSoonRunsTheHandlerOnceOnTheOwner) {
  TimerLog log;
  TkorTimerEx timer;
  timer.SetInterval(3600000);
  timer.SetOnTimer(log.Handler());
  kortest::RunBounded([&] {
    for (int i = 0; i < 5; ++i) timer.FireSoon();  // coalesced until the owner pumps
  });
  EXPECT_EQ(log.Count(), 0u);  // nothing before the owner pumps
  PumpUntil([&] { return log.Count() >= 1; });
  PumpFor(20);
  EXPECT_EQ(log.Count(), 1u);
  EXPECT_EQ(log.threads[0], std::this_thread::get_id());
  kortest::RunBounded([&] { timer.FireSoon(); });
  PumpUntil([&] { return log.Count() >= 2; });
}

TEST(korTimerEx, FireSoonDoesNothingWhileDisabled) {
  TimerLog log;
  TkorTimerEx timer;
  timer.SetInterval(3600000);
  timer.SetOnTimer(log.Handler());
  timer.SetEnabled(false);
  timer.FireSoon();
  PumpFor(20);
  EXPECT_EQ(log.Count(), 0u);
}

}  // namespace
