// The device search end to end: primary ranges, full and partial secondary
// scans, meters that share an identification number, the result list's
// format, the answers for bad ranges and unknown ids, and how a search and
// the data source's requests take turns.
#include <gtest/gtest.h>

#include <algorithm>

#include "SearchRig.h"

namespace acquisition {
namespace {

using DeviceSearch = TSearchTest;

// Slaves at 1 and 2 answer alone; two slaves share 3 (their answers
// garble); at 5 the acknowledgement is followed by another frame. Only 1
// and 2 are listed; 3 and 5 are logged as collisions.
TEST_F(DeviceSearch, PrimaryRangeListsLoneAcknowledgementsAndLogsCollisions) {
  auto segment = Rig.AddSource("segment");
  for (int primary : {1, 2, 3, 3, 5}) segment->AddSlave(Meter(primary, 0x100 + primary, 1));
  Rig.Port(0).AppendAfterPing(5, {0xE5});
  StartModule();
  const std::string id = Search(1, 1, 6);
  ASSERT_EQ(id.size(), 8u) << id;
  EXPECT_EQ(WaitForResult(id), "1\r\n2\r\n") << Rig.Log();
  const std::string log = Rig.Log();
  EXPECT_NE(log.find("Found a M-bus device at address: 1"), std::string::npos) << log;
  EXPECT_NE(log.find("Collision at address 3"), std::string::npos) << log;
  EXPECT_NE(log.find("Collision at address 5"), std::string::npos) << log;
  EXPECT_EQ(log.find("Found a M-bus device at address: 5"), std::string::npos) << log;
}

// A last address above 250 is lowered to 250: the scan does not wrap
// around to 0 again (addresses are 8 bits on the wire). A short range keeps
// the wait for each silent address long enough for a loaded machine.
TEST_F(DeviceSearch, PrimaryRangeEndsAt250) {
  auto segment = Rig.AddSource("segment");
  for (int primary : {0, 244, 250}) segment->AddSlave(Meter(primary, 0x200 + primary, 1));
  StartModule("<MBUS></MBUS>", 200, 2000);
  const std::string id = Search(1, 240, 300);
  EXPECT_EQ(WaitForResult(id), "244\r\n250\r\n") << Rig.Log();
}

TEST_F(DeviceSearch, RangesThatAreEmptyFail) {
  Rig.AddSource("segment");
  StartModule();
  EXPECT_EQ(Search(1, 10, 5), "!MsgFailed");
  EXPECT_EQ(Search(3, 0x30000002, 0x30000001), "!MsgFailed");
  // Compared unsigned: a negative first is a large number.
  EXPECT_EQ(Search(1, -1, 5), "!MsgFailed");
}

TEST_F(DeviceSearch, NoDataSourceAnswersNoConfiguration) {
  Rig.Configure("<MBUS></MBUS>");
  Rig.Load();
  EXPECT_EQ(Search(1, 1, 5), "!MsgNoDsCfg");
  EXPECT_EQ(Search(2, 0, 0), "!MsgNoDsCfg");
}

TEST_F(DeviceSearch, StatusOfAnotherIdIsEmpty) {
  Rig.AddSource("segment")->AddSlave(Meter(1, 0x101, 1));
  StartModule();
  EXPECT_EQ(Status("00000001"), "");
  const std::string id = Search(1, 1, 1);
  EXPECT_EQ(Status(id == "FFFFFFFF" ? "FFFFFFFE" : "FFFFFFFF"), "");
  EXPECT_EQ(Status(""), "");
  EXPECT_EQ(WaitForResult(id), "1\r\n");
  // The result stays readable until the next search.
  EXPECT_EQ(Status(id), "1\r\n");
}

// Each search names its data source for the plug-in's life: a new source
// never takes the id of a freed one.
TEST_F(DeviceSearch, SearchIdsAreNotReused) {
  const std::string first = [&] {
    TAcquisitionRig other(Folder, 7);
    other.AddSource("segment");
    other.Configure("<MBUS></MBUS>");
    other.Load();
    other.Start();
    return SearchEvent(other, "SearchDevices", OleVariant(1), OleVariant(1), OleVariant(1));
  }();
  Rig.AddSource("segment");
  StartModule();
  const std::string second = Search(1, 1, 1);
  ASSERT_EQ(first.size(), 8u);
  EXPECT_NE(first, second);
  EXPECT_EQ(Status(first), "");
  EXPECT_EQ(WaitForResult(second), "");
}

// 30 meters whose identification numbers share their leading digits: every
// one is listed once, in the result list's exact format.
TEST_F(DeviceSearch, FullSecondaryScanListsEveryMeter) {
  auto segment = Rig.AddSource("segment");
  std::vector<std::string> expected;
  for (std::uint32_t tens = 0; tens < 3; ++tens) {
    for (std::uint32_t unit = 0; unit < 10; ++unit) {
      const std::uint32_t id = 0x10000000u + (tens << 4) + unit;
      segment->AddSlave(SecondaryMeter(id));
      expected.push_back(SecondaryLine(id, "KAM", 1, "Water"));
    }
  }
  std::sort(expected.begin(), expected.end());
  StartModule();
  const std::string id = Search(2, 0, 0);
  const std::string result = WaitForResult(id);
  EXPECT_EQ(ResultLines(result), expected) << Rig.Log();
  EXPECT_NE(Rig.Log().find("Checking address: FFFFFFFF FFFF FF FF"), std::string::npos);
}

// The manufacturer letters a search lists are those a reading of the same
// meter delivers (and those of the telegram's reference decoding).
TEST_F(DeviceSearch, ManufacturerOfARealMeterMatchesItsReading) {
  const std::string name = "EFE_Engelmann-WaterStar";
  bus::SlaveConfig meter;
  meter.telegrams = {ReferenceTelegram(name)};
  ASSERT_GT(meter.telegrams[0].size(), 20u);
  meter.primary = meter.telegrams[0][5];
  meter.reply_delay_ms = 0;
  Rig.AddSource("segment")->AddSlave(meter);
  StartModule(Document({Request(std::to_string(meter.primary), kOnce)}));
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  const std::string read = Value(Rig.Rows()[0], "MANUFACTURER");
  EXPECT_EQ(read, ReferenceField(name, "Manufacturer"));
  const std::string id = Search(2, 0, 0);
  const std::vector<std::string> lines = ResultLines(WaitForResult(id));
  ASSERT_EQ(lines.size(), 1u) << Rig.Log();
  const std::string device = Value(Rig.Rows()[0], "DEVICE_ID");
  EXPECT_EQ(lines[0].substr(0, 12), "||" + device + "||") << lines[0];
  EXPECT_NE(lines[0].find("||" + read + "||"), std::string::npos) << lines[0];
}

// Two meters with one identification number, told apart by the rest of the
// secondary address.
class DeviceSearchSharedId : public TSearchTest {
 protected:
  void ExpectBothListed(const bus::SlaveConfig& a, const bus::SlaveConfig& b,
                        const std::vector<std::string>& lines) {
    auto segment = Rig.AddSource("segment");
    segment->AddSlave(a);
    segment->AddSlave(b);
    segment->AddSlave(SecondaryMeter(0x20000002));
    // Most probes of these scans find nothing.
    StartModule("<MBUS></MBUS>", 30, 300);
    const std::string id = Search(2, 0, 0);
    std::vector<std::string> expected = lines;
    expected.push_back(SecondaryLine(0x20000002, "KAM", 1, "Water"));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ResultLines(WaitForResult(id)), expected) << Rig.Log();
  }
};

TEST_F(DeviceSearchSharedId, DifferingInMedium) {
  ExpectBothListed(SecondaryMeter(0x20000001, "KAM", 1, bus::kMediumWater),
                   SecondaryMeter(0x20000001, "KAM", 1, bus::kMediumHeat),
                   {SecondaryLine(0x20000001, "KAM", 1, "Water"),
                    SecondaryLine(0x20000001, "KAM", 1, "Heat out")});
}

TEST_F(DeviceSearchSharedId, DifferingInVersion) {
  ExpectBothListed(
      SecondaryMeter(0x20000001, "KAM", 1), SecondaryMeter(0x20000001, "KAM", 2),
      {SecondaryLine(0x20000001, "KAM", 1, "Water"), SecondaryLine(0x20000001, "KAM", 2, "Water")});
}

TEST_F(DeviceSearchSharedId, DifferingOnlyInManufacturer) {
  ExpectBothListed(
      SecondaryMeter(0x20000001, "KAM"), SecondaryMeter(0x20000001, "EFE"),
      {SecondaryLine(0x20000001, "KAM", 1, "Water"), SecondaryLine(0x20000001, "EFE", 1, "Water")});
}

// Meters that take the manufacturer wildcard only for the whole field
// cannot be singled out by a mask with one manufacturer byte open: the
// library names the pair's address in its error text, which the search logs
// (level 1). The third meter is listed.
class DeviceSearchWholeField : public TSearchTest {
 protected:
  void ExpectNamed(bool bothWholeOnly) {
    bus::SlaveConfig a = SecondaryMeter(0x20000001, "KAM");
    bus::SlaveConfig b = SecondaryMeter(0x20000001, "EFE");
    a.manufacturer_whole_only = true;
    b.manufacturer_whole_only = bothWholeOnly;
    auto segment = Rig.AddSource("segment");
    segment->AddSlave(a);
    segment->AddSlave(b);
    segment->AddSlave(SecondaryMeter(0x20000002));
    StartModule("<MBUS></MBUS>", 30, 300);
    const std::vector<std::string> lines = ResultLines(WaitForResult(Search(2, 0, 0)));
    auto listed = [&](const std::string& line) {
      return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(listed(SecondaryLine(0x20000002, "KAM", 1, "Water")));
    // The meter that takes a wildcard for one manufacturer byte is singled
    // out by it; the whole-field one is never reached alone, and the pair's
    // remaining mask is named in the log.
    EXPECT_NE(Rig.Log().find("20000001FFFF0107"), std::string::npos) << Rig.Log();
    EXPECT_FALSE(listed(SecondaryLine(0x20000001, "KAM", 1, "Water"))) << Rig.Log();
    EXPECT_EQ(listed(SecondaryLine(0x20000001, "EFE", 1, "Water")), !bothWholeOnly) << Rig.Log();
  }
};

TEST_F(DeviceSearchWholeField, BesideAPerByteMeter) {
  ExpectNamed(false);
}

TEST_F(DeviceSearchWholeField, TwoOfThem) {
  ExpectNamed(true);
}

// Mode 3 scans below one identification number (compared unsigned, so a
// number above 0x7FFFFFFF passes as a negative integer); 0 scans all.
TEST_F(DeviceSearch, SecondaryScanOfOneIdentificationNumber) {
  auto segment = Rig.AddSource("segment");
  for (std::uint32_t id : {0x90000001u, 0x90000011u, 0x30000001u})
    segment->AddSlave(SecondaryMeter(id));
  StartModule();
  const auto number = static_cast<std::int32_t>(0x90000001u);
  const std::string id = Search(3, number, number);
  EXPECT_EQ(ResultLines(WaitForResult(id)),
            std::vector<std::string>{SecondaryLine(0x90000001u, "KAM", 1, "Water")})
      << Rig.Log();
  EXPECT_NE(Rig.Log().find("Checking address: 90000001 FFFF FF FF"), std::string::npos);
  EXPECT_EQ(Rig.Log().find("Checking address: FFFFFFFF FFFF FF FF"), std::string::npos);

  const std::string all = Search(3, 0, 0);
  EXPECT_EQ(ResultLines(WaitForResult(all)).size(), 3u) << Rig.Log();
  EXPECT_NE(Rig.Log().find("Checking address: FFFFFFFF FFFF FF FF"), std::string::npos);
}

// A search started while a request waits for a silent meter queues behind
// it: it runs once the request has ended, and finds what it should.
TEST_F(DeviceSearch, SearchStartedDuringARequestQueuesBehindIt) {
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(SilentMeter());
  segment->AddSlave(Meter(1, 0x101, 1));
  StartModule(Document({Request("5", kOnce)}));
  // The set-up's reset of the network layer, then the read of 5 (which
  // begins with its link's reset).
  ASSERT_TRUE(Rig.PumpUntil([&] { return Rig.Segment().Stats().pings >= 2; })) << Rig.Log();
  const auto probed = [&] {
    int answers = 0;
    Rig.Segment().ForEachSlave([&](bus::VirtualSlave& slave) {
      if (slave.Primary() == 1) answers = slave.Answers();
    });
    return answers;
  };
  const std::string id = Search(1, 1, 1);
  // Queued: the position is the first address, nothing probed yet.
  EXPECT_EQ(Status(id), "*1");
  EXPECT_EQ(probed(), 0);
  EXPECT_EQ(WaitForResult(id), "1\r\n") << Rig.Log();
  EXPECT_NE(Rig.Log().find("Failed to"), std::string::npos) << Rig.Log();
}

// While a search owns the source no request is sent, also after the search
// has ended; the first status query past the end lets the requests resume.
TEST_F(DeviceSearch, RequestsResumeAfterTheFirstStatusPastTheEnd) {
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(Meter(5, 0x12345678, 1));
  StartModule(Document({Request("5", kPoll)}));
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  const std::string id = Search(1, 5, 5);
  ASSERT_TRUE(Rig.WaitForLog("Found a M-bus device at address: 5")) << Rig.Log();
  // Past the search's end (its purge waits 60 ms at most).
  Rig.PumpFor(400);
  const int requests = Rig.Segment().Stats().requests;
  Rig.PumpFor(400);
  EXPECT_EQ(Rig.Segment().Stats().requests, requests);
  EXPECT_EQ(Status(id), "5\r\n");
  EXPECT_TRUE(Rig.PumpUntil([&] { return Rig.Segment().Stats().requests > requests; }))
      << Rig.Log();
}

// Cancelling returns once the worker has left the scan; the module goes on
// reading.
TEST_F(DeviceSearch, CancelEndsASecondaryScanAndReadingGoesOn) {
  auto segment = Rig.AddSource("segment");
  for (std::uint32_t id = 0x10000000; id < 0x10000010; ++id) segment->AddSlave(SecondaryMeter(id));
  segment->AddSlave(Meter(5, 0x12345678, 1));
  StartModule(Document({Request("5", kPoll)}), 200, 2000);
  const std::string id = Search(2, 0, 0);
  ASSERT_TRUE(Rig.WaitForLog("Checking address:")) << Rig.Log();
  EXPECT_EQ(Cancel(id), "");
  const std::string status = Status(id);
  EXPECT_TRUE(status.empty() || status.front() != '*') << status;
  const std::size_t rows = Rig.RowCount();
  EXPECT_TRUE(Rig.WaitForRows(rows + 1)) << Rig.Log();
  // A second cancel of the ended search returns at once.
  EXPECT_EQ(Cancel(id), "");
}

}  // namespace
}  // namespace acquisition
