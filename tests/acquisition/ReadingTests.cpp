// What a reading delivers through the exports: the rows of primary and
// secondary polls with their header, storage, time point, unit, tariff and
// repeat items and the packets; multi-telegram, first-frame and
// fixed-structure meters; the filters; a list of devices; several sources.
#include <gtest/gtest.h>

#include <set>

#include "AcquisitionRig.h"

namespace acquisition {
namespace {

// Current volume twice (a repeated name), a tariff 1 volume, and a stored
// volume at storage 1 with its time point.
bus::Bytes RichTelegram(std::uint8_t primary, std::uint32_t id) {
  bus::TelegramWriter w(primary, Address(id), 0x10, 0);
  w.Integer({0x13}, 1234, 4);
  w.Integer({0x13}, 1200, 4);
  w.Integer({0x13}, 700, 4, 0, 1);
  w.DateTime(bus::CivilTime{2025, 2, 28, 23, 59, 0}, 1);
  w.Integer({0x13}, 1100, 4, 1);
  w.Integer({0x13}, 900, 4, 2, 0);
  w.Integer({0x13}, 300, 4, 0, 2);
  return w.Frame();
}

std::string Raw(const bus::Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

const host::TReceivedData* RowWith(const std::vector<host::TReceivedData>& rows,
                                   const std::string& item) {
  for (const auto& row : rows)
    if (Has(row, item)) return &row;
  return nullptr;
}

class AcquisitionReading : public AcquisitionTest {
 protected:
  TAcquisitionRig Rig{Folder};
};

TEST_F(AcquisitionReading, PrimaryPollGivesEveryKindOfItem) {
  bus::SlaveConfig meter = Meter(5, 0x12345678, 0);
  meter.telegrams = {RichTelegram(5, 0x12345678)};
  Rig.AddSource("segment")->AddSlave(meter);
  Rig.Configure(Document({Request("5")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(3)) << Rig.Log();
  Rig.PumpFor(100);
  const auto rows = Rig.Rows();
  ASSERT_EQ(rows.size(), 5u) << Rig.Log();  // current, tariffs 1 and 2, storages 1 and 2
  // The first row of the reply carries the packets, and only it.
  EXPECT_TRUE(Has(rows[0], "FULL_DATA_PACKET"));
  EXPECT_TRUE(Has(rows[0], "DATA_PACKET"));
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_FALSE(Has(rows[i], "FULL_DATA_PACKET"));
    EXPECT_FALSE(Has(rows[i], "DATA_PACKET"));
  }
  EXPECT_NE(rows[0].Raw.find(Raw(meter.telegrams[0])), std::string::npos);
  for (const auto& row : rows) {
    EXPECT_EQ(Value(row, "DEVICE_ID"), "12345678");
    EXPECT_EQ(Value(row, "MANUFACTURER"), "KAM");
    EXPECT_EQ(Value(row, "MEDIUM"), "Water");
    EXPECT_TRUE(Has(row, "VERSION"));
    EXPECT_TRUE(Has(row, "STATUS"));
    EXPECT_EQ(row.DataSourceId, 1);
  }
  const auto* current = RowWith(rows, "VOLUME_I2");
  ASSERT_NE(current, nullptr);
  EXPECT_DOUBLE_EQ(std::stod(Value(*current, "VOLUME")), 1.234);
  EXPECT_DOUBLE_EQ(std::stod(Value(*current, "VOLUME_I2")), 1.2);
  EXPECT_NE(Value(*current, "VOLUME_UNIT"), "(none)");
  EXPECT_FALSE(Has(*current, "STORAGE"));
  const auto* tariff = RowWith(rows, "VOLUME_T1");
  ASSERT_NE(tariff, nullptr);
  EXPECT_DOUBLE_EQ(std::stod(Value(*tariff, "VOLUME_T1")), 0.7);
  EXPECT_TRUE(Has(*tariff, "VOLUME_T1_UNIT"));
  const auto* stored = RowWith(rows, "TIME_POINT");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(Value(*stored, "STORAGE"), "1");
  EXPECT_DOUBLE_EQ(std::stod(Value(*stored, "VOLUME")), 1.1);
  EXPECT_EQ(Rig.Log().find("timeout"), std::string::npos) << Rig.Log();
}

TEST_F(AcquisitionReading, StorageAndTariffFiltersDropTheOtherRecords) {
  bus::SlaveConfig meter = Meter(5, 0x12345678, 0);
  meter.telegrams = {RichTelegram(5, 0x12345678)};
  Rig.AddSource("segment")->AddSlave(meter);
  Rig.Configure(Document({Request("5", "", "<StorageNo>2</StorageNo><TariffNo>2</TariffNo>")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  Rig.PumpFor(200);
  const auto rows = Rig.Rows();
  EXPECT_EQ(RowWith(rows, "VOLUME_T1"), nullptr);
  EXPECT_NE(RowWith(rows, "VOLUME_T2"), nullptr);
  for (const auto& row : rows) EXPECT_NE(Value(row, "STORAGE"), "1");
  const auto* current = RowWith(rows, "VOLUME_I2");
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(rows.size(), 3u);  // current, tariff 2, storage 2
}

TEST_F(AcquisitionReading, SecondaryByIdentificationNumberAndByFullMask) {
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(Meter(1, 0x12345678, 10));
  segment->AddSlave(Meter(2, 0x87654321, 20));
  Rig.Configure(Document({Request("12345678;" + Address(0x87654321).Text())}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(2)) << Rig.Log();
  EXPECT_EQ(Rig.RowsOf("12345678").size(), 1u);
  ASSERT_EQ(Rig.RowsOf("87654321").size(), 1u);
  EXPECT_DOUBLE_EQ(std::stod(Value(Rig.RowsOf("87654321")[0], "VOLUME")), 0.02);
  EXPECT_EQ(Rig.Segment().Stats().selections, 2);
}

// "1;2;2;1": the first address once, every further one that differs from it.
TEST_F(AcquisitionReading, DeviceListReadsEveryOtherAddressAsGiven) {
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(Meter(1, 0x11111111, 10));
  segment->AddSlave(Meter(2, 0x22222222, 20));
  Rig.Configure(Document({Request("1;2;2;1")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(3)) << Rig.Log();
  Rig.PumpFor(300);
  EXPECT_EQ(Rig.RowsOf("11111111").size(), 1u);
  EXPECT_EQ(Rig.RowsOf("22222222").size(), 2u);
}

TEST_F(AcquisitionReading, MultiTelegramMeterGivesEveryStoredRowAndFirstFrameOnlyTheFirst) {
  bus::MeterSpec spec{bus::MeterKind::Heat, 3, 0x31000202, "HKQ", 0x1A, 7420.5, 24.0, 6, 2, 0};
  auto segment = Rig.AddSource("segment");
  segment->AddSlave(bus::MeterSlave(spec, FixedClock()));
  bus::MeterSpec second = spec;
  second.primary = 4;
  second.id = 0x31000303;
  segment->AddSlave(bus::MeterSlave(second, FixedClock()));
  Rig.Configure(Document({Request("3"), Request("4", "", "<FirstFrame>1</FirstFrame>")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.PumpUntil([&] { return !Rig.RowsOf("31000303").empty(); })) << Rig.Log();
  Rig.PumpFor(200);
  std::set<std::string> storages, firstStorages;
  for (const auto& row : Rig.RowsOf("31000202")) storages.insert(Value(row, "STORAGE"));
  for (const auto& row : Rig.RowsOf("31000303")) firstStorages.insert(Value(row, "STORAGE"));
  for (int s = 1; s <= 6; ++s) EXPECT_EQ(storages.count(std::to_string(s)), 1u) << s;
  EXPECT_EQ(firstStorages.count("6"), 0u);
  EXPECT_LT(firstStorages.size(), storages.size());
}

TEST_F(AcquisitionReading, FixedStructureMeter) {
  bus::MeterSpec spec{bus::MeterKind::FixedWater, 8, 0x44000808, "QQQ", 1, 100.0, 1.0, 0, 0, 0};
  Rig.AddSource("segment")->AddSlave(bus::MeterSlave(spec, FixedClock()));
  Rig.Configure(Document({Request("8")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  const auto rows = Rig.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Value(rows[0], "DEVICE_ID"), "44000808");
  std::string names;
  for (const auto& item : rows[0].Values) names += item.first + ";";
  // Binary counters (status bit 7), actual values (bit 6 clear): the volume
  // in litres at the meter clock's time, and the flow.
  EXPECT_NE(names.find("VOLUME_Actual value;"), std::string::npos) << names;
  EXPECT_EQ(names.find("Stored value"), std::string::npos) << names;
  EXPECT_EQ(Value(rows[0], "MANUFACTURER"), "(none)");
}

TEST_F(AcquisitionReading, SeveralDataSourcesOnOneModuleKeepTheirRowsApart) {
  Rig.AddSource("bus-a")->AddSlave(Meter(5, 0x0000000A, 10));
  Rig.AddSource("bus-b")->AddSlave(Meter(5, 0x0000000B, 20));
  Rig.AddSource("bus-c")->AddSlave(Meter(5, 0x0000000C, 30));
  Rig.Configure(Document({Request("5")}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(3)) << Rig.Log();
  Rig.PumpFor(100);
  const auto rows = Rig.Rows();
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows) {
    const std::string expected =
        std::string("0000000") + static_cast<char>('A' + row.DataSourceId - 1);
    EXPECT_EQ(Value(row, "DEVICE_ID"), expected);
  }
}

}  // namespace
}  // namespace acquisition
