#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/LockGuards.h"
#include "framework/ScheduledEvent.h"
#include "framework/parser_QueueController.h"
#include "mbus/RequestConfig.h"
#include "params/CfgOptionsProxy.h"

namespace {

// The items of a document, owned by the fixture's list.
class RequestConfigReading : public ::testing::Test {
 protected:
  std::vector<TRequestItem*> Read(const std::string& document) {
    List.Clear();
    ReadRequestItems(document, List);
    std::vector<TRequestItem*> items;
    for (std::int32_t i = 0; i < List.Count(); ++i)
      items.push_back(dynamic_cast<TRequestItem*>(List.Items(i)));
    return items;
  }
  // One request element with the given content.
  TRequestItem& One(const std::string& content) {
    auto items = Read("<MBUS><Request>" + content + "</Request></MBUS>");
    EXPECT_EQ(items.size(), 1u);
    static TRequestItem empty;
    return items.empty() ? empty : *items.front();
  }

  TObjectList List{true};
};

std::vector<std::string> Devices(const std::vector<TRequestItem*>& items) {
  std::vector<std::string> devices;
  for (const TRequestItem* item : items) devices.push_back(item->Params.Device);
  return devices;
}

TEST_F(RequestConfigReading, RepeatedDevicesOtherThanTheFirstEachGiveAnItem) {
  auto items = Read("<MBUS><Request><Device>1;2;2;1</Device></Request></MBUS>");
  EXPECT_EQ(Devices(items), (std::vector<std::string>{"1", "2", "2"}));
}

TEST_F(RequestConfigReading, DeviceListIsSplitAtSemicolonsAndCommasAndTrimmed) {
  auto items = Read(
      "<MBUS><Request><Device> 5 ,s12345678; 12345678FFFFFFFF (hall)</Device>"
      "</Request></MBUS>");
  EXPECT_EQ(Devices(items),
            (std::vector<std::string>{"5", "s12345678", "12345678FFFFFFFF (hall)"}));
}

TEST_F(RequestConfigReading, SeparatorsOnlyGiveDeviceZero) {
  EXPECT_EQ(Devices(Read("<MBUS><Request><Device> ; , ;</Device></Request></MBUS>")),
            std::vector<std::string>{"0"});
  EXPECT_EQ(Devices(Read("<MBUS><Request><Device></Device></Request></MBUS>")),
            std::vector<std::string>{"0"});
}

TEST_F(RequestConfigReading, MissingDeviceIsDeviceOne) {
  EXPECT_EQ(Devices(Read("<MBUS><Request/></MBUS>")), std::vector<std::string>{"1"});
}

TEST_F(RequestConfigReading, CopiesCarryEverythingAndPointToThemselves) {
  auto items = Read(
      "<MBUS><Request caption=\"Heat\"><Enabled>1</Enabled><Device>3,4</Device>"
      "<StorageNo>1</StorageNo><TariffNo>2</TariffNo><FirstFrame>1</FirstFrame>"
      "<Timeout>700</Timeout><Response><I><DataType>F32</DataType><Name>E</Name></I>"
      "</Response><RequestMethod><MethodEvent check=\"2\"><EventId>GO</EventId>"
      "</MethodEvent></RequestMethod></Request></MBUS>");
  ASSERT_EQ(items.size(), 2u);
  const TRequestItem& copy = *items[1];
  EXPECT_EQ(copy.Params.Device, "4");
  EXPECT_TRUE(copy.Enabled);
  EXPECT_EQ(copy.Name, "Heat");
  EXPECT_EQ(copy.Method, MethodEvent);
  EXPECT_EQ(copy.Schedule.Text, "GO");
  EXPECT_EQ(copy.Params.StorageNo, "[1]");
  EXPECT_EQ(copy.Params.TariffNo, "[2]");
  EXPECT_EQ(copy.Params.FirstFrame, 1);
  EXPECT_EQ(copy.Params.Timeout, 700);
  EXPECT_EQ(copy.Params.Item, &copy);
  EXPECT_EQ(items[0]->Params.Item, items[0]);
  ASSERT_EQ(copy.Responses.Count(), 1);
  const auto* response = dynamic_cast<const TResponseItem*>(copy.Responses.Items(0));
  ASSERT_NE(response, nullptr);
  EXPECT_NE(response, items[0]->Responses.Items(0));
  EXPECT_EQ(response->DataType, 4);
  EXPECT_EQ(response->Name, "E");
}

TEST_F(RequestConfigReading, FiltersTakeNonNegativeIntegersInBracketForm) {
  EXPECT_EQ(One("<StorageNo>0;1</StorageNo>").Params.StorageNo, "[0][1]");
  EXPECT_EQ(One("<StorageNo>-1</StorageNo>").Params.StorageNo, "");
  EXPECT_EQ(One("<TariffNo>1;3, x</TariffNo>").Params.TariffNo, "[1][3]");
  EXPECT_EQ(One("").Params.StorageNo, "");
  EXPECT_EQ(FilterBracketForm(" 7 ,,+2"), "[7][2]");
}

TEST_F(RequestConfigReading, PollUnitsAreCaseSensitive) {
  auto poll = [&](const std::string& units) {
    return One("<MethodPoll check=\"2\"><PollInterval>5</PollInterval><PollUnits>" + units +
               "</PollUnits></MethodPoll>")
        .PollInterval;
  };
  EXPECT_EQ(poll("s"), 5u);
  EXPECT_EQ(poll("S"), 5000u);
  EXPECT_EQ(poll("M"), 300000u);
  EXPECT_EQ(poll("H"), 18000000u);
  EXPECT_EQ(poll("MS"), 5u);
  EXPECT_EQ(One("<MethodPoll check=\"2\"/>").PollInterval, 1000u);
  EXPECT_EQ(One("<PollInterval>x</PollInterval>").PollInterval, 1000u);
}

TEST_F(RequestConfigReading, MethodOrderPutsCronBeforePoll) {
  TRequestItem& item =
      One("<RequestMethod><MethodPoll check=\"2\"/><MethodCron check=\"2\">"
          "<CronTime>0 30 6 * * *</CronTime></MethodCron></RequestMethod>");
  EXPECT_EQ(item.Method, MethodCron);
  EXPECT_EQ(item.Schedule.Method, MethodCron);
  EXPECT_EQ(item.Schedule.CronParams, (TExportCronParams{"*", "*", "*", "6", "30", "0"}));
  EXPECT_EQ(One("").Method, MethodOnce);
  EXPECT_EQ(One("<MethodAtTime>1</MethodAtTime><MethodCron>1</MethodCron>").Method, MethodAtTime);
}

TEST_F(RequestConfigReading, FiveCronFieldsStoreNothing) {
  TRequestItem& item = One("<MethodCron check=\"2\"><CronTime>0 0 12 * *</CronTime></MethodCron>");
  EXPECT_EQ(item.Schedule.Text, "0 0 12 * *");
  for (const std::string& field : item.Schedule.CronParams) EXPECT_EQ(field, "");
}

TEST_F(RequestConfigReading, ScheduleTextsTakeTheirDefaults) {
  EXPECT_EQ(One("<MethodAtTime check=\"2\"/>").Schedule.Text, "12:00:00");
  EXPECT_EQ(One("<MethodCron check=\"2\"/>").Schedule.Text, "0 0 12 * * *");
  EXPECT_EQ(One("<MethodEvent check=\"2\"/>").Schedule.Text, "");
  EXPECT_EQ(One("<MethodPoll check=\"2\"><AtTime>1:00</AtTime></MethodPoll>").Schedule.Text, "");
}

TEST_F(RequestConfigReading, BooleansReadTextThenTheCheckAttribute) {
  EXPECT_TRUE(One("<Enabled>1</Enabled>").Enabled);
  EXPECT_TRUE(One("<Enabled check=\"2\"/>").Enabled);
  EXPECT_FALSE(One("<Enabled checked=\"2\"/>").Enabled);
  EXPECT_FALSE(One("<Enabled check=\"2\">2</Enabled>").Enabled);
  EXPECT_FALSE(One("<Enabled check=\"1\"/>").Enabled);
  EXPECT_FALSE(One("").Enabled);
  // A missing or out-of-range check state gives the reader default.
  EXPECT_EQ(One("").Params.ReadOnlyNew, 1);
  EXPECT_EQ(One("<ReadOnlyNew check=\"7\"/>").Params.ReadOnlyNew, 1);
  EXPECT_EQ(One("<ReadOnlyNew/>").Params.ReadOnlyNew, 1);
  EXPECT_EQ(One("<ReadOnlyNew check=\"0\"/>").Params.ReadOnlyNew, 0);
  EXPECT_EQ(One("<ReadOnlyNew>0</ReadOnlyNew>").Params.ReadOnlyNew, 0);
  EXPECT_EQ(One("<FirstFrame checked=\"2\"/>").Params.FirstFrame, 0);
}

TEST_F(RequestConfigReading, SettingsAreFoundAtAnyDepthInAnyCase) {
  TRequestItem& item =
      One("<a><b><ENABLED>1</ENABLED></b></a><requestmethod><methodpoll check=\"2\">"
          "<pollinterval>7</pollinterval><pollunits>S</pollunits></methodpoll></requestmethod>"
          "<x><device>9</device></x><Device>8</Device>");
  EXPECT_TRUE(item.Enabled);
  EXPECT_EQ(item.Method, MethodPoll);
  EXPECT_EQ(item.PollInterval, 7000u);
  EXPECT_EQ(item.Params.Device, "9");  // the first in document order
}

TEST_F(RequestConfigReading, NamesFallBackToThePosition) {
  auto items = Read("<mbus><Request/><Other caption=\"Named\"/><Request/></mbus>");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0]->Name, "Request #1");
  EXPECT_EQ(items[1]->Name, "Named");
  EXPECT_EQ(items[2]->Name, "Request #3");
}

TEST_F(RequestConfigReading, TimeoutsBelowOneOrUnreadableTakeTheDefault) {
  EXPECT_EQ(One("<Timeout>2500</Timeout>").Params.Timeout, 2500);
  EXPECT_EQ(One("<Timeout>abc</Timeout>").Params.Timeout, 3000);
  EXPECT_EQ(One("<Timeout>0</Timeout>").Params.Timeout, 3000);
  EXPECT_EQ(One("<Timeout>-5</Timeout>").Params.Timeout, 3000);
}

TEST_F(RequestConfigReading, ResponseItemsOfTheFirstResponseElement) {
  TRequestItem& item =
      One("<Response><A><DataType>BIT</DataType><Name>Flag</Name></A><B><DataType>Q</DataType></B>"
          "<C/></Response><Response><D/></Response>");
  ASSERT_EQ(item.Responses.Count(), 3);
  auto response = [&](std::int32_t i) {
    return dynamic_cast<const TResponseItem*>(item.Responses.Items(i));
  };
  EXPECT_EQ(response(0)->DataType, 7);
  EXPECT_EQ(response(0)->Name, "Flag");
  EXPECT_EQ(response(1)->DataType, 1);
  EXPECT_EQ(response(2)->DataType, 1);
  EXPECT_EQ(response(2)->Name, "ITEM");
}

TEST_F(RequestConfigReading, DocumentsWithoutMbusGiveNothing) {
  EXPECT_TRUE(Read("").empty());
  EXPECT_TRUE(Read("<Other><Request/></Other>").empty());
  EXPECT_TRUE(Read("<MBUS").empty());
  EXPECT_EQ(Read("<root><x><MBUS><R/></MBUS></x></root>").size(), 1u);
}

// ---- into a queue

class RequestConfigQueue : public ::testing::Test {
 protected:
  std::int32_t Count() {
    TReadLock list(*Queue.Requests);
    return list->Count();
  }
  TRequestItem* At(std::int32_t index) {
    TReadLock list(*Queue.Requests);
    return dynamic_cast<TRequestItem*>(list->Items(index));
  }

  TQueueControllerTimer Queue{nullptr};
  TDataSourceCfg Config{nullptr};
};

TEST_F(RequestConfigQueue, InactiveOrWithoutConfigurationLeavesTheListEmpty) {
  Config.lblParams_Caption = "<MBUS><Request/><Request/></MBUS>";
  ReadRequestConfig(Queue, &Config, true);
  EXPECT_EQ(Count(), 2);
  ReadRequestConfig(Queue, &Config, false);
  EXPECT_EQ(Count(), 0);
  EXPECT_FALSE(Queue.TimerEnabled());
  ReadRequestConfig(Queue, &Config, true);
  ReadRequestConfig(Queue, nullptr, true);
  EXPECT_EQ(Count(), 0);
  EXPECT_FALSE(Queue.TimerEnabled());
}

TEST_F(RequestConfigQueue, MinimumPauseIsTheIntegerPartOfTheInterval) {
  Config.spMinInt_Value = 250.9;
  ReadRequestConfig(Queue, &Config, true);
  EXPECT_EQ(Queue.MinPause.load(), 250u);
  Config.spMinInt_Value = -4;
  ReadRequestConfig(Queue, &Config, true);
  EXPECT_EQ(Queue.MinPause.load(), 0u);
}

TEST_F(RequestConfigQueue, CronCopiesShareTheScheduleKeyOfTheFirst) {
  Config.lblParams_Caption =
      "<MBUS><Request><Device>1;2</Device><MethodCron check=\"2\"/></Request>"
      "<Request><MethodPoll check=\"2\"/></Request></MBUS>";
  ReadRequestConfig(Queue, &Config, true);
  ASSERT_EQ(Count(), 3);
  EXPECT_FALSE(At(0)->ScheduleKey.empty());
  EXPECT_EQ(At(1)->ScheduleKey, At(0)->ScheduleKey);
  EXPECT_EQ(At(1)->Params.Device, "2");
  EXPECT_TRUE(At(2)->ScheduleKey.empty());
  ASSERT_NE(Queue.ScheduledEvents(), nullptr);
  EXPECT_EQ(Queue.ScheduledEvents()->Count(), 1);
  // Emptying the list stops its scheduled events too.
  ReadRequestConfig(Queue, nullptr, false);
  EXPECT_EQ(Queue.ScheduledEvents()->Count(), 0);
}

// ---- the fragment

TEST(RequestFragment, IsBuiltByteForByte) {
  const std::vector<std::string> lines = {"5||||Heat meter", "||12345678||", " 7 ||  ||Water", "9"};
  EXPECT_EQ(BuildRequestFragment(lines, {2, 0, 1, 4, -1, 3}, 30, 1),
            "<MBUS>\r\n<Request><Enabled checked=\"2\" /><Device>7;5;12345678;9</Device>"
            "<Timeout>5000</Timeout><FirstFrame checked=\"0\" /><ReadOnlyNew checked=\"2\" />"
            "<RequestMethod><MethodPoll check=\"2\"><PollInterval>30</PollInterval>"
            "<PollUnits>S</PollUnits></MethodPoll></RequestMethod></Request>\r\n</MBUS>");
}

TEST(RequestFragment, UnitsFollowTheIndex) {
  auto units = [](std::int32_t index) {
    std::string xml = BuildRequestFragment({}, {}, 1, index);
    auto from = xml.find("<PollUnits>") + 11;
    return xml.substr(from, xml.find("</PollUnits>") - from);
  };
  EXPECT_EQ(units(1), "S");
  EXPECT_EQ(units(2), "M");
  EXPECT_EQ(units(3), "H");
  EXPECT_EQ(units(0), "MS");
  EXPECT_EQ(units(4), "MS");
}

TEST(RequestFragment, ReadsBackAsPolledRequests) {
  TObjectList items(true);
  ReadRequestItems(BuildRequestFragment({"1", "2||<x>"}, {0, 1}, 2, 2), items);
  ASSERT_EQ(items.Count(), 2);
  const auto& first = dynamic_cast<const TRequestItem&>(*items.Items(0));
  const auto& second = dynamic_cast<const TRequestItem&>(*items.Items(1));
  // The flags carry "checked", which the reader does not read: they take the
  // reader's defaults (the dialog converts the fragment into its tree).
  EXPECT_FALSE(first.Enabled);
  EXPECT_EQ(first.Method, MethodPoll);
  EXPECT_EQ(first.PollInterval, 120000u);
  EXPECT_EQ(first.Params.Timeout, 5000);
  EXPECT_EQ(first.Params.FirstFrame, 0);
  EXPECT_EQ(first.Params.ReadOnlyNew, 1);
  // The address text is escaped, so the document stays well formed.
  EXPECT_EQ(second.Params.Device, "<x>");
}

}  // namespace
