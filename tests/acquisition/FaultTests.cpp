// Faults through the exports: a silent meter, a collision on selection, a
// garbage reply, a host refusing bytes or rows, a line dropping inside a
// reply, bytes one at a time, libmbus missing names, UNLOAD during a
// request, a data path that cannot be written. None may crash or hang, each
// gives its documented log line, and no row that arrived whole is lost.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AcquisitionRig.h"
#include "platform/Environment.h"

namespace acquisition {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class AcquisitionFaults : public AcquisitionTest {
 protected:
  TAcquisitionRig Rig{Folder};
};

TEST_F(AcquisitionFaults, SilentMeterTimesOutAndTheNextDeviceIsRead) {
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(SilentMeter());
  segment->AddSlave(Meter(6, 0x66666666, 2));
  Rig.Configure(Document({Request("5;6", kOnce)}));
  Rig.Load();
  Rig.Start();
  EXPECT_TRUE(Rig.WaitForLog("Device address: 5. Request #1. Request timeout")) << Rig.Log();
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  EXPECT_EQ(Rig.RowsOf("66666666").size(), 1u);
  EXPECT_TRUE(Rig.RowsOf("55555555").empty());
}

TEST_F(AcquisitionFaults, CollisionOnSelectionIsLoggedAndTheNextRequestRuns) {
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(Meter(1, 0x12345678, 1));
  segment->AddSlave(Meter(2, 0x12345679, 2));
  Rig.Configure(Document({Request("1234567FFFFFFFFF", kOnce), Request("2", kOnce)}));
  Rig.Load();
  Rig.Start();
  EXPECT_TRUE(Rig.WaitForLog("The address mask [1234567FFFFFFFFF] matches more than one device."))
      << Rig.Log();
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  Rig.PumpFor(100);
  ASSERT_EQ(Rig.RowCount(), 1u);
  EXPECT_EQ(Rig.RowsOf("12345679").size(), 1u);
}

TEST_F(AcquisitionFaults, GarbageReplyIsLoggedAndTheNextDeviceIsRead) {
  bus::SlaveConfig garbage = Meter(3, 0x33333333, 1);
  garbage.telegrams = {bus::Bytes{0x68, 0x04, 0x04, 0x68, 0x55, 0x01, 0x02, 0x03, 0x00, 0x16}};
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(garbage);
  segment->AddSlave(Meter(4, 0x44444444, 2));
  Rig.Configure(Document({Request("3;4", kOnce)}));
  Rig.Load();
  Rig.Start();
  EXPECT_TRUE(Rig.WaitForLog("Failed to send/receive M-bus request.")) << Rig.Log();
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  Rig.PumpFor(100);
  EXPECT_EQ(Rig.RowCount(), 1u);
  EXPECT_EQ(Rig.RowsOf("44444444").size(), 1u);
}

TEST_F(AcquisitionFaults, HostRefusingTheBytesGivesNoRowsUntilItTakesThem) {
  Rig.RefuseBytes = true;
  Rig.AddSource("segment")->AddSlave(Meter(5, 0x12345678, 1));
  Rig.Configure(Document({Request("5", kPoll)}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.PumpUntil([&] { return Rig.RefusedBytes >= 3; })) << Rig.Log();
  EXPECT_EQ(Rig.RowCount(), 0u);
  EXPECT_EQ(Rig.Segment().Stats().frames, 0);
  Rig.RefuseBytes = false;
  EXPECT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
}

// Refused rows wait in the module and come again; their time point is
// recorded only once the host took them, and the stored row comes once.
TEST_F(AcquisitionFaults, HostRefusingRowsGetsThemLaterAndOnlyThenTheTimePointIsRecorded) {
  Rig.RefuseRows = true;
  Rig.AddSource("segment")->AddSlave(StoredMeter(5, 0x12345678));
  Rig.Configure(Document({Request("5", kOnce)}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.PumpUntil([&] { return Rig.RefusedRows >= 3; })) << Rig.Log();
  EXPECT_EQ(Rig.RowCount(), 0u);
  EXPECT_TRUE(Rig.LastDateFile().empty()) << Rig.LastDateFile();
  Rig.RefuseRows = false;
  ASSERT_TRUE(Rig.WaitForRows(2)) << Rig.Log();
  ASSERT_TRUE(Rig.PumpUntil([&] { return !Rig.LastDateFile().empty(); })) << Rig.Log();
  Rig.PumpFor(200);
  EXPECT_EQ(Rig.RowCount(), 2u);
  EXPECT_EQ(StoredRows(Rig.Rows()), 1);
  EXPECT_NE(ReadText(Rig.LastDateFile()).find("5@1=20250228235900"), std::string::npos)
      << ReadText(Rig.LastDateFile());
}

// Bytes on the line between requests (noise, a late reply) never reach the
// next read: whatever is buffered when a request goes out is dropped, as
// are buffered bytes older than 15 s (the data source's rule, tested with a
// clock of its own in the framework's tests).
TEST_F(AcquisitionFaults, NoiseBetweenRequestsDoesNotSpoilTheNextRead) {
  Rig.AddSource("segment")->AddSlave(Meter(5, 0x12345678, 4321));
  Rig.Configure(Document({Request("5", kPoll)}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  bus::Bytes noise = bus::BuildTelegram(5, Address(0x87654321), 99);
  noise.resize(noise.size() / 2);
  noise.insert(noise.end(), {0xE5, 0x10, 0x68});
  Rig.Port(0).InjectNoise(noise);
  ASSERT_TRUE(Rig.WaitForRows(4)) << Rig.Log();
  for (const auto& row : Rig.Rows()) {
    EXPECT_EQ(Value(row, "DEVICE_ID"), "12345678");
    EXPECT_DOUBLE_EQ(std::stod(Value(row, "VOLUME")), 4.321);
  }
}

// The process's temporary folder (TMPDIR, Windows TMP) set to one of the
// test's own while it lives.
class TTempFolder {
 public:
  explicit TTempFolder(const fs::path& folder)
      : FOld{plat::EnvironmentValue("TMPDIR"), plat::EnvironmentValue("TMP")} {
    fs::create_directories(folder);
    plat::SetEnvironmentValue("TMPDIR", folder.string());
    plat::SetEnvironmentValue("TMP", folder.string());
  }
  ~TTempFolder() {
    plat::SetEnvironmentValue("TMPDIR", FOld[0]);
    plat::SetEnvironmentValue("TMP", FOld[1]);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

 private:
  std::string FOld[2];
};

// A data path below a file: the folder for lastdate.txt cannot be made.
// The rows are delivered all the same and the failure is logged; the time
// point of the stored rows delivered is kept in memory and in the fallback
// file of the temporary folder, so the reads that follow (polled) never
// deliver them again.
TEST_F(AcquisitionFaults, DataPathThatCannotBeWrittenIsLoggedAndRowsArriveOnce) {
  const TTempFolder temp(Folder / "tmp");
  std::ofstream(Rig.DataFolder()) << "not a folder";
  Rig.AddSource("segment")->AddSlave(StoredMeter(5, 0x12345678));
  Rig.Configure(Document(
      {Request("5",
               "<MethodPoll check=\"2\"><PollInterval>100</PollInterval><PollUnits>MS</PollUnits>"
               "</MethodPoll>")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(6)) << Rig.Log();
  EXPECT_TRUE(Rig.WaitForLog("Unable to write ")) << Rig.Log();
  EXPECT_NE(Rig.Log().find("lastdate.txt"), std::string::npos) << Rig.Log();
  EXPECT_NE(Rig.Log().find("the time points are kept in " + (Folder / "tmp").string()),
            std::string::npos)
      << Rig.Log();
  EXPECT_EQ(StoredRows(Rig.Rows()), 1);
}

// libmbus beside the plug-in lacks names: the failure is logged once per
// process with each missing name, and no source ever sends.
TEST_F(AcquisitionFaults, IncompleteLibmbusIsLoggedAndNothingIsSent) {
  const fs::path folder = Folder / "plugin";
  fs::create_directories(folder);
  fs::copy_file(BesideProgram(LibraryName("mbusplugin")), folder / LibraryName("mbusplugin"));
  fs::copy_file(fs::path(INCOMPLETE_MBUS_DIR) / LibraryName("libmbus"),
                folder / LibraryName("libmbus"));
  TAcquisitionRig rig(Folder, 2, (folder / LibraryName("mbusplugin")).string());
  rig.AddSource("segment")->AddSlave(Meter(5, 0x12345678, 1));
  rig.Configure(Document({Request("5", kPoll)}));
  rig.Load();
  rig.Start();
  EXPECT_TRUE(
      rig.WaitForLog("Unable to load API library: " + (folder / LibraryName("libmbus")).string()))
      << rig.Log();
  EXPECT_NE(rig.Log().find("Unable to load mbus_"), std::string::npos) << rig.Log();
  rig.PumpFor(500);
  EXPECT_EQ(rig.Segment().Stats().frames, 0);
  EXPECT_EQ(rig.RowCount(), 0u);
}

}  // namespace
}  // namespace acquisition
