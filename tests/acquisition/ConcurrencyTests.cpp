// Acquisition while threads race on purpose: the line dropping inside a
// reply, bytes one at a time, the instance going (UNLOAD, or only
// FreePluginInstance) while the worker waits for a reply, and two modules
// reading at once into one data path. The linux-tsan preset runs these.
#include <gtest/gtest.h>

#include "AcquisitionRig.h"

namespace acquisition {
namespace {

class AcquisitionConcurrency : public AcquisitionTest {
 protected:
  // A polled silent meter: true once its first request is on the line, the
  // worker then waiting for an answer that never comes.
  bool StartWithARequestInFlight() {
    Rig.AddSource("segment")->AddSlave(SilentMeter());
    Rig.Configure(Document({Request("5", kPoll)}));
    Rig.Load();
    Rig.Start();
    // The set-up's reset of the network layer, then the read of 5 (which
    // begins with its link's reset).
    return Rig.PumpUntil([&] { return Rig.Segment().Stats().pings >= 2; });
  }

  TAcquisitionRig Rig{Folder};
};

// The line drops after part of a reply: that read fails, nothing half is
// delivered, and after the reopening the meter is read whole.
TEST_F(AcquisitionConcurrency, LineDroppingInsideAReplyLosesNoWholeRow) {
  Rig.AddSource("segment")->AddSlave(Meter(5, 0x12345678, 4321));
  Rig.Port(0).CutAfter = 12;
  Rig.Configure(Document({Request("5", kPoll)}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.PumpUntil([&] { return Rig.Port(0).Cuts == 1; })) << Rig.Log();
  ASSERT_TRUE(Rig.WaitForRows(2)) << Rig.Log();
  for (const auto& row : Rig.Rows()) {
    EXPECT_EQ(Value(row, "DEVICE_ID"), "12345678");
    EXPECT_DOUBLE_EQ(std::stod(Value(row, "VOLUME")), 4.321);
  }
  EXPECT_GE(Rig.Sources().Counters().Drops, 1);
}

TEST_F(AcquisitionConcurrency, BytesArrivingOneAtATime) {
  Rig.AddSource("segment")->AddSlave(StoredMeter(5, 0x12345678));
  Rig.Port(0).Piece = 1;
  Rig.Configure(Document({Request("5", kOnce), Request("12345678", kOnce)}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(4)) << Rig.Log();
  Rig.PumpFor(100);
  // Both reads whole: the current and the stored row each (the last time
  // points are kept per device text, and the texts differ).
  const auto rows = Rig.Rows();
  ASSERT_EQ(rows.size(), 4u);
  for (const auto& row : rows) EXPECT_EQ(Value(row, "DEVICE_ID"), "12345678");
  EXPECT_DOUBLE_EQ(std::stod(Value(rows[0], "VOLUME")), 1.234);
  EXPECT_EQ(Value(rows[1], "STORAGE"), "1");
}

// UNLOAD while the worker waits for a silent meter's answer ends promptly
// and cleanly (the test would hang otherwise).
TEST_F(AcquisitionConcurrency, UnloadWhileARequestIsInFlight) {
  ASSERT_TRUE(StartWithARequestInFlight()) << Rig.Log();
  Rig.Stop();
  EXPECT_EQ(Rig.RowCount(), 0u);
}

TEST_F(AcquisitionConcurrency, TwoModulesSharingADataPathEachDeliverTheirStoredRowsOnce) {
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

// A host that frees the instance without UNLOAD while the worker waits: the
// sources and their workers go with the instance, nothing hangs.
TEST_F(AcquisitionConcurrency, FreeWithoutUnloadWhileARequestIsInFlight) {
  ASSERT_TRUE(StartWithARequestInFlight()) << Rig.Log();
  Rig.Host().FreeWithoutUnload();
  Rig.Stop();
  EXPECT_EQ(Rig.RowCount(), 0u);
}

}  // namespace
}  // namespace acquisition
