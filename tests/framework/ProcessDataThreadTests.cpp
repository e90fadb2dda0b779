#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/Thread_ProcessData.h"
#include "platform/Messages.h"
#include "tests/framework/TestPump.h"
#include "tests/framework/TestThreads.h"

namespace {

// A work item that counts its destruction.
class TWork : public TObject {
 public:
  TWork(int value, std::atomic<int>* freed) : Value(value), FFreed(freed) {}
  ~TWork() override { ++*FFreed; }
  const int Value;

 private:
  std::atomic<int>* FFreed;
};

// What a handler saw.
struct Delivered {
  std::mutex mutex;
  std::vector<int> values;
  std::vector<std::thread::id> threads;

  void Add(TObject* item) {
    std::lock_guard<std::mutex> lock(mutex);
    values.push_back(static_cast<TWork*>(item)->Value);
    threads.push_back(std::this_thread::get_id());
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return values.size();
  }
};

// A gate a handler waits at until the test opens it.
struct Gate {
  TWaitableEvent reached{true, false};
  TWaitableEvent open{true, false};
  void Pass() {
    reached.SetEvent();
    ASSERT_EQ(open.WaitFor(10000), TWaitResult::wrSignaled);
  }
};

using kortest::PumpUntil;

TProcessDataEvent Recording(Delivered& delivered) {
  return [&delivered](TProcessDataThread*, TObject*& item) { delivered.Add(item); };
}

TEST(ProcessDataThreadConcurrency, ConstructorReturnsOnceTheThreadRuns) {
  TProcessDataThread thread(false, false, "worker");
  EXPECT_TRUE(thread.StartedEvent().IsSet());
  EXPECT_FALSE(thread.Suspended());
  EXPECT_EQ(thread.Priority(), TThreadPriority::tpLower);
  EXPECT_EQ(thread.ThreadName(), "worker");
}

TEST(ProcessDataThreadConcurrency, ItemsPushedBeforeTheStartArriveInPushOrder) {
  std::atomic<int> freed{0};
  Delivered delivered;
  TProcessDataThread thread(true, false, "");
  EXPECT_TRUE(thread.Suspended());
  thread.SetOnProcessData(Recording(delivered));
  for (int i = 0; i < 50; ++i) thread.Queue().Push(new TWork(i, &freed));
  thread.Start();
  kortest::WaitUntil([&] { return freed.load() == 50; }, "delivery");
  std::vector<int> expected(50);
  for (int i = 0; i < 50; ++i) expected[i] = i;
  EXPECT_EQ(delivered.values, expected);
  for (auto id : delivered.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST(ProcessDataThreadConcurrency, PushesFromManyThreadsKeepEachOnesOrder) {
  std::atomic<int> freed{0};
  Delivered delivered;
  TProcessDataThread thread(false, false, "");
  thread.SetOnProcessData(Recording(delivered));
  kortest::TTestThreads producers;
  for (int p = 0; p < 3; ++p)
    producers.Start([&, p] {
      for (int i = 0; i < 300; ++i) thread.Queue().Push(new TWork(p * 1000 + i, &freed));
    });
  producers.JoinAll();
  kortest::WaitUntil([&] { return freed.load() == 900; }, "delivery");
  std::vector<int> last(3, -1);
  for (int v : delivered.values) {
    EXPECT_GT(v % 1000, last[v / 1000]);
    last[v / 1000] = v % 1000;
  }
}

TEST(ProcessDataThreadConcurrency, ItemsLeftAtStopAreFreedUndelivered) {
  std::atomic<int> freed{0};
  Delivered delivered;
  Gate gate;
  auto* thread = new TProcessDataThread(false, false, "");
  thread->SetOnProcessData([&](TProcessDataThread*, TObject*& item) {
    delivered.Add(item);
    gate.Pass();
  });
  thread->Queue().Push(new TWork(1, &freed));
  ASSERT_EQ(gate.reached.WaitFor(10000), TWaitResult::wrSignaled);
  for (int i = 2; i <= 4; ++i) thread->Queue().Push(new TWork(i, &freed));
  thread->Stop(true);
  gate.open.SetEvent();
  ASSERT_EQ(thread->FinishedEvent().WaitFor(10000), TWaitResult::wrSignaled);
  EXPECT_EQ(delivered.values, std::vector<int>{1});
  EXPECT_EQ(freed.load(), 1);  // the delivered one; the rest wait in the queue
  EXPECT_EQ(thread->Queue().Count(), 3);
  delete thread;
  EXPECT_EQ(freed.load(), 4);
  EXPECT_EQ(delivered.Count(), 1u);
}

TEST(ProcessDataThreadConcurrency, WithoutAHandlerItemsAreFreedUntouched) {
  std::atomic<int> freed{0};
  TProcessDataThread thread(false, false, "");
  for (int i = 0; i < 10; ++i) thread.Queue().Push(new TWork(i, &freed));
  kortest::WaitUntil([&] { return freed.load() == 10; }, "freeing");
  EXPECT_EQ(thread.Queue().Count(), 0);
}

TEST(ProcessDataThreadConcurrency, AHandlerThatKeepsTheItemOwnsIt) {
  std::atomic<int> freed{0};
  std::atomic<TObject*> kept{nullptr};
  TProcessDataThread thread(false, false, "");
  thread.SetOnProcessData([&](TProcessDataThread*, TObject*& item) {
    kept = item;
    item = nullptr;
  });
  thread.Queue().Push(new TWork(7, &freed));
  kortest::WaitUntil([&] { return kept.load() != nullptr; }, "delivery");
  thread.Shutdown();
  EXPECT_EQ(freed.load(), 0);
  EXPECT_EQ(static_cast<TWork*>(kept.load())->Value, 7);
  delete kept.load();
  EXPECT_EQ(freed.load(), 1);
}

TEST(ProcessDataThreadConcurrency, AFailingHandlerDoesNotStopTheWork) {
  std::atomic<int> freed{0};
  Delivered delivered;
  TProcessDataThread thread(false, false, "");
  thread.SetOnProcessData([&](TProcessDataThread*, TObject*& item) {
    delivered.Add(item);
    if (static_cast<TWork*>(item)->Value == 1) throw std::runtime_error("bad item");
  });
  for (int i = 1; i <= 3; ++i) thread.Queue().Push(new TWork(i, &freed));
  kortest::WaitUntil([&] { return freed.load() == 3; }, "delivery");
  EXPECT_EQ(delivered.values, (std::vector<int>{1, 2, 3}));
}

TEST(ProcessDataThreadConcurrency, AFailingOnStartEndsTheThreadThroughOnStop) {
  std::atomic<int> freed{0};
  std::atomic<int> stops{0};
  Delivered delivered;
  TProcessDataThread thread(true, false, "");
  thread.SetOnStart([](TProcessDataThread*) { throw std::runtime_error("no start"); });
  thread.SetOnStop([&](TProcessDataThread*) {
    ++stops;
    throw std::runtime_error("stop fails too");
  });
  thread.SetOnProcessData(Recording(delivered));
  thread.Queue().Push(new TWork(1, &freed));
  thread.Start();
  ASSERT_EQ(thread.FinishedEvent().WaitFor(10000), TWaitResult::wrSignaled);
  EXPECT_EQ(stops.load(), 1);
  EXPECT_EQ(delivered.Count(), 0u);
  EXPECT_EQ(thread.Queue().Count(), 1);
}

TEST(ProcessDataThreadConcurrency, StopOnASuspendedThreadLetsItEnd) {
  std::atomic<int> freed{0};
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};
  Delivered delivered;
  TProcessDataThread thread(true, false, "");
  thread.SetOnStart([&](TProcessDataThread*) { ++starts; });
  thread.SetOnStop([&](TProcessDataThread*) { ++stops; });
  thread.SetOnProcessData(Recording(delivered));
  thread.Queue().Push(new TWork(1, &freed));
  thread.Stop(true);
  EXPECT_FALSE(thread.Suspended());
  ASSERT_EQ(thread.FinishedEvent().WaitFor(10000), TWaitResult::wrSignaled);
  EXPECT_EQ(starts.load(), 1);
  EXPECT_EQ(stops.load(), 1);
  EXPECT_EQ(delivered.Count(), 0u);  // stopped before it could take anything
  EXPECT_EQ(freed.load(), 0);
}

TEST(ProcessDataThreadConcurrency, AWakeUpWithoutStopLetsTheThreadSleepAndWork) {
  std::atomic<int> freed{0};
  TProcessDataThread thread(false, false, "");
  thread.SetWakeUp(true);
  kortest::WaitUntil([&] { return !thread.WakeEvent().IsSet(); }, "wake-up handled");
  thread.Queue().Push(new TWork(1, &freed));
  kortest::WaitUntil([&] { return freed.load() == 1; }, "freeing");
  EXPECT_FALSE(thread.Finished());
}

// A descendant that does its own delivery (AlwaysProcess).
class TCountingThread : public TProcessDataThread {
 public:
  TCountingThread() : TProcessDataThread(true, false, "") {
    AlwaysProcess = true;
    Start();
  }
  ~TCountingThread() override { Shutdown(); }
  std::atomic<int> Processed{0};

 protected:
  void DoProcessData(TObject*&) override { ++Processed; }
};

TEST(ProcessDataThreadConcurrency, AlwaysProcessDeliversWithoutAHandler) {
  std::atomic<int> freed{0};
  TCountingThread thread;
  for (int i = 0; i < 5; ++i) thread.Queue().Push(new TWork(i, &freed));
  kortest::WaitUntil([&] { return freed.load() == 5; }, "delivery");
  EXPECT_EQ(thread.Processed.load(), 5);
}

TEST(ProcessDataThreadConcurrency, DeliveryLockKeepsTheOwnerOutOfADelivery) {
  std::atomic<int> freed{0};
  Gate gate;
  std::atomic<bool> inside{false};
  TProcessDataThread thread(false, false, "");
  thread.SetOnProcessData([&](TProcessDataThread*, TObject*&) {
    inside = true;
    gate.Pass();
    inside = false;
  });
  thread.Queue().Push(new TWork(1, &freed));
  ASSERT_EQ(gate.reached.WaitFor(10000), TWaitResult::wrSignaled);
  EXPECT_FALSE(thread.Lock().TryEnter());  // held by the delivery
  gate.open.SetEvent();
  thread.Lock().Enter();
  EXPECT_FALSE(inside.load());
  thread.Lock().Leave();
}

TEST(ProcessDataThreadConcurrency, SynchronizedDeliveryRunsOnTheMainThread) {
  plat::MakeCallingThreadMain();
  std::atomic<int> freed{0};
  Delivered delivered;
  {
    TProcessDataThread thread(false, false, "");
    thread.SynchronizeData = true;
    thread.SetOnProcessData(Recording(delivered));
    for (int i = 0; i < 3; ++i) thread.Queue().Push(new TWork(i, &freed));
    PumpUntil([&] { return freed.load() == 3; });
  }
  for (auto id : delivered.threads) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(delivered.values, (std::vector<int>{0, 1, 2}));
}

TEST(ProcessDataThreadConcurrency, WaitingOnTheMainThreadStillServesSynchronize) {
  plat::MakeCallingThreadMain();
  std::atomic<int> freed{0};
  std::atomic<bool> ran{false};
  TWaitableEvent reached(true, false);
  TProcessDataThread thread(false, false, "");
  thread.SetOnProcessData([&](TProcessDataThread*, TObject*&) {
    reached.SetEvent();
    TThread::Synchronize([&] { ran = true; });
  });
  thread.Queue().Push(new TWork(1, &freed));
  ASSERT_EQ(reached.WaitFor(10000), TWaitResult::wrSignaled);
  EXPECT_FALSE(ran.load());  // the main thread has not pumped yet
  thread.Shutdown();         // its wait pumps, so the worker can finish
  EXPECT_TRUE(ran.load());
  EXPECT_EQ(freed.load(), 1);
}

TEST(ProcessDataThreadConcurrency, MessageModePumpsTheWorkersWindows) {
  std::atomic<int> freed{0};
  std::atomic<plat::WindowHandle> window{0};
  std::atomic<int> handled{0};
  std::thread::id handledOn;
  std::thread::id workerId;
  static constexpr std::uint32_t kHello = plat::kUserMessage + 5;
  struct Context {
    std::atomic<int>* handled;
    std::thread::id* on;
  } context{&handled, &handledOn};
  auto proc = [](void* c, std::uint32_t message, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    auto* ctx = static_cast<Context*>(c);
    if (message == kHello) {
      *ctx->on = std::this_thread::get_id();
      ++*ctx->handled;
    }
    return 0;
  };
  TProcessDataThread thread(true, true, "pumping");
  thread.SetOnStart([&](TProcessDataThread*) {
    workerId = std::this_thread::get_id();
    window = plat::CreateMessageWindow(proc, &context);
  });
  thread.SetOnStop([&](TProcessDataThread*) { plat::DestroyMessageWindow(window.load()); });
  thread.Start();
  kortest::WaitUntil([&] { return window.load() != 0; }, "window");
  ASSERT_TRUE(plat::PostWindowMessage(window.load(), kHello, 0, 0));
  kortest::WaitUntil([&] { return handled.load() == 1; }, "message");
  thread.Queue().Push(new TWork(1, &freed));  // items still flow
  kortest::WaitUntil([&] { return freed.load() == 1; }, "item");
  thread.Shutdown();
  EXPECT_EQ(handledOn, workerId);
}

TEST(ProcessDataThreadConcurrency, StopAndFreeEndsAndClears) {
  std::atomic<int> freed{0};
  std::atomic<int> stops{0};
  auto* thread = new TProcessDataThread(false, false, "");
  thread->SetOnStop([&](TProcessDataThread*) { ++stops; });
  thread->Queue().Push(new TWork(1, &freed));
  kortest::WaitUntil([&] { return freed.load() == 1; }, "freeing");
  TProcessDataThread::StopAndFree(thread);
  EXPECT_EQ(thread, nullptr);
  EXPECT_EQ(stops.load(), 1);
}

TEST(ProcessDataThreadConcurrency, PumpMessagesHonoursItsLimit) {
  Delivered unused;
  TProcessDataThread thread(true, false, "");  // never started: a pump on this thread
  struct Counter {
    int n = 0;
  } counter;
  auto proc = [](void* c, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    ++static_cast<Counter*>(c)->n;
    return 0;
  };
  plat::WindowHandle window = plat::CreateMessageWindow(proc, &counter);
  for (int i = 0; i < 30; ++i) plat::PostWindowMessage(window, plat::kUserMessage + 9, 0, 0);
  EXPECT_FALSE(thread.PumpMessages(20));
  EXPECT_EQ(counter.n, 20);
  EXPECT_TRUE(thread.PumpMessages(20));
  EXPECT_EQ(counter.n, 30);
  for (int i = 0; i < 5; ++i) plat::PostWindowMessage(window, plat::kUserMessage + 9, 0, 0);
  thread.MessagesSuspended = true;
  EXPECT_TRUE(thread.PumpMessages(0));
  EXPECT_EQ(counter.n, 30);
  thread.MessagesSuspended = false;
  EXPECT_TRUE(thread.PumpMessages(0));
  EXPECT_EQ(counter.n, 35);
  plat::DestroyMessageWindow(window);
}

}  // namespace
