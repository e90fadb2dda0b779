// Replies of our own through the plug-in's rows: the correction VIFEs wherever
// they stand in the chain, values that are no plain reading under names of
// their own, and texts with control bytes that reach the host as the
// normalised XML writes them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "LinkedMbusApi.h"
#include "MbusTestFrames.h"
#include "mbus/MbusDecode.h"
#include "mbus/RequestConfig.h"

using namespace mbus_test;

namespace {

struct RowCase {
  const char* records;
  const char* item;
  double number;         // when text is nullptr
  const char* text;      // a text value
  const char16_t* unit;  // the _UNIT item; nullptr: none
};

const RowCase kRowCases[] = {
    {"04 8E 7D 89 08 08 00", "ENERGY", 526473e9, nullptr, u"J"},  // 526473 GJ
    {"0C 85 7D 56 34 12 00", "ENERGY", 123456e5, nullptr, u"Wh"},
    {"04 93 74 D2 04 00 00", "VOLUME", 0.01234, nullptr, u"m^3"},
    {"04 FD C9 73 40 82 03 00", "VOLTAGE", 229.952, nullptr, u"V"},
    {"04 FB 80 7D 0A 00 00 00", "ENERGY", 1e9, nullptr, u"Wh"},
    {"02 FC 03 48 52 25 7D 05 00", "%RH", 5000, nullptr, nullptr},
    {"04 93 FA 7D E8 03 00 00", "VOLUME", 1000.0001, nullptr, u"m^3"},
    {"04 93 FF 74 D2 04 00 00", "VOLUME", 1.234, nullptr, u"m^3"},
    {"04 93 7E D2 04 00 00", "VOLUME", 1.234, nullptr, u"m^3"},
    {"04 93 22 D2 04 00 00", "VOLUME_PER_HOUR", 1.234, nullptr, u"m^3/h"},
    {"02 DB 40 2A 00", "FLOW_TEMP_LOWER_LIMIT", 42, nullptr, u"\u00B0C"},
    {"02 DB 49 03 00", "FLOW_TEMP_UPPER_LIMIT_EXCEEDS", 3, nullptr, nullptr},
    {"04 83 3C 88 13 00 00", "ENERGY_NEGATIVE_ACCUMULATION", 5000, nullptr, u"Wh"},
    {"02 93 39 BF 1C", "VOLUME_START_DATE", 0, "2013-12-31", nullptr},
    {"0D FD 11 05 41 0C 42 07 43", "CUSTOMER", 0, "C B A", nullptr},
    {"0D 13 04 00 01 1F 41", "VOLUME", 0, "A   ", u"m^3"},
};

// The text between <Value> and </Value> of the reply's normalised XML.
std::string NormalisedXmlValue(const std::vector<unsigned char>& bytes) {
  TFrameChain chain = ParseChain(bytes);
  if (!chain) return "(no frame)";
  mbus_frame_data data{};
  if (mbus_frame_data_parse(nullptr, chain.get(), &data) != 0) return "(no data)";
  char* xml = mbus_frame_data_xml_normalized(&data);
  mbus_data_record_free(data.data_var.record);
  const std::string doc = xml ? xml : "";
  mbus_str_free(xml);
  const size_t start = doc.find("<Value>");
  const size_t end = doc.find("</Value>");
  if (start == std::string::npos || end == std::string::npos) return "(no value)";
  return doc.substr(start + 7, end - start - 7);
}

}  // namespace

TEST(MbusDecodeVife, RowsCarryCorrectedValuesUnderTheirOwnNames) {
  const TMbusApi api = LinkedMbusApi();
  for (const RowCase& c : kRowCases) {
    SCOPED_TRACE(c.records);
    const std::vector<unsigned char> bytes = VariableReply(c.records);
    TFrameChain chain = ParseChain(bytes);
    ASSERT_TRUE(chain);
    TkorMbusDataRows rows;
    TRequestParameters params;
    ASSERT_TRUE(DecodeReply(api, nullptr, rows, *chain, params, nullptr));
    ASSERT_EQ(rows.Count(), 1);
    const TkorMbusDataRow& row = rows.Row(0);
    ASSERT_GE(row.IndexOf(c.item), 0) << "no item " << c.item;
    if (c.text) {
      const std::string text = row.GetValue(c.item).AsAnsiString();
      EXPECT_EQ(text, c.text);
      EXPECT_EQ(text, NormalisedXmlValue(bytes));
    } else {
      EXPECT_NEAR(row.GetValue(c.item).AsDouble(), c.number, std::fabs(c.number) * 1e-12);
    }
    const std::string unit = std::string(c.item) + "_UNIT";
    if (c.unit)
      EXPECT_EQ(row.GetValue(unit.c_str()).AsWideString(), c.unit);
    else
      EXPECT_EQ(row.IndexOf(unit.c_str()), -1);
  }
}
