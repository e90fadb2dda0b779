// mbus-host read end to end: the program beside this test, the plug-in
// beside it, meters simulated by our own segment. Every test but the
// argument check needs the M-Bus module and skips with the generic one.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "HostProgram.h"
#include "host/bus/Meters.h"
#include "host/bus/Segment.h"
#include "platform/Serial.h"
#include "platform/Socket.h"

namespace {

using e2e::Args;
using e2e::JsonText;
using e2e::Lines;
using e2e::ReadText;
namespace fs = std::filesystem;

class ReadEndToEnd : public e2e::HostProgramTest {};

bool HasItem(const std::string& line, const std::string& name) {
  return line.find("\"" + name + "\":") != std::string::npos;
}

TEST_F(ReadEndToEnd, BadArgumentsEndWithStatusTwo) {
  EXPECT_EQ(Run({"read", "--count", "0"}), 2);
  EXPECT_NE(err.find("--count"), std::string::npos) << err;
  EXPECT_EQ(Run({"read", "--port", "nowhere"}), 2);
  EXPECT_NE(err.find("unknown port"), std::string::npos) << err;
  EXPECT_EQ(Run({"read", "--help"}), 0);
  EXPECT_NE(out.find("usage: mbus-host read"), std::string::npos);
}

// The host's side alone, with whatever module is beside mbus-host: LOAD with
// the settings file, the data sources, the ports, the loop, the clean end.
TEST_F(ReadEndToEnd, RunsForItsTimeAndUnloadsWithAnyModule) {
  const fs::path ini = dir / "settings.ini";
  std::ofstream(ini, std::ios::binary) << "[Common]\r\nLeft=10\r\n";
  // A second is too short for rows (the first request waits out the ping's
  // purge) and a module of another kind sends no request: the statuses of
  // a run without rows, never a failure of the host (1) or the arguments.
  const int status = Run({"read", "--no-timing", "--for", "1", "--ini", ini.string(), "--data",
                          (dir / "data").string(), "--port", "sim", "--port", "sim"});
  EXPECT_TRUE(status == 0 || status == 3 || status == 4) << status << err;
  EXPECT_NE(err.find(" rows, "), std::string::npos) << err;
  const std::string settings = ReadText(ini);
  EXPECT_NE(settings.find("Left=10"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Parser config=[[Text]]<MBUS>"), std::string::npos) << settings;
  EXPECT_TRUE(fs::is_directory(dir / "data"));
  // A plug-in that is not there is an error of its own (status 1).
  EXPECT_EQ(Run({"read", "--for", "1", "--plugin", (dir / "missing-plugin").string()}), 1);
  EXPECT_NE(err.find("mbus-host:"), std::string::npos) << err;
}

TEST_F(ReadEndToEnd, SimulatedSegmentGivesRowsOfEveryMeter) {
  REQUIRE_MBUS_MODULE();
  // The first round alone gives 41 rows: every current row and every stored
  // one (then only current rows and the electricity meter's tariff history).
  ASSERT_EQ(Run({"read", "--no-timing", "--format", "json", "--poll", "2s", "--count", "50",
                 "--for", "120"}),
            0)
      << err;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 50u) << err;
  std::set<std::string> devices, withPacket;
  bool stored = false, tariff = false;
  for (const auto& line : lines) {
    ASSERT_EQ(line.front(), '{');
    ASSERT_EQ(line.back(), '}');
    EXPECT_TRUE(HasItem(line, "DEVICE_ID")) << line;
    devices.insert(JsonText(line, "DEVICE_ID"));
    // The first row of a reply carries the exchange's bytes.
    if (HasItem(line, "FULL_DATA_PACKET")) withPacket.insert(JsonText(line, "DEVICE_ID"));
    stored = stored || HasItem(line, "STORAGE");
    tariff = tariff || line.find("_T1\":") != std::string::npos;
  }
  EXPECT_GE(devices.size(), 5u);
  EXPECT_EQ(withPacket, devices);
  EXPECT_TRUE(devices.count("31000202")) << "the multi-telegram meter";
  EXPECT_TRUE(devices.count("75001111")) << "the fixed-structure meter";
  EXPECT_TRUE(stored);
  EXPECT_TRUE(tariff);
  EXPECT_NE(err.find("50 rows"), std::string::npos) << err;
}

TEST_F(ReadEndToEnd, NumbersAreJsonNumbers) {
  REQUIRE_MBUS_MODULE();
  ASSERT_EQ(Run({"read", "--no-timing", "--format", "json", "--device", "5", "--count", "1",
                 "--for", "60"}),
            0)
      << err;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 1u) << err;
  EXPECT_EQ(JsonText(lines[0], "DEVICE_ID"), "42000505");
  EXPECT_EQ(JsonText(lines[0], "MEDIUM"), "Water");
  EXPECT_NE(lines[0].find("\"VOLUME\":"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[0].find("\"VOLUME\":\""), std::string::npos) << "a number, not a string";
}

TEST_F(ReadEndToEnd, CsvRowsOfOneDevice) {
  REQUIRE_MBUS_MODULE();
  ASSERT_EQ(Run({"read", "--no-timing", "--format", "csv", "--device", "9", "--poll", "500ms",
                 "--count", "2", "--for", "60"}),
            0)
      << err;
  const auto lines = Lines(out);
  ASSERT_GT(lines.size(), 2u);
  EXPECT_EQ(lines[0], "row,data_source,item,value");
  EXPECT_NE(out.find(",DEVICE_ID,64000909"), std::string::npos) << out;
}

// Stored rows go out once: a second run with the same data folder sends
// only the current values.
TEST_F(ReadEndToEnd, DataFolderKeepsTheLastTimePoints) {
  REQUIRE_MBUS_MODULE();
  const std::string data = (dir / "data").string();
  const Args first = {"read",   "--no-timing", "--format", "json", "--device", "1",
                      "--data", data,          "--count",  "7",    "--for",    "60"};
  ASSERT_EQ(Run(first), 0) << err;
  int storedRows = 0;
  for (const auto& line : Lines(out)) storedRows += HasItem(line, "STORAGE") ? 1 : 0;
  EXPECT_EQ(storedRows, 6);
  bool found = false;
  for (const auto& entry : fs::recursive_directory_iterator(data))
    found = found || entry.path().filename() == "lastdate.txt";
  EXPECT_TRUE(found);
  ASSERT_EQ(Run({"read", "--no-timing", "--format", "json", "--device", "1", "--data", data,
                 "--poll", "1s", "--count", "2", "--for", "60"}),
            0)
      << err;
  for (const auto& line : Lines(out)) EXPECT_FALSE(HasItem(line, "STORAGE")) << line;
}

TEST_F(ReadEndToEnd, ConfigFileAsTheDialogWritesIt) {
  REQUIRE_MBUS_MODULE();
  const fs::path config = dir / "requests.xml";
  std::ofstream(config, std::ios::binary)
      << "<MBUS>\r\n<Request caption=\"Gas\"><Enabled check=\"2\" /><Device>7</Device>"
         "<Timeout>5000</Timeout><FirstFrame check=\"0\" /><ReadOnlyNew check=\"2\" />"
         "<RequestMethod><MethodPoll check=\"2\"><PollInterval>1</PollInterval>"
         "<PollUnits>S</PollUnits></MethodPoll></RequestMethod></Request>\r\n</MBUS>";
  ASSERT_EQ(Run({"read", "--no-timing", "--format", "json", "--config", config.string(), "--count",
                 "1", "--for", "60"}),
            0)
      << err;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 1u) << err;
  EXPECT_EQ(JsonText(lines[0], "DEVICE_ID"), "53000707");
}

// Copies bytes between a byte stream and a simulated segment until told to
// stop: what a meter behind a port does.
template <class Read, class Write>
void Bridge(bus::BusSegment& segment, std::atomic<bool>& stop, Read read, Write write) {
  unsigned char buffer[256];
  while (!stop) {
    const std::size_t n = read(buffer, sizeof buffer);
    if (n > 0) segment.Write(buffer, n);
    const bus::Bytes reply = segment.TakeAvailable();
    if (!reply.empty()) write(reply);
  }
}

TEST_F(ReadEndToEnd, SerialPortWithAMeterBehindAPseudoTerminal) {
  REQUIRE_MBUS_MODULE();
  auto pty = plat::PseudoTerminal::Open();
  if (!pty) GTEST_SKIP() << "no pseudo terminals on this system";
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  segment.AddSlave(bus::MeterSlave(bus::DefaultMeters()[2], bus::SystemMeterClock()));
  std::atomic<bool> stop{false};
  std::thread meter([&] {
    Bridge(
        segment, stop, [&](unsigned char* b, std::size_t n) { return pty->Read(b, n, 5); },
        [&](const bus::Bytes& r) { pty->Write(r.data(), r.size()); });
  });
  const int status = Run({"read", "--port", "serial:" + pty->DevicePath() + ":2400", "--format",
                          "json", "--device", "5", "--count", "1", "--for", "60"});
  stop = true;
  meter.join();
  ASSERT_EQ(status, 0) << err;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 1u) << err;
  EXPECT_EQ(JsonText(lines[0], "DEVICE_ID"), "42000505");
}

// The gateway hangs up after its first reply; mbus-host reconnects and the
// next poll is answered again.
TEST_F(ReadEndToEnd, TcpGatewayThatDropsTheConnectionOnce) {
  REQUIRE_MBUS_MODULE();
  auto listener = plat::TcpListener::OpenLoopback();
  ASSERT_NE(listener, nullptr);
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  segment.AddSlave(bus::MeterSlave(bus::DefaultMeters()[2], bus::SystemMeterClock()));
  std::atomic<bool> stop{false};
  std::thread gateway([&] {
    bool dropped = false;
    while (!stop) {
      auto client = listener->Accept(200);
      if (!client) continue;
      std::atomic<bool> endClient{false};
      Bridge(
          segment, endClient,
          [&](unsigned char* b, std::size_t n) {
            if (stop || client->PeerClosed()) endClient = true;
            return client->Read(b, n, 5);
          },
          [&](const bus::Bytes& r) {
            client->Write(r.data(), r.size());
            if (!dropped && r.size() > 1) dropped = endClient = true;  // after the first reply
          });
    }
  });
  const int status =
      Run({"read", "--port", "tcp:127.0.0.1:" + std::to_string(listener->Port()), "--format",
           "json", "--device", "5", "--poll", "1s", "--count", "2", "--for", "90"});
  stop = true;
  gateway.join();
  ASSERT_EQ(status, 0) << err;
  EXPECT_EQ(Lines(out).size(), 2u) << err;
  EXPECT_NE(err.find("dropped"), std::string::npos) << err;
}

}  // namespace
