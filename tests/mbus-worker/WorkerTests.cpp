// The M-Bus worker's request cycle over the real byte path (see WorkerRig.h).
// Tests marked "real decoding" assert item names of the decoding unit; they
// hold with its minimal stand-in and are to be rechecked with the full one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "framework/FIFOStream.h"
#include "framework/korTimerEx.h"
#include "tests/framework/TestPump.h"
#include "tests/framework/TestThreads.h"
#include "tests/mbus-worker/WorkerRig.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using mbusworker::TDone;
using mbusworker::TFeedPlan;
using mbusworker::TWorkerRig;

bus::SecondaryAddress Address(std::uint32_t id) {
  return bus::SecondaryAddress{id, 0x2C2D, 1, 7};
}

bus::SlaveConfig Meter(int primary, const bus::SecondaryAddress& address, std::uint32_t volume) {
  bus::SlaveConfig config;
  config.primary = primary;
  config.secondary = address;
  config.telegrams = {bus::BuildTelegram(static_cast<std::uint8_t>(primary), address, volume)};
  return config;
}

std::string AsText(const bus::Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class MbusWorker : public ::testing::Test {
 protected:
  // A reply ends after the idle limit: wide enough for a loaded machine's
  // thread delays. Tests that wait out a whole silence shorten it.
  void SetUp() override { Rig.SetLimits(400, 2000); }
  void ExpectSilence() { Rig.SetLimits(150, 600); }

  // Items every decoded row starts with: the packets, then the header.
  static std::vector<std::string> Leading(const std::vector<std::string>& names) {
    return std::vector<std::string>(names.begin(),
                                    names.begin() + std::min<std::size_t>(7, names.size()));
  }

  TWorkerRig Rig;
};

// ---- addresses

TEST(MbusAddress, PrimaryIdentificationNumbersAndMasks) {
  std::int32_t primary = -1;
  std::string mask;
  ASSERT_TRUE(MbusAddressOfDevice("5 (boiler room)", primary, mask));
  EXPECT_EQ(primary, 5);
  EXPECT_EQ(mask, "");
  ASSERT_TRUE(MbusAddressOfDevice("x", primary, mask));
  EXPECT_EQ(primary, 0);
  ASSERT_TRUE(MbusAddressOfDevice("12345678", primary, mask));
  EXPECT_EQ(mask, "12345678FFFFFFFF");
  ASSERT_TRUE(MbusAddressOfDevice("s12345678", primary, mask));
  EXPECT_EQ(mask, "00BC614EFFFFFFFF");
  ASSERT_TRUE(MbusAddressOfDevice("S12345678", primary, mask));
  EXPECT_EQ(mask, "00000000FFFFFFFF");
  ASSERT_TRUE(MbusAddressOfDevice("abcd", primary, mask));
  EXPECT_EQ(mask, "0000ABCDFFFFFFFF");
  ASSERT_TRUE(MbusAddressOfDevice("1234567890ABCDEF (hall)", primary, mask));
  EXPECT_EQ(mask, "1234567890ABCDEF");
  EXPECT_FALSE(MbusAddressOfDevice("1234567890ABCDEF0", primary, mask));
}

// ---- the request cycle

// Real decoding: header item names.
TEST_F(MbusWorker, PrimaryPollGivesRowsWithThePacketItems) {
  const bus::Bytes telegram = bus::BuildTelegram(5, Address(0x12345678), 4321);
  bus::SlaveConfig config = Meter(5, Address(0x12345678), 0);
  config.telegrams = {telegram};
  Rig.Segment.AddSlave(config);

  const TDone done = Rig.Request("5 (boiler room)");
  EXPECT_TRUE(done.Success);
  EXPECT_EQ(done.Error, "");
  const auto names = Rig.RowNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_THAT(Leading(names[0]), ElementsAre("FULL_DATA_PACKET", "DATA_PACKET", "DEVICE_ID",
                                             "MANUFACTURER", "MEDIUM", "VERSION", "STATUS"));
  const auto rows = Rig.TakeRows();
  EXPECT_EQ(rows[0].at("DEVICE_ID").AsAnsiString(), "12345678");
  EXPECT_DOUBLE_EQ(rows[0].at("VOLUME").AsDouble(), 4.321);
  Rig.Worker->StatusText.Lock();
  EXPECT_EQ(Rig.Worker->PacketText, AsText(telegram));
  Rig.Worker->StatusText.Unlock();
  EXPECT_EQ(Rig.LogText(), "");
}

TEST_F(MbusWorker, PacketsOfWaitingRowsAreSeparated) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 1));
  Rig.Segment.AddSlave(Meter(6, Address(0x12345679), 2));
  ASSERT_TRUE(Rig.Request("5").Success);
  ASSERT_TRUE(Rig.Request("6").Success);
  EXPECT_EQ(Rig.RowNames().size(), 2u);
  Rig.Worker->StatusText.Lock();
  const std::string packets = Rig.Worker->PacketText;
  Rig.Worker->StatusText.Unlock();
  const auto cut = packets.find("<{[::]}>");
  ASSERT_NE(cut, std::string::npos);
  EXPECT_EQ(packets.substr(0, cut), AsText(bus::BuildTelegram(5, Address(0x12345678), 1)));
}

TEST_F(MbusWorker, FirstFrameRequestDecodesTheParsedFrame) {
  Rig.Segment.AddSlave(Meter(9, Address(0x11112222), 77));
  TRequestParameters params;
  params.Device = "9";
  params.FirstFrame = 1;
  EXPECT_TRUE(Rig.Request(params).Success);
  const auto rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("DEVICE_ID").AsAnsiString(), "11112222");
}

TEST_F(MbusWorker, SecondaryByIdentificationNumberAndByFullMask) {
  Rig.Segment.AddSlave(Meter(1, Address(0x12345678), 10));
  Rig.Segment.AddSlave(Meter(2, Address(0x87654321), 20));
  EXPECT_TRUE(Rig.Request("12345678").Success);
  EXPECT_TRUE(Rig.Request(Address(0x87654321).Text()).Success);
  const auto rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("DEVICE_ID").AsAnsiString(), "12345678");
  EXPECT_EQ(rows[1].at("DEVICE_ID").AsAnsiString(), "87654321");
  EXPECT_EQ(Rig.Segment.Stats().selections, 2);
  EXPECT_EQ(Rig.LogText(), "");
}

TEST_F(MbusWorker, DecimalIdentificationNumberSelectsItsHexadecimalForm) {
  Rig.Segment.AddSlave(Meter(1, Address(0x00BC614E), 10));
  EXPECT_TRUE(Rig.Request("s12345678").Success);
  const auto rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("DEVICE_ID").AsAnsiString(), "00BC614E");
}

TEST_F(MbusWorker, MaskTheLibraryRejectsSendsNothingAndLogsNothing) {
  Rig.Segment.AddSlave(Meter(1, Address(0x12345678), 10));
  const TDone done = Rig.Request("1234567G90ABCDEF");
  EXPECT_FALSE(done.Success);
  EXPECT_EQ(Rig.Segment.Stats().selections, 0);
  EXPECT_EQ(Rig.Segment.Stats().requests, 0);
  EXPECT_EQ(Rig.LogText(), "");
  EXPECT_TRUE(Rig.TakeRows().empty());
}

TEST_F(MbusWorker, AddressLongerThanAMaskEndsSilently) {
  const TDone done = Rig.Request("1234567890ABCDEF01");
  EXPECT_FALSE(done.Success);
  EXPECT_EQ(Rig.Segment.Stats().requests, 0);
  EXPECT_EQ(Rig.LogText(), "");
}

TEST_F(MbusWorker, CollisionOnSelectionIsLogged) {
  Rig.Segment.AddSlave(Meter(1, Address(0x12345678), 10));
  Rig.Segment.AddSlave(Meter(2, Address(0x12345679), 20));
  const TDone done = Rig.Request("1234567FFFFFFFFF");
  EXPECT_FALSE(done.Success);
  EXPECT_THAT(Rig.LogText(),
              HasSubstr("The address mask [1234567FFFFFFFFF] matches more than one device."));
  EXPECT_EQ(Rig.Segment.Stats().requests, 0);
}

TEST_F(MbusWorker, NoDeviceIsLogged) {
  ExpectSilence();
  Rig.Segment.AddSlave(Meter(1, Address(0x12345678), 10));
  const TDone done = Rig.Request("99999999");
  EXPECT_FALSE(done.Success);
  EXPECT_THAT(Rig.LogText(), HasSubstr("The selected secondary address does not match any device "
                                       "[99999999FFFFFFFF]."));
}

TEST_F(MbusWorker, SilentMeterFailsWithItsLogLine) {
  ExpectSilence();
  bus::SlaveConfig config = Meter(7, Address(0x12345678), 10);
  config.silent = true;
  Rig.Segment.AddSlave(config);
  const TDone done = Rig.Request("7");
  EXPECT_FALSE(done.Success);
  EXPECT_NE(done.Error, "");
  EXPECT_THAT(Rig.LogText(), HasSubstr("Failed to send/receive M-bus request."));
  EXPECT_TRUE(Rig.TakeRows().empty());
}

TEST_F(MbusWorker, SilentMeterWithFirstFrameLogsTheReceiveError) {
  ExpectSilence();
  bus::SlaveConfig config = Meter(7, Address(0x12345678), 10);
  config.silent = true;
  Rig.Segment.AddSlave(config);
  TRequestParameters params;
  params.Device = "7";
  params.FirstFrame = 1;
  EXPECT_FALSE(Rig.Request(params).Success);
  EXPECT_THAT(Rig.LogText(), HasSubstr("Failed to receive M-bus response frame: "));
}

TEST_F(MbusWorker, GarbageReplyFailsAndTheNextReadWorks) {
  bus::SlaveConfig garbage = Meter(3, Address(0x12345678), 10);
  garbage.telegrams = {bus::Bytes{0x68, 0x04, 0x04, 0x68, 0x55, 0x01, 0x02, 0x03, 0x00, 0x16}};
  Rig.Segment.AddSlave(garbage);
  Rig.Segment.AddSlave(Meter(4, Address(0x22222222), 10));
  EXPECT_FALSE(Rig.Request("3").Success);
  EXPECT_THAT(Rig.LogText(), HasSubstr("Failed to send/receive M-bus request."));
  EXPECT_TRUE(Rig.Request("4").Success);
  EXPECT_EQ(Rig.TakeRows().size(), 1u);
}

TEST_F(MbusWorker, BytesArrivingOneAtATime) {
  Rig.SetFeed(TFeedPlan{1, std::chrono::milliseconds(1), std::chrono::milliseconds(0)});
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  EXPECT_TRUE(Rig.Request("5").Success);
  EXPECT_TRUE(Rig.Request("12345678").Success);
  EXPECT_EQ(Rig.TakeRows().size(), 2u);
}

TEST_F(MbusWorker, ReplyAfterASilenceShorterThanTheLimit) {
  Rig.SetLimits(1000, 3000);
  Rig.SetFeed(TFeedPlan{8, std::chrono::milliseconds(0), std::chrono::milliseconds(250)});
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  EXPECT_TRUE(Rig.Request("5").Success);
  EXPECT_EQ(Rig.TakeRows().size(), 1u);
}

TEST_F(MbusWorker, ReplyAfterTheSilenceLimitIsATimeOut) {
  Rig.SetLimits(100, 1000);
  Rig.SetFeed(TFeedPlan{0, std::chrono::milliseconds(0), std::chrono::milliseconds(300)});
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  EXPECT_FALSE(Rig.Request("5").Success);
}

TEST_F(MbusWorker, CommandIdsCountUpAndNeverAreMinusOne) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  const std::int32_t a = Rig.Queue("5");
  const std::int32_t b = Rig.Queue("5");
  EXPECT_EQ(b, a + 1);
  EXPECT_GT(a, 0);
  Rig.WaitDone(b);
}

TEST_F(MbusWorker, RequestWhileASearchRunsIsRefused) {
  Rig.Worker->ScanPosition = 3;
  EXPECT_EQ(Rig.Queue("5"), -1);
  Rig.Worker->ScanPosition = -1;
  EXPECT_NE(Rig.Queue("5"), -1);
}

TEST_F(MbusWorker, DisconnectDropsTheHandleAndTheNextCommandConnectsAgain) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  ASSERT_TRUE(Rig.Request("5").Success);
  EXPECT_TRUE(Rig.Worker->HasHandle());
  Rig.Worker->QueueDisconnect();
  const std::int32_t after = Rig.Queue("5");
  EXPECT_TRUE(Rig.WaitDone(after).Success);
  EXPECT_TRUE(Rig.Worker->HasHandle());
  // Each handle resets the network layer at set-up and the slave's link
  // before its first read.
  EXPECT_EQ(Rig.Segment.Stats().pings, 4);
}

TEST_F(MbusWorker, DisconnectWithoutHandleIsUnsuccessful) {
  bool success = true;
  std::int32_t id = 0;
  std::mutex lock;
  std::condition_variable done;
  bool seen = false;
  Rig.Worker->OnCommandDone = [&](TMbusThread&, std::int32_t got, const std::string&, bool ok,
                                  TMbusCommand& command) {
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(command.Kind, TMbusCommand::kDisconnect);
    id = got;
    success = ok;
    seen = true;
    done.notify_all();
  };
  Rig.Worker->QueueDisconnect();
  std::unique_lock<std::mutex> guard(lock);
  ASSERT_TRUE(done.wait_for(guard, kortest::kHangLimit, [&] { return seen; }));
  EXPECT_FALSE(success);
  EXPECT_GT(id, 0);
  EXPECT_FALSE(Rig.Worker->HasHandle());
}

// A failed connect drops the handle: the command ends there (nothing goes on
// the line) and the next command sets up a fresh handle.
TEST_F(MbusWorker, FailedConnectDropsTheHandleAndTheNextCommandTriesAgain) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  Rig.Source->Signature = 0;  // the open hook refuses a source that is going
  const TDone failed = Rig.Request("5");
  EXPECT_FALSE(failed.Success);
  EXPECT_FALSE(Rig.Worker->HasHandle());
  EXPECT_THAT(Rig.LogText(), HasSubstr("Failed to setup connection to M-bus gateway"));
  EXPECT_EQ(Rig.Segment.Stats().frames, 0);
  Rig.Source->Signature = TDataSourceScheduled::kSignature;
  EXPECT_TRUE(Rig.Request("5").Success);
  EXPECT_TRUE(Rig.Worker->HasHandle());
  EXPECT_EQ(Rig.TakeRows().size(), 1u);
}

TEST_F(MbusWorker, HostWithoutTheEntryPointCountsTheSendAsDone) {
  ExpectSilence();
  Rig.Module.HostEntryPoints.SendDataEx = nullptr;
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  const TDone done = Rig.Request("5");
  EXPECT_FALSE(done.Success);  // nothing was written, so nothing answers
  EXPECT_EQ(Rig.HostWrites(), 0);
  EXPECT_THAT(Rig.LogText(), HasSubstr("Failed to send/receive M-bus request."));
}

// Every frame of the request in flight restarts the controller's watch and
// arms its answer time-out with the command's Timeout.
TEST_F(MbusWorker, FramesRestartTheControllersTimersWithTheCommandsTimeout) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  TBasicRequestItem item;
  TQueueControllerTimerEx& queue = *Rig.Source->FQueue;
  {
    std::lock_guard<TCriticalSection> run(queue.RunLock());
    queue.RequestWatch.StartPlain();
    queue.CurrentItem = &item;
  }
  TRequestParameters params;
  params.Device = "5";
  params.Timeout = 4321;
  ASSERT_TRUE(Rig.Request(params).Success);
  std::lock_guard<TCriticalSection> run(queue.RunLock());
  EXPECT_FALSE(queue.ResponseTimer.IsNotStarted());
  EXPECT_EQ(queue.ResponseTimer.Timeout, 4321u);
  queue.CurrentItem = nullptr;
}

TEST_F(MbusWorker, WithoutARequestInFlightFramesArmNoTimeOut) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  ASSERT_TRUE(Rig.Request("5").Success);
  std::lock_guard<TCriticalSection> run(Rig.Source->FQueue->RunLock());
  EXPECT_TRUE(Rig.Source->FQueue->ResponseTimer.IsNotStarted());
}

TEST_F(MbusWorker, HostRefusingTheBytesFailsTheSend) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  Rig.RefuseWrites = true;
  EXPECT_FALSE(Rig.Request("5").Success);
  EXPECT_EQ(Rig.Segment.Stats().frames, 0);
  EXPECT_THAT(Rig.LogText(), HasSubstr("Failed to send/receive M-bus request."));
  Rig.RefuseWrites = false;
  EXPECT_TRUE(Rig.Request("5").Success);
}

// A primary scan: the result list becomes the status, the search state is
// cleared, and requests are accepted again.
TEST_F(MbusWorker, PrimaryScanLeavesItsResultListAsTheStatus) {
  Rig.Segment.AddSlave(Meter(2, Address(0x12345678), 10));
  Rig.Worker->SearchIdleMs = 50;
  Rig.Worker->SearchTotalMs = 500;
  const std::int32_t id = Rig.Worker->QueueScan(1, 1, 3);
  EXPECT_EQ(Rig.Worker->QueueRequest(TRequestParameters{}), -1);
  EXPECT_TRUE(Rig.WaitDone(id).Success);
  EXPECT_EQ(Rig.Worker->ScanPosition, -1);
  EXPECT_EQ(Rig.Worker->StatusText.GetValue(), "2\r\n");
  EXPECT_TRUE(Rig.Worker->ScanList.empty());
  EXPECT_EQ(Rig.Worker->FoundCount, 0);
  EXPECT_THAT(Rig.LogText(), HasSubstr("Found a M-bus device at address: 2"));
  EXPECT_TRUE(Rig.Request("2").Success);
}

// When no handle can be made (the line does not open), the search still
// ends: an empty result list and no search running.
TEST_F(MbusWorker, ScanWithoutAHandleEndsWithAnEmptyList) {
  Rig.Segment.AddSlave(Meter(2, Address(0x12345678), 10));
  Rig.Source->Signature = 0;
  const std::int32_t id = Rig.Worker->QueueScan(2, 0, 0);
  EXPECT_EQ(Rig.Worker->ScanPosition, 0);
  EXPECT_FALSE(Rig.WaitDone(id).Success);
  EXPECT_EQ(Rig.Worker->ScanPosition, -1);
  EXPECT_EQ(Rig.Worker->StatusText.GetValue(), "");
  EXPECT_EQ(Rig.Segment.Stats().frames, 0);
  Rig.Source->Signature = TDataSourceScheduled::kSignature;
}

// ---- with the queue controller

// The tick period is far beyond the test: only the completions bring the
// ticks that send the second and third request.
TEST_F(MbusWorker, CompletionsDriveTheControllerBackToBack) {
  for (int i = 1; i <= 3; ++i) {
    Rig.Segment.AddSlave(Meter(i, Address(0x10000000u + static_cast<std::uint32_t>(i)), 10));
    auto* item = new TBasicRequestItem();
    item->Enabled = true;
    item->Name = std::to_string(i);
    item->Method = MethodOnce;
    item->Schedule.Method = MethodOnce;
    Rig.Source->FQueue->Requests->Add(item);
  }
  Rig.Source->Start(true);
  Rig.Source->FQueue->Timer()->SetInterval(3600000);
  Rig.Source->FQueue->Tick();
  kortest::PumpUntil([&] { return Rig.DoneCount() >= 3; });
  const auto rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].at("DEVICE_ID").AsAnsiString(), "10000001");
  EXPECT_EQ(rows[2].at("DEVICE_ID").AsAnsiString(), "10000003");
  Rig.Source->FQueue->SetTimerEnabled(false);
}

// ---- time points (real decoding: TIME_POINT and STORAGE items)

TEST_F(MbusWorker, PendingTimePointsOfAnUndeliveredReadSuppressDuplicates) {
  bus::SlaveConfig config = Meter(5, Address(0x12345678), 0);
  config.telegrams = {mbusworker::StoredTelegram(5, Address(0x12345678), 2024, 1, 15, 10, 30)};
  Rig.Segment.AddSlave(config);

  ASSERT_TRUE(Rig.Request("5").Success);
  auto rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 2u);  // the current row and the stored one
  EXPECT_EQ(rows[1].count("STORAGE"), 1u);
  EXPECT_EQ(rows[1].count("TIME_POINT"), 1u);
  Rig.Worker->StatusText.Lock();
  ASSERT_EQ(Rig.Worker->PendingTimePoints.size(), 1u);
  EXPECT_EQ(Rig.Worker->PendingTimePoints[0].Device, "5@7");  // the data source's key
  EXPECT_GT(Rig.Worker->PendingTimePoints[0].TimePoint, 0);
  Rig.Worker->StatusText.Unlock();

  // Not delivered yet: the second read gives only the current row.
  ASSERT_TRUE(Rig.Request("5").Success);
  rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].count("STORAGE"), 0u);

  // Without the filter the stored row comes again: the filter did it.
  TRequestParameters all;
  all.Device = "5";
  all.ReadOnlyNew = 0;
  ASSERT_TRUE(Rig.Request(all).Success);
  rows = Rig.TakeRows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[4].count("STORAGE"), 1u);
}

TEST_F(MbusWorker, TimePointsAheadAreLoggedAsNotStored) {
  bus::SlaveConfig config = Meter(5, Address(0x12345678), 0);
  config.telegrams = {mbusworker::StoredTelegram(5, Address(0x12345678), 2080, 6, 1, 0, 0)};
  Rig.Segment.AddSlave(config);
  ASSERT_TRUE(Rig.Request("5").Success);
  EXPECT_THAT(Rig.LogText(), HasSubstr("more than a day ahead"));
  EXPECT_EQ(Rig.TakeRows().size(), 2u);  // delivered
  Rig.Worker->StatusText.Lock();
  EXPECT_TRUE(Rig.Worker->PendingTimePoints.empty());  // not to be stored
  Rig.Worker->StatusText.Unlock();
}

// ---- stopping

class MbusWorkerConcurrency : public MbusWorker {};

TEST_F(MbusWorkerConcurrency, StopDuringAWaitReturnsPromptly) {
  // Limits far beyond the hang limit: only the wake-up can end the wait.
  Rig.SetLimits(600000, 600000);
  bus::SlaveConfig config = Meter(7, Address(0x12345678), 10);
  config.silent = true;
  Rig.Segment.AddSlave(config);
  // The set-up's ping already waits; the stop ends it.
  Rig.Queue("7");
  kortest::WaitUntil([&] { return Rig.HostWrites() > 0 && Rig.Worker->IsBusy(); }, "send");
  kortest::RunBounded([&] { Rig.Worker->Shutdown(); }, "stop during a wait");
  EXPECT_TRUE(Rig.Worker->Finished());
}

TEST_F(MbusWorkerConcurrency, CancelEndsTheWaitAndTheWorkerGoesOn) {
  Rig.SetLimits(600000, 600000);
  bus::SlaveConfig config = Meter(7, Address(0x12345678), 10);
  config.silent = true;
  Rig.Segment.AddSlave(config);
  const std::int32_t id = Rig.Queue("7");
  kortest::WaitUntil([&] { return Rig.HostWrites() > 0 && Rig.Worker->IsBusy(); }, "send");
  Rig.Worker->CancelWait();
  EXPECT_FALSE(Rig.WaitDone(id).Success);
  Rig.SetLimits(150, 600);
  Rig.Segment.AddSlave(Meter(5, Address(0x55555555), 10));
  EXPECT_TRUE(Rig.Request("5").Success);
}

TEST_F(MbusWorkerConcurrency, StoppingTheSourceEndsTheWait) {
  Rig.SetLimits(600000, 600000);
  bus::SlaveConfig config = Meter(7, Address(0x12345678), 10);
  config.silent = true;
  Rig.Segment.AddSlave(config);
  const std::int32_t id = Rig.Queue("7");
  kortest::WaitUntil([&] { return Rig.HostWrites() > 0 && Rig.Worker->IsBusy(); }, "send");
  Rig.Source->StopQueue();  // Signature 0 and the event: the source is going
  EXPECT_FALSE(Rig.WaitDone(id).Success);
}

TEST_F(MbusWorkerConcurrency, DataArrivingFromManyThreadsWhileReading) {
  Rig.Segment.AddSlave(Meter(5, Address(0x12345678), 10));
  std::atomic<bool> stop{false};
  kortest::TTestThreads noise;
  // Notices of another kind and empty blocks race with the reads.
  noise.Start([&] {
    while (!stop) {
      TDataArrival call;
      call.Mode = 1u << TDataSourceScheduled::kModeData;
      call.Kind = TDataSourceScheduled::kKindPortState;
      call.Value = 0x999;
      Rig.Source->DataArrived(call);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(Rig.Request("5").Success);
  stop = true;
  noise.JoinAll();
  EXPECT_EQ(Rig.TakeRows().size(), 5u);
}

}  // namespace
