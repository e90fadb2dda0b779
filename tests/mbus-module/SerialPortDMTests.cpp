#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "MbusModuleTestSupport.h"
#include "framework/FIFOStream.h"
#include "mbus/LastTimePoints.h"
#include "mbus/mbus_api.h"
#include "tests/framework/TestThreads.h"

namespace {

using mbustest::HostData;

// One data source of a loaded module; the worker's output is written by the
// tests as the worker would leave it.
class SerialPortDelivery : public mbustest::ModuleTest {
 protected:
  void SetUp() override {
    Load();
    Source = new TSerialPortDM(Module);
    Source->DataSourceId = 21;
    Source->SourceName = "COM3";
    Source->SourceFullName = "Port 3";
  }

  // A finished request: rows of one device, its packet text and time point.
  void Finish(const std::string& device, std::int32_t rows, double timePoint,
              const std::string& packet = "68 01 16") {
    TMbusThread& worker = *Source->Worker;
    worker.StatusText.Lock();
    for (std::int32_t i = 0; i < rows; ++i) {
      worker.Rows.Add("DEVICE_ID", OleVariant(device));
      worker.Rows.Add("STORAGE", OleVariant(i));
      worker.Rows.EndRow();
    }
    if (!worker.PacketText.empty()) worker.PacketText += "<{[::]}>";
    worker.PacketText += packet;
    if (timePoint > 0) worker.PendingTimePoints.push_back({device, timePoint});
    worker.StatusText.Unlock();
    ++Source->PendingResults;
  }

  TSerialPortDM* Source = nullptr;  // owned by the module
};

TEST_F(SerialPortDelivery, AcceptedRowsCarryTheStandardValuesAndRecordTheTimePoint) {
  Finish("5", 2, 45000.5);
  EXPECT_FALSE(Source->IsPaused());
  ASSERT_EQ(HostData().Deliveries.size(), 1u);
  const mbustest::TDelivery& delivery = HostData().Deliveries[0];
  EXPECT_EQ(delivery.DataSourceId, 21);
  EXPECT_EQ(delivery.RawText, "68 01 16");
  EXPECT_EQ(delivery.Rows(), 2);
  // Every row has its own standard values, before the row's items.
  for (std::int32_t row = 0; row < 2; ++row) {
    EXPECT_EQ(delivery.Value("DATA_SOURCE_ID", row), "21");
    EXPECT_EQ(delivery.Value("DATA_SOURCE_NAME", row), "COM3");
    EXPECT_EQ(delivery.Value("DATA_SOURCE_FULL_NAME", row), "Port 3");
    EXPECT_NE(delivery.Value("DATE_TIME_STAMP", row), "(none)");
    EXPECT_EQ(delivery.Value("STORAGE", row), std::to_string(row));
  }
  EXPECT_EQ(delivery.Items.front().first, "DATE_TIME_STAMP");
  EXPECT_EQ(StoredTimePoint("5"), 45000.5);
  EXPECT_EQ(Source->PendingResults.load(), 0);
  EXPECT_EQ(Source->WaitingRowCount(), 0);
  Source->IsPaused();
  EXPECT_EQ(HostData().Deliveries.size(), 1u);
}

TEST_F(SerialPortDelivery, RefusedRowsWaitUnrecordedAndGoOutOnceAccepted) {
  HostData().Answer = -1;
  Finish("5", 2, 45000.5, "AA");
  Source->IsPaused();
  EXPECT_EQ(StoredTimePoint("5"), -1);
  EXPECT_EQ(Source->WaitingRowCount(), 2);
  EXPECT_NE(Log().find("The host refused the data of data source 21: 2 rows wait"),
            std::string::npos)
      << Log();
  Finish("6", 1, 45001.0, "BB");
  Source->IsPaused();
  EXPECT_EQ(StoredTimePoint("6"), -1);
  EXPECT_EQ(Source->WaitingRowCount(), 3);
  HostData().Answer = 0;
  Source->IsPaused();
  ASSERT_EQ(HostData().Deliveries.size(), 3u);
  const mbustest::TDelivery& last = HostData().Deliveries.back();
  EXPECT_EQ(last.Rows(), 3);
  EXPECT_EQ(last.RawText, "AA<{[::]}>BB");
  EXPECT_EQ(StoredTimePoint("5"), 45000.5);
  EXPECT_EQ(StoredTimePoint("6"), 45001.0);
  EXPECT_EQ(Source->WaitingRowCount(), 0);
}

// The worker sees the time points of rows the source took and has not
// recorded (WaitingTimePoints), so a read while the host refuses does not
// queue the same stored rows again; once recorded, or dropped unrecorded
// (to be read again), they are no longer shown.
TEST_F(SerialPortDelivery, TimePointsTakenAndNotRecordedStayVisibleToTheWorker) {
  auto waiting = [this] {
    std::vector<std::pair<std::string, double>> points;
    Source->Worker->StatusText.Lock();
    for (const TPendingTimePoint& p : Source->Worker->WaitingTimePoints)
      points.emplace_back(p.Device, p.TimePoint);
    EXPECT_TRUE(Source->Worker->PendingTimePoints.empty());
    Source->Worker->StatusText.Unlock();
    return points;
  };
  using TPoints = std::vector<std::pair<std::string, double>>;
  HostData().Answer = -1;
  Finish("5", 2, 45000.5);
  Source->IsPaused();
  EXPECT_EQ(waiting(), (TPoints{{"5", 45000.5}}));
  Finish("6", 1, 45001.0);
  Source->IsPaused();
  EXPECT_EQ(waiting(), (TPoints{{"5", 45000.5}, {"6", 45001.0}}));
  EXPECT_EQ(StoredTimePoint("5"), -1);
  HostData().Answer = 0;
  Source->IsPaused();
  EXPECT_EQ(waiting(), TPoints{});
  EXPECT_EQ(StoredTimePoint("5"), 45000.5);
  // Dropped on overflow: only the batches still waiting are shown.
  HostData().Answer = -2;
  for (int i = 0; i < 8; ++i) {
    Finish("7", 300, 45010.0 + i);
    Source->IsPaused();
  }
  const TPoints left = waiting();
  ASSERT_FALSE(left.empty());
  EXPECT_LT(left.size(), 8u);
  EXPECT_EQ(left.back(), (std::pair<std::string, double>{"7", 45017.0}));
  EXPECT_EQ(StoredTimePoint("7"), -1);
}

TEST_F(SerialPortDelivery, AHostThatAlwaysRefusesCannotMakeTheBacklogGrow) {
  HostData().Answer = -2;
  for (int i = 0; i < 8; ++i) {
    Finish("7", 300, 45000.0 + i);
    Source->IsPaused();
    EXPECT_LE(Source->WaitingRowCount(), TSerialPortDM::kMaxWaitingRows);
  }
  EXPECT_GE(Source->WaitingRowCount(), 300);
  EXPECT_NE(Log().find("rows of data source 21 dropped"), std::string::npos);
  EXPECT_EQ(StoredTimePoint("7"), -1);
}

TEST_F(SerialPortDelivery, ACompletionWithoutRowsHandsAnEmptyListAndRecordsNothing) {
  Finish("8", 0, 45002.0);
  Source->IsPaused();
  ASSERT_EQ(HostData().Deliveries.size(), 1u);
  EXPECT_TRUE(HostData().Deliveries[0].Items.empty());
  EXPECT_EQ(StoredTimePoint("8"), -1);
}

TEST_F(SerialPortDelivery, ARefusedEmptyListIsNotOfferedAgain) {
  HostData().Answer = -1;
  Finish("8", 0, 0);
  Source->IsPaused();
  Source->IsPaused();
  EXPECT_EQ(HostData().Deliveries.size(), 1u);
  EXPECT_EQ(Source->WaitingRowCount(), 0);
}

TEST_F(SerialPortDelivery, NothingIsDeliveredWithoutACompletion) {
  Source->IsPaused();
  EXPECT_TRUE(HostData().Deliveries.empty());
}

TEST_F(SerialPortDelivery, AFailedRecordIsLoggedWithItsReason) {
  std::filesystem::remove_all(Module.ModuleDataPath());
  std::filesystem::create_directories(std::filesystem::path(Module.ModuleDataPath()) /
                                      "lastdate.txt" / "blocked");
  Finish("5", 1, 45000.5);
  Source->IsPaused();
  EXPECT_EQ(HostData().Deliveries.size(), 1u);
  const std::string log = Log();
  EXPECT_NE(log.find("Unable to write "), std::string::npos) << log;
  EXPECT_NE(log.find("lastdate.txt: "), std::string::npos) << log;
  // the time point went to the fallback file (this data path's own name)
  const std::string fallback = TLastTimePoints(Module.ModuleDataPath()).FallbackFileName();
  EXPECT_NE(log.find("the time points are kept in " + fallback), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::remove(fallback)) << fallback;
}

TEST_F(SerialPortDelivery, DestructionDeliversWaitingRowsWhileTheModuleIsLoaded) {
  Finish("5", 1, 45000.5);
  delete Source;
  ASSERT_EQ(HostData().Deliveries.size(), 1u);
  EXPECT_EQ(HostData().Deliveries[0].Rows(), 1);
  EXPECT_EQ(StoredTimePoint("5"), 45000.5);
}

TEST_F(SerialPortDelivery, DestructionAfterUnloadDropsRowsUnrecorded) {
  Finish("5", 1, 45000.5);
  Module.TerminateNow = true;
  delete Source;
  EXPECT_TRUE(HostData().Deliveries.empty());
  EXPECT_EQ(StoredTimePoint("5"), -1);
  Module.TerminateNow = false;
}

TEST_F(SerialPortDelivery, UnloadHandsWaitingRowsOver) {
  Finish("5", 1, 45000.5);
  ASSERT_EQ(RunCommand(Module, "UNLOAD"), 0);
  ASSERT_EQ(HostData().Deliveries.size(), 1u);
  EXPECT_EQ(StoredTimePoint("5"), 45000.5);
}

// ---- the queue's events

TEST_F(SerialPortDelivery, TimeOutLineNamesDeviceAndRequest) {
  TRequestItem item;
  item.Name = "Request #1";
  item.Params.Device = "5";
  bool retry = true;
  Source->FQueue->OnTimeout(*Source->FQueue, item, retry);
  EXPECT_TRUE(retry);
  EXPECT_NE(Log().find("Device address: 5. Request #1. Request timeout\r\n"), std::string::npos);
}

TEST_F(SerialPortDelivery, QueueErrorsAreLoggedWithTheirDetail) {
  Source->FQueue->OnError(*Source->FQueue, "Cron", std::runtime_error("bad hour"), "0 0 99 * * *");
  EXPECT_NE(Log().find("M-bus data parse error: 0 0 99 * * *, bad hour"), std::string::npos);
}

TEST_F(SerialPortDelivery, RequestsGoToTheWorkerWithTheirTimeout) {
  TRequestItem item;
  item.Params.Timeout = 1234;
  std::uint32_t timeout = 0;
  std::int32_t id = -1;
  ASSERT_TRUE(Source->FQueue->OnExecute(*Source->FQueue, item, timeout, id));
  EXPECT_GT(id, 0);
  EXPECT_EQ(timeout, 1234u);
  TBasicRequestItem plain;
  EXPECT_FALSE(Source->FQueue->OnExecute(*Source->FQueue, plain, timeout, id));
}

TEST_F(SerialPortDelivery, OnlyTheCompletionOfTheRequestInFlightCounts) {
  TMbusCommand command;
  {
    std::lock_guard<TCriticalSection> run(Source->FQueue->RunLock());
    Source->FQueue->RequestId = 77;
  }
  Source->Worker->OnCommandDone(*Source->Worker, 76, "", true, command);
  EXPECT_EQ(Source->PendingResults.load(), 0);
  Source->Worker->OnCommandDone(*Source->Worker, 77, "no reply", false, command);
  EXPECT_EQ(Source->PendingResults.load(), 0);
  Source->Worker->OnCommandDone(*Source->Worker, 77, "", true, command);
  EXPECT_EQ(Source->PendingResults.load(), 1);
}

TEST_F(SerialPortDelivery, InactiveWithoutStatesOrLibrary) {
  EXPECT_TRUE(Source->IsInactive());  // no state flag is on
  Module.States[0] = true;
  EXPECT_EQ(Source->IsInactive(), MbusApiState() != TMbusApiState::Loaded);
  Module.States[0] = false;
}

TEST_F(SerialPortDelivery, PausedWhileThePortIsClosedOrASearchRuns) {
  TDataArrival closed;
  closed.Mode = 1u << TDataSourceScheduled::kModeData;
  closed.Kind = TDataSourceScheduled::kKindPortState;
  closed.Value = TDataSourceScheduled::kPortClosed;
  Source->DataArrived(closed);
  EXPECT_TRUE(Source->IsPaused());
  closed.Value = TDataSourceScheduled::kPortOpened;
  Source->DataArrived(closed);
  // Each port notice queues a disconnect, which keeps the worker busy for a
  // moment: the queue resumes once the worker is done with them.
  kortest::WaitUntil([&] { return !Source->IsPaused(); }, "resume after the port opened");
  Source->Searching = true;
  EXPECT_TRUE(Source->IsPaused());
}

// A request chosen while the worker still runs one could not be sent (and a
// once-request would be lost): the queue waits for the worker.
TEST_F(SerialPortDelivery, PausedWhileTheWorkerRunsACommand) {
  EXPECT_FALSE(Source->IsPaused());
  TMbusCommand running;
  Source->Worker->CurrentCommand = &running;
  EXPECT_TRUE(Source->IsPaused());
  Source->Worker->CurrentCommand = nullptr;
  EXPECT_FALSE(Source->IsPaused());
}

}  // namespace
