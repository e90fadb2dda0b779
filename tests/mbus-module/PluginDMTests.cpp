#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "MbusModuleTestSupport.h"
#include "framework/FIFOStream.h"
#include "framework/LockGuards.h"
#include "mbus/RequestConfig.h"

namespace {

using mbustest::HostData;

std::vector<std::int32_t> Ids(const TaPlugin& module) {
  std::vector<std::int32_t> ids;
  for (const TSerialPortDM* source : module.DataSourceList()) ids.push_back(source->DataSourceId);
  return ids;
}

TEST(TaPluginIdentity, CreateSetsTheModuleFields) {
  TFakeHost host;
  TaPlugin module(nullptr, 0);
  EXPECT_EQ(module.VersionNumber, 5.0F);
  EXPECT_EQ(module.Description, "M-Bus");
  EXPECT_EQ(module.GetLogTitle(), "M-Bus");
  EXPECT_EQ(module.ModuleType, 0x03);
  EXPECT_EQ(module.EventsSupported, "PORT-OPEN");
  EXPECT_EQ(module.InfoFlag, 1);
  EXPECT_TRUE(module.Unloading.load());
  EXPECT_FALSE(module.Config);
  ASSERT_NE(module.Resources, nullptr);
  EXPECT_EQ(module.Properties.Text(),
            "Left,Left\r\nTop,Top\r\nHeight,Height\r\nWidth,Width\r\n;---short---\r\n"
            "lblParams.Caption,Parser config\r\nOpenDialog.FileName,Open files dir\r\n"
            "SaveDialog.FileName,Save files dir\r\nspMinInt.Value,Min interval\r\n");
  ASSERT_TRUE(module.Translator);
  const auto& names = module.Translator->Properties;
  EXPECT_NE(std::find(names.begin(), names.end(), "Filter"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Columns"), names.end());
}

class TaPluginModule : public mbustest::ModuleTest {
 protected:
  std::int32_t ProcessData(std::int32_t sourceId, const std::string& bytes) {
    kor::TPluginCallRec rec{};
    rec.Size = kor::kCallRecSize;
    rec.DataSourceId = sourceId;
    rec.Mode = 1u << TDataSourceScheduled::kModeData;
    rec.InData.Value = reinterpret_cast<kor::TPluginPtr>(bytes.data());
    rec.InData.Size = static_cast<std::uint32_t>(bytes.size());
    std::int32_t result = -99;
    Module.DoProcessData(&rec, result);
    return result;
  }
  std::uint32_t Buffered(std::int32_t id) {
    TSerialPortDM* source = Module.FindDataSource(id);
    return source == nullptr ? 0 : source->FBuffer->Available();
  }
  std::int32_t Event(const std::string& type, TCall& call) {
    call.Set("EVENT-TYPE", type.c_str());
    return RunCommand(Module, "EVENT", call);
  }
  std::int32_t Event(const std::string& type) {
    TCall call;
    return Event(type, call);
  }
  std::vector<TRequestItem*> Requests(std::int32_t id) {
    std::vector<TRequestItem*> items;
    TSerialPortDM* source = Module.FindDataSource(id);
    if (source == nullptr) return items;
    TReadLock list(*source->FQueue->Requests);
    for (std::int32_t i = 0; i < list->Count(); ++i)
      items.push_back(dynamic_cast<TRequestItem*>(list->Items(i)));
    return items;
  }
};

TEST_F(TaPluginModule, ProcessDataBeforeLoadIsRefused) {
  EXPECT_EQ(ProcessData(1, "x"), -1);
  Load();
  EXPECT_EQ(ProcessData(1, "x"), 0);
}

TEST_F(TaPluginModule, LoadCreatesTheConfigurationAndUnloadFreesIt) {
  Load();
  EXPECT_TRUE(Module.Config);
  EXPECT_FALSE(Module.Unloading.load());
  ASSERT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_FALSE(Module.Config);
  EXPECT_TRUE(Module.Unloading.load());
  EXPECT_EQ(ProcessData(1, "x"), -1);
}

TEST_F(TaPluginModule, StateChangeCreatesOneSourcePerIdentifier) {
  Load();
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n2;COM2;Port 2\r\n1;COM1b;Again\r\n"), 0);
  EXPECT_EQ(Ids(Module), (std::vector<std::int32_t>{1, 2}));
  TSerialPortDM* first = Module.FindDataSource(1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->SourceName, "COM1");
  EXPECT_EQ(first->SourceFullName, "Port 1");
  EXPECT_EQ(Module.FindDataSource(-1), Module.FindDataSource(2));
  // A later list keeps what it names, frees the rest and adds the new.
  ASSERT_EQ(SetState("2;COM2;Port 2\r\n3;COM3;Port 3\r\n"), 0);
  EXPECT_EQ(Ids(Module), (std::vector<std::int32_t>{2, 3}));
  EXPECT_EQ(Module.FindDataSource(1), nullptr);
}

TEST_F(TaPluginModule, AllStatesOffFreesEverySource) {
  Load();
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n"), 0);
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n", 0), 0);
  EXPECT_TRUE(Module.DataSourceList().empty());
}

TEST_F(TaPluginModule, DataSourceLoadForKeepsOnlyThatLine) {
  Load();
  TCall call;
  call.Set("DATA-SOURCES-IN-CFG", "1;COM1;Port 1\r\n2;COM2;Port 2");
  call.Set("DATA-SOURCE-LOAD", "2;com2;PORT 2");
  call.Set("RESULT", 1);
  call.Rec.Mode = 0x03;
  ASSERT_EQ(RunCommand(Module, "SET-STATE", call), 0);
  EXPECT_EQ(Ids(Module), std::vector<std::int32_t>{2});
}

TEST_F(TaPluginModule, DataIsRoutedByIdentifier) {
  Load();
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n2;COM2;Port 2\r\n"), 0);
  EXPECT_EQ(ProcessData(2, "abc"), 0);
  EXPECT_EQ(Buffered(2), 3u);
  EXPECT_EQ(Buffered(1), 0u);
  EXPECT_EQ(ProcessData(9, "zz"), 0);
  EXPECT_EQ(Buffered(1) + Buffered(2), 3u);
  // Without state 1 nothing is taken.
  Module.States[1] = false;
  EXPECT_EQ(ProcessData(1, "q"), 0);
  EXPECT_EQ(Buffered(1), 0u);
}

TEST_F(TaPluginModule, ParserItemsAreTheStandardOnesAndFourMore) {
  TCall call;
  call.WithResult();
  ASSERT_EQ(RunCommand(Module, "ITEMS", call), 0);
  const std::string items = call.Result().AsAnsiString();
  EXPECT_EQ(items.find("CLIENTID"), std::string::npos);
  const std::string tail =
      "Device address|DEVICE_ID|String|\r\nStorage number|STORAGE|Integer|\r\n"
      "Tariff|TARIFF|Integer|\r\nTimestamp|TIME_POINT|DateTime|";
  ASSERT_GE(items.size(), tail.size());
  EXPECT_EQ(items.substr(items.size() - tail.size()), tail);
  EXPECT_EQ(Module.ParserItemCount(), 10);
}

TEST_F(TaPluginModule, StateChangeReadsTheStoredConfiguration) {
  Load();
  StoreDocument("<MBUS><Request><Device>4;5</Device></Request></MBUS>");
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n"), 0);
  ASSERT_EQ(Requests(1).size(), 2u);
  EXPECT_EQ(Requests(1)[1]->Params.Device, "5");
}

TEST_F(TaPluginModule, SettingsReloadAppliesTheNewConfiguration) {
  Load();
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n"), 0);
  EXPECT_TRUE(Requests(1).empty());
  StoreDocument("<MBUS><Request/><Request/><Request/></MBUS>");
  TCall call;
  call.Set("INI-FILE", Ini.c_str());
  call.Set("NO-SAVE", 1);
  ASSERT_EQ(RunCommand(Module, "LOAD-SETTINGS-NOW", call), 0);
  EXPECT_EQ(Requests(1).size(), 3u);
  EXPECT_EQ(Module.Config->lblParams_Caption, "<MBUS><Request/><Request/><Request/></MBUS>");
}

TEST_F(TaPluginModule, UnloadEmptiesEveryRequestList) {
  Load();
  StoreDocument("<MBUS><Request/></MBUS>");
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n"), 0);
  ASSERT_EQ(Requests(1).size(), 1u);
  ASSERT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_TRUE(Requests(1).empty());
  EXPECT_FALSE(Module.FindDataSource(1)->FQueue->TimerEnabled());
}

TEST_F(TaPluginModule, PortOpenWithAnUnknownPortChangesNothing) {
  Load();
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n2;COM2;Port 2\r\n"), 0);
  for (TSerialPortDM* source : Module.DataSourceList()) source->PortClosed = true;
  TCall call;
  call.Set("PORTSTR", "COM9");
  EXPECT_EQ(Event("PORT-OPEN", call), 0);
  for (TSerialPortDM* source : Module.DataSourceList()) {
    EXPECT_TRUE(source->PortClosed.load());
    EXPECT_EQ(source->FQueue->ResetPending.load(), 0);
  }
}

TEST_F(TaPluginModule, PortOpenReopensTheNamedPortOnly) {
  Load();
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n2;COM2;Port 2\r\n"), 0);
  for (TSerialPortDM* source : Module.DataSourceList()) source->PortClosed = true;
  TCall call;
  call.Set("PORTSTR", "com2");
  EXPECT_EQ(Event("PORT-OPEN", call), 0);
  EXPECT_FALSE(Module.FindDataSource(2)->PortClosed.load());
  EXPECT_EQ(Module.FindDataSource(2)->FQueue->ResetPending.load(), 2);
  EXPECT_TRUE(Module.FindDataSource(1)->PortClosed.load());
  EXPECT_EQ(Module.FindDataSource(1)->FQueue->ResetPending.load(), 0);
  // Without a port name every source is reopened.
  EXPECT_EQ(Event("PORT-OPEN"), 0);
  EXPECT_FALSE(Module.FindDataSource(1)->PortClosed.load());
  // "port-open" is not the port event: it is a named request event.
  Module.FindDataSource(1)->PortClosed = true;
  EXPECT_EQ(Event("port-open"), 0);
  EXPECT_TRUE(Module.FindDataSource(1)->PortClosed.load());
}

TEST_F(TaPluginModule, ANamedEventTriggersItsRequestInAnyLetterCase) {
  Load();
  StoreDocument(
      "<MBUS><Request><MethodEvent check=\"2\"><EventId>Read-Now</EventId></MethodEvent>"
      "</Request><Request><MethodPoll check=\"2\"/></Request></MBUS>");
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n"), 0);
  ASSERT_EQ(Requests(1).size(), 2u);
  TCall call;
  call.Set("X", 42);
  EXPECT_EQ(Event("READ-NOW", call), 0);
  TRequestItem* item = Requests(1)[0];
  EXPECT_TRUE(item->Triggered);
  ASSERT_TRUE(item->EventParams);
  EXPECT_EQ(item->EventParams->GetValue("X").AsInteger(), 42);
  EXPECT_FALSE(Requests(1)[1]->Triggered);
  EXPECT_EQ(Module.FindDataSource(1)->FQueue->Cursor, -1);
}

TEST_F(TaPluginModule, PortOpenDoesNotTriggerEventRequests) {
  Load();
  StoreDocument(
      "<MBUS><Request><MethodEvent check=\"2\"><EventId>PORT-OPEN</EventId></MethodEvent>"
      "</Request></MBUS>");
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n"), 0);
  EXPECT_EQ(Event("PORT-OPEN"), 0);
  ASSERT_EQ(Requests(1).size(), 1u);
  EXPECT_FALSE(Requests(1)[0]->Triggered);
  ASSERT_TRUE(Requests(1)[0]->EventParams);  // the parameters still go to the request
}

TEST_F(TaPluginModule, NamedEventsNeedStateZero) {
  Load();
  StoreDocument(
      "<MBUS><Request><MethodEvent check=\"2\"><EventId>GO</EventId></MethodEvent>"
      "</Request></MBUS>");
  ASSERT_EQ(SetState("1;COM1;Port 1\r\n", 1, 0x02), 0);
  ASSERT_EQ(Requests(1).size(), 1u);
  EXPECT_EQ(Event("GO"), 0);
  EXPECT_FALSE(Requests(1)[0]->Triggered);
}

TEST_F(TaPluginModule, SearchDevicesGetXmlAnswersTheFragment) {
  TCall call;
  call.WithResult();
  call.Set("P0", "1||||Meter\r\n2||0000000112345678||\r\n");
  call.Set("P1", "1\r\n0");
  call.Set("P2", 15);
  call.Set("P3", 2);
  EXPECT_EQ(Event("searchdevicesgetxml", call), 0);
  EXPECT_EQ(call.Result().AsAnsiString(),
            BuildRequestFragment({"1||||Meter", "2||0000000112345678||"}, {1, 0}, 15, 2));
  EXPECT_NE(call.Result().AsAnsiString().find("<Device>0000000112345678;1</Device>"),
            std::string::npos);
}

// Without a data source a search cannot start; status and cancel of an
// unknown search answer empty. The names match in any letter case.
TEST_F(TaPluginModule, MemoryTypesAreEmptyAndSearchEventsWithoutDataSource) {
  TCall call;
  call.Set("RESULT", "untouched");
  EXPECT_EQ(Event("GetMemoryTypeList", call), 0);
  EXPECT_EQ(call.Result().AsAnsiString(), "");
  const std::pair<const char*, const char*> answers[] = {
      {"searchdevices", "!MsgNoDsCfg"}, {"SEARCHDEVICESSTATUS", ""}, {"SearchDevicesCancel", ""}};
  for (const auto& [name, answer] : answers) {
    TCall search;
    search.Set("RESULT", "untouched");
    search.Set("P0", 1);
    search.Set("P1", 1);
    search.Set("P2", 5);
    EXPECT_EQ(Event(name, search), 0);
    EXPECT_EQ(search.Result().AsAnsiString(), answer) << name;
  }
  TCall empty;
  empty.Set("RESULT", "untouched");
  empty.Set("P0", 1);
  empty.Set("P1", 5);
  empty.Set("P2", 1);
  EXPECT_EQ(Event("SearchDevices", empty), 0);
  EXPECT_EQ(empty.Result().AsAnsiString(), "!MsgFailed");
}

TEST_F(TaPluginModule, OptionsDialogAnswersChanged) {
  bool changed = false;
  Module.DoShowOptionsDialog(nullptr, changed);
  EXPECT_TRUE(changed);
}

}  // namespace

namespace {

// ProcessData runs beside commands: data blocks for a source that a state
// change frees at the same time must never reach a freed source.
TEST_F(TaPluginModule, ConcurrencyProcessDataBesideStateChanges) {
  Load();
  std::atomic<bool> stop{false};
  std::atomic<std::int32_t> calls{0};
  std::thread sender([&] {
    while (!stop.load()) {
      for (std::int32_t id : {1, 2, -1}) {
        if (ProcessData(id, "0123456789") != 0) ADD_FAILURE() << "refused";
        ++calls;
      }
    }
  });
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(SetState(i % 2 == 0 ? "1;COM1;Port 1\r\n2;COM2;Port 2\r\n" : "2;COM2;Port 2\r\n"), 0);
    ASSERT_EQ(SetState("3;COM3;Port 3\r\n"), 0);
  }
  while (calls.load() < 100) std::this_thread::yield();
  stop = true;
  sender.join();
  EXPECT_EQ(Ids(Module), std::vector<std::int32_t>{3});
}

}  // namespace
