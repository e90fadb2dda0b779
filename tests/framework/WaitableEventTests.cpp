#include <gtest/gtest.h>

#include <atomic>

#include "framework/WaitableEvent.h"
#include "platform/Messages.h"
#include "tests/framework/TestThreads.h"

namespace {

std::intptr_t IgnoreProc(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return 0;
}

TEST(WaitableEvent, WaitForAnyReportsTheLowestSignalledIndex) {
  TWaitableEvent a, b, c;
  TWaitableEvent* events[] = {&a, &b, &c};
  c.SetEvent();
  b.SetEvent();
  TWaitAnyResult r = WaitForAny(events, 3, 0);
  EXPECT_EQ(r.kind, TWaitAnyResult::Event);
  EXPECT_EQ(r.index, 1);
  EXPECT_TRUE(b.IsSet());  // manual-reset: still set
}

TEST(WaitableEvent, AutoResetEventIsTakenByTheWait) {
  TWaitableEvent manual(true, false);
  TWaitableEvent automatic(false, true);
  TWaitableEvent* events[] = {&manual, &automatic};
  EXPECT_EQ(WaitForAny(events, 2, 0).index, 1);
  EXPECT_FALSE(automatic.IsSet());
  EXPECT_EQ(WaitForAny(events, 2, 5).kind, TWaitAnyResult::Timeout);
}

TEST(WaitableEvent, SingleWaitTimesOutAndResets) {
  TWaitableEvent e(true, false);
  EXPECT_EQ(e.WaitFor(1), TWaitResult::wrTimeout);
  e.SetEvent();
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrSignaled);
  e.ResetEvent();
  EXPECT_FALSE(e.IsSet());
}

TEST(WaitableEvent, MessageAwareWaitEndsOnInputButReportsEventsFirst) {
  TWaitableEvent e;
  TWaitableEvent* events[] = {&e};
  plat::WindowHandle window = plat::CreateMessageWindow(&IgnoreProc, nullptr);
  ASSERT_TRUE(plat::PostWindowMessage(window, plat::kUserMessage, 0, 0));
  EXPECT_EQ(WaitForAny(events, 1, 1000, true, plat::kWakeAllInput).kind, TWaitAnyResult::Input);
  e.SetEvent();
  EXPECT_EQ(WaitForAny(events, 1, 1000, true, plat::kWakeAllInput).kind, TWaitAnyResult::Event);
  e.ResetEvent();
  plat::ProcessPendingMessages();
  EXPECT_EQ(WaitForAny(events, 1, 5, true, plat::kWakeAllInput).kind, TWaitAnyResult::Timeout);
  plat::DestroyMessageWindow(window);
}

TEST(WaitableEventConcurrency, EventFromAnotherThreadEndsTheWait) {
  for (bool messages : {false, true}) {
    TWaitableEvent a, b;
    TWaitableEvent* events[] = {&a, &b};
    kortest::TTestThreads threads;
    threads.Start([&] { b.SetEvent(); });
    TWaitAnyResult r =
        WaitForAny(events, 2, TWaitableEvent::Infinite, messages, plat::kWakeAllInput);
    threads.JoinAll();
    EXPECT_EQ(r.kind, TWaitAnyResult::Event);
    EXPECT_EQ(r.index, 1);
  }
}

TEST(WaitableEventConcurrency, ManyWaitersAndSettersAgree) {
  TWaitableEvent go(false, false);
  std::atomic<int> woken{0};
  kortest::TTestThreads threads;
  for (int t = 0; t < 3; ++t)
    threads.Start([&] {
      TWaitableEvent* events[] = {&go};
      for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(WaitForAny(events, 1, 10000).kind, TWaitAnyResult::Event);
        ++woken;
      }
    });
  // An auto-reset event wakes one waiter per signal; keep signalling until
  // every wait was served.
  kortest::WaitUntil([&] {
    if (!go.IsSet()) go.SetEvent();
    return woken.load() >= 300;
  });
  threads.JoinAll();
  EXPECT_EQ(woken.load(), 300);
}

}  // namespace
