#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/LockGuards.h"
#include "framework/SysUtils.h"
#include "framework/Thread_Object.h"
#include "framework/Thread_ObjectList.h"
#include "framework/Thread_String.h"
#include "framework/Thread_StringList.h"
#include "tests/framework/TestObjects.h"
#include "tests/framework/TestThreads.h"

namespace {

using kortest::RunBounded;
using kortest::TStartLine;
using kortest::TTestThreads;

// Records, as it is freed, whether the owner's write lock is held.
template <class Owner>
class TLockProbe : public TObject {
 public:
  TLockProbe(Owner** owner, int* freedLocked, int* freedUnlocked)
      : FOwner(owner), FFreedLocked(freedLocked), FFreedUnlocked(freedUnlocked) {}
  ~TLockProbe() override { ++*((*FOwner)->IsWriteLocked() ? FFreedLocked : FFreedUnlocked); }

 private:
  Owner** FOwner;
  int* FFreedLocked;
  int* FFreedUnlocked;
};

TEST(ThreadObjectTest, GuardsItselfWhenGivenNoObject) {
  TThreadObject guard;
  EXPECT_EQ(guard.LockRead(), &guard);
  guard.UnlockRead();
  EXPECT_EQ(guard.LockWrite(), &guard);
  guard.UnlockWrite();
}

TEST(ThreadObjectTest, HandsOutTheGivenObject) {
  TObject inner;
  TThreadObject guard(&inner);
  EXPECT_EQ(guard.LockRead(), &inner);
  guard.UnlockRead();
  TWriteLock lock(guard);
  EXPECT_EQ(lock.Get(), &inner);
}

TEST(ThreadObjectTest, SyncCreatedOnFirstLockAndKept) {
  TThreadObject guard;
  EXPECT_EQ(guard.Sync(), nullptr);
  EXPECT_FALSE(guard.IsWriteLocked());
  guard.LockRead();
  TMultiReadExclusiveWriteSynchronizer* sync = guard.Sync();
  ASSERT_NE(sync, nullptr);
  guard.UnlockRead();
  guard.LockWrite();
  EXPECT_EQ(guard.Sync(), sync);
  EXPECT_TRUE(guard.IsWriteLocked());
  guard.UnlockWrite();
}

TEST(ThreadObjectConcurrency, WriterLocksAgainWithoutBlocking) {
  TThreadObject guard;
  RunBounded([&] {
    guard.LockWrite();
    guard.LockWrite();
    guard.LockRead();
    guard.UnlockRead();
    guard.UnlockWrite();
    EXPECT_TRUE(guard.IsWriteLocked());
    guard.UnlockWrite();
  });
  EXPECT_FALSE(guard.IsWriteLocked());
}

// Many threads make the first lock call at the same moment: one lock is made,
// and it excludes writers from each other.
TEST(ThreadObjectConcurrency, FirstLockRaceCreatesOneSync) {
  constexpr int kThreads = 6;
  for (int round = 0; round < 30; ++round) {
    TThreadObject guard;
    TStartLine start(kThreads);
    std::atomic<int> writers{0};
    std::vector<TMultiReadExclusiveWriteSynchronizer*> seen(kThreads, nullptr);
    TTestThreads threads;
    for (int t = 0; t < kThreads; ++t)
      threads.Start([&, t] {
        start.ArriveAndWait();
        TWriteLock lock(guard);
        EXPECT_EQ(++writers, 1) << "two writers in: more than one lock was made";
        seen[t] = guard.Sync();
        for (int i = 0; i < 100; ++i) std::this_thread::yield();  // stay in a while
        --writers;
      });
    threads.JoinAll("first lock race");
    for (TMultiReadExclusiveWriteSynchronizer* sync : seen) EXPECT_EQ(sync, guard.Sync());
  }
}

TEST(ThreadObjectConcurrency, UpgradeFromTwoThreadsFinishes) {
  TThreadObject guard;
  TStartLine bothReading(2);
  TTestThreads threads;
  for (int t = 0; t < 2; ++t)
    threads.Start([&] {
      TReadLock read(guard);
      bothReading.ArriveAndWait();
      TWriteLock write(guard);
      EXPECT_TRUE(guard.IsWriteLocked());
    });
  threads.JoinAll("two upgrades on one guarded object");
}

TEST(LockGuardTest, ReleasesWhenLeftByException) {
  TThreadObject guard;
  try {
    TWriteLock lock(guard);
    throw std::runtime_error("inside");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(guard.IsWriteLocked());
  RunBounded([&] { TWriteLock lock(guard); });  // another thread can write

  TThreadString text;
  try {
    TCsLock lock(text);
    throw std::runtime_error("inside");
  } catch (const std::runtime_error&) {
  }
  RunBounded([&] { text.SetValue("free"); });
  EXPECT_EQ(text.GetValue(), "free");
}

TEST(ThreadObjectCsTest, LockReturnsGuardedAndReenters) {
  TThreadObjectCs self;
  EXPECT_EQ(self.Lock(), &self);
  EXPECT_EQ(self.Lock(), &self);
  self.Unlock();
  self.Unlock();
  TObject inner;
  TThreadObjectCs other(&inner);
  TCsLock lock(other);
  EXPECT_EQ(lock.Get(), &inner);
}

TEST(ThreadStringTest, EmptyAtFirstThenHoldsWhatIsSet) {
  TThreadString text;
  EXPECT_EQ(text.GetValue(), "");
  text.SetValue("COM3");
  EXPECT_EQ(text.GetValue(), "COM3");
  {
    TCsLock lock(text);
    lock->append(":2400");
  }
  EXPECT_EQ(text.GetValue(), "COM3:2400");
}

TEST(ThreadStringConcurrency, ReadersNeverSeeAMixedValue) {
  TThreadString text;
  text.SetValue(std::string(64, 'a'));
  TTestThreads threads;
  for (int t = 0; t < 2; ++t)
    threads.Start([&, t] {
      for (int i = 0; i < 1000; ++i) text.SetValue(std::string(64 + i % 7, t ? 'b' : 'c'));
    });
  threads.Start([&] {
    for (int i = 0; i < 1000; ++i) {
      std::string value = text.GetValue();
      ASSERT_FALSE(value.empty());
      EXPECT_EQ(value.find_first_not_of(value[0]), std::string::npos) << value;
    }
  });
  threads.Start([&] {
    for (int i = 0; i < 500; ++i) {
      TCsLock lock(text);
      std::string& value = *lock;
      value.assign(value.size(), 'd');  // longer work in place, still whole
    }
  });
  threads.JoinAll();
}

TEST(ThreadObjectListTest, AddCountClearAndTypedLocks) {
  int freed = 0;
  TThreadObjectList list(true);
  list.Add(new TTracked(&freed));
  list.Add(new TTracked(&freed));
  EXPECT_EQ(list.Count(), 2);
  {
    TReadLock lock(list);
    TObjectList* inner = lock.Get();
    EXPECT_TRUE(inner->OwnsObjects());
    EXPECT_EQ(inner->Count(), 2);
  }
  {
    TWriteLock lock(list);
    lock->Delete(0);
  }
  EXPECT_EQ(freed, 1);
  list.Clear();
  EXPECT_EQ(freed, 2);
  EXPECT_EQ(list.Count(), 0);
}

TEST(ThreadObjectListTest, OwnedObjectsFreedUnderTheWriteLock) {
  int locked = 0, unlocked = 0;
  TThreadObjectList* list = new TThreadObjectList(true);
  for (int i = 0; i < 3; ++i)
    list->Add(new TLockProbe<TThreadObjectList>(&list, &locked, &unlocked));
  delete list;
  EXPECT_EQ(locked, 3);
  EXPECT_EQ(unlocked, 0);
}

TEST(ThreadObjectListTest, ObjectsNotOwnedAreLeftAlone) {
  int freed = 0;
  TTracked a(&freed);
  {
    TThreadObjectList list(false);
    list.Add(&a);
    list.Clear();
    list.Add(&a);
  }
  EXPECT_EQ(freed, 0);
}

TEST(ThreadObjectListConcurrency, WritersAndReadersShareTheList) {
  int freed = 0;  // objects are freed under the write lock only
  {
    TThreadObjectList list(true);
    TTestThreads threads;
    for (int t = 0; t < 2; ++t)
      threads.Start([&] {
        for (int i = 0; i < 500; ++i) {
          TWriteLock lock(list);
          lock->Add(new TTracked(&freed));
          if (lock->Count() > 10) lock->Delete(0);
        }
      });
    for (int t = 0; t < 2; ++t)
      threads.Start([&] {
        for (int i = 0; i < 500; ++i) {
          TReadLock lock(list);
          EXPECT_LE(lock->Count(), 11);
          for (std::int32_t k = 0; k < lock->Count(); ++k) EXPECT_NE(lock->Items(k), nullptr);
        }
      });
    threads.JoinAll();
    EXPECT_EQ(list.Count() + freed, 1000);
  }
  EXPECT_EQ(freed, 1000);
}

TEST(ThreadStringListTest, IgnoresDuplicatesOnceSorted) {
  TThreadStringList list;
  {
    TWriteLock lock(list);
    EXPECT_EQ(lock->Duplicates(), TDuplicates::dupIgnore);
    lock->SetSorted(true);
    lock->Add("b");
    lock->Add("a");
    lock->Add("B");
  }
  EXPECT_EQ(list.Count(), 2);
  {
    TReadLock lock(list);
    EXPECT_EQ(lock->Text(), "a\r\nb\r\n");
  }
  list.SetDuplicates(TDuplicates::dupError);
  {
    TWriteLock lock(list);
    EXPECT_THROW(lock->Add("a"), EListError);
  }
  EXPECT_FALSE(list.IsWriteLocked());
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(ThreadStringListTest, ListFreedUnderTheWriteLock) {
  int locked = 0, unlocked = 0;
  TThreadStringList* list = new TThreadStringList;
  {
    TWriteLock lock(*list);
    lock->SetOwnsObjects(true);
    lock->AddObject("x", new TLockProbe<TThreadStringList>(&list, &locked, &unlocked));
  }
  delete list;
  EXPECT_EQ(locked, 1);
  EXPECT_EQ(unlocked, 0);
}

TEST(ThreadStringListConcurrency, ReadersSeeWholeNameValueLines) {
  TThreadStringList list;
  TTestThreads threads;
  threads.Start([&] {
    for (int i = 0; i < 500; ++i) {
      TWriteLock lock(list);
      lock->SetValue("Counter", std::to_string(i));
      lock->SetValue("Twice", std::to_string(2 * i));
    }
  });
  for (int t = 0; t < 2; ++t)
    threads.Start([&] {
      for (int i = 0; i < 500; ++i) {
        TReadLock lock(list);
        std::string counter = lock->Values("Counter");
        if (counter.empty()) continue;
        EXPECT_EQ(lock->Values("Twice"), std::to_string(2 * std::stoi(counter)));
      }
    });
  threads.JoinAll();
  EXPECT_EQ(list.Count(), 2);
}

}  // namespace
