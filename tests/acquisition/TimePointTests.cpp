// The last time point filter through the exports: stored rows go to the
// host once, across runs of one module and across two modules that read at
// the same time and share a data path.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "AcquisitionRig.h"

namespace acquisition {
namespace {

// One run of a module reading, once, a meter at `primary` on each of the
// buses (data sources 1, 2, ...); the stored rows each delivered.
std::vector<int> ReadOnce(const std::filesystem::path& folder, int primary,
                          const std::vector<std::uint32_t>& ids) {
  TAcquisitionRig rig(folder);
  for (const std::uint32_t id : ids)
    rig.AddSource("bus-" + std::to_string(id))->AddSlave(HistoryMeter(primary, id));
  rig.Configure(Document({Request(std::to_string(primary), kOnce)}));
  rig.Load();
  rig.Start();
  EXPECT_TRUE(rig.WaitForRows(ids.size())) << rig.Log();
  rig.PumpFor(300);
  rig.Stop();
  std::vector<int> stored;
  for (const std::uint32_t id : ids) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", id);
    stored.push_back(StoredRows(rig.RowsOf(text)));
  }
  return stored;
}

// The module's lastdate.txt below a rig's folder.
std::filesystem::path LastDateFile(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.path().filename() == "lastdate.txt") return entry.path();
  return {};
}

class AcquisitionTimePoints : public AcquisitionTest {};

TEST_F(AcquisitionTimePoints, StoredRowsGoOnceAcrossRuns) {
  EXPECT_EQ(ReadOnce(Folder, 5, {0x42000505}), std::vector<int>{3});
  EXPECT_EQ(ReadOnce(Folder, 5, {0x42000505}), std::vector<int>{0});
}

// Every bus has its meter 5, and meters that store at the same moments hold
// the same time points: each bus's meter delivers its own stored rows once.
// A file from before keys named the data source still counts for each of
// them until their own entry is written.
TEST_F(AcquisitionTimePoints, SameAddressOnSeveralBusesKeepsItsOwnTimePoint) {
  EXPECT_EQ(ReadOnce(Folder, 5, {0x42000505, 0x42000506}), (std::vector<int>{3, 3}));
  EXPECT_EQ(ReadOnce(Folder, 5, {0x42000505, 0x42000506}), (std::vector<int>{0, 0}));

  const std::filesystem::path old = Folder / "old";
  std::filesystem::create_directories(old);
  EXPECT_EQ(ReadOnce(old, 5, {0x42000505}), std::vector<int>{3});
  const std::filesystem::path file = LastDateFile(old);
  ASSERT_FALSE(file.empty());
  std::string text;
  {
    std::ifstream in(file, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::size_t at = text.find("5@1=");
  ASSERT_NE(at, std::string::npos) << text;
  text.erase(at + 1, 2);  // the entry as files before the change wrote it
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  EXPECT_EQ(ReadOnce(old, 5, {0x42000505, 0x42000506}), (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace acquisition
