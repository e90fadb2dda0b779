#include <gtest/gtest.h>

#include "plugin/korPluginCustomCmd.h"

namespace {

TEST(CustomCommands, LineWithFourFieldsAddsNothing) {
  TkorPluginCustomCmdList list;
  list.FromText("a|b|c|1");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AsText(), "");
}

TEST(CustomCommands, FiveFieldsRoundTripWithLineBreak) {
  TkorPluginCustomCmdList list;
  list.FromText("Read now|READ|Reads all meters|1|0");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_TRUE(list.Items(0)->Flag1);
  EXPECT_FALSE(list.Items(0)->Flag2);
  EXPECT_EQ(list.AsText(), "Read now|READ|Reads all meters|1|0\r\n");
}

TEST(CustomCommands, FromTextAppendsAndSkipsEmptyLines) {
  TkorPluginCustomCmdList list;
  list.Add("x", "y", "z", false, true);
  list.FromText("\r\na|b|c|0|1\n\nd|e|f|2|1\r\n");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1)->Text1, "a");
  EXPECT_FALSE(list.Items(2)->Flag1);  // only "1" is true
  EXPECT_EQ(list.AsText(), "x|y|z|0|1\r\na|b|c|0|1\r\nd|e|f|0|1\r\n");
}

TEST(CustomCommands, EmptyFieldsAreKept) {
  TkorPluginCustomCmdList list;
  list.FromText("||||");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.AsText(), "|||0|0\r\n");
}

}  // namespace
