// Every shared reference telegram decodes into rows that carry what its
// normalised XML lists: the identification items, and per record an item in
// the row of its tariff and storage number, named after its quantity, with
// its value and unit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "LinkedMbusApi.h"
#include "MbusTestFrames.h"
#include "framework/DateUtils.h"
#include "mbus/MbusDecode.h"
#include "mbus/RequestConfig.h"
#include "platform/Text.h"
#include "tests/libmbus/TestFiles.h"

using namespace mbus_test;

namespace {

using TFields = std::vector<std::pair<std::string, std::string>>;

std::string Field(const TFields& fields, const char* name, const char* def = "") {
  for (const auto& [key, value] : fields)
    if (key == name) return value;
  return def;
}

bool IsHeaderName(const std::string& name) {
  for (const char* header : {"DEVICE_ID", "MANUFACTURER", "MEDIUM", "VERSION", "STATUS", "STORAGE"})
    if (name == header) return true;
  return name.size() > 5 && name.compare(name.size() - 5, 5, "_UNIT") == 0;
}

// The first word of a quantity in the form names take ("Flow temperature"
// -> "FLOW"; "(Enhanced) Identification" -> "IDENTIFICATION").
std::string FirstWord(std::string quantity) {
  for (std::size_t open; (open = quantity.find('(')) != std::string::npos;) {
    const std::size_t close = quantity.find(')', open);
    if (close == std::string::npos) break;
    quantity.erase(open, close - open + 1);
  }
  std::string word;
  for (char c : quantity) {
    if (c == ' ' && word.empty()) continue;
    if (c == ' ' || c == '/' || c == '.' || c == ',') break;
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (word == "TEMPERATURE") return "TEMP";
  return word;
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ" as an OLE date.
bool ParseDate(const std::string& text, double& value) {
  TDateParts p;
  const bool parsed =
      (text.size() == 10 &&
       std::sscanf(text.c_str(), "%4d-%2d-%2d", &p.Year, &p.Month, &p.Day) == 3) ||
      (text.size() == 20 && std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &p.Year, &p.Month,
                                        &p.Day, &p.Hour, &p.Minute, &p.Second) == 6);
  bool ok = false;
  if (parsed) value = EncodeDateTimeSafe(p, ok);
  return ok;
}

// The references print numbers with six decimals and dates to the second;
// a value matches when it is exactly what the reference prints, in every
// build (a 32-bit build that rounded differently would print another last
// digit or another second).
bool SameValue(const OleVariant& got, const std::string& expected) {
  double number = 0;
  if (got.VType() == plat::varDate) return ParseDate(expected, number) && got.AsDouble() == number;
  if (got.VType() == plat::varDouble) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", got.AsDouble());
    return text == expected;
  }
  if (got.VType() == plat::varOleStr) return got.AsWideString() == plat::Utf8ToWide(expected);
  return false;
}

struct TReplyCheck {
  const TkorMbusDataRows& Rows;
  std::set<std::pair<std::int32_t, std::int32_t>> Used;  // (row, item)

  const TkorMbusDataRow* RowOf(std::int32_t tariff, std::int32_t storage) const {
    for (std::int32_t i = 0; i < Rows.Count(); ++i)
      if (Rows.Row(i).Tariff == tariff && Rows.Row(i).Storage == storage) return &Rows.Row(i);
    return nullptr;
  }

  // The index of an unused value item of the row named after the record
  // with its value; -1 when there is none.
  std::int32_t Take(std::int32_t rowIndex, const std::string& word, const std::string& value) {
    const TkorMbusDataRow& row = Rows.Row(rowIndex);
    for (std::int32_t i = 0; i < row.Count(); ++i) {
      const TkorParamsListItem* item = row.Items(i);
      if (IsHeaderName(item->Name) || Used.count({rowIndex, i})) continue;
      if (item->Name.compare(0, word.size(), word) != 0) continue;
      if (!SameValue(item->Value, value)) continue;
      Used.insert({rowIndex, i});
      return i;
    }
    return -1;
  }

  std::int32_t IndexOfRow(const TkorMbusDataRow* row) const {
    for (std::int32_t i = 0; i < Rows.Count(); ++i)
      if (&Rows.Row(i) == row) return i;
    return -1;
  }
};

void CheckRecord(TReplyCheck& check, const TFields& record) {
  const std::string function = Field(record, "Function");
  if (function == "Manufacturer specific" || function == "More records follow") return;
  const std::string quantity = Field(record, "Quantity");
  const std::string value = Field(record, "Value");
  if (value.empty()) return;  // a record without data: skipped
  const std::string unit = Field(record, "Unit");
  const int storage = std::atoi(Field(record, "StorageNumber", "0").c_str());
  const int tariff = std::atoi(Field(record, "Tariff", "0").c_str());
  SCOPED_TRACE(quantity + " = " + value + " (storage " + std::to_string(storage) + ", tariff " +
               std::to_string(tariff) + ")");
  const TkorMbusDataRow* row = check.RowOf(tariff, storage);
  if (!row) {
    // only a row of nothing but time points goes away
    EXPECT_NE(quantity.find("Time point"), std::string::npos);
    return;
  }
  const std::int32_t index = check.Take(check.IndexOfRow(row), FirstWord(quantity), value);
  ASSERT_GE(index, 0) << "no item for the record";
  const std::string name = row->Items(index)->Name;
  std::string suffix;
  if (function == "Maximum value") suffix = "_MAX";
  if (function == "Minimum value") suffix = "_MIN";
  if (tariff > 0) suffix += "_T" + std::to_string(tariff);
  EXPECT_NE(name.find(suffix), std::string::npos) << name;
  const OleVariant unitItem = row->GetValueDef(name + "_UNIT", OleVariant());
  if (unit.empty() || unit == "-") {
    EXPECT_TRUE(unitItem.IsEmpty()) << name;
  } else {
    EXPECT_EQ(unitItem.AsWideString(), plat::Utf8ToWide(unit)) << name;
  }
}

std::string PaddedId(const TFields& slave) {
  std::string id = Field(slave, "Id");
  id.insert(0, id.size() < 8 ? 8 - id.size() : 0, '0');
  return id;
}

// A fixed reply lists its counters in their raw units; the row holds them
// normalised, named after the quantity with the function as suffix.
void CheckFixed(const TkorMbusDataRows& rows, const std::vector<Block>& blocks) {
  ASSERT_EQ(rows.Count(), 1);
  const TkorMbusDataRow& row = rows.Row(0);
  ASSERT_GE(row.Count(), 3);
  EXPECT_EQ(row.Items(0)->Name, "DEVICE_ID");
  EXPECT_EQ(row.Items(1)->Name, "MEDIUM");
  EXPECT_EQ(row.Items(2)->Name, "STATUS");
  EXPECT_EQ(row.GetValue("DEVICE_ID").AsAnsiString(), PaddedId(blocks[0].fields));
  std::size_t values = 0;
  for (std::int32_t i = 3; i < row.Count(); ++i) {
    const std::string& name = row.Items(i)->Name;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, "_UNIT") == 0) continue;
    ASSERT_LT(values + 1, blocks.size());
    const std::string suffix = "_" + Field(blocks[values + 1].fields, "Function");
    EXPECT_EQ(name.substr(name.size() - std::min(name.size(), suffix.size())), suffix);
    ++values;
  }
  EXPECT_GE(values, 1u);
}

void CheckIdentification(const TkorMbusDataRow& row, const TFields& slave) {
  const std::string id = PaddedId(slave);
  ASSERT_GE(row.Count(), 5);
  EXPECT_EQ(row.Items(0)->Name, "DEVICE_ID");
  EXPECT_EQ(row.GetValue("DEVICE_ID").AsAnsiString(), id);
  EXPECT_EQ(row.GetValue("MANUFACTURER").AsAnsiString(), Field(slave, "Manufacturer"));
  EXPECT_EQ(row.GetValue("VERSION").AsInteger(), std::atoi(Field(slave, "Version").c_str()));
  EXPECT_EQ(row.IndexOf("STATUS"), 4);
  EXPECT_EQ(row.IndexOf("STORAGE"), row.Storage > 0 ? 5 : -1);
  std::set<std::string> names;
  for (std::int32_t i = 0; i < row.Count(); ++i)
    EXPECT_TRUE(names.insert(row.Items(i)->Name).second) << "duplicate " << row.Items(i)->Name;
}

}  // namespace

TEST(MbusDecodeReference, ReferenceTelegramsDecodeIntoTheirRows) {
  const TMbusApi api = LinkedMbusApi();
  const auto files = FilesWith(TelegramDir("reference"), ".hex");
  ASSERT_GE(files.size(), 40u);
  std::size_t storedRows = 0;
  std::size_t matched = 0;
  for (const auto& hex : files) {
    SCOPED_TRACE(hex.filename().string());
    auto xml = hex;
    const auto blocks = ReadBlocks(ReadFile(xml.replace_extension(".norm.xml")));
    ASSERT_FALSE(blocks.empty());
    TFrameChain chain = ParseChain(HexBytes(ReadFile(hex)));
    ASSERT_TRUE(chain);
    TkorMbusDataRows rows;
    const TRequestParameters params;
    ASSERT_TRUE(DecodeReply(api, nullptr, rows, *chain, params));
    if (chain->control_information == MBUS_CONTROL_INFO_RESP_FIXED) {
      CheckFixed(rows, blocks);
      continue;
    }
    bool values = false;  // a record other than manufacturer data
    for (std::size_t b = 1; b < blocks.size(); ++b) {
      const std::string function = Field(blocks[b].fields, "Function");
      values = values || (function != "Manufacturer specific" && function != "More records follow");
    }
    EXPECT_EQ(rows.Count() > 0, values);
    for (std::int32_t i = 0; i < rows.Count(); ++i) {
      CheckIdentification(rows.Row(i), blocks[0].fields);
      storedRows += rows.Row(i).Storage > 0;
    }
    TReplyCheck check{rows, {}};
    for (std::size_t b = 1; b < blocks.size(); ++b) CheckRecord(check, blocks[b].fields);
    matched += check.Used.size();
  }
  EXPECT_GT(storedRows, 10u);
  EXPECT_GE(matched, 500u);  // the check is not empty: most records have values
}
