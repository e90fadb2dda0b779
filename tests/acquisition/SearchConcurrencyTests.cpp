// The device search while threads race on purpose: status and cancel from
// the host's thread while the worker scans, a search run by a second module
// on the main module's data source, and the source going while it searches.
// The linux-tsan preset runs these.
#include <gtest/gtest.h>

#include "SearchRig.h"

namespace acquisition {
namespace {

using DeviceSearchConcurrency = TSearchTest;

void AddMeters(bus::BusSegment& segment, int count) {
  for (int i = 0; i < count; ++i)
    segment.AddSlave(SecondaryMeter(0x10000000u + static_cast<std::uint32_t>((i / 10) << 4) +
                                    static_cast<std::uint32_t>(i % 10)));
}

// Status queries back to back while the worker scans: every answer is a
// progress ("*" + position, maybe "||" + the worker's status) until the
// result list; then a cancel of the ended search returns at once.
TEST_F(DeviceSearchConcurrency, StatusWhileTheWorkerSearches) {
  AddMeters(*Rig.AddSource("segment"), 12);
  StartModule();
  const std::string id = Search(2, 0, 0);
  std::string status = "*";
  int progress = 0;
  while (!status.empty() && status.front() == '*') {
    status = Status(id);
    if (!status.empty() && status.front() == '*') {
      ++progress;
      const std::size_t bar = status.find("||");
      const std::string position = status.substr(1, bar == std::string::npos ? bar : bar - 1);
      EXPECT_FALSE(position.empty()) << status;
      EXPECT_EQ(position.find_first_not_of("0123456789"), std::string::npos) << status;
    }
    Rig.PumpFor(1);
  }
  EXPECT_GT(progress, 0);
  EXPECT_EQ(ResultLines(status).size(), 12u) << Rig.Log();
  EXPECT_EQ(Cancel(id), "");
}

// Cancel from the host's thread while the worker waits inside the scan: it
// returns, and a new search on the same source runs to its end.
TEST_F(DeviceSearchConcurrency, CancelWhileTheWorkerSearches) {
  AddMeters(*Rig.AddSource("segment"), 20);
  StartModule("<MBUS></MBUS>", 100, 1000);
  for (int round = 0; round < 3; ++round) {
    const std::string id = Search(2, 0, 0);
    Rig.PumpUntil([&] { return Status(id).find("||") != std::string::npos; });
    EXPECT_EQ(Cancel(id), "");
    const std::string status = Status(id);
    EXPECT_TRUE(status.empty() || status.front() != '*') << status;
  }
  const std::string id = Search(1, 0, 3);
  EXPECT_EQ(WaitForResult(id), "") << Rig.Log();
}

// A second instance with the same settings path (the options dialog's)
// searches on the main instance's data source; when that source goes, the
// second instance's status answers empty and its cancel returns.
TEST_F(DeviceSearchConcurrency, SearchOfASecondModuleOnTheMainModulesSource) {
  AddMeters(*Rig.AddSource("segment"), 12);
  StartModule();
  TAcquisitionRig dialog(Folder, 2);
  dialog.Configure("<MBUS></MBUS>");
  dialog.Load();
  // The limits of the module that asks for the search apply.
  SetCustom(dialog, "SearchIdleMs", 60);
  SetCustom(dialog, "SearchTotalMs", 600);
  const std::string id =
      SearchEvent(dialog, "SearchDevices", OleVariant(2), OleVariant(0), OleVariant(0));
  ASSERT_EQ(id.size(), 8u) << id;
  // The main module's own status does not know the dialog's search.
  EXPECT_EQ(Status(id), "");
  auto dialogStatus = [&] {
    return SearchEvent(dialog, "SearchDevicesStatus", OleVariant(id), OleVariant(), OleVariant());
  };
  ASSERT_TRUE(Rig.PumpUntil([&] { return dialogStatus().find("||") != std::string::npos; }))
      << Rig.Log();
  Rig.Stop();
  EXPECT_EQ(dialogStatus(), "");
  EXPECT_EQ(SearchEvent(dialog, "SearchDevicesCancel", OleVariant(id), OleVariant(), OleVariant()),
            "");
}

// UNLOAD and free while the worker scans: nothing hangs.
TEST_F(DeviceSearchConcurrency, StopWhileTheWorkerSearches) {
  AddMeters(*Rig.AddSource("segment"), 20);
  StartModule("<MBUS></MBUS>", 200, 2000);
  ASSERT_EQ(Search(2, 0, 0).size(), 8u);
  ASSERT_TRUE(Rig.WaitForLog("Checking address:")) << Rig.Log();
  Rig.Stop();
  EXPECT_EQ(Rig.RowCount(), 0u);
}

}  // namespace
}  // namespace acquisition
