// The arguments of "mbus-host search", the arguments it gives the plug-in's
// search events, and its readers of the plug-in's answers: the running
// status, the result list, the request fragment.
#include <gtest/gtest.h>

#include <sstream>

#include "framework/Classes.h"
#include "host/SearchOptions.h"
#include "mbus/RequestConfig.h"

namespace {

using host::EUsageError;
using host::ParseSearchArguments;
using host::TSearchMode;
using host::TSearchStatus;
using Args = std::vector<std::string>;

TEST(SearchArguments, ModesTakeTheirNumbers) {
  const auto primary = ParseSearchArguments({"primary", "0", "10"});
  EXPECT_EQ(primary.Mode, TSearchMode::Primary);
  EXPECT_EQ(primary.First, 0u);
  EXPECT_EQ(primary.Last, 10u);
  EXPECT_EQ(primary.Ports, Args{"sim"});
  EXPECT_FALSE(primary.Xml);
  const auto whole = ParseSearchArguments({"primary", "250", "250"});
  EXPECT_EQ(whole.First, 250u);
  const auto secondary = ParseSearchArguments({"secondary"});
  EXPECT_EQ(secondary.Mode, TSearchMode::Secondary);
  EXPECT_EQ(secondary.First, 0u);
  EXPECT_EQ(secondary.Last, 0u);
  // The number reads as the hexadecimal digits of a secondary address.
  const auto id = ParseSearchArguments({"id", "42000606"});
  EXPECT_EQ(id.Mode, TSearchMode::Id);
  EXPECT_EQ(id.First, 0x42000606u);
  EXPECT_EQ(id.Last, 0x42000606u);
  EXPECT_EQ(ParseSearchArguments({"id", "4200ffff"}).First, 0x4200FFFFu);
  EXPECT_EQ(ParseSearchArguments({"id", "99999999"}).First, 0x99999999u);
  EXPECT_EQ(ParseSearchArguments({"id", "606"}).First, 0x606u);
}

TEST(SearchArguments, TakesTheSharedOptionsAnywhere) {
  const auto o =
      ParseSearchArguments({"--no-timing", "--port", "tcp:gw:10001", "id", "--xml", "--interval",
                            "1m", "12345678", "--progress", "line", "--data", "d", "--ini", "x.ini",
                            "--plugin", "p.so", "--baud", "9600"});
  EXPECT_EQ(o.Mode, TSearchMode::Id);
  EXPECT_EQ(o.First, 0x12345678u);
  EXPECT_EQ(o.Ports, Args{"tcp:gw:10001"});
  EXPECT_TRUE(o.Xml);
  EXPECT_EQ(o.IntervalMs, 60000u);
  EXPECT_EQ(o.Progress, host::TProgressStyle::Line);
  EXPECT_EQ(o.DataDir, "d");
  EXPECT_EQ(o.IniFile, "x.ini");
  EXPECT_EQ(o.Plugin, "p.so");
  EXPECT_EQ(o.Baudrate, 9600);
  EXPECT_FALSE(o.Timing);
  EXPECT_EQ(ParseSearchArguments({"secondary"}).IntervalMs, 10000u);
  EXPECT_EQ(ParseSearchArguments({"secondary", "--progress", "none"}).Progress,
            host::TProgressStyle::None);
}

TEST(SearchArguments, RefusesWhatCannotRun) {
  const Args bad[] = {{},
                      {"tertiary"},
                      {"primary"},
                      {"primary", "5"},
                      {"primary", "10", "5"},
                      {"primary", "0", "251"},
                      {"primary", "-1", "5"},
                      {"primary", "a", "5"},
                      {"primary", "0", "5", "7"},
                      {"secondary", "x"},
                      {"id"},
                      {"id", ""},
                      {"id", "123456789"},
                      {"id", "12G45678"},
                      {"id", "0x12"},
                      {"id", "+1234"},
                      {"id", "1", "2"},
                      {"secondary", "--interval", "0"},
                      {"secondary", "--interval"},
                      {"secondary", "--progress", "fancy"},
                      {"secondary", "--port", "sim", "--port", "sim"},
                      {"secondary", "--baud", "1000"},
                      {"secondary", "--config", "a.xml"},
                      {"secondary", "--device", "1"}};
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_THROW(ParseSearchArguments(args), EUsageError) << joined;
  }
}

TEST(SearchArguments, ErrorsSayWhatIsWrong) {
  try {
    ParseSearchArguments({"primary", "10", "5"});
    FAIL();
  } catch (const EUsageError& e) {
    EXPECT_NE(std::string(e.what()).find("above the last"), std::string::npos) << e.what();
  }
  try {
    ParseSearchArguments({"secondary", "--interval", "5x"});
    FAIL();
  } catch (const EUsageError& e) {
    EXPECT_NE(std::string(e.what()).find("--interval"), std::string::npos) << e.what();
  }
}

TEST(SearchEventArguments, ProgressRunsToTheDialogsMaximum) {
  EXPECT_EQ(host::ProgressMaximum(ParseSearchArguments({"primary", "0", "100"})), 100u);
  EXPECT_EQ(host::ProgressMaximum(ParseSearchArguments({"secondary"})), 40959u);
  EXPECT_EQ(host::ProgressMaximum(ParseSearchArguments({"id", "1"})), 40959u);
}

TEST(SearchEventArguments, IntervalInTheLargestWholeUnit) {
  using P = std::pair<std::uint32_t, int>;
  EXPECT_EQ(host::IntervalArguments(500), (P{500, 0}));
  EXPECT_EQ(host::IntervalArguments(1500), (P{1500, 0}));
  EXPECT_EQ(host::IntervalArguments(10000), (P{10, 1}));
  EXPECT_EQ(host::IntervalArguments(90000), (P{90, 1}));
  EXPECT_EQ(host::IntervalArguments(120000), (P{2, 2}));
  EXPECT_EQ(host::IntervalArguments(7200000), (P{2, 3}));
}

// The indexes are line numbers of the list as the plug-in splits it.
TEST(SearchEventArguments, EveryDeviceLineSelected) {
  EXPECT_EQ(host::AllIndexes(""), "");
  EXPECT_EQ(host::AllIndexes("5"), "0");
  EXPECT_EQ(host::AllIndexes("1\r\n5\r\n7\r\n"), "0\r\n1\r\n2");
  EXPECT_EQ(host::AllIndexes("1\r\n\r\n7\n \n||9"), "0\r\n2\r\n4");
}

TEST(SearchEventArguments, SelectedLinesBecomeTheRequestsDevices) {
  const std::string results = "1\r\n\r\n||42000606||1107297798||WZV||33||Water\r\n";
  std::vector<std::int32_t> selected;
  std::istringstream lines(host::AllIndexes(results));
  for (std::string line; std::getline(lines, line);) selected.push_back(std::stoi(line));
  std::vector<std::string> split;
  std::istringstream in(results);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    split.push_back(line);
  }
  const std::string fragment = BuildRequestFragment(split, selected, 10, 1);
  EXPECT_NE(fragment.find("<Device>1;42000606</Device>"), std::string::npos) << fragment;
}

TEST(SearchStatus, RunningStatusGivesPositionAndLines) {
  const auto s = host::ParseSearchStatus(
      "*4096||Checking address: 10FFFFFF FFFF FF FF||Found a M-bus device at address: "
      "31000202 (s/n: 31000202, HKQ, Heat)||Found: 1");
  EXPECT_EQ(s.Kind, TSearchStatus::Running);
  EXPECT_EQ(s.Position, 4096u);
  ASSERT_EQ(s.Lines.size(), 3u);
  EXPECT_EQ(s.Lines[0], "Checking address: 10FFFFFF FFFF FF FF");
  EXPECT_EQ(s.Lines[2], "Found: 1");
  // A primary search: the position and one line.
  const auto p = host::ParseSearchStatus("*5||Found a M-bus device at address: 5");
  EXPECT_EQ(p.Position, 5u);
  EXPECT_EQ(p.Lines, (Args{"Found a M-bus device at address: 5", "", ""}));
  const auto bare = host::ParseSearchStatus("*12");
  EXPECT_EQ(bare.Position, 12u);
  EXPECT_EQ(bare.Lines, (Args{"", "", ""}));
}

TEST(SearchStatus, UnreadablePositionIsZeroAndExtraFieldsAreDropped) {
  for (const char* text : {"*", "*x||a", "*-3||a", "*99999999999||a", "*12 ||a"}) {
    const auto s = host::ParseSearchStatus(text);
    EXPECT_EQ(s.Kind, TSearchStatus::Running) << text;
    EXPECT_EQ(s.Position, 0u) << text;
  }
  const auto s = host::ParseSearchStatus("*1||a||b||c||d||e");
  EXPECT_EQ(s.Lines, (Args{"a", "b", "c"}));
}

TEST(SearchStatus, FailureAndFinalList) {
  const auto failed = host::ParseSearchStatus("!MsgFailed");
  EXPECT_EQ(failed.Kind, TSearchStatus::Failed);
  EXPECT_EQ(failed.Error, "MsgFailed");
  const auto none = host::ParseSearchStatus("");
  EXPECT_EQ(none.Kind, TSearchStatus::Done);
  EXPECT_EQ(none.Results, "");
  const auto list = host::ParseSearchStatus("1\r\n5\r\n");
  EXPECT_EQ(list.Kind, TSearchStatus::Done);
  EXPECT_EQ(list.Results, "1\r\n5\r\n");
}

TEST(SearchStatus, ProgressTextKeepsTheNonEmptyLines) {
  auto s = host::ParseSearchStatus("*5||Found a M-bus device at address: 5");
  EXPECT_EQ(host::ProgressText(s, 10), "5/10  Found a M-bus device at address: 5");
  s = host::ParseSearchStatus("*50000||a||||c");
  EXPECT_EQ(host::ProgressText(s, 40959), "40959/40959  a  c");
}

TEST(SearchResultList, PrimaryLinesFillTheAddressOnly) {
  const auto devices = host::ParseResultList("1\r\n5\r\n\r\n250\r\n");
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].Address, "1");
  EXPECT_EQ(devices[0].Secondary, "");
  EXPECT_EQ(devices[0].Medium, "");
  EXPECT_EQ(devices[2].Address, "250");
}

TEST(SearchResultList, SecondaryLinesFillTheOtherColumns) {
  const auto devices = host::ParseResultList(
      "||31000202||31000202||HKQ||26||Heat (outlet)\r\n||42000606||42000606||WZV||33||Water\n"
      "||1||2\n||a||b||c||d||e||f||g");
  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(devices[0].Address, "");
  EXPECT_EQ(devices[0].Secondary, "31000202");
  EXPECT_EQ(devices[0].SerialNo, "31000202");
  EXPECT_EQ(devices[0].Manufacturer, "HKQ");
  EXPECT_EQ(devices[0].Version, "26");
  EXPECT_EQ(devices[0].Medium, "Heat (outlet)");
  EXPECT_EQ(devices[1].Medium, "Water");
  // Missing fields are empty; fields past the sixth are not shown.
  EXPECT_EQ(devices[2].SerialNo, "2");
  EXPECT_EQ(devices[2].Manufacturer, "");
  EXPECT_EQ(devices[3].Medium, "e");
  EXPECT_TRUE(host::ParseResultList("").empty());
  EXPECT_TRUE(host::ParseResultList("\r\n \r\n").empty());
}

TEST(SearchResultList, TableColumnsLineUp) {
  std::ostringstream out;
  host::WriteDeviceTable(out, host::ParseResultList("||31000202||31000202||HKQ||26||Heat\r\n"
                                                    "7\r\n"));
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << out.str();
  EXPECT_EQ(lines[0].rfind("Address", 0), 0u);
  const auto column = lines[0].find("Secondary address");
  ASSERT_NE(column, std::string::npos);
  EXPECT_EQ(lines[1].find("31000202"), column) << out.str();
  EXPECT_EQ(lines[1].find("HKQ"), lines[0].find("Manufacturer")) << out.str();
  EXPECT_EQ(lines[1].find("Heat"), lines[0].find("Medium")) << out.str();
  EXPECT_EQ(lines[2], "7") << "trailing blanks are dropped";
}

TEST(SearchResultList, ErrorKeysReadAsText) {
  EXPECT_NE(host::SearchErrorText("MsgNoDsCfg").find("data source"), std::string::npos);
  EXPECT_NE(host::SearchErrorText("MsgOther").find("!MsgOther"), std::string::npos);
}

// The plug-in's fragment reads as a request that is not enabled; the
// document search prints reads as the enabled, polled request it means.
TEST(SearchRequestDocument, ReadsBackAsEnabledPolledRequests) {
  const std::string fragment =
      BuildRequestFragment({"5", "||42000606||42000606||WZV||33||Water"}, {0, 1}, 2, 2);
  TObjectList raw(true);
  ReadRequestItems(fragment, raw);
  ASSERT_EQ(raw.Count(), 2);
  EXPECT_FALSE(dynamic_cast<const TRequestItem&>(*raw.Items(0)).Enabled);

  const std::string document = host::UsableRequestDocument(fragment);
  TObjectList items(true);
  ReadRequestItems(document, items);
  ASSERT_EQ(items.Count(), 2);
  for (std::int32_t i = 0; i < items.Count(); ++i) {
    const auto& item = dynamic_cast<const TRequestItem&>(*items.Items(i));
    EXPECT_TRUE(item.Enabled) << i;
    EXPECT_EQ(item.Method, MethodPoll);
    EXPECT_EQ(item.PollInterval, 120000u);
    EXPECT_EQ(item.Params.FirstFrame, 0);
    EXPECT_EQ(item.Params.ReadOnlyNew, 1);
  }
  EXPECT_EQ(dynamic_cast<const TRequestItem&>(*items.Items(0)).Params.Device, "5");
  EXPECT_EQ(dynamic_cast<const TRequestItem&>(*items.Items(1)).Params.Device, "42000606");
}

TEST(SearchRequestDocument, OnlyTheAttributeNameChanges) {
  EXPECT_EQ(host::UsableRequestDocument("<a checked=\"2\" /><b checked=\"0\"/>x checked"),
            "<a check=\"2\" /><b check=\"0\"/>x checked");
  EXPECT_EQ(host::UsableRequestDocument(""), "");
}

}  // namespace
