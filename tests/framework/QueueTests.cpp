#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "framework/Thread_Queue.h"
#include "tests/framework/TestThreads.h"

namespace {

// Carries a number and counts its destruction.
class TNumbered : public TObject {
 public:
  TNumbered(int value, std::atomic<int>* freed) : Value(value), FFreed(freed) {}
  ~TNumbered() override { ++*FFreed; }
  const int Value;

 private:
  std::atomic<int>* FFreed;
};

int TakeValue(TThreadSafeQueue& queue) {
  TObject* item = queue.Pop();
  if (item == nullptr) return -1;
  int value = static_cast<TNumbered*>(item)->Value;
  delete item;
  return value;
}

TEST(ThreadSafeQueue, PopsInPushOrderAndTheTakerOwns) {
  std::atomic<int> freed{0};
  TThreadSafeQueue queue;
  for (int i = 0; i < 3; ++i) queue.Push(new TNumbered(i, &freed));
  EXPECT_EQ(queue.Count(), 3);
  TObject* first = queue.Pop();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(static_cast<TNumbered*>(first)->Value, 0);
  queue.Clear();
  EXPECT_EQ(freed.load(), 2);  // the popped one is not the queue's any more
  delete first;
  EXPECT_EQ(freed.load(), 3);
  EXPECT_EQ(queue.Pop(), nullptr);
}

TEST(ThreadSafeQueue, PushOfNoneChangesNothingAndDoesNotSignal) {
  TThreadSafeQueue queue;
  queue.Push(nullptr);
  EXPECT_EQ(queue.SlotCount(), 0);
  EXPECT_FALSE(queue.Event().IsSet());
}

TEST(ThreadSafeQueue, EventFollowsTheContents) {
  std::atomic<int> freed{0};
  TThreadSafeQueue queue;
  EXPECT_EQ(queue.Pop(), nullptr);
  EXPECT_FALSE(queue.Event().IsSet());
  queue.Push(new TNumbered(1, &freed));
  queue.Push(new TNumbered(2, &freed));
  EXPECT_TRUE(queue.Event().IsSet());
  EXPECT_EQ(TakeValue(queue), 1);
  EXPECT_TRUE(queue.Event().IsSet());
  EXPECT_EQ(TakeValue(queue), 2);  // the last one resets it
  EXPECT_FALSE(queue.Event().IsSet());
  queue.Push(new TNumbered(3, &freed));
  queue.Clear();
  EXPECT_FALSE(queue.Event().IsSet());
  EXPECT_EQ(freed.load(), 3);
}

TEST(ThreadSafeQueue, CompactsPastTheLimitAndKeepsOrder) {
  std::atomic<int> freed{0};
  TThreadSafeQueue queue;
  const int total = static_cast<int>(TThreadSafeQueue::CompactLimit) + 100;
  for (int i = 0; i < total; ++i) queue.Push(new TNumbered(i, &freed));
  for (std::uint32_t i = 0; i < TThreadSafeQueue::CompactLimit; ++i)
    ASSERT_EQ(TakeValue(queue), static_cast<int>(i));
  EXPECT_EQ(queue.Head(), TThreadSafeQueue::CompactLimit);  // not yet
  EXPECT_EQ(queue.SlotCount(), total);
  EXPECT_EQ(TakeValue(queue), static_cast<int>(TThreadSafeQueue::CompactLimit));
  EXPECT_EQ(queue.Head(), 0u);  // 16384 taken: compacted
  EXPECT_EQ(queue.SlotCount(), total - 16384);
  for (int i = 16384; i < total; ++i) ASSERT_EQ(TakeValue(queue), i);
  EXPECT_EQ(queue.Pop(), nullptr);
  EXPECT_EQ(freed.load(), total);
}

TEST(ThreadSafeQueue, DestructorFreesWhatIsLeft) {
  std::atomic<int> freed{0};
  {
    TThreadSafeQueue queue;
    queue.Push(new TNumbered(1, &freed));
    queue.Push(new TNumbered(2, &freed));
    EXPECT_EQ(TakeValue(queue), 1);
  }
  EXPECT_EQ(freed.load(), 2);
}

TEST(ThreadSafeQueue, LockHandsOutTheSlots) {
  std::atomic<int> freed{0};
  TThreadSafeQueue queue;
  queue.Push(new TNumbered(1, &freed));
  queue.Push(new TNumbered(2, &freed));
  EXPECT_EQ(TakeValue(queue), 1);
  TList* slots = queue.Lock();
  EXPECT_EQ(slots->Count(), 2);
  EXPECT_EQ(slots->Get(0), nullptr);  // taken
  EXPECT_NE(slots->Get(1), nullptr);
  queue.Unlock();
}

TEST(ThreadSafeQueueConcurrency, ProducersAndAConsumerLoseNothing) {
  std::atomic<int> freed{0};
  TThreadSafeQueue queue;
  constexpr int kProducers = 3;
  constexpr int kEach = 2000;
  std::vector<int> lastSeen(kProducers, -1);
  int taken = 0;
  kortest::TTestThreads threads;
  for (int p = 0; p < kProducers; ++p)
    threads.Start([&, p] {
      for (int i = 0; i < kEach; ++i) queue.Push(new TNumbered(p * kEach + i, &freed));
    });
  threads.Start([&] {
    while (taken < kProducers * kEach) {
      ASSERT_EQ(queue.Event().WaitFor(10000), TWaitResult::wrSignaled);
      while (TObject* item = queue.Pop()) {
        int value = static_cast<TNumbered*>(item)->Value;
        int producer = value / kEach;
        EXPECT_GT(value, lastSeen[producer]);  // each producer's order holds
        lastSeen[producer] = value;
        ++taken;
        delete item;
      }
    }
  });
  threads.JoinAll();
  EXPECT_EQ(taken, kProducers * kEach);
  EXPECT_EQ(freed.load(), kProducers * kEach);
  EXPECT_FALSE(queue.Event().IsSet());
}

}  // namespace
