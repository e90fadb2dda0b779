// Decoding of replies into rows: item naming, variable and fixed replies,
// storage and tariff rows and their filters, dates, multi-telegram replies
// and what the library's memory does around them.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "LinkedMbusApi.h"
#include "MbusTestFrames.h"
#include "framework/DateUtils.h"
#include "mbus/MbusDecode.h"
#include "mbus/RequestConfig.h"
#include "platform/Text.h"

using namespace mbus_test;

namespace {

std::vector<std::string> Names(const TkorParamsList& row) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < row.Count(); ++i) names.push_back(row.Items(i)->Name);
  return names;
}

void ExpectUniqueNames(const TkorParamsList& row) {
  std::set<std::string> seen;
  for (const std::string& name : Names(row)) {
    std::string key = name;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(seen.insert(key).second) << "duplicate item " << name;
  }
}

double OleDate(int year, int month, int day, int hour = 0, int minute = 0) {
  TDateParts parts;
  parts.Year = year;
  parts.Month = month;
  parts.Day = day;
  parts.Hour = hour;
  parts.Minute = minute;
  return EncodeDateTime(parts);
}

class MbusDecode : public ::testing::Test {
 protected:
  // Decodes the frames of bytes as one reply.
  bool Decode(const std::vector<unsigned char>& bytes, std::string* stopReason = nullptr) {
    TFrameChain chain = ParseChain(bytes);
    if (!chain) {
      ADD_FAILURE() << "test telegram does not parse";
      return false;
    }
    return DecodeReply(Api, nullptr, Rows, *chain, Params, stopReason);
  }
  static std::vector<unsigned char> Join(std::vector<unsigned char> a,
                                         const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  // The row with that tariff and storage; fails the test when missing.
  const TkorMbusDataRow* RowOf(std::int32_t tariff, std::int32_t storage) const {
    for (std::int32_t i = 0; i < Rows.Count(); ++i)
      if (Rows.Row(i).Tariff == tariff && Rows.Row(i).Storage == storage) return &Rows.Row(i);
    ADD_FAILURE() << "no row of tariff " << tariff << " storage " << storage;
    return nullptr;
  }
  std::string Manufacturer(unsigned char low, unsigned char high) {
    char buffer[8] = {};
    return Api.mbus_decode_manufacturer(low, high, buffer);
  }

  TMbusApi Api = LinkedMbusApi();
  TRequestParameters Params;
  TkorMbusDataRows Rows;
};

// Three volumes, a flow temperature maximum, a stored volume of tariff 1 and
// a stored date alone, then manufacturer data.
const char* const kEdgeRecords =
    "04 13 01 00 00 00  04 13 02 00 00 00  04 13 03 00 00 00  12 5B 2A 00 "
    "84 11 13 05 00 00 00  42 6C BF 1C  0F 01 02";

}  // namespace

// ---- naming ----

TEST(MbusItemNaming, RepeatedNamesAreNumberedByOccurrence) {
  TkorMbusDataRow row;
  for (int i = 1; i <= 4; ++i)
    AddMbusItem(row, "Volume", "m^3", "", 0, 0, OleVariant(static_cast<double>(i)));
  const std::vector<std::string> expected = {"VOLUME",         "VOLUME_UNIT",   "VOLUME_I2",
                                             "VOLUME_I2_UNIT", "VOLUME_I3",     "VOLUME_I3_UNIT",
                                             "VOLUME_I4",      "VOLUME_I4_UNIT"};
  EXPECT_EQ(Names(row), expected);
  EXPECT_EQ(row.GetValue("VOLUME_I3").AsDouble(), 3.0);
  ExpectUniqueNames(row);
}

TEST(MbusItemNaming, NamesThatWouldMeetTheIdentificationItemsStepAside) {
  TkorMbusDataRow row;
  EXPECT_EQ(AddMbusItem(row, "Medium", "", "", 0, 0, OleVariant(3.0)), "MEDIUM_I2");
  EXPECT_EQ(AddMbusItem(row, "Manufacturer", "", "", 0, 0, OleVariant(1.0)), "MANUFACTURER_I2");
  // a quantity whose name is another's unit item
  EXPECT_EQ(AddMbusItem(row, "Energy", "Wh", "", 0, 0, OleVariant(1.0)), "ENERGY");
  EXPECT_EQ(AddMbusItem(row, "Energy unit", "", "", 0, 0, OleVariant(2.0)), "ENERGY_UNIT_I2");
  ExpectUniqueNames(row);
}

TEST(MbusItemNaming, CountingStopsAtTheLastRowMarker) {
  TkorMbusDataRow row;
  AddMbusItem(row, "Volume", "m^3", "", 0, 0, OleVariant(1.0));
  row.EndRow();
  EXPECT_EQ(AddMbusItem(row, "Volume", "m^3", "", 0, 0, OleVariant(2.0)), "VOLUME");
}

TEST(MbusItemNaming, QuantityTextsBecomeNames) {
  TkorMbusDataRow row;
  EXPECT_EQ(AddMbusItem(row, "Time point (date & time)", "-", "", 0, 0, OleVariant(1.0)),
            "TIME_POINT");
  EXPECT_EQ(AddMbusItem(row, "Flow temperature",
                        "\xC2\xB0"
                        "C",
                        "MAX", 0, 0, OleVariant(1.0)),
            "FLOW_TEMP_MAX");
  EXPECT_EQ(AddMbusItem(row, "Temperature difference", "K", "", 0, 0, OleVariant(1.0)),
            "TEMP_DIFF");
  EXPECT_EQ(AddMbusItem(row, "(Enhanced) Identification", "", "", 0, 0, OleVariant(1.0)),
            "IDENTIFICATION");
  EXPECT_EQ(AddMbusItem(row, " Model / Version ", "", "", 0, 0, OleVariant(1.0)), "MODEL__VERSION");
  EXPECT_EQ(AddMbusItem(row, "a (b) c (d", "", "", 0, 0, OleVariant(1.0)), "A__C_(D");
  EXPECT_EQ(AddMbusItem(row, "H.C.A., 2", "", "", 0, 0, OleVariant(1.0)), "HCA_2");
  EXPECT_EQ(AddMbusItem(row, "Energy", "Wh", "MIN", 2, 1, OleVariant(1.0)), "ENERGY_MIN_T2_D1");
  EXPECT_EQ(AddMbusItem(row, "(nothing)", "", "", 0, 0, OleVariant(1.0)), "VALUE");
  EXPECT_EQ(row.GetValue("FLOW_TEMP_MAX_UNIT").AsWideString(), u"\u00B0C");
  EXPECT_EQ(row.GetValue("ENERGY_MIN_T2_D1_UNIT").AsWideString(), u"Wh");
  EXPECT_EQ(row.IndexOf("TIME_POINT_UNIT"), -1);  // "-" is no unit
  EXPECT_EQ(row.IndexOf("IDENTIFICATION_UNIT"), -1);
  EXPECT_EQ(row.GetValue("FLOW_TEMP_MAX_UNIT").VType(), plat::varOleStr);
}

TEST(MbusItemNaming, WithoutQuantityTheUnitTextNamesTheValue) {
  TkorMbusDataRow row;
  EXPECT_EQ(AddMbusItem(row, "", " Pressure (bar) ", "", 0, 0, OleVariant(2.0)), "PRESSURE");
  EXPECT_EQ(row.GetValue("PRESSURE_UNIT").AsWideString(), u"bar");
  EXPECT_EQ(AddMbusItem(row, "", " kWh ", "", 0, 0, OleVariant(2.0)), "VALUE");
  EXPECT_EQ(row.GetValue("VALUE_UNIT").AsWideString(), u"kWh");
  EXPECT_EQ(AddMbusItem(row, "", "Energy (1e-3 k W h)", "", 0, 0, OleVariant(5.0)), "ENERGY");
  EXPECT_DOUBLE_EQ(row.GetValue("ENERGY").AsDouble(), 0.005);
  EXPECT_EQ(row.GetValue("ENERGY_UNIT").AsWideString(), u"kWh");
  EXPECT_EQ(AddMbusItem(row, "", "Volume (10 m^3)", "", 0, 0, OleVariant(7.0)), "VOLUME");
  EXPECT_DOUBLE_EQ(row.GetValue("VOLUME").AsDouble(), 70.0);
  // a factor that is no number, and one of 0, leave the value alone
  EXPECT_EQ(AddMbusItem(row, "", "Mass (9x kg)", "", 0, 0, OleVariant(3.0)), "MASS");
  EXPECT_DOUBLE_EQ(row.GetValue("MASS").AsDouble(), 3.0);
  EXPECT_EQ(row.GetValue("MASS_UNIT").AsWideString(), u"kg");
  EXPECT_EQ(AddMbusItem(row, "", "Flow (0 l/h)", "", 0, 0, OleVariant(3.0)), "FLOW");
  EXPECT_DOUBLE_EQ(row.GetValue("FLOW").AsDouble(), 3.0);
  // text is not multiplied
  EXPECT_EQ(AddMbusItem(row, "", "Tag (2 x)", "", 0, 0, OleVariant("A1")), "TAG");
  EXPECT_EQ(row.GetValue("TAG").AsAnsiString(), "A1");
  // a digit without a blank: the whole text is the unit
  EXPECT_EQ(AddMbusItem(row, "", "Count (2x)", "", 0, 0, OleVariant(4.0)), "COUNT");
  EXPECT_DOUBLE_EQ(row.GetValue("COUNT").AsDouble(), 4.0);
  EXPECT_EQ(row.GetValue("COUNT_UNIT").AsWideString(), u"2x");
  // a unit that names a time point has no unit item
  AddMbusItem(row, "", "Date (Time Point)", "", 0, 0, OleVariant(1.0));
  EXPECT_EQ(row.IndexOf("DATE_UNIT"), -1);
  ExpectUniqueNames(row);
}

TEST(MbusItemNaming, MediumNames) {
  EXPECT_EQ(MediumName(0), "Other");
  EXPECT_EQ(MediumName(7), "Water");
  EXPECT_EQ(MediumName(13), "Hear cool");
  EXPECT_EQ(MediumName(28), "Gas detector");
  EXPECT_EQ(MediumName(55), "RC meter");
  for (std::uint8_t code : {29, 31, 34, 56, 255}) EXPECT_EQ(MediumName(code), "???");
}

TEST(MbusRows, FindRowCreatesOncePerTariffAndStorage) {
  TkorMbusDataRows rows;
  TkorMbusDataRow& a = FindRow(rows, 1, 2);
  TkorMbusDataRow& b = FindRow(rows, 1, 2);
  EXPECT_EQ(&a, &b);
  TkorMbusDataRow& c = FindRow(rows, -5, -1);
  EXPECT_EQ(c.Tariff, 0);
  EXPECT_EQ(c.Storage, 0);
  EXPECT_EQ(&FindRow(rows, 0, 0), &c);
  EXPECT_EQ(rows.Count(), 2);
}

// ---- variable replies ----

TEST_F(MbusDecode, EdgeCasesOfOneReply) {
  ASSERT_TRUE(Decode(VariableReply(kEdgeRecords)));
  ASSERT_EQ(Rows.Count(), 2);  // the row of the stored date alone is gone
  const std::string maker = Manufacturer(0x24, 0x40);
  const TkorMbusDataRow* current = RowOf(0, 0);
  ASSERT_TRUE(current);
  const std::vector<std::string> names = {"DEVICE_ID",         "MANUFACTURER",   "MEDIUM",
                                          "VERSION",           "STATUS",         "VOLUME",
                                          "VOLUME_UNIT",       "VOLUME_I2",      "VOLUME_I2_UNIT",
                                          "VOLUME_I3",         "VOLUME_I3_UNIT", "FLOW_TEMP_MAX",
                                          "FLOW_TEMP_MAX_UNIT"};
  EXPECT_EQ(Names(*current), names);
  EXPECT_EQ(current->GetValue("DEVICE_ID").AsAnsiString(), "12345678");
  EXPECT_EQ(current->GetValue("MANUFACTURER").AsAnsiString(), maker);
  EXPECT_EQ(current->GetValue("MEDIUM").AsAnsiString(), "Water");
  EXPECT_EQ(current->GetValue("VERSION").VType(), plat::varByte);
  EXPECT_EQ(current->GetValue("VERSION").AsInteger(), 1);
  EXPECT_EQ(current->GetValue("STATUS").AsInteger(), 0);
  EXPECT_DOUBLE_EQ(current->GetValue("VOLUME").AsDouble(), 0.001);
  EXPECT_DOUBLE_EQ(current->GetValue("VOLUME_I2").AsDouble(), 0.002);
  EXPECT_DOUBLE_EQ(current->GetValue("VOLUME_I3").AsDouble(), 0.003);
  EXPECT_EQ(current->GetValue("VOLUME_I3_UNIT").AsWideString(), u"m^3");
  EXPECT_DOUBLE_EQ(current->GetValue("FLOW_TEMP_MAX").AsDouble(), 42.0);
  EXPECT_EQ(current->GetValue("FLOW_TEMP_MAX_UNIT").AsWideString(), u"\u00B0C");

  const TkorMbusDataRow* stored = RowOf(1, 2);
  ASSERT_TRUE(stored);
  const std::vector<std::string> storedNames = {"DEVICE_ID", "MANUFACTURER",  "MEDIUM",
                                                "VERSION",   "STATUS",        "STORAGE",
                                                "VOLUME_T1", "VOLUME_T1_UNIT"};
  EXPECT_EQ(Names(*stored), storedNames);
  EXPECT_EQ(stored->GetValue("STORAGE").VType(), plat::varInteger);
  EXPECT_EQ(stored->GetValue("STORAGE").AsInteger(), 2);
  EXPECT_DOUBLE_EQ(stored->GetValue("VOLUME_T1").AsDouble(), 0.005);
  EXPECT_EQ(stored->GetValue("DEVICE_ID").AsAnsiString(), "12345678");
}

TEST_F(MbusDecode, StorageFilterZeroKeepsOnlyCurrentValues) {
  Params.StorageNo = "[0]";
  ASSERT_TRUE(Decode(VariableReply(kEdgeRecords)));
  ASSERT_EQ(Rows.Count(), 1);
  EXPECT_EQ(Rows.Row(0).Storage, 0);
  EXPECT_EQ(Rows.Row(0).IndexOf("VOLUME_I3"), 9);
}

TEST_F(MbusDecode, StorageAndTariffFiltersSelectTheirRows) {
  Params.StorageNo = "[2]";
  ASSERT_TRUE(Decode(VariableReply("44 13 09 00 00 00 " + std::string(kEdgeRecords))));
  // storage 1 (a volume now) is filtered out, storage 2 stays
  ASSERT_EQ(Rows.Count(), 2);
  EXPECT_TRUE(RowOf(1, 2));

  Rows.Clear();
  Params.StorageNo = "";
  Params.TariffNo = "[2]";
  ASSERT_TRUE(Decode(VariableReply("44 13 09 00 00 00 " + std::string(kEdgeRecords))));
  ASSERT_EQ(Rows.Count(), 2);  // current and storage 1; tariff 1 went
  const TkorMbusDataRow* one = RowOf(0, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ(Names(*one)[5], "STORAGE");
  EXPECT_EQ(one->GetValue("TIME_POINT").VType(), plat::varDate);
  EXPECT_DOUBLE_EQ(one->GetValue("VOLUME").AsDouble(), 0.009);
}

TEST_F(MbusDecode, DatesAreOleDatesOfEitherCentury) {
  const std::string records =
      "04 6D 0A 0C CD 13  02 6C BF 1C  02 6C 1F CC  04 6D 1E 0C 0F A6 "
      "04 FD 70 3B 17 21 A1  06 6D 1E 0A 0C CD 13 00  04 6D 80 00 00 00";
  ASSERT_TRUE(Decode(VariableReply(records)));
  ASSERT_EQ(Rows.Count(), 1);
  const TkorMbusDataRow& row = Rows.Row(0);
  ExpectUniqueNames(row);
  const OleVariant first = row.GetValue("TIME_POINT");
  EXPECT_EQ(first.VType(), plat::varDate);
  EXPECT_DOUBLE_EQ(first.ChangedType(plat::varDouble).AsDouble(), OleDate(2014, 3, 13, 12, 10));
  EXPECT_DOUBLE_EQ(row.GetValue("TIME_POINT_I2").ChangedType(plat::varDouble).AsDouble(),
                   OleDate(2013, 12, 31));
  EXPECT_DOUBLE_EQ(row.GetValue("TIME_POINT_I3").ChangedType(plat::varDouble).AsDouble(),
                   OleDate(1996, 12, 31));
  EXPECT_DOUBLE_EQ(row.GetValue("TIME_POINT_I4").ChangedType(plat::varDouble).AsDouble(),
                   OleDate(2080, 6, 15, 12, 30));
  const OleVariant battery = row.GetValue("DATE_AND_TIME_OF_BATTERY_CHANGE");
  EXPECT_EQ(battery.VType(), plat::varDate);
  EXPECT_DOUBLE_EQ(battery.ChangedType(plat::varDouble).AsDouble(), OleDate(1981, 1, 1, 23, 59));
  // the six-byte form carries seconds
  TDateParts parts =
      DecodeDateTime(row.GetValue("TIME_POINT_I5").ChangedType(plat::varDouble).AsDouble());
  EXPECT_EQ(parts.Year, 2014);
  EXPECT_EQ(parts.Hour, 12);
  EXPECT_EQ(parts.Minute, 10);
  EXPECT_EQ(parts.Second, 30);
  // an invalid time keeps the library's text
  const OleVariant invalid = row.GetValue("TIME_POINT_I6");
  EXPECT_EQ(invalid.VType(), plat::varOleStr);
}

TEST_F(MbusDecode, SkippedAndUnknownRecordsAddNothing) {
  // no data, special function, an unknown VIF, idle filler, then a volume
  // and "more records follow"
  const std::string records = "00 13  04 7B 01 00 00 00  2F  04 13 08 00 00 00  1F";
  ASSERT_TRUE(Decode(VariableReply(records)));
  ASSERT_EQ(Rows.Count(), 1);
  const std::vector<std::string> names = {"DEVICE_ID", "MANUFACTURER", "MEDIUM",     "VERSION",
                                          "STATUS",    "VOLUME",       "VOLUME_UNIT"};
  EXPECT_EQ(Names(Rows.Row(0)), names);
}

TEST_F(MbusDecode, TextValuesStayText) {
  ASSERT_TRUE(Decode(VariableReply("0D 78 04 41 42 43 44")));
  ASSERT_EQ(Rows.Count(), 1);
  const OleVariant value = Rows.Row(0).GetValue("FABRICATION_NO");
  EXPECT_EQ(value.VType(), plat::varOleStr);
  EXPECT_EQ(value.AsAnsiString(), "DCBA");
}

TEST_F(MbusDecode, AReplyOfOnlyStoredTimePointsHasNoRows) {
  ASSERT_TRUE(Decode(VariableReply("42 6C BF 1C  82 01 6C DF 1C")));
  EXPECT_EQ(Rows.Count(), 0);
}

TEST_F(MbusDecode, ErrorRepliesDecodeToNothing) {
  ASSERT_TRUE(Decode(LongFrame(HexBytes("08 05 70 02"))));
  EXPECT_EQ(Rows.Count(), 0);
}

TEST_F(MbusDecode, AReplyThatDoesNotParseDecodesNothing) {
  // a short frame carries no application data
  EXPECT_FALSE(Decode(HexBytes("10 5B 01 5C 16")));
  EXPECT_EQ(Rows.Count(), 0);
}

// ---- fixed replies ----

TEST_F(MbusDecode, FixedReplyIsOneRowOfTwoCounters) {
  // id 12345678, status 0: BCD and current values; counter 1 volume
  // (0.001 m^3) with medium bits 11, counter 2 energy (kWh) with bits 01
  const auto frame =
      LongFrame(HexBytes("08 05 73 78 56 34 12 01 00 E9 45 78 56 34 12 42 00 00 00"));
  ASSERT_TRUE(Decode(frame));
  ASSERT_EQ(Rows.Count(), 1);
  const TkorMbusDataRow& row = Rows.Row(0);
  const std::vector<std::string> names = {"DEVICE_ID",
                                          "MEDIUM",
                                          "STATUS",
                                          "VOLUME_Actual value",
                                          "VOLUME_Actual value_UNIT",
                                          "ENERGY_Actual value",
                                          "ENERGY_Actual value_UNIT"};
  EXPECT_EQ(Names(row), names);
  EXPECT_EQ(row.GetValue("DEVICE_ID").AsAnsiString(), "12345678");
  EXPECT_EQ(row.GetValue("MEDIUM").AsAnsiString(), MediumName(3 | 1 << 2));
  EXPECT_DOUBLE_EQ(row.GetValue("VOLUME_Actual value").AsDouble(), 12345.678);
  EXPECT_DOUBLE_EQ(row.GetValue("ENERGY_Actual value").AsDouble(), 42000.0);
  EXPECT_EQ(row.GetValue("ENERGY_Actual value_UNIT").AsWideString(), u"Wh");
}

TEST_F(MbusDecode, FixedReplyOfStoredValuesAndAnUnknownCounter) {
  // status 0x40: stored values; counter 2's unit code 0x01 is unknown
  const auto frame =
      LongFrame(HexBytes("08 05 73 01 00 00 00 01 40 29 01 05 00 00 00 01 00 00 00"));
  ASSERT_TRUE(Decode(frame));
  ASSERT_EQ(Rows.Count(), 1);
  const std::vector<std::string> names = {"DEVICE_ID", "MEDIUM", "STATUS", "VOLUME_Stored value",
                                          "VOLUME_Stored value_UNIT"};
  EXPECT_EQ(Names(Rows.Row(0)), names);
  EXPECT_EQ(Rows.Row(0).GetValue("DEVICE_ID").AsAnsiString(), "00000001");
  EXPECT_EQ(Rows.Row(0).GetValue("STATUS").AsInteger(), 0x40);
}

// ---- multi-telegram replies ----

TEST_F(MbusDecode, FollowingFramesAddToTheRowsOfTheFirst) {
  const auto first = VariableReply("04 13 01 00 00 00  44 13 02 00 00 00  1F");
  const auto second = VariableReply("04 03 0A 00 00 00  42 6C BF 1C  04 13 03 00 00 00",
                                    "11 11 11 11 24 40 02 04 56 00 00 00");
  std::string reason = "untouched";
  ASSERT_TRUE(Decode(Join(first, second), &reason));
  EXPECT_EQ(reason, "untouched");
  ASSERT_EQ(Rows.Count(), 2);
  const TkorMbusDataRow* current = RowOf(0, 0);
  const TkorMbusDataRow* stored = RowOf(0, 1);
  ASSERT_TRUE(current && stored);
  EXPECT_DOUBLE_EQ(current->GetValue("ENERGY").AsDouble(), 10.0);
  EXPECT_DOUBLE_EQ(current->GetValue("VOLUME_I2").AsDouble(), 0.003);
  EXPECT_EQ(stored->GetValue("TIME_POINT").VType(), plat::varDate);
  for (const TkorMbusDataRow* row : {current, stored}) {
    EXPECT_EQ(row->GetValue("DEVICE_ID").AsAnsiString(), "12345678");  // the first's header
    EXPECT_EQ(row->GetValue("VERSION").AsInteger(), 1);
    EXPECT_EQ(row->IndexOf("DEVICE_ID"), 0);
    ExpectUniqueNames(*row);
  }
}

TEST_F(MbusDecode, AFollowingFrameThatDoesNotParseEndsTheReply) {
  const auto first = VariableReply("04 13 01 00 00 00  44 13 02 00 00 00  42 6C BF 1C  1F");
  const auto broken = HexBytes("10 5B 01 5C 16");
  const auto third = VariableReply("04 03 0A 00 00 00");
  std::string reason;
  ASSERT_TRUE(Decode(Join(Join(first, broken), third), &reason));
  EXPECT_FALSE(reason.empty());
  // the current values keep their identification; the stored row, which
  // may go on in the frames that were lost, is not delivered
  ASSERT_EQ(Rows.Count(), 1);
  EXPECT_EQ(Rows.Row(0).Storage, 0);
  EXPECT_EQ(Rows.Row(0).IndexOf("DEVICE_ID"), 0);
  EXPECT_EQ(Rows.Row(0).IndexOf("ENERGY"), -1);  // nothing after the broken frame
}

// ---- the library's memory ----

namespace {

int gRecordListsFreed = 0;
int gRecordsNormalised = 0;
int gNormalisedFreed = 0;

void CountingRecordFree(mbus_data_record* record) {
  if (record) ++gRecordListsFreed;
  mbus_data_record_free(record);
}
mbus_record* CountingParse(mbus_handle* handle, mbus_data_record* record) {
  mbus_record* out = mbus_parse_variable_record(handle, record);
  if (out) ++gRecordsNormalised;
  return out;
}
void CountingNormalisedFree(mbus_record* record) {
  if (record) ++gNormalisedFreed;
  mbus_record_free(record);
}

}  // namespace

TEST_F(MbusDecode, EveryParsedFrameAndNormalisedRecordIsReleased) {
  Api.mbus_data_record_free = &CountingRecordFree;
  Api.mbus_parse_variable_record = &CountingParse;
  Api.mbus_record_free = &CountingNormalisedFree;
  gRecordListsFreed = gRecordsNormalised = gNormalisedFreed = 0;
  Params.StorageNo = "[0]";  // filtered records are released too
  const auto first = VariableReply(kEdgeRecords);
  const auto second = VariableReply("04 03 0A 00 00 00  44 13 02 00 00 00");
  ASSERT_TRUE(Decode(Join(first, second)));
  EXPECT_EQ(gRecordListsFreed, 2);
  EXPECT_GT(gRecordsNormalised, 5);
  EXPECT_EQ(gNormalisedFreed, gRecordsNormalised);
}

TEST_F(MbusDecode, FirstFrameDecodingLeavesTheRecordsToTheCaller) {
  Api.mbus_data_record_free = &CountingRecordFree;
  gRecordListsFreed = 0;
  TFrameChain frame = ParseChain(VariableReply(kEdgeRecords));
  ASSERT_TRUE(frame);
  mbus_frame_data data{};
  ASSERT_EQ(Api.mbus_frame_data_parse(nullptr, frame.get(), &data), 0);
  DecodeFrameData(Api, nullptr, Rows, data, Params);
  EXPECT_EQ(gRecordListsFreed, 0);
  EXPECT_EQ(Rows.Count(), 2);
  EXPECT_EQ(RowOf(0, 0)->IndexOf("FLOW_TEMP_MAX"), 11);
  mbus_data_record_free(data.data_var.record);
}
