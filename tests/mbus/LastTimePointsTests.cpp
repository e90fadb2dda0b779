// The last time points file: reading any content, recording under both
// locks with atomic replace (threads and processes at once, failed writes),
// and filtering a reply's stored rows by the stored time point.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "framework/DateUtils.h"
#include "mbus/LastTimePoints.h"
#include "mbus/MbusDecode.h"
#include "params/SharedFiles.h"
#include "platform/Files.h"
#include "platform/Modules.h"
#include "tests/params/SettingsTestSupport.h"

using settingstest::ReadBytes;
using settingstest::TScratchDir;
using settingstest::WriteBytes;

namespace {

double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  TDateParts p;
  p.Year = year;
  p.Month = month;
  p.Day = day;
  p.Hour = hour;
  p.Minute = minute;
  p.Second = second;
  return EncodeDateTime(p);
}

class LastTimePointsFile : public ::testing::Test {
 protected:
  std::string Path() const { return Dir.File(TLastTimePoints::kFileName); }
  TScratchDir Dir;
  TScratchDir FallbackDir;  // never the real temporary folder
  TLastTimePoints File{Dir.Path.string(), FallbackDir.Path.string()};
};

}  // namespace

// ---- reading ----

TEST_F(LastTimePointsFile, ReadsTheEntryOfTheDeviceExactlyAsConfigured) {
  WriteBytes(Path(),
             "; kept\r\n5 (boiler room)=20140313121000\r\n5=20130101000000\n"
             "a=b=20120101000000\r\ns12345678=20111231235959");
  EXPECT_DOUBLE_EQ(File.Read("5 (boiler room)"), At(2014, 3, 13, 12, 10));
  EXPECT_DOUBLE_EQ(File.Read("5"), At(2013, 1, 1));
  EXPECT_DOUBLE_EQ(File.Read("a=b"), At(2012, 1, 1));
  EXPECT_DOUBLE_EQ(File.Read("s12345678"), At(2011, 12, 31, 23, 59, 59));
  EXPECT_EQ(File.Read("a"), -1);  // not the entry of "a=b"
  EXPECT_EQ(File.Read("5 (BOILER ROOM)"), -1);
  EXPECT_EQ(File.Read("6"), -1);
  EXPECT_EQ(File.FileName(), Path());
}

TEST_F(LastTimePointsFile, UnreadableValuesAndFilesGiveNone) {
  EXPECT_EQ(File.Read("5"), -1);  // no file
  WriteBytes(Path(),
             "1=2014031312100\r\n2=20141313121000\r\n3=2014O313121000\r\n4=18991230000000\r\n"
             "5=20140230000000\r\n6=20140313246000\r\n7=\r\n=20140313121000\r\n"
             "8=garbage\r\n8=20150101000000\r\n");
  for (const char* device : {"1", "2", "3", "4", "5", "6", "7", ""})
    EXPECT_EQ(File.Read(device), -1) << device;
  EXPECT_DOUBLE_EQ(File.Read("8"), At(2015, 1, 1));  // the first readable entry
}

TEST_F(LastTimePointsFile, ReadingCopesWithAnyContent) {
  std::string binary("x\0y=\xFF\xFE\r\r\n\0\0\n", 12);
  binary += std::string(1 << 20, 'z');  // a long line without an end
  binary += "\n9=20160101000000\n";
  WriteBytes(Path(), binary);
  EXPECT_DOUBLE_EQ(File.Read("9"), At(2016, 1, 1));
  EXPECT_EQ(File.Read(std::string("x\0y", 3)), -1);
  // a file above the limit is not read at all
  std::filesystem::resize_file(Path(), (64u << 20) + 1);
  EXPECT_EQ(File.Read("9"), -1);
  // a folder of the file's name
  std::filesystem::remove(Path());
  std::filesystem::create_directory(Path());
  EXPECT_EQ(File.Read("9"), -1);
}

// ---- recording ----

TEST_F(LastTimePointsFile, RecordingKeepsOtherLinesAndOnlyMovesForward) {
  WriteBytes(Path(), "; comment\nother=20100101000000\ngarbage line\n7=20140101000000\n");
  File.Record({{"7", At(2014, 6, 1, 8, 30)}, {"new (hall)", At(2013, 2, 3)}});
  EXPECT_EQ(ReadBytes(Path()),
            "; comment\r\nother=20100101000000\r\ngarbage line\r\n7=20140601083000\r\n"
            "new (hall)=20130203000000\r\n");
  // earlier or equal never replaces; later does; per device the latest wins
  File.Record({{"7", At(2014, 5, 1)}, {"new (hall)", At(2013, 2, 3)}});
  EXPECT_DOUBLE_EQ(File.Read("7"), At(2014, 6, 1, 8, 30));
  File.Record({{"7", At(2015, 1, 1)}, {"7", At(2016, 1, 1)}, {"7", At(2015, 6, 1)}});
  EXPECT_DOUBLE_EQ(File.Read("7"), At(2016, 1, 1));
  EXPECT_EQ(Dir.EntryCount(), 1u);
}

TEST_F(LastTimePointsFile, RecordingCreatesTheFolderAndRoundsToSeconds) {
  const TLastTimePoints nested((Dir.Path / "a" / "b").string() + plat::kPathDelimiter);
  nested.Record({{"1", At(2014, 3, 13, 12, 9, 59) + 0.9996 / 86400.0}});
  EXPECT_EQ(ReadBytes((Dir.Path / "a" / "b" / TLastTimePoints::kFileName).string()),
            "1=20140313121000\r\n");
}

TEST_F(LastTimePointsFile, DuplicateEntriesOfADeviceBecomeOne) {
  WriteBytes(Path(), "1=bad\r\nx=1\r\n1=20100101000000\r\n");
  File.Record({{"1", At(2011, 1, 1)}});
  EXPECT_EQ(ReadBytes(Path()), "1=20110101000000\r\nx=1\r\n");
}

TEST_F(LastTimePointsFile, AStoredTimePointFarAheadIsReplaced) {
  WriteBytes(Path(), "1=20960101000000\r\n");  // a year read in the wrong century
  File.Record({{"1", At(2014, 1, 1)}});
  EXPECT_DOUBLE_EQ(File.Read("1"), At(2014, 1, 1));
}

TEST_F(LastTimePointsFile, NothingToRecordWritesNothing) {
  File.Record({});
  File.Record({{"1", 0}, {"2", -1}});
  EXPECT_FALSE(plat::FileExists(Path()));
}

TEST_F(LastTimePointsFile, DeviceTextsThatCannotBeKeysRaise) {
  WriteBytes(Path(), "keep=20100101000000\r\n");
  EXPECT_THROW(File.Record({{"", At(2014, 1, 1)}}), Exception);
  EXPECT_THROW(File.Record({{"a\nb=20990101000000", At(2014, 1, 1)}}), Exception);
  EXPECT_THROW(File.Record({{std::string("a\0b", 3), At(2014, 1, 1)}}), Exception);
  EXPECT_EQ(ReadBytes(Path()), "keep=20100101000000\r\n");
}

namespace {

bool StopBeforeRename(const std::string&) {
  return false;
}

}  // namespace

TEST_F(LastTimePointsFile, AnInterruptedWriteKeepsTheOldFileWhole) {
  const std::string original = "keep=20100101000000\r\n1=20120101000000\r\n";
  WriteBytes(Path(), original);
  plat::SetBeforeRenameHook(&StopBeforeRename);
  try {
    File.Record({{"1", At(2014, 1, 1)}});
    ADD_FAILURE() << "an interrupted write reported success";
  } catch (const ESharedFileError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot write the last time points file"),
              std::string::npos)
        << e.what();
  }
  plat::SetBeforeRenameHook(nullptr);
  EXPECT_EQ(ReadBytes(Path()), original);
  EXPECT_EQ(Dir.EntryCount(), 1u);  // no temporary file left
}

// Time points of delivered rows that could not be written count as stored
// (the rows must not come again) and go into the file with the next
// record; a point kept for one file is not another file's.
TEST_F(LastTimePointsFile, PointsThatCouldNotBeWrittenCountAndAreWrittenNextTime) {
  WriteBytes(Path(), "1=20120101000000\r\n");
  plat::SetBeforeRenameHook(&StopBeforeRename);
  EXPECT_THROW(File.Record({{"1", At(2014, 1, 1)}, {"2", At(2013, 5, 1)}}), ESharedFileError);
  EXPECT_THROW(File.Record({{"1", At(2013, 1, 1)}}), ESharedFileError);  // not the later one
  plat::SetBeforeRenameHook(nullptr);
  EXPECT_EQ(ReadBytes(Path()), "1=20120101000000\r\n");
  const struct {
    const char* Device;
    double Stored;
  } kept[] = {{"1", At(2014, 1, 1)}, {"2", At(2013, 5, 1)}, {"3", -1}};
  for (const auto& k : kept) EXPECT_DOUBLE_EQ(File.Read(k.Device), k.Stored) << k.Device;
  TScratchDir other;
  EXPECT_EQ(TLastTimePoints(other.Path.string(), FallbackDir.Path.string()).Read("1"), -1);
  File.Record({{"3", At(2015, 1, 1)}});
  EXPECT_EQ(ReadBytes(Path()), "1=20140101000000\r\n2=20130501000000\r\n3=20150101000000\r\n");
  std::filesystem::remove(Path());  // nothing is kept once written
  for (const auto& k : kept) EXPECT_EQ(File.Read(k.Device), -1) << k.Device;
}

// ---- the fallback file ----

namespace {

// Replaces under this folder fail (the data folder "cannot be written").
std::string gBlockedFolder;
std::string gBlockedFolder2;

bool StopInBlockedFolders(const std::string& tempPath) {
  for (const std::string* folder : {&gBlockedFolder, &gBlockedFolder2})
    if (!folder->empty() && tempPath.compare(0, folder->size(), *folder) == 0) return false;
  return true;
}

std::string RecorderPath() {
  const std::string self = plat::OwnModuleFileName();
  const bool exe = self.size() > 4 && self.compare(self.size() - 4, 4, ".exe") == 0;
  return plat::ExtractFileDir(self) + plat::kPathDelimiter + "time_point_recorder" +
         (exe ? ".exe" : "");
}

// The devices' time points as another process reads them (after a reload or
// a restart: nothing of this process's memory).
std::vector<double> ReadInNewProcess(const std::string& folder, const std::string& fallback,
                                     const std::vector<std::string>& devices,
                                     const std::string& output) {
  std::string command = RecorderPath() + " --read " + folder + " " + fallback;
  for (const std::string& device : devices) command += " " + device;
  std::vector<double> values;
  if (std::system((command + " > " + output).c_str()) != 0) return values;
  std::string text = ReadBytes(output);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    values.push_back(std::atof(text.substr(at, end - at).c_str()));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return values;
}

}  // namespace

// Points written while the data folder cannot be written go to the fallback
// file, where a new process finds them (the later of both files per device);
// with both unwritable they live in memory only; the first write that
// reaches the data folder takes the fallback's points and removes the file.
TEST(LastTimePointsFallback, KeepsPointsAcrossARestartUntilTheDataFolderTakesThem) {
  TScratchDir dir;
  TScratchDir fallbackDir;
  const std::string folder = (dir.Path / "data").string();
  const std::string path = folder + plat::kPathDelimiter + TLastTimePoints::kFileName;
  std::filesystem::create_directories(folder);
  const std::string original = "1=20120101000000\r\n2=20150101000000\r\n";
  WriteBytes(path, original);
  const TLastTimePoints file(folder, fallbackDir.Path.string());
  const std::string& fallback = file.FallbackFileName();
  EXPECT_EQ(plat::ExtractFileDir(fallback), fallbackDir.Path.string());
  EXPECT_NE(TLastTimePoints(dir.Path.string(), fallbackDir.Path.string()).FallbackFileName(),
            fallback);  // one per data folder
  const std::vector<std::string> devices = {"1", "2", "3", "4", "5"};
  const std::string output = dir.File("read.txt");

  const struct {
    const char* Step;
    bool DataWritable;
    bool FallbackWritable;
    std::vector<TPendingTimePoint> Points;
    const char* Message;               // in the raised error; nullptr: no error
    std::vector<double> AfterRestart;  // devices 1..5 in a new process
    bool FallbackExists;
  } steps[] = {
      {"data folder unwritable",
       false,
       true,
       {{"1", At(2014, 1, 1)}, {"3", At(2013, 5, 1)}},
       "kept in ",
       {At(2014, 1, 1), At(2015, 1, 1), At(2013, 5, 1), -1, -1},
       true},
      {"both unwritable",
       false,
       false,
       {{"4", At(2016, 1, 1)}},
       "kept in memory only",
       {At(2014, 1, 1), At(2015, 1, 1), At(2013, 5, 1), -1, -1},
       true},
      {"data folder writable again",
       true,
       true,
       {{"5", At(2017, 1, 1)}},
       nullptr,
       {At(2014, 1, 1), At(2015, 1, 1), At(2013, 5, 1), At(2016, 1, 1), At(2017, 1, 1)},
       false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Step);
    gBlockedFolder = step.DataWritable ? "" : folder;
    gBlockedFolder2 = step.FallbackWritable ? "" : fallbackDir.Path.string();
    plat::SetBeforeRenameHook(&StopInBlockedFolders);
    std::string error;
    try {
      file.Record(step.Points);
    } catch (const ESharedFileError& e) {
      error = e.what();
    }
    plat::SetBeforeRenameHook(nullptr);
    if (step.Message == nullptr) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_NE(error.find(step.Message), std::string::npos) << error;
    }
    for (const TPendingTimePoint& point : step.Points)  // this process counts them all
      EXPECT_DOUBLE_EQ(file.Read(point.Device), point.TimePoint) << point.Device;
    const std::vector<double> read =
        ReadInNewProcess(folder, fallbackDir.Path.string(), devices, output);
    ASSERT_EQ(read.size(), step.AfterRestart.size());
    for (std::size_t i = 0; i < read.size(); ++i)
      EXPECT_NEAR(read[i], step.AfterRestart[i], 1e-5) << devices[i];
    EXPECT_EQ(plat::FileExists(fallback), step.FallbackExists);
    if (!step.DataWritable) {
      EXPECT_EQ(ReadBytes(path), original);
    }
  }
  EXPECT_EQ(ReadBytes(path),
            "1=20140101000000\r\n2=20150101000000\r\n3=20130501000000\r\n4=20160101000000\r\n"
            "5=20170101000000\r\n");
}

TEST_F(LastTimePointsFile, AFolderThatCannotBeCreatedSaysWhy) {
  // a folder below a plain file can never be created
  WriteBytes(Dir.File("plain"), "x");
  const TLastTimePoints blocked(Dir.File("plain") + plat::kPathDelimiter + "sub",
                                FallbackDir.Path.string());
  try {
    blocked.Record({{"1", At(2014, 1, 1)}});
    ADD_FAILURE() << "recording into an impossible folder reported success";
  } catch (const ESharedFileError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot create the folder"), std::string::npos)
        << e.what();
  }
}

TEST_F(LastTimePointsFile, AFolderThatCannotBeWrittenKeepsTheOldFile) {
  // a read-only folder, where permissions hold (not for root)
  const auto folder = Dir.Path / "readonly";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / TLastTimePoints::kFileName).string();
  const std::string original = "1=20120101000000\r\n";
  WriteBytes(file, original);
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::string probe;
  if (plat::ReplaceFileAtomically((folder / "probe").string(), "x", &probe))
    GTEST_SKIP() << "permissions do not hold here";
  EXPECT_THROW(
      TLastTimePoints(folder.string(), FallbackDir.Path.string()).Record({{"1", At(2014, 1, 1)}}),
      ESharedFileError);
  EXPECT_EQ(ReadBytes(file), original);
}

// ---- several writers ----

namespace {

constexpr int kRecords = 30;

}  // namespace

TEST(LastTimePointsConcurrency, ThreadsAndProcessesRecordingDifferentDevicesLoseNone) {
  TScratchDir dir;
  const std::string folder = dir.Path.string();
  const std::string path = dir.File(TLastTimePoints::kFileName);
  WriteBytes(path, "host line\r\n");
  const std::string helper = RecorderPath();
  ASSERT_TRUE(plat::FileExists(helper)) << helper;
  ASSERT_EQ((helper + folder).find_first_of(" \"'"), std::string::npos);

  std::vector<int> results(2, -1);
  std::vector<std::thread> workers;
  for (int p = 0; p < 2; ++p)
    workers.emplace_back([&, p] {
      const std::string command =
          helper + " " + folder + " Proc" + std::to_string(p) + " " + std::to_string(kRecords);
      results[p] = std::system(command.c_str());
    });
  for (int t = 0; t < 2; ++t)
    workers.emplace_back([&, t] {
      const TLastTimePoints file(folder);  // one per thread, as one per worker
      for (int i = 0; i < kRecords; ++i)
        file.Record({{"Thread" + std::to_string(t) + "-" + std::to_string(i), 40000.0 + i}});
    });
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);

  const TLastTimePoints file(folder);
  for (const char* name : {"Proc0", "Proc1", "Thread0", "Thread1"})
    for (int i = 0; i < kRecords; ++i)
      EXPECT_DOUBLE_EQ(file.Read(std::string(name) + "-" + std::to_string(i)), 40000.0 + i)
          << name << " " << i;
  EXPECT_EQ(ReadBytes(path).substr(0, 11), "host line\r\n");
  EXPECT_EQ(dir.EntryCount(), 1u);
}

// ---- filtering ----

namespace {

class FilterByLastTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddRow(0, At(2014, 3, 13, 12, 10), "VOLUME");  // current: never filtered
    AddRow(1, At(2013, 12, 31), "VOLUME");
    AddRow(2, At(2012, 12, 31), "VOLUME");
    AddRow(3, At(2011, 12, 31), "VOLUME");
  }
  void AddRow(std::int32_t storage, double timePoint, const char* value) {
    TkorMbusDataRow& row = FindRow(Rows, 0, storage);
    row.Add("DEVICE_ID", OleVariant("12345678"));
    if (storage > 0) row.Add(kItemStorage, OleVariant(storage));
    row.Add(kItemTimePoint, OleVariant::Date(timePoint));
    row.Add(value, OleVariant(1.5));
  }
  std::vector<std::int32_t> Storages() const {
    std::vector<std::int32_t> out;
    for (std::int32_t i = 0; i < Rows.Count(); ++i) out.push_back(Rows.Row(i).Storage);
    return out;
  }
  const double Now = At(2014, 3, 14, 9, 0);
  TkorMbusDataRows Rows;
};

}  // namespace

TEST_F(FilterByLastTimeTest, StoredRowsNotLaterThanTheStoredTimePointGo) {
  const TTimePointFilterResult result = FilterByLastTime(Rows, At(2012, 12, 31), true, Now);
  EXPECT_EQ(Storages(), (std::vector<std::int32_t>{0, 1}));  // equal is not later
  EXPECT_DOUBLE_EQ(result.Latest, At(2013, 12, 31));
  EXPECT_FALSE(result.Future);
}

TEST_F(FilterByLastTimeTest, AllStoredRowsOlderLeavesTheCurrentRow) {
  const TTimePointFilterResult result = FilterByLastTime(Rows, At(2014, 1, 1), true, Now);
  EXPECT_EQ(Storages(), std::vector<std::int32_t>{0});
  EXPECT_EQ(result.Latest, 0);
}

TEST_F(FilterByLastTimeTest, NothingStoredKeepsAll) {
  const TTimePointFilterResult result = FilterByLastTime(Rows, -1, true, Now);
  EXPECT_EQ(Storages(), (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(result.Latest, At(2013, 12, 31));
}

TEST_F(FilterByLastTimeTest, WithoutReadOnlyNewEveryRowStaysAndTheNewestIsReported) {
  const TTimePointFilterResult result = FilterByLastTime(Rows, At(2014, 1, 1), false, Now);
  EXPECT_EQ(Storages(), (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(result.Latest, At(2013, 12, 31));
}

TEST_F(FilterByLastTimeTest, ATimePointFarAheadIsDeliveredButNotRecorded) {
  AddRow(4, Now + 2, "ENERGY");
  AddRow(5, Now + 0.5, "ENERGY");  // within a day: a clock a little ahead
  const TTimePointFilterResult result = FilterByLastTime(Rows, At(2013, 1, 1), true, Now);
  EXPECT_EQ(Storages(), (std::vector<std::int32_t>{0, 1, 4, 5}));
  EXPECT_TRUE(result.Future);
  EXPECT_DOUBLE_EQ(result.FutureTimePoint, Now + 2);
  EXPECT_DOUBLE_EQ(result.Latest, Now + 0.5);
}

TEST_F(FilterByLastTimeTest, AStoredTimePointFarAheadCountsAsNone) {
  const TTimePointFilterResult result = FilterByLastTime(Rows, At(2096, 1, 1), true, Now);
  EXPECT_EQ(Storages(), (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(result.Latest, At(2013, 12, 31));
}

TEST_F(FilterByLastTimeTest, TimePointsThatAreNoDatesKeepTheirRows) {
  TkorMbusDataRow& row = FindRow(Rows, 0, 6);
  row.Add(kItemStorage, OleVariant(std::int32_t{6}));
  row.Add(kItemTimePoint, OleVariant("2000-00-00"));
  row.Add("VOLUME", OleVariant(1.0));
  const TTimePointFilterResult result = FilterByLastTime(Rows, At(2014, 1, 1), true, Now);
  EXPECT_EQ(Storages(), (std::vector<std::int32_t>{0, 6}));
  EXPECT_EQ(result.Latest, 0);
}
