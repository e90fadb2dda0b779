// The last time point filter through the exports: stored rows go to the
// host once, across runs of one module and across two modules that read at
// the same time and share a data path.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AcquisitionRig.h"

namespace acquisition {
namespace {

const std::string kOnce = "<MethodOnce check=\"2\" />";

// The meter kind's month-end history: storages 1..3 with their time points.
bus::SlaveConfig HistoryMeter(int primary, std::uint32_t id) {
  bus::MeterSpec spec{bus::MeterKind::Water, primary, 0, "WZV", 0x21, 512.25, 1.8, 3, 0, 0};
  spec.id = id;
  return bus::MeterSlave(spec, FixedClock());
}

int StoredRows(const std::vector<host::TReceivedData>& rows) {
  int n = 0;
  for (const auto& row : rows) n += Has(row, "STORAGE") ? 1 : 0;
  return n;
}

// One run of a module reading one meter once; its stored rows.
int ReadOnce(const std::filesystem::path& folder, int primary, std::uint32_t id) {
  TAcquisitionRig rig(folder);
  rig.AddSource("segment")->AddSlave(HistoryMeter(primary, id));
  rig.Configure(Document({Request(std::to_string(primary), kOnce)}));
  rig.Load();
  rig.Start();
  EXPECT_TRUE(rig.WaitForRows(1)) << rig.Log();
  rig.PumpFor(300);
  rig.Stop();
  return StoredRows(rig.Rows());
}

class AcquisitionTimePoints : public AcquisitionTest {};

TEST_F(AcquisitionTimePoints, StoredRowsGoOnceAcrossRuns) {
  EXPECT_EQ(ReadOnce(Folder, 5, 0x42000505), 3);
  EXPECT_EQ(ReadOnce(Folder, 5, 0x42000505), 0);
}

TEST_F(AcquisitionTimePoints, TwoModulesSharingADataPathEachDeliverTheirStoredRowsOnce) {
  for (int round = 0; round < 2; ++round) {
    TAcquisitionRig first(Folder, 1);
    TAcquisitionRig second(Folder, 2);
    first.AddSource("segment")->AddSlave(HistoryMeter(5, 0x42000505));
    second.AddSource("segment")->AddSlave(HistoryMeter(6, 0x42000606));
    first.Configure(Document({Request("5", kOnce)}));
    second.Configure(Document({Request("6", kOnce)}));
    first.Load();
    second.Load();
    first.Start();
    second.Start();
    // One thread pumps both (their windows are its own); each polls its rows.
    auto both = [&] {
      second.Sources().Poll();
      return first.RowCount() >= 1 && second.RowCount() >= 1;
    };
    ASSERT_TRUE(first.PumpUntil(both)) << first.Log() << second.Log();
    first.PumpUntil([&] { return both() && false; }, 300);
    second.Stop();
    first.Stop();
    EXPECT_EQ(StoredRows(first.Rows()), round == 0 ? 3 : 0) << round;
    EXPECT_EQ(StoredRows(second.Rows()), round == 0 ? 3 : 0) << round;
    EXPECT_EQ(first.RowsOf("42000606").size(), 0u);
    EXPECT_EQ(second.RowsOf("42000505").size(), 0u);
  }
}

}  // namespace
}  // namespace acquisition
