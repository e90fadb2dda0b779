// The last time point filter through the exports: stored rows go to the
// host once, across runs of one module and across two modules that read at
// the same time and share a data path.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AcquisitionRig.h"

namespace acquisition {
namespace {

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

}  // namespace
}  // namespace acquisition
