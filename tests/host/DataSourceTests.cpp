// The host's data sources with testplugin: the list and state change after
// LOAD, bytes from the port to ProcessData, the plug-in's raw data to the
// port of its data source ("<<PORT=baud>>" as a speed switch), rows to the
// main thread, and the port-state notices on open, drop, reopen and stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "host/HostDataSources.h"
#include "host/PluginHost.h"
#include "host/bus/Meters.h"
#include "platform/Modules.h"

namespace {

using namespace std::chrono_literals;

std::string TestPluginPath() {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  auto slash = self.find_last_of(plat::kPathDelimiter);
  return self.substr(0, slash + 1) +
         (plat::kPathDelimiter == '\\' ? "testplugin.dll" : "testplugin.so");
}

// A port whose reads fail once after `failAfter` calls (a dropped line).
class TFlakyPort final : public host::TPort {
 public:
  std::string Name() const override { return "flaky"; }
  void Open() override { ++Opens; }
  void Close() override { ++Closes; }
  void Write(const std::uint8_t*, std::size_t count) override { Written += count; }
  void SetBaudrate(int baudrate) override { Baudrate = baudrate; }
  std::size_t Read(std::uint8_t*, std::size_t, int) override {
    std::this_thread::sleep_for(1ms);
    if (Reads++ == 3) throw host::EPortError("line dropped");
    return 0;
  }
  bool Reconnects() const override { return true; }

  std::atomic<int> Opens{0}, Closes{0}, Reads{0}, Baudrate{0};
  std::atomic<std::size_t> Written{0};
};

class HostDataSources : public ::testing::Test {
 protected:
  void SetUp() override {
    segment = std::make_shared<bus::BusSegment>(bus::BusTiming{false, 2400});
    auto meters = bus::DefaultMeters();
    segment->AddSlave(bus::MeterSlave(meters[2], bus::SystemMeterClock()));  // water, primary 5
    host = std::make_unique<host::TPluginHost>(TestPluginPath());
    sources.Attach(*host);
    sources.SetReopenDelay(10);
    sources.SetRowHandler([this](const host::TReceivedData& row) { rows.push_back(row); });
  }
  void TearDown() override {
    sources.Stop();
    host->Unload();
  }

  void CreateAndLoad() {
    ASSERT_EQ(host->Create(), 0);
    ASSERT_EQ(host->Load(), 0);
  }

  std::string Ask(const std::string& command, TkorParamsList& params) {
    params.SetValue("RESULT", OleVariant(""), true);
    EXPECT_EQ(host->Command(command, params), 0) << command;
    return params.GetValue("RESULT").AsAnsiString();
  }
  std::string Ask(const std::string& command) {
    TkorParamsList params;
    return Ask(command, params);
  }
  std::int32_t Send(std::int32_t id, const std::string& bytes) {
    TkorParamsList params;
    params.Add("ID", OleVariant(id));
    params.Add("BYTES", OleVariant(bytes));
    params.Add("RESULT", OleVariant(std::int32_t{0}));
    EXPECT_EQ(host->Command("SEND", params), 0);
    return params.GetValue("RESULT").AsInteger();
  }

  // Pumps and polls until done() holds or 10 s pass.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      host->Pump(5);
      sources.Poll();
    }
    return true;
  }

  std::shared_ptr<bus::BusSegment> segment;
  std::unique_ptr<host::TPluginHost> host;
  host::THostDataSources sources;
  std::vector<host::TReceivedData> rows;
};

TEST(HostBaudrateSwitch, RecognisesOnlyTheWholeText) {
  EXPECT_EQ(host::BaudrateSwitch("<<PORT=9600>>"), 9600);
  EXPECT_EQ(host::BaudrateSwitch("<<PORT=300>>"), 300);
  EXPECT_EQ(host::BaudrateSwitch("<<PORT=>>"), 0);
  EXPECT_EQ(host::BaudrateSwitch("<<PORT=96x0>>"), 0);
  EXPECT_EQ(host::BaudrateSwitch("<<PORT=9600>"), 0);
  EXPECT_EQ(host::BaudrateSwitch("x<<PORT=9600>>"), 0);
  EXPECT_EQ(host::BaudrateSwitch(std::string("\x10\x5B\x05\x60\x16")), 0);
}

TEST(HostRows, ADeliveryIsSplitAtTheRowMarkers) {
  host::TReceivedData delivery;
  delivery.DataSourceId = 4;
  delivery.Kind = 9;
  auto add = [&](const std::string& name, OleVariant value) {
    delivery.Values.emplace_back(name, host::VariantText(value));
    delivery.Items.push_back(std::move(value));
  };
  add("$NEW_ROW$", OleVariant::Null());  // a leading marker makes no row
  add("DEVICE_ID", OleVariant("1"));
  add("VOLUME", OleVariant(1.5));
  add("$NEW_ROW$", OleVariant::Null());
  add("DEVICE_ID", OleVariant("2"));
  add("$NEW_ROW$", OleVariant::Null());
  add("$NEW_ROW$", OleVariant::Null());
  const auto rows = host::SplitRows(delivery);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].DataSourceId, 4);
  ASSERT_EQ(rows[0].Values.size(), 2u);
  ASSERT_EQ(rows[0].Items.size(), 2u);
  EXPECT_EQ(rows[0].Values[1].first, "VOLUME");
  EXPECT_DOUBLE_EQ(rows[0].Items[1].AsDouble(), 1.5);
  ASSERT_EQ(rows[1].Values.size(), 1u);
  EXPECT_EQ(rows[1].Values[0].second, "2");
  EXPECT_TRUE(host::SplitRows(host::TReceivedData{}).empty());
}

TEST_F(HostDataSources, ListsTheSourcesAndActivatesTheModule) {
  EXPECT_EQ(sources.Add(host::MakeSegmentPort(segment)), 1);
  EXPECT_EQ(sources.Add(std::make_unique<TFlakyPort>()), 2);
  EXPECT_EQ(sources.ConfigText(), "1;segment;segment (mbus-host)\r\n2;flaky;flaky (mbus-host)\r\n");
  CreateAndLoad();
  EXPECT_EQ(sources.Activate(), 0);
  EXPECT_EQ(host->GetModuleParameter("ModuleEnabled").AsInteger() & 3, 3);
}

TEST_F(HostDataSources, BytesGoBothWays) {
  sources.Add(host::MakeSegmentPort(segment));
  CreateAndLoad();
  ASSERT_EQ(sources.Activate(), 0);
  sources.Start();
  ASSERT_TRUE(PumpUntil([&] { return Ask("NOTICES") == "101;"; }));
  // REQ_UD2 to primary 5: the meter's reply reaches ProcessData.
  const std::string request("\x10\x7B\x05\x80\x16", 5);
  EXPECT_EQ(Send(1, request), 5);
  std::string raw;
  ASSERT_TRUE(PumpUntil([&] {
    raw = Ask("RAW");
    return raw.size() >= 6 && raw.size() >= static_cast<unsigned char>(raw[1]) + 6u;
  }));
  EXPECT_EQ(static_cast<unsigned char>(raw[0]), 0x68);
  EXPECT_EQ(static_cast<unsigned char>(raw[5]), 0x05);  // from primary 5
  EXPECT_EQ(segment->Stats().requests, 1);
  const auto counters = sources.Counters();
  EXPECT_EQ(counters.BytesOut, 5u);
  EXPECT_EQ(counters.BytesIn, raw.size());
}

TEST_F(HostDataSources, PortTextSwitchesTheSpeed) {
  sources.Add(host::MakeSegmentPort(segment));
  CreateAndLoad();
  sources.Start();
  EXPECT_EQ(Send(1, "<<PORT=9600>>"), 13);
  EXPECT_EQ(segment->LineBaudrate(), 9600);
  EXPECT_EQ(segment->Stats().frames, 0);  // nothing went on the line
  EXPECT_EQ(sources.Counters().SpeedSwitches, 1);
}

TEST_F(HostDataSources, DataForAnUnknownSourceIsRefused) {
  sources.Add(host::MakeSegmentPort(segment));
  CreateAndLoad();
  EXPECT_LT(Send(1, "\x10\x40\x05\x45\x16"), 0);  // not started: no port open
  sources.Start();
  EXPECT_LT(Send(7, "\x10\x40\x05\x45\x16"), 0);
  EXPECT_EQ(sources.Counters().RefusedWrites, 2);
}

TEST_F(HostDataSources, RowsArriveOnThePollingThreadWithTheirTypes) {
  sources.Add(host::MakeSegmentPort(segment));
  CreateAndLoad();
  sources.Start();
  TkorParamsList params;
  params.Add("ID", OleVariant(std::int32_t{1}));
  Ask("ROW", params);
  EXPECT_TRUE(rows.empty());  // queued until the main thread polls
  ASSERT_TRUE(PumpUntil([&] { return !rows.empty(); }));
  const host::TReceivedData& row = rows.front();
  EXPECT_EQ(row.DataSourceId, 1);
  ASSERT_EQ(row.Values.size(), row.Items.size());
  bool energy = false;
  for (std::size_t i = 0; i < row.Values.size(); ++i) {
    if (row.Values[i].first != "ENERGY") continue;
    energy = true;
    EXPECT_EQ(row.Items[i].VType(), plat::varDouble);
    EXPECT_DOUBLE_EQ(row.Items[i].AsDouble(), 12.5);
  }
  EXPECT_TRUE(energy);
}

TEST_F(HostDataSources, ADroppedPortIsReportedAndReopened) {
  auto flaky = std::make_unique<TFlakyPort>();
  TFlakyPort& port = *flaky;
  sources.Add(std::move(flaky));
  CreateAndLoad();
  ASSERT_EQ(sources.Activate(), 0);
  sources.Start();
  ASSERT_TRUE(PumpUntil([&] { return Ask("NOTICES") == "101;102;101;"; })) << Ask("NOTICES");
  EXPECT_EQ(port.Opens, 2);
  EXPECT_EQ(port.Closes, 1);
  const auto counters = sources.Counters();
  EXPECT_EQ(counters.Drops, 1);
  EXPECT_EQ(counters.Reopens, 1);
  sources.Stop();
  EXPECT_EQ(Ask("NOTICES"), "101;102;101;102;");
  EXPECT_EQ(port.Closes, 2);
}

TEST_F(HostDataSources, APortThatCannotOpenStopsTheStart) {
  sources.Add(host::MakePort("serial:/nonexistent/tty-for-tests"));
  CreateAndLoad();
  EXPECT_THROW(sources.Start(), host::EPortError);
}

}  // namespace
