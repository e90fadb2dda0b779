// The three output formats of the rows: JSON keeps numbers as numbers, CSV
// quotes what it must, the table shows units beside values, and packet
// items print as hexadecimal.
#include <gtest/gtest.h>

#include <sstream>

#include "host/RowOutput.h"

namespace {

host::TReceivedData Row() {
  host::TReceivedData row;
  row.DataSourceId = 1;
  row.Kind = 9;
  auto add = [&](const std::string& name, OleVariant value) {
    row.Values.emplace_back(name, host::VariantText(value));
    row.Items.push_back(std::move(value));
  };
  add("DEVICE_ID", OleVariant("31000101"));
  add("ENERGY", OleVariant(1234.5));
  add("ENERGY_UNIT", OleVariant("kWh"));
  add("STORAGE", OleVariant(std::int32_t{2}));
  add("VALID", OleVariant(true));
  add("NOTE", OleVariant("a \"quoted\", text\r\n"));
  add("EMPTY", OleVariant());
  add("DATA_PACKET", OleVariant(std::string_view("\x68\x03\x03\x68\x00", 5)));
  return row;
}

TEST(RowJson, NumbersStayNumbers) {
  EXPECT_EQ(host::JsonValue(OleVariant(std::int32_t{-7})), "-7");
  EXPECT_EQ(host::JsonValue(OleVariant(std::int64_t{1} << 40)), "1099511627776");
  EXPECT_EQ(host::JsonValue(OleVariant(0.25)), "0.25");
  EXPECT_EQ(host::JsonValue(OleVariant(std::uint8_t{200})), "200");
  EXPECT_EQ(host::JsonValue(OleVariant(false)), "false");
  EXPECT_EQ(host::JsonValue(OleVariant()), "null");
  EXPECT_EQ(host::JsonValue(OleVariant::Null()), "null");
  EXPECT_EQ(host::JsonValue(OleVariant("12")), "\"12\"");
}

TEST(RowJson, StringsAreEscaped) {
  EXPECT_EQ(host::JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
  EXPECT_EQ(host::JsonString("\xE4"), "\"\\u00e4\"");  // 8-bit text never goes out raw
  // The code page's own characters, not Latin-1: 0x80 is the euro sign.
  EXPECT_EQ(host::JsonString("5 \x80"), "\"5 \\u20ac\"");
}

// The table and CSV print UTF-8: a unit of degrees Celsius from the code page.
TEST(RowTable, CodePageTextIsPrintedAsUtf8) {
  EXPECT_EQ(host::TerminalText("\xB0"
                               "C"),
            "\xC2\xB0"
            "C");
  EXPECT_EQ(host::TerminalText("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(host::TerminalText("m^3"), "m^3");
}

TEST(RowJson, OneObjectPerRowWithEveryItem) {
  const std::string json = host::JsonRow(Row());
  EXPECT_EQ(json.front(), '{');
  EXPECT_EQ(json.back(), '}');
  EXPECT_EQ(json.find('\n'), std::string::npos);
  EXPECT_NE(json.find("\"DEVICE_ID\":\"31000101\""), std::string::npos);
  EXPECT_NE(json.find("\"ENERGY\":1234.5,"), std::string::npos);
  EXPECT_NE(json.find("\"ENERGY_UNIT\":\"kWh\""), std::string::npos);
  EXPECT_NE(json.find("\"STORAGE\":2,"), std::string::npos);
  EXPECT_NE(json.find("\"VALID\":true"), std::string::npos);
  EXPECT_NE(json.find("\"EMPTY\":null"), std::string::npos);
  EXPECT_NE(json.find("\"DATA_PACKET\":\"68 03 03 68 00\""), std::string::npos);
}

TEST(RowCsv, QuotesFieldsThatNeedIt) {
  EXPECT_EQ(host::CsvField("plain"), "plain");
  EXPECT_EQ(host::CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(host::CsvField("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(host::CsvField("two\nlines"), "\"two\nlines\"");
}

TEST(RowCsv, OneLinePerItemUnderOneHeader) {
  std::ostringstream out;
  host::TRowWriter writer(out, host::TOutputFormat::Csv);
  writer.Write(Row());
  writer.Write(Row());
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("row,data_source,item,value\n", 0), 0u);
  EXPECT_EQ(text.find("row,data_source", 1), std::string::npos);
  EXPECT_NE(text.find("1,1,ENERGY,1234.5\n"), std::string::npos);
  EXPECT_NE(text.find("2,1,STORAGE,2\n"), std::string::npos);
  EXPECT_NE(text.find("1,1,NOTE,\"a \"\"quoted\"\", text\r\n\"\n"), std::string::npos);
  EXPECT_EQ(writer.Rows(), 2);
}

TEST(RowTable, ShowsUnitsBesideValuesAndTheSourceName) {
  std::ostringstream out;
  host::TRowWriter writer(out, host::TOutputFormat::Table);
  writer.SetSourceName(1, "sim");
  writer.Write(Row());
  const std::string text = out.str();
  EXPECT_NE(text.find("row 1, data source 1 (sim)"), std::string::npos);
  EXPECT_NE(text.find("ENERGY       1234.5 kWh\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("ENERGY_UNIT"), std::string::npos);
  EXPECT_NE(text.find("68 03 03 68 00"), std::string::npos);
}

TEST(RowJson, WriterPrintsJsonLines) {
  std::ostringstream out;
  host::TRowWriter writer(out, host::TOutputFormat::Json);
  writer.Write(Row());
  writer.Write(Row());
  const std::string text = out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  EXPECT_EQ(text.substr(0, text.find('\n')), host::JsonRow(Row()));
}

}  // namespace
