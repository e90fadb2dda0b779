#include <gtest/gtest.h>

#include "ModuleTestSupport.h"
#include "plugin/korPluginParserItems.h"

namespace {

TEST(ParserItems, StandardItemsTextHasOneLinePerItem) {
  TFakeHost host;
  TkorPlugin module;
  module.AddStandardParserItems(false);
  std::string text = module.ParserItemsText();
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Full data packet|FULL_DATA_PACKET|String|");
  EXPECT_EQ(lines[2], "Datetime stamp|DATE_TIME_STAMP|DateTime|1");
  EXPECT_EQ(lines[5], "Data source long name|DATA_SOURCE_FULL_NAME|String|");
}

TEST(ParserItems, ClientIdIsTheSeventhStandardItem) {
  TFakeHost host;
  TkorPlugin module;
  module.AddStandardParserItems(true);
  ASSERT_EQ(module.ParserItemCount(), 7);
  EXPECT_EQ(module.ParserItems[6].Name, "CLIENTID");
  EXPECT_EQ(module.ParserItems[6].DataType, 8);
}

TEST(ParserItems, AddParserItemReturnsItsIndex) {
  TFakeHost host;
  TkorPlugin module;
  EXPECT_EQ(module.AddParserItem("A", "a", "", 8), 0);
  EXPECT_EQ(module.AddParserItem("B", "b", "x", 5), 1);
  EXPECT_EQ(module.ParserItemsText(), "a|A|Integer|\r\nb|B|Float|x");
}

TEST(ParserItems, TextWithThreeFieldsGivesEmptyExtra) {
  TParserItemList items = ParserItemsFromText("Count|COUNT|Integer");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Caption, "Count");
  EXPECT_EQ(items[0].Name, "COUNT");
  EXPECT_EQ(items[0].DataType, 8);
  EXPECT_EQ(items[0].Extra, "");
}

TEST(ParserItems, UnknownOrMissingTypeNameGivesNotGiven) {
  TParserItemList items = ParserItemsFromText("a|A|integer\r\nb|B\r\n\r\nc|C|Float|e|more");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].DataType, kParserItemTypeNone);  // type names are exact
  EXPECT_EQ(items[1].DataType, kParserItemTypeNone);
  EXPECT_EQ(items[2].DataType, 5);
  EXPECT_EQ(items[2].Extra, "e");
}

TEST(ParserItems, LineWithOneFieldEndsTheParse) {
  TParserItemList items = ParserItemsFromText("a|A|String\nbroken\nc|C|String");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Name, "A");
}

TEST(ParserItems, TextRoundTrips) {
  TParserItemList items = ParserItemsFromText("x|X|Int64|1\r\ny|Y||");
  EXPECT_EQ(ParserItemsToText(items), "x|X|Int64|1\r\ny|Y||");
}

TEST(ParserItems, SetParserItemsTextReplacesOrAppends) {
  TFakeHost host;
  TkorPlugin module;
  module.SetParserItemsText("a|A|String", true);
  module.SetParserItemsText("b|B|String", false);
  EXPECT_EQ(module.ParserItemCount(), 2);
  module.SetParserItemsText("c|C|String", true);
  ASSERT_EQ(module.ParserItemCount(), 1);
  EXPECT_EQ(module.ParserItems[0].Name, "C");
}

TEST(ParserItems, TypeNamesAndCodes) {
  EXPECT_EQ(ParserItemTypeName(0), "String");
  EXPECT_EQ(ParserItemTypeName(16), "Currency");
  EXPECT_EQ(ParserItemTypeName(17), "");
  EXPECT_EQ(ParserItemTypeName(200), "");
  EXPECT_EQ(ParserItemTypeOf("DWord"), 12);
  EXPECT_EQ(ParserItemTypeOf(""), kParserItemTypeNone);
}

TEST(ParserItems, VariantTypeMapping) {
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varDouble), 5);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varSingle), 5);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varBoolean), 4);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varSmallint), 6);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varCurrency), 16);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varDate), 11);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varString), 0);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varUString), 0);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varLongWord), 12);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varInt64), 15);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varArray | plat::varInteger), 17);
  EXPECT_EQ(ParserItemTypeOfVariant(plat::varEmpty), 17);
}

TEST(ParsedDataList, RawTextsJoinWithSeparator) {
  TParsedDataList list;
  list.AppendRawText("first");
  EXPECT_EQ(list.RawText, "first");
  list.AppendRawText("second");
  EXPECT_EQ(list.RawText, "first<{[::]}>second");
}

TEST(ParsedDataList, ClearEmptiesRawTextToo) {
  TParsedDataList list;
  list.Add("A", OleVariant(1));
  list.AppendRawText("raw");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.RawText, "");
  std::unique_ptr<TkorParamsList> copy(list.CreateNew());
  EXPECT_NE(dynamic_cast<TParsedDataList*>(copy.get()), nullptr);
}

TEST(StandardValues, BothPacketsAndClientIdSetSeven) {
  TFakeHost host;
  TkorPlugin module;
  TkorParamsList list;
  EXPECT_EQ(
      module.FillStandardValues(list, "full", "data", 12, 99, "src", "Source long", "client src"),
      7);
  EXPECT_EQ(list.GetValue("FULL_DATA_PACKET").AsAnsiString(), "full");
  EXPECT_EQ(list.GetValue("DATA_PACKET").AsAnsiString(), "data");
  EXPECT_EQ(list.GetValue("DATA_SOURCE_ID").VType(), plat::varInteger);
  EXPECT_EQ(list.GetValue("DATA_SOURCE_ID").AsInteger(), 12);
  EXPECT_EQ(list.GetValue("CLIENTID").AsInteger(), 99);
  EXPECT_EQ(list.GetValue("DATA_SOURCE_NAME").AsAnsiString(), "client src");
  EXPECT_EQ(list.GetValue("DATA_SOURCE_FULL_NAME").AsAnsiString(), "Source long");
  EXPECT_EQ(list.GetValue("DATE_TIME_STAMP").VType(), plat::varDate);
  EXPECT_GT(list.GetValue("DATE_TIME_STAMP").AsDouble(), 40000.0);  // after 2009
}

TEST(StandardValues, WithoutPacketsOrClientIdSetFour) {
  TFakeHost host;
  TkorPlugin module;
  TkorParamsList list;
  EXPECT_EQ(module.FillStandardValues(list, "", "", 3, 0, "src", "long", "client"), 4);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_TRUE(list.GetValue("CLIENTID").IsEmpty());
  EXPECT_EQ(list.GetValue("DATA_SOURCE_NAME").AsAnsiString(), "src");
  EXPECT_EQ(list.IndexOf("FULL_DATA_PACKET"), -1);
}

}  // namespace
