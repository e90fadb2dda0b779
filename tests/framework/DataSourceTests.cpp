#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "framework/FIFOStream.h"
#include "framework/parser_DataSourceDM.h"
#include "params/korParamLst.h"
#include "tests/framework/TestThreads.h"

namespace {

std::atomic<std::uint64_t> gNow{5000};
std::uint64_t Tick64() {
  return gNow.load();
}
std::uint32_t Tick32() {
  return static_cast<std::uint32_t>(gNow.load());
}
const TTickSource kTick{true, &Tick64, &Tick32};

struct TOwner : IDataSourceOwner {
  bool Active = true;
  bool DataSourceOwnerState(int index) const override { return index == 0 && Active; }
};

// Records what the base hands to its descendant.
class TRecordingSource : public TDataSourceScheduled {
 public:
  using TDataSourceScheduled::TDataSourceScheduled;
  std::vector<std::string> Notices;
  std::vector<std::string> Sent;

 protected:
  void PortStateChanged(bool opened) override { Notices.push_back(opened ? "open" : "closed"); }
  bool SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                   std::int32_t& requestId) override {
    Sent.push_back(item.Name);
    timeout = 0;
    requestId = 1;
    return true;
  }
};

class DataSource : public ::testing::Test {
 protected:
  void SetUp() override {
    gNow = 5000;
    SetTickSource(&kTick);
    Source.CreateBuffer(16);
  }
  void TearDown() override { SetTickSource(nullptr); }

  void Data(const std::string& bytes, std::uint8_t mode = 0x02) {
    TDataArrival call;
    call.Mode = mode;
    call.Kind = 4;
    call.Value = reinterpret_cast<std::uintptr_t>(bytes.data());
    call.Size = static_cast<std::uint32_t>(bytes.size());
    Source.DataArrived(call);
  }
  void Notice(std::uintptr_t value) {
    TDataArrival call;
    call.Mode = 0x02;
    call.Kind = 7;
    call.Value = value;
    Source.DataArrived(call);
  }
  std::string Buffered() {
    std::string bytes(Source.FBuffer->Available(), '\0');
    if (!bytes.empty())
      Source.FBuffer->Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return bytes;
  }

  TOwner Owner;
  TRecordingSource Source{&Owner};
};

}  // namespace

TEST_F(DataSource, CreatedAliveWithItsQueue) {
  EXPECT_EQ(Source.Signature, 0x0122FE66u);
  ASSERT_NE(Source.FQueue, nullptr);
  EXPECT_EQ(Source.FQueue->DataSource, &Source);
  EXPECT_EQ(Source.FOwner, &Owner);
  EXPECT_FALSE(Source.PortClosed);
  EXPECT_TRUE(Source.DataWatch.IsNotStarted());
  EXPECT_EQ(Source.FBuffer->Size(), 16u);
  EXPECT_EQ(Source.FBuffer->DropChunk(), 64u);
  EXPECT_TRUE(Source.FBuffer->Overwrite());
  TFIFOStream* buffer = Source.FBuffer;
  Source.CreateBuffer(4096);  // only once
  EXPECT_EQ(Source.FBuffer, buffer);
}

TEST_F(DataSource, TheFirstBlockIsStored) {
  Data("abc");
  EXPECT_EQ(Buffered(), "abc");
  EXPECT_EQ(Source.DataWatch.Start, 5000u);
}

TEST_F(DataSource, BytesOlderThanFifteenSecondsAreDropped) {
  Data("old");
  gNow += 15000;
  Data("new");
  EXPECT_EQ(Buffered(), "new");
  Data("one");
  gNow += 14999;
  Data("two");
  EXPECT_EQ(Buffered(), "onetwo");
}

TEST_F(DataSource, PortNotices) {
  Notice(0x102);
  EXPECT_TRUE(Source.PortClosed);
  EXPECT_TRUE(Source.IsPaused());
  Notice(0x101);
  EXPECT_FALSE(Source.PortClosed);
  EXPECT_FALSE(Source.IsPaused());
  EXPECT_EQ(Source.Notices, (std::vector<std::string>{"closed", "open"}));
  // Notices do not count as data.
  EXPECT_TRUE(Source.DataWatch.IsNotStarted());
}

TEST_F(DataSource, OtherNoticeValuesChangeNothing) {
  Data("x");
  const std::uint64_t watched = Source.DataWatch.Start;
  gNow += 100;
  Notice(0x103);
  Notice(0);
  EXPECT_FALSE(Source.PortClosed);
  EXPECT_TRUE(Source.Notices.empty());
  EXPECT_EQ(Source.DataWatch.Start, watched);
  EXPECT_EQ(Buffered(), "x");
}

TEST_F(DataSource, CallsWithoutModeElementOneAreIgnored) {
  Data("abc", 0x01);
  Data("abc", 0xFD);
  EXPECT_EQ(Source.FBuffer->Available(), 0u);
  EXPECT_TRUE(Source.DataWatch.IsNotStarted());
  TDataArrival notice;
  notice.Mode = 0x04;
  notice.Kind = 7;
  notice.Value = 0x102;
  Source.DataArrived(notice);
  EXPECT_FALSE(Source.PortClosed);
  Data("abc", 0xFF);  // other elements beside it do not matter
  EXPECT_EQ(Buffered(), "abc");
}

TEST_F(DataSource, ABlockLargerThanTheBufferKeepsItsNewestBytes) {
  Data("0123456789");
  Data("abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(Buffered(), "klmnopqrstuvwxyz");
}

TEST_F(DataSource, ABlockWithoutAnAddressIsDropped) {
  TDataArrival call;
  call.Mode = 0x02;
  call.Kind = 4;
  call.Value = 0;
  call.Size = 100;
  Source.DataArrived(call);
  EXPECT_EQ(Source.FBuffer->Available(), 0u);
}

TEST_F(DataSource, WithoutABufferDataIsLostQuietly) {
  TOwner owner;
  TDataSourceScheduled bare(&owner);
  std::string bytes = "abc";
  TDataArrival call;
  call.Mode = 0x02;
  call.Kind = 4;
  call.Value = reinterpret_cast<std::uintptr_t>(bytes.data());
  call.Size = 3;
  bare.DataArrived(call);
  EXPECT_EQ(bare.FBuffer, nullptr);
}

TEST_F(DataSource, InactiveWithoutOwnerOrOwnerStateZero) {
  EXPECT_FALSE(Source.IsInactive());
  EXPECT_FALSE(Source.FQueue->IsStopped());
  Owner.Active = false;
  EXPECT_TRUE(Source.IsInactive());
  EXPECT_TRUE(Source.FQueue->IsStopped());
  TDataSourceScheduled orphan(nullptr);
  EXPECT_TRUE(orphan.IsInactive());
}

TEST_F(DataSource, TheQueueSendsThroughTheSourceAndFollowsItsState) {
  auto* item = new TBasicRequestItem();
  item->Enabled = true;
  item->Name = "meter";
  item->Method = MethodPoll;
  Source.FQueue->Requests->Add(item);
  Source.Start(true);
  EXPECT_TRUE(Source.FQueue->TimerEnabled());
  Notice(0x102);
  Source.FQueue->Tick();  // paused while the port is closed
  EXPECT_TRUE(Source.Sent.empty());
  Notice(0x101);
  Source.FQueue->Tick();
  EXPECT_EQ(Source.Sent, (std::vector<std::string>{"meter"}));
  Owner.Active = false;
  Source.FQueue->Tick();  // stopped: the timer goes off and stays off
  EXPECT_FALSE(Source.FQueue->TimerEnabled());
  Source.Start(true);
  EXPECT_FALSE(Source.FQueue->TimerEnabled());
}

TEST_F(DataSource, TriggerEventReachesTheQueue) {
  auto* item = new TBasicRequestItem();
  item->Enabled = true;
  item->Method = MethodEvent;
  item->Schedule.Text = "Read";
  Source.FQueue->Requests->Add(item);
  Source.TriggerEvent("read", false, nullptr);
  EXPECT_TRUE(item->Triggered);
}

TEST_F(DataSource, StopQueueMarksTheSourceDeadAndLeavesStartAndTriggerHarmless) {
  Source.StopQueue();
  EXPECT_EQ(Source.Signature, 0u);
  EXPECT_EQ(Source.FQueue, nullptr);
  Source.Start(true);
  Source.TriggerEvent("read", true, nullptr);
  Data("still buffered");
  EXPECT_EQ(Buffered(), "still buffered");  // the buffer lives on until destruction
}

namespace {

TEST_F(DataSource, StoredBytesSetTheDataEventNoticesDoNot) {
  EXPECT_FALSE(Source.DataEvent.TryTake());
  Notice(0x101);
  EXPECT_FALSE(Source.DataEvent.TryTake());
  Data("ab", 0x01);  // ignored call
  EXPECT_FALSE(Source.DataEvent.TryTake());
  Data("ab");
  EXPECT_TRUE(Source.DataEvent.TryTake());
  EXPECT_FALSE(Source.DataEvent.TryTake());  // auto-reset: one wake per take
}

TEST_F(DataSource, StopQueueWakesTheWaitingWorker) {
  Source.StopQueue();
  EXPECT_TRUE(Source.DataEvent.TryTake());
  EXPECT_EQ(Source.Signature, 0u);
}

}  // namespace

namespace {

TEST_F(DataSource, WithQueueRunsOnlyWhileTheSourceIsAlive) {
  int runs = 0;
  EXPECT_TRUE(Source.WithQueue([&](TQueueControllerTimerEx& queue) {
    EXPECT_EQ(&queue, Source.FQueue);
    ++runs;
  }));
  Source.Signature = 0;
  EXPECT_FALSE(Source.WithQueue([&](TQueueControllerTimerEx&) { ++runs; }));
  Source.Signature = TDataSourceScheduled::kSignature;
  Source.StopQueue();
  EXPECT_FALSE(Source.WithQueue([&](TQueueControllerTimerEx&) { ++runs; }));
  EXPECT_EQ(runs, 1);
}

// A worker thread keeps using the controller while the owner stops the
// queue: it never reaches a freed controller (the sanitizers watch).
TEST(DataSourceConcurrency, StopQueueWaitsForAWorkerUsingTheController) {
  for (int round = 0; round < 20; ++round) {
    TOwner owner;
    TDataSourceScheduled source(&owner);
    std::atomic<bool> started{false};
    std::atomic<int> uses{0};
    kortest::TTestThreads worker;
    worker.Start([&] {
      bool alive = true;
      while (alive) {
        alive = source.WithQueue([&](TQueueControllerTimerEx& queue) {
          queue.RestartRequestWatch();
          queue.RestartResponseTimer(100);
          ++uses;
        });
        started = true;
      }
    });
    kortest::WaitUntil([&] { return started.load(); }, "worker");
    source.StopQueue();
    worker.JoinAll();
    EXPECT_EQ(source.FQueue, nullptr);
    EXPECT_GT(uses.load(), 0);
  }
}

}  // namespace
