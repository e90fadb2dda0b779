#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "platform/Time.h"
#include "tests/framework/TestPump.h"
#include "tests/framework/TestThreads.h"

namespace {

constexpr std::uint32_t kPing = plat::kUserMessage + 1;
constexpr std::uint32_t kDestroySelf = plat::kUserMessage + 2;

// What a window received, and on which thread.
struct Recorder {
  std::mutex mutex;
  std::vector<std::uint32_t> messages;
  std::vector<std::uintptr_t> params;
  std::vector<std::thread::id> threads;
  plat::WindowHandle self = 0;

  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
  }
  std::size_t CountOf(std::uint32_t message) {
    std::lock_guard<std::mutex> lock(mutex);
    std::size_t n = 0;
    for (auto m : messages) n += m == message ? 1 : 0;
    return n;
  }
};

std::intptr_t RecordProc(void* context, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
  auto* r = static_cast<Recorder*>(context);
  {
    std::lock_guard<std::mutex> lock(r->mutex);
    r->messages.push_back(message);
    r->params.push_back(wParam);
    r->threads.push_back(std::this_thread::get_id());
  }
  if (message == kDestroySelf) plat::DestroyMessageWindow(r->self);
  return static_cast<std::intptr_t>(wParam) + lParam;
}

// A window with its own recorder, destroyed with the fixture.
struct OwnWindow {
  Recorder recorder;
  plat::WindowHandle handle;
  OwnWindow() : handle(plat::CreateMessageWindow(&RecordProc, &recorder)) {
    recorder.self = handle;
  }
  ~OwnWindow() { plat::DestroyMessageWindow(handle); }
};

using kortest::PumpUntil;

TEST(MessagesWindow, PostedMessagesArriveInOrderOnlyWhenPumped) {
  OwnWindow w;
  ASSERT_NE(w.handle, 0u);
  EXPECT_TRUE(plat::IsMessageWindow(w.handle));
  EXPECT_TRUE(plat::IsOwnWindow(w.handle));
  for (std::uintptr_t i = 1; i <= 3; ++i)
    EXPECT_TRUE(plat::PostWindowMessage(w.handle, kPing, i, 0));
  EXPECT_EQ(w.recorder.Count(), 0u);
  EXPECT_TRUE(plat::ProcessPendingMessages());
  ASSERT_EQ(w.recorder.Count(), 3u);
  EXPECT_EQ(w.recorder.params, (std::vector<std::uintptr_t>{1, 2, 3}));
}

TEST(MessagesWindow, SendOnOwnerThreadRunsDirectly) {
  OwnWindow w;
  std::intptr_t result = -1;
  EXPECT_TRUE(plat::SendWindowMessageTimeout(w.handle, kPing, 40, 2, 100, &result));
  EXPECT_EQ(result, 42);
  EXPECT_EQ(w.recorder.Count(), 1u);
}

TEST(MessagesWindow, DestroyedWindowRefusesAndDropsQueued) {
  Recorder recorder;
  plat::WindowHandle handle = plat::CreateMessageWindow(&RecordProc, &recorder);
  ASSERT_TRUE(plat::PostWindowMessage(handle, kPing, 1, 0));
  plat::DestroyMessageWindow(handle);
  EXPECT_FALSE(plat::IsMessageWindow(handle));
  EXPECT_FALSE(plat::PostWindowMessage(handle, kPing, 2, 0));
  std::intptr_t result = -1;
  EXPECT_FALSE(plat::SendWindowMessageTimeout(handle, kPing, 3, 0, 10, &result));
  EXPECT_EQ(result, 0);
  plat::ProcessPendingMessages();
  EXPECT_EQ(recorder.Count(), 0u);
}

TEST(MessagesWindow, WindowMayDestroyItselfWhileHandling) {
  Recorder recorder;
  recorder.self = plat::CreateMessageWindow(&RecordProc, &recorder);
  ASSERT_TRUE(plat::PostWindowMessage(recorder.self, kDestroySelf, 0, 0));
  ASSERT_TRUE(plat::PostWindowMessage(recorder.self, kPing, 0, 0));
  plat::ProcessPendingMessages();
  EXPECT_EQ(recorder.Count(), 1u);
  EXPECT_FALSE(plat::IsMessageWindow(recorder.self));
}

TEST(MessagesWindow, ZeroIsNoWindow) {
  EXPECT_FALSE(plat::IsMessageWindow(0));
  EXPECT_FALSE(plat::PostWindowMessage(0, kPing, 0, 0));
  EXPECT_EQ(plat::CreateMessageWindow(nullptr, nullptr), 0u);
}

TEST(MessagesPump, QuitEndsThePumpOnceAndIsConsumed) {
  OwnWindow w;
  plat::PostWindowMessage(w.handle, kPing, 1, 0);
  plat::PostQuitToThread();
  EXPECT_FALSE(plat::ProcessPendingMessages());
  EXPECT_EQ(w.recorder.Count(), 1u);  // posted before quit: still handled
  EXPECT_TRUE(plat::ProcessPendingMessages());
  plat::PostQuitToThread();
  EXPECT_FALSE(plat::WaitAndProcessMessages(1000));
}

TEST(MessagesPump, PumpOneMessageLeavesTheQuitForTheOuterLoop) {
  OwnWindow w;
  plat::PostWindowMessage(w.handle, kPing, 1, 0);
  plat::PostQuitToThread();
  EXPECT_EQ(plat::PumpOneMessage(), plat::PumpOutcome::Handled);
  EXPECT_EQ(plat::PumpOneMessage(), plat::PumpOutcome::Quit);
  EXPECT_EQ(plat::PumpOneMessage(), plat::PumpOutcome::Quit);
  EXPECT_FALSE(plat::ProcessPendingMessages());
  EXPECT_EQ(plat::PumpOneMessage(), plat::PumpOutcome::Empty);
}

TEST(MessagesPump, QueuedMessageCountsAsInput) {
  OwnWindow w;
  plat::PostWindowMessage(w.handle, kPing, 1, 0);
  EXPECT_EQ(plat::WaitForInputOrWake(0, 1000, plat::kWakeAllInput), plat::WaitOutcome::Input);
  plat::ProcessPendingMessages();
  EXPECT_EQ(plat::WaitForInputOrWake(0, 1, plat::kWakeAllInput), plat::WaitOutcome::TimedOut);
}

TEST(MessagesPump, WakeBeforeTheWaitIsKept) {
  plat::ThreadWaker waker = plat::CreateThreadWaker();
  ASSERT_NE(waker, 0u);
  plat::WakeThread(waker);
  EXPECT_EQ(plat::WaitForInputOrWake(waker, 1000, plat::kWakeAllInput), plat::WaitOutcome::Woken);
  EXPECT_EQ(plat::WaitForInputOrWake(waker, 1, plat::kWakeAllInput), plat::WaitOutcome::TimedOut);
  plat::FreeThreadWaker(waker);
}

TEST(MessagesPump, WaitWithoutWakerIgnoresWakes) {
  plat::ThreadWaker waker = plat::CreateThreadWaker();
  plat::WakeThread(waker);
  EXPECT_EQ(plat::WaitForInputOrWake(0, 1, plat::kWakeAllInput), plat::WaitOutcome::TimedOut);
  EXPECT_EQ(plat::WaitForInputOrWake(waker, 1000, plat::kWakeAllInput), plat::WaitOutcome::Woken);
  plat::FreeThreadWaker(waker);
}

TEST(MessagesTimer, FiresOnOwnerWithoutPilingUp) {
  OwnWindow w;
  // An interval longer than one pass of the pump takes even on a loaded
  // machine, so the pass can see only the one message that waited.
  ASSERT_TRUE(plat::SetWindowTimer(w.handle, 7, 25));
  plat::SleepMs(200);  // many intervals pass without pumping
  plat::ProcessPendingMessages();
  EXPECT_EQ(w.recorder.CountOf(plat::kTimerMessage), 1u);
  PumpUntil([&] { return w.recorder.CountOf(plat::kTimerMessage) >= 3; });
  plat::KillWindowTimer(w.handle, 7);
  plat::ProcessPendingMessages();
  std::size_t seen = w.recorder.CountOf(plat::kTimerMessage);
  plat::SleepMs(30);
  plat::ProcessPendingMessages();
  EXPECT_EQ(w.recorder.CountOf(plat::kTimerMessage), seen);
  for (auto p : w.recorder.params) EXPECT_EQ(p, 7u);
}

TEST(MessagesTimer, TimerMessageWakesTheWait) {
  OwnWindow w;
  ASSERT_TRUE(plat::SetWindowTimer(w.handle, 1, 20));
  EXPECT_EQ(plat::WaitForInputOrWake(0, 5000, plat::kWakeAllInput), plat::WaitOutcome::Input);
  plat::ProcessPendingMessages();
  EXPECT_EQ(w.recorder.CountOf(plat::kTimerMessage), 1u);
}

TEST(MessagesTime, TicksAdvanceAndAgree) {
  ASSERT_TRUE(plat::HasTickCount64());
  std::uint64_t before = plat::TickCount64();
  kortest::WaitUntil([&] { return plat::TickCount64() > before; }, "tick");
  std::uint64_t after = plat::TickCount64();
  EXPECT_LT(after - before, 5000u);
  std::uint32_t low = plat::TickCount32();
  EXPECT_LE(static_cast<std::uint32_t>(low - static_cast<std::uint32_t>(after)), 1000u);
}

TEST(MessagesTime, OleDateIsTodayWithinTheTimeZones) {
  // 1970-01-01 is OLE day 25569; the local date differs from UTC by at most 14 h.
  double utcDays = 25569.0 + static_cast<double>(std::time(nullptr)) / 86400.0;
  double local = plat::NowAsOleDate();
  EXPECT_LT(std::abs(local - utcDays), 14.5 / 24.0);
  double a = plat::NowAsOleDate();
  plat::SleepMs(20);
  EXPECT_GT(plat::NowAsOleDate(), a);
}

// --- threads ---

TEST(MessagesConcurrency, PostFromOtherThreadsRunsOnOwner) {
  OwnWindow w;
  const auto owner = std::this_thread::get_id();
  kortest::TTestThreads threads;
  for (int t = 0; t < 4; ++t)
    threads.Start([&] {
      for (int i = 0; i < 50; ++i) EXPECT_TRUE(plat::PostWindowMessage(w.handle, kPing, 0, 0));
    });
  PumpUntil([&] { return w.recorder.Count() == 200; });
  threads.JoinAll();
  for (auto id : w.recorder.threads) EXPECT_EQ(id, owner);
}

TEST(MessagesConcurrency, SendFromOtherThreadWaitsForTheResult) {
  OwnWindow w;
  std::atomic<bool> done{false};
  std::intptr_t result = 0;
  bool ok = false;
  kortest::TTestThreads threads;
  threads.Start([&] {
    ok = plat::SendWindowMessageTimeout(w.handle, kPing, 5, 6, 5000, &result);
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  threads.JoinAll();
  EXPECT_TRUE(ok);
  EXPECT_EQ(result, 11);
  ASSERT_EQ(w.recorder.threads.size(), 1u);
  EXPECT_EQ(w.recorder.threads[0], std::this_thread::get_id());
}

TEST(MessagesConcurrency, SendTimesOutWhenTheOwnerDoesNotPump) {
  OwnWindow w;
  bool ok = true;
  std::intptr_t result = -1;
  kortest::RunBounded(
      [&] { ok = plat::SendWindowMessageTimeout(w.handle, kPing, 5, 6, 30, &result); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(result, 0);
  plat::ProcessPendingMessages();  // handled late; nobody waits any more
}

TEST(MessagesConcurrency, WindowOfAnEndedThreadIsGone) {
  plat::WindowHandle handle = 0;
  Recorder recorder;
  kortest::RunBounded([&] { handle = plat::CreateMessageWindow(&RecordProc, &recorder); });
  ASSERT_NE(handle, 0u);
  // A thread's windows end with it.
  EXPECT_FALSE(plat::IsMessageWindow(handle));
  EXPECT_FALSE(plat::PostWindowMessage(handle, kPing, 0, 0));
}

TEST(MessagesConcurrency, TimersOfAThreadFireOnlyThere) {
  Recorder recorder;
  std::atomic<bool> stop{false};
  std::thread::id worker;
  kortest::RunBounded([&] {
    worker = std::this_thread::get_id();
    plat::WindowHandle handle = plat::CreateMessageWindow(&RecordProc, &recorder);
    plat::SetWindowTimer(handle, 3, 1);
    while (recorder.CountOf(plat::kTimerMessage) < 5) plat::WaitAndProcessMessages(10);
    plat::DestroyMessageWindow(handle);
  });
  plat::ProcessPendingMessages();
  for (auto id : recorder.threads) EXPECT_EQ(id, worker);
  EXPECT_GE(recorder.CountOf(plat::kTimerMessage), 5u);
}

TEST(MessagesConcurrency, WakerEndsAnotherThreadsWait) {
  std::atomic<plat::ThreadWaker> waker{0};
  std::atomic<bool> woke{false};
  plat::WaitOutcome outcome = plat::WaitOutcome::TimedOut;
  kortest::TTestThreads threads;
  threads.Start([&] {
    plat::ThreadWaker own = plat::CreateThreadWaker();
    waker = own;
    outcome = plat::WaitForInputOrWake(own, plat::kInfinite, plat::kWakeAllInput);
    // Freed only after the other thread's wake: it waits for the outcome.
    kortest::WaitUntil([&] { return woke.load(); });
    plat::FreeThreadWaker(own);
  });
  kortest::WaitUntil([&] { return waker.load() != 0; });
  plat::WakeThread(waker.load());
  woke = true;
  threads.JoinAll();
  EXPECT_EQ(outcome, plat::WaitOutcome::Woken);
}

TEST(MessagesConcurrency, PostWakesAThreadWaitingForInput) {
  std::atomic<plat::WindowHandle> handle{0};
  Recorder recorder;
  kortest::TTestThreads threads;
  threads.Start([&] {
    plat::WindowHandle own = plat::CreateMessageWindow(&RecordProc, &recorder);
    handle = own;
    while (recorder.Count() == 0) {
      plat::WaitForInputOrWake(0, plat::kInfinite, plat::kWakeAllInput);
      plat::ProcessPendingMessages();
    }
    plat::DestroyMessageWindow(own);
  });
  kortest::WaitUntil([&] { return handle.load() != 0; });
  EXPECT_TRUE(plat::PostWindowMessage(handle.load(), kPing, 9, 0));
  threads.JoinAll();
  EXPECT_EQ(recorder.CountOf(kPing), 1u);
}

TEST(MessagesConcurrency, RunOnMainThreadRunsThereAndWaits) {
  plat::MakeCallingThreadMain();
  ASSERT_TRUE(plat::IsMainThread());
  const auto mainId = std::this_thread::get_id();
  std::thread::id ranOn;
  bool ok = false;
  bool threw = true;
  std::atomic<bool> done{false};
  kortest::TTestThreads threads;
  threads.Start([&] {
    EXPECT_FALSE(plat::IsMainThread());
    ok = plat::RunOnMainThread([&] { ranOn = std::this_thread::get_id(); }, 5000);
    threw = plat::RunOnMainThread([] { throw std::runtime_error("x"); }, 5000);
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  threads.JoinAll();
  EXPECT_TRUE(ok);
  EXPECT_EQ(ranOn, mainId);
  EXPECT_FALSE(threw);
  int direct = 0;
  EXPECT_TRUE(plat::RunOnMainThread([&] { direct = 1; }, 0));
  EXPECT_EQ(direct, 1);
}

TEST(MessagesConcurrency, RunOnMainThreadTimesOutWhenMainDoesNotPump) {
  plat::MakeCallingThreadMain();
  auto ran = std::make_shared<std::atomic<bool>>(false);
  bool ok = true;
  kortest::RunBounded([&] { ok = plat::RunOnMainThread([ran] { *ran = true; }, 20); });
  EXPECT_FALSE(ok);
  PumpUntil([&] { return ran->load(); });  // a late run still finds its function
}

TEST(MessagesConcurrency, TwoThreadsSendingToEachOtherDoNotDeadlock) {
  OwnWindow mine;
  std::atomic<plat::WindowHandle> theirs{0};
  std::atomic<bool> mineAnswered{false};
  Recorder theirRecorder;
  kortest::TTestThreads threads;
  threads.Start([&] {
    plat::WindowHandle own = plat::CreateMessageWindow(&RecordProc, &theirRecorder);
    theirs = own;
    std::intptr_t r = 0;
    EXPECT_TRUE(plat::SendWindowMessageTimeout(mine.handle, kPing, 1, 0, 5000, &r));
    mineAnswered = true;
    PumpUntil([&] { return theirRecorder.Count() > 0; });
    plat::DestroyMessageWindow(own);
  });
  kortest::WaitUntil([&] { return theirs.load() != 0; });
  // The other thread is blocked sending to us; our send must be answered meanwhile.
  std::intptr_t r = 0;
  EXPECT_TRUE(plat::SendWindowMessageTimeout(theirs.load(), kPing, 2, 0, 5000, &r));
  EXPECT_EQ(r, 2);
  PumpUntil([&] { return mineAnswered.load(); });
  threads.JoinAll();
}

}  // namespace
