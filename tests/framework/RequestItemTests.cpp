#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/parser_BasicRequestItem.h"
#include "framework/parser_RequestSchedule.h"
#include "params/janXMLTree.h"
#include "params/korParamLst.h"

namespace {

// Reads "<Request ...>body</Request>" into a fresh item.
std::unique_ptr<TBasicRequestItem> Load(const std::string& body, const std::string& attrs = "",
                                        std::int32_t index = 1) {
  TjanXMLTree tree;
  tree.SetText("<Request" + attrs + ">" + body + "</Request>");
  auto item = std::make_unique<TBasicRequestItem>();
  const TjanXMLNode* node = tree.FindChild("Request");
  EXPECT_NE(node, nullptr);
  if (node != nullptr) item->LoadFromXml(*node, index);
  return item;
}

}  // namespace

TEST(RequestItem, CreatedWithTheDefaults) {
  TBasicRequestItem item;
  EXPECT_FALSE(item.Enabled);
  EXPECT_FALSE(item.Busy);
  EXPECT_EQ(item.Method, MethodOnce);
  EXPECT_EQ(item.RequestId, -1);
  EXPECT_EQ(item.MaxAttempts, 1);
  EXPECT_EQ(item.Attempts, 0);
  EXPECT_TRUE(item.PollTimer.IsNotStarted());
  EXPECT_EQ(item.LastStart, 0u);
  EXPECT_EQ(item.EventParams, nullptr);
  EXPECT_EQ(item.Responses.Count(), 0);
}

TEST(RequestItem, AssignCopiesTheSettingsAndLeavesTheCopyIdle) {
  TBasicRequestItem source;
  source.Enabled = true;
  source.Name = "heat meter";
  source.Method = MethodCron;
  source.PollInterval = 1234;
  source.Schedule.Method = MethodCron;
  source.Schedule.Text = "0 0 12 * * *";
  source.Schedule.CronParams[3] = "12";
  source.Triggered = true;
  source.ScheduleKey = "G3_key";
  source.RequestId = 77;
  source.Attempts = 2;
  source.MaxAttempts = 5;
  source.LastStart = 999;
  source.EventParams = std::make_unique<TkorParamsList>();
  source.PollTimer.StartPlain();

  TBasicRequestItem copy;
  copy.Busy = true;
  copy.PollTimer.StartPlain();
  copy.Assign(source);
  EXPECT_TRUE(copy.Enabled);
  EXPECT_EQ(copy.Name, "heat meter");
  EXPECT_EQ(copy.Method, MethodCron);
  EXPECT_EQ(copy.PollInterval, 1234u);
  EXPECT_EQ(copy.Schedule.Text, "0 0 12 * * *");
  EXPECT_EQ(copy.Schedule.CronParams[3], "12");
  EXPECT_TRUE(copy.Triggered);
  EXPECT_EQ(copy.ScheduleKey, "G3_key");
  // Not copied: run-time counters and owned objects.
  EXPECT_FALSE(copy.Busy);
  EXPECT_TRUE(copy.PollTimer.IsNotStarted());
  EXPECT_EQ(copy.RequestId, -1);
  EXPECT_EQ(copy.Attempts, 0);
  EXPECT_EQ(copy.MaxAttempts, 1);
  EXPECT_EQ(copy.LastStart, 0u);
  EXPECT_EQ(copy.EventParams, nullptr);
  // Deep: the copy's strings are its own.
  source.Schedule.CronParams[3] = "13";
  EXPECT_EQ(copy.Schedule.CronParams[3], "12");
}

TEST(RequestItemXml, NoMethodElementGivesAOnceRequestWithDefaults) {
  auto item = Load("<Enabled>1</Enabled>", "", 7);
  EXPECT_TRUE(item->Enabled);
  EXPECT_EQ(item->Method, MethodOnce);
  EXPECT_EQ(item->Schedule.Method, MethodOnce);
  EXPECT_EQ(item->Name, "Request #7");
  EXPECT_EQ(item->PollInterval, 1000u);
  EXPECT_EQ(item->Schedule.Text, "");
}

TEST(RequestItemXml, CaptionNamesTheRequest) {
  EXPECT_EQ(Load("", " caption=\"Boiler\"")->Name, "Boiler");
  EXPECT_EQ(Load("", " caption=\"\"", 2)->Name, "Request #2");
}

TEST(RequestItemXml, BooleansByTextOneOrCheckTwo) {
  EXPECT_TRUE(Load("<Enabled check=\"2\"/>")->Enabled);
  EXPECT_FALSE(Load("<Enabled check=\"1\"/>")->Enabled);
  EXPECT_FALSE(Load("<Enabled>0</Enabled>")->Enabled);
  EXPECT_FALSE(Load("<Enabled>true</Enabled>")->Enabled);
  // Text decides when there is text, whatever the attribute says.
  EXPECT_FALSE(Load("<Enabled check=\"2\">0</Enabled>")->Enabled);
  EXPECT_FALSE(Load("")->Enabled);
}

TEST(RequestItemXml, TheFirstTrueMethodInTheFixedOrderWins) {
  EXPECT_EQ(Load("<MethodPoll>1</MethodPoll><MethodAtTime>1</MethodAtTime>")->Method, MethodAtTime);
  EXPECT_EQ(Load("<MethodPoll>1</MethodPoll><MethodCron>1</MethodCron>")->Method, MethodCron);
  EXPECT_EQ(Load("<MethodPoll>1</MethodPoll><MethodOnce>1</MethodOnce>")->Method, MethodOnce);
  EXPECT_EQ(Load("<MethodPoll>1</MethodPoll><MethodEvent>1</MethodEvent>")->Method, MethodEvent);
  EXPECT_EQ(Load("<MethodPoll>1</MethodPoll><MethodEvent>0</MethodEvent>")->Method, MethodPoll);
  EXPECT_EQ(Load("<MethodPoll check=\"2\"/>")->Method, MethodPoll);
}

TEST(RequestItemXml, PollUnitsScaleAndAreCaseSensitive) {
  EXPECT_EQ(Load("<PollInterval>5</PollInterval><PollUnits>M</PollUnits>")->PollInterval, 300000u);
  EXPECT_EQ(Load("<PollInterval>5</PollInterval><PollUnits>m</PollUnits>")->PollInterval, 5u);
  EXPECT_EQ(Load("<PollInterval>5</PollInterval><PollUnits>S</PollUnits>")->PollInterval, 5000u);
  EXPECT_EQ(Load("<PollInterval>2</PollInterval><PollUnits>H</PollUnits>")->PollInterval, 7200000u);
  EXPECT_EQ(Load("<PollInterval>250</PollInterval>")->PollInterval, 250u);
  EXPECT_EQ(Load("<PollUnits>S</PollUnits>")->PollInterval, 1000000u);  // the default, in s
}

TEST(RequestItemXml, UnreadablePollIntervalsKeepTheDefault) {
  EXPECT_EQ(Load("<PollInterval>fast</PollInterval>")->PollInterval, 1000u);
  EXPECT_EQ(Load("<PollInterval>99999999999</PollInterval>")->PollInterval, 1000u);
  EXPECT_EQ(Load("<PollInterval>-5</PollInterval>")->PollInterval, 1000u);
  EXPECT_EQ(Load("<PollInterval>0</PollInterval>")->PollInterval, 0u);
}

TEST(RequestItemXml, ScaledIntervalsBeyondThirtyTwoBitsStayLongest) {
  // 2000 h would wrap round to about 3.4 hours on 32 bits.
  EXPECT_EQ(Load("<PollInterval>2000</PollInterval><PollUnits>H</PollUnits>")->PollInterval,
            0xFFFFFFFFu);
}

TEST(RequestItemXml, ScheduleTextsAndTheirDefaults) {
  auto at = Load("<MethodAtTime>1</MethodAtTime>");
  EXPECT_EQ(at->Schedule.Method, MethodAtTime);
  EXPECT_EQ(at->Schedule.Text, "12:00:00");
  EXPECT_EQ(Load("<MethodAtTime>1</MethodAtTime><AtTime>8:30; 20:00</AtTime>")->Schedule.Text,
            "8:30; 20:00");
  EXPECT_EQ(Load("<MethodEvent>1</MethodEvent>")->Schedule.Text, "");
  EXPECT_EQ(Load("<MethodEvent>1</MethodEvent><EventId>PortOpen</EventId>")->Schedule.Text,
            "PortOpen");
  // Schedule texts of other methods are not kept.
  EXPECT_EQ(Load("<MethodPoll>1</MethodPoll><AtTime>8:30</AtTime>")->Schedule.Text, "");
  auto cron = Load("<MethodCron>1</MethodCron>");
  EXPECT_EQ(cron->Schedule.Text, "0 0 12 * * *");
  EXPECT_EQ(cron->Schedule.CronParams, (TExportCronParams{"*", "*", "*", "12", "0", "0"}));
}

TEST(RequestItemXml, CronFieldsAreStoredLastFirst) {
  auto item = Load("<MethodCron>1</MethodCron><CronTime>1 2 3 4 5 6</CronTime>");
  EXPECT_EQ(item->Schedule.CronParams, (TExportCronParams{"6", "5", "4", "3", "2", "1"}));
}

TEST(RequestItemXml, ACronTextOfFewerThanSixFieldsLeavesTheParamsEmpty) {
  auto item = Load("<MethodCron>1</MethodCron><CronTime>0 0 12 * *</CronTime>");
  EXPECT_EQ(item->Schedule.Text, "0 0 12 * *");
  EXPECT_EQ(item->Schedule.CronParams, TExportCronParams{});
}

TEST(RequestItemXml, ARunOfSpacesKeepsOneEmptyField) {
  auto item = Load("<MethodCron>1</MethodCron><CronTime>0  0 12 * * *</CronTime>");
  // Stored fields from seconds on: "0", "", "0", "12", "*", "*".
  EXPECT_EQ(item->Schedule.CronParams, (TExportCronParams{"*", "*", "12", "0", "", "0"}));
}

TEST(CronFields, SplitKeepsAtMostOneEmptyFieldPerRun) {
  EXPECT_EQ(SplitCronFields("a   b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitCronFields("a b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitCronFields(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitCronFields("  a"), (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(SplitCronFields("a  "), (std::vector<std::string>{"a", ""}));
}

TEST(RequestList, OwnsItsItems) {
  TBasicRequestList list;
  list.Add(new TBasicRequestItem());
  list.Add(new TBasicRequestItem());
  EXPECT_EQ(list.Count(), 2);
  list.Clear();  // frees them (the sanitizer build checks)
  EXPECT_EQ(list.Count(), 0);
}

TEST(AtTimes, TwelveHourMarksAndBadFields) {
  auto one = [](const std::string& text) {
    std::vector<TAtTime> times = ParseAtTimes(text);
    EXPECT_EQ(times.size(), 1u) << text;
    return times.empty() ? std::string("none") : CronTextOfAtTime(times[0]);
  };
  EXPECT_EQ(one("8:30 p"), "0 30 20 * * * *");
  EXPECT_EQ(one("8:30 PM"), "0 30 20 * * * *");
  EXPECT_EQ(one("7:75:10"), "10 0 7 * * * *");
  EXPECT_EQ(one("6:15:99"), "0 15 6 * * * *");
  EXPECT_EQ(one("6:-5"), "0 0 6 * * * *");
  EXPECT_EQ(one("9 am"), "0 0 9 * * * *");
  // Twelve o'clock on the 12-hour clock: noon and midnight.
  EXPECT_EQ(one("12:00 pm"), "0 0 12 * * * *");
  EXPECT_EQ(one("12:00 am"), "0 0 0 * * * *");
  EXPECT_EQ(one("  23:59:59  "), "59 59 23 * * * *");
  EXPECT_TRUE(ParseAtTimes("25:00").empty());
  EXPECT_TRUE(ParseAtTimes("13:00 pm").empty());
  EXPECT_TRUE(ParseAtTimes("-1:00").empty());
  // A piece without an hour is no time, even with a "p" in it.
  EXPECT_TRUE(ParseAtTimes("soon pm").empty());
  EXPECT_TRUE(ParseAtTimes(":30").empty());
}

TEST(AtTimes, PiecesAreNumberedByTheirPlaceInTheList) {
  std::vector<TAtTime> times = ParseAtTimes("6:00;;25:00, 18:00");
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0].Number, 0);
  EXPECT_EQ(times[0].Hour, 6);
  EXPECT_EQ(times[1].Number, 3);
  EXPECT_EQ(times[1].Hour, 18);
}

TEST(CronText, EmptyFieldsTakeTheirDefaults) {
  EXPECT_EQ(CronTextOfParams(TExportCronParams{}), "0 0 0 * * * *");
  EXPECT_EQ(CronTextOfParams(TExportCronParams{" 1-5 ", "", "", "6", "", "30"}),
            "30 0 6 * * 1-5 *");
}

TEST(ScheduleKey, NamesMethodItemAndController) {
  const std::string key =
      RequestScheduleKey(3, reinterpret_cast<void*>(0xABCu), reinterpret_cast<void*>(0x12u));
  EXPECT_EQ(key, "G3_00000ABC_00000012");
  EXPECT_EQ(ScheduleKeyOfEventName(key + "/4"), key);
  EXPECT_EQ(ScheduleKeyOfEventName("plain"), "plain");
}
