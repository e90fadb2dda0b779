#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "framework/MultiReadSync.h"
#include "framework/SysUtils.h"
#include "tests/framework/AllocCounter.h"
#include "tests/framework/TestThreads.h"

namespace {

using kortest::RunBounded;
using kortest::TStartLine;
using kortest::TTestThreads;
using kortest::WaitUntil;
using TSync = TMultiReadExclusiveWriteSynchronizer;

TEST(LockTest, UnpairedEndRaises) {
  TSync sync;
  EXPECT_THROW(sync.EndRead(), EAssertionFailed);
  EXPECT_THROW(sync.EndWrite(), EAssertionFailed);
  sync.BeginRead();
  EXPECT_THROW(sync.EndWrite(), EAssertionFailed);
  sync.EndRead();
}

TEST(LockTest, ReadingAgainAllocatesNothingAndAnIdleReaderIsNoReader) {
  TSync sync;
  sync.BeginRead();
  sync.EndRead();
  const int allocations = kortest::CountAllocations([&] {
    for (int i = 0; i < 100; ++i) {
      sync.BeginRead();
      sync.BeginRead();
      sync.EndRead();
      sync.EndRead();
    }
  });
  EXPECT_EQ(allocations, 0);
  // The idle entry neither pairs an EndRead nor makes a write an upgrade.
  EXPECT_THROW(sync.EndRead(), EAssertionFailed);
  EXPECT_TRUE(sync.BeginWrite());
  EXPECT_TRUE(sync.IsWriter());
  sync.EndWrite();
}

TEST(LockConcurrency, ManyShortLivedReaderThreads) {
  TSync sync;
  for (int round = 0; round < 3; ++round) {
    TTestThreads threads;
    for (int t = 0; t < 40; ++t)
      threads.Start([&] {
        sync.BeginRead();
        sync.EndRead();
      });
    threads.JoinAll();
  }
  // Idle entries of ended threads do not hold a writer out.
  RunBounded(
      [&] {
        EXPECT_TRUE(sync.BeginWrite());
        sync.EndWrite();
      },
      "a writer after idle readers");
}

TEST(LockConcurrency, ReadersOverlap) {
  TSync sync;
  std::atomic<int> inside{0};
  TTestThreads threads;
  for (int t = 0; t < 3; ++t)
    threads.Start([&] {
      sync.BeginRead();
      ++inside;
      // Only ends if every reader is in at the same time.
      WaitUntil([&] { return inside.load() == 3; }, "three readers at once");
      sync.EndRead();
    });
  threads.JoinAll();
}

TEST(LockConcurrency, WriterReentersAndReads) {
  TSync sync;
  RunBounded([&] {
    EXPECT_TRUE(sync.BeginWrite());
    EXPECT_TRUE(sync.BeginWrite());  // nested: no other writer can have been in
    sync.BeginRead();
    sync.BeginRead();
    EXPECT_TRUE(sync.IsWriter());
    sync.EndRead();
    sync.EndRead();
    sync.EndWrite();
    EXPECT_TRUE(sync.IsWriter());  // still held once
    sync.EndWrite();
    EXPECT_FALSE(sync.IsWriter());
  });
  RunBounded([&] {  // and another thread may write now
    EXPECT_TRUE(sync.BeginWrite());
    sync.EndWrite();
  });
}

// A nested writer that ends once still keeps others out; so does the read
// hold a writer keeps after ending its write.
TEST(LockConcurrency, OthersWaitForTheLastHold) {
  TSync sync;
  std::atomic<int> released{0};
  std::atomic<bool> started{false};
  TTestThreads threads;
  threads.Start([&] {
    sync.BeginWrite();
    sync.BeginWrite();
    sync.BeginRead();
    started = true;
    WaitUntil([&] { return sync.WaitingWriters() == 1; }, "second writer waiting");
    sync.EndWrite();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sync.EndWrite();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    released = 1;
    sync.EndRead();
  });
  threads.Start([&] {
    WaitUntil([&] { return started.load(); });
    sync.BeginWrite();
    EXPECT_EQ(released.load(), 1) << "got the write lock while the other thread held it";
    sync.EndWrite();
  });
  threads.JoinAll();
}

TEST(LockConcurrency, NestedReadWhileWriterWaitsAndNewReadersQueueBehindIt) {
  TSync sync;
  std::atomic<bool> reading{false};
  std::atomic<bool> wrote{false};
  TTestThreads threads;
  threads.Start([&] {  // the reader that reads again
    sync.BeginRead();
    reading = true;
    WaitUntil([&] { return sync.WaitingWriters() == 1; }, "writer waiting");
    sync.BeginRead();  // must not wait behind the writer
    WaitUntil([&] { return sync.WaitingReaders() == 1; }, "new reader waiting");
    EXPECT_FALSE(wrote.load());
    sync.EndRead();
    sync.EndRead();
  });
  threads.Start([&] {  // the writer
    WaitUntil([&] { return reading.load(); });
    sync.BeginWrite();
    wrote = true;
    sync.EndWrite();
  });
  threads.Start([&] {  // a new reader: comes after the waiting writer
    WaitUntil([&] { return sync.WaitingWriters() == 1; }, "writer waiting");
    sync.BeginRead();
    EXPECT_TRUE(wrote.load()) << "a new reader overtook a waiting writer";
    sync.EndRead();
  });
  threads.JoinAll("nested read while a writer waits");
}

// Two threads that read, then both ask to write, as when two host threads
// free two instances at once: both finish, one after the other, and the
// second learns another writer came first.
TEST(LockConcurrency, UpgradeFromTwoThreadsAtOnce) {
  for (int round = 0; round < 20; ++round) {
    TSync sync;
    TStartLine bothReading(2);
    std::atomic<int> writers{0};
    std::atomic<int> undisturbed{0};
    TTestThreads threads;
    for (int t = 0; t < 2; ++t)
      threads.Start([&] {
        sync.BeginRead();
        bothReading.ArriveAndWait();
        if (sync.BeginWrite()) ++undisturbed;
        EXPECT_EQ(++writers, 1);
        --writers;
        sync.EndWrite();
        sync.EndRead();
      });
    threads.JoinAll("two upgrades at once");
    EXPECT_EQ(undisturbed.load(), 1);
  }
}

// An upgrade and a waiting plain writer race for the lock; BeginWrite of
// the upgrade is true exactly when it won.
TEST(LockConcurrency, BeginWriteTellsWhetherAnotherWriterCameFirst) {
  for (int round = 0; round < 20; ++round) {
    TSync sync;
    std::atomic<bool> reading{false};
    bool otherWrote = false;  // guarded by sync
    TTestThreads threads;
    threads.Start([&] {
      sync.BeginRead();
      reading = true;
      WaitUntil([&] { return sync.WaitingWriters() == 1; }, "plain writer waiting");
      bool undisturbed = sync.BeginWrite();
      EXPECT_EQ(undisturbed, !otherWrote);
      sync.EndWrite();
      sync.EndRead();
    });
    threads.Start([&] {
      WaitUntil([&] { return reading.load(); });
      sync.BeginWrite();
      otherWrote = true;
      sync.EndWrite();
    });
    threads.JoinAll("upgrade against a plain writer");
  }
}

// Readers, writers, nested reads and upgrades on shared plain data: readers
// never see a half-done write, writers are alone, every write lands, and a
// BeginWrite that reports no other writer really had none.
TEST(LockConcurrency, HammerKeepsInvariants) {
  TSync sync;
  long a = 0, b = 0;  // plain: the thread sanitizer checks the lock guards them
  std::atomic<int> readers{0};
  std::atomic<int> writers{0};
  std::atomic<long> writes{0};
  constexpr int kThreads = 4;
  constexpr int kRounds = 1500;
  TTestThreads threads;
  for (int t = 0; t < kThreads; ++t)
    threads.Start([&, t] {
      std::minstd_rand random(static_cast<unsigned>(t + 1));
      for (int i = 0; i < kRounds; ++i) {
        switch (random() % 4) {
          case 0:  // read, sometimes nested
            sync.BeginRead();
            ++readers;
            EXPECT_EQ(writers.load(), 0);
            EXPECT_EQ(a, b);
            if (i % 2) {
              sync.BeginRead();
              EXPECT_EQ(a, b);
              sync.EndRead();
            }
            --readers;
            sync.EndRead();
            break;
          case 1:  // write, sometimes nested
            sync.BeginWrite();
            EXPECT_EQ(++writers, 1);
            EXPECT_EQ(readers.load(), 0);
            ++a;
            if (i % 2) {
              sync.BeginWrite();
              sync.BeginRead();
              EXPECT_EQ(a, b + 1);
              sync.EndRead();
              sync.EndWrite();
            }
            ++b;
            ++writes;
            --writers;
            sync.EndWrite();
            break;
          default: {  // read, then upgrade
            sync.BeginRead();
            ++readers;
            long seen = a;
            --readers;  // not reading while it waits to write
            bool undisturbed = sync.BeginWrite();
            EXPECT_EQ(++writers, 1);
            EXPECT_EQ(readers.load(), 0);
            if (undisturbed) {
              EXPECT_EQ(a, seen) << "BeginWrite missed another writer";
            }
            ++a;
            ++b;
            ++writes;
            --writers;
            sync.EndWrite();
            sync.EndRead();
          }
        }
      }
    });
  threads.JoinAll("hammering threads");
  EXPECT_EQ(a, writes.load());
  EXPECT_EQ(b, writes.load());
}

}  // namespace
