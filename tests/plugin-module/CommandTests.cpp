#include <gtest/gtest.h>

#include "ModuleTestSupport.h"

namespace {

class Commands : public ::testing::Test {
 protected:
  TFakeHost Host;
  TkorPlugin Module;
};

TEST_F(Commands, NamesAreCaseSensitive) {
  int loads = 0;
  Module.OnLoad = [&](TkorPlugin&, kor::TPluginCallRec*, std::int32_t&) { ++loads; };
  EXPECT_EQ(RunCommand(Module, "load"), -2);
  EXPECT_EQ(loads, 0);
  EXPECT_EQ(Module.ModuleLoadCount.load(), 0);
}

TEST_F(Commands, UnknownCommandGoesToOnCommand) {
  std::string seen;
  Module.OnCommand = [&](TkorPlugin&, const std::string& command, std::int32_t& result,
                         kor::TPluginCallRec*) {
    seen = command;
    EXPECT_EQ(result, -2);
    result = 42;
  };
  EXPECT_EQ(RunCommand(Module, "MY-COMMAND"), 42);
  EXPECT_EQ(seen, "MY-COMMAND");
}

TEST_F(Commands, OnCommandErrorIsLoggedWithTheCommand) {
  Module.OnCommand = [](TkorPlugin&, const std::string&, std::int32_t&, kor::TPluginCallRec*) {
    throw Exception("handler failed");
  };
  EXPECT_EQ(RunCommand(Module, "X"), -3);
  EXPECT_EQ(TakeLog(Module), "\x01{X} handler failed\r\n");
}

TEST_F(Commands, LoadAndUnloadNest) {
  int loads = 0, unloads = 0;
  Module.OnLoad = [&](TkorPlugin&, kor::TPluginCallRec*, std::int32_t& r) {
    ++loads;
    r = 5;  // the command answers 0 anyway
  };
  Module.OnUnload = [&](TkorPlugin&, kor::TPluginCallRec*, std::int32_t&) { ++unloads; };
  EXPECT_EQ(RunCommand(Module, "LOAD"), 0);
  EXPECT_EQ(RunCommand(Module, "LOAD"), 0);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(Module.ModuleLoadCount.load(), 2);
  EXPECT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_EQ(unloads, 0);
  EXPECT_FALSE(Module.TerminateNow.load());
  EXPECT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_EQ(unloads, 1);
  EXPECT_TRUE(Module.TerminateNow.load());
  EXPECT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_EQ(unloads, 1);
  EXPECT_EQ(Module.ModuleLoadCount.load(), 0);
}

TEST_F(Commands, UnloadWithoutLoadFiresNothing) {
  int unloads = 0;
  Module.OnUnload = [&](TkorPlugin&, kor::TPluginCallRec*, std::int32_t&) { ++unloads; };
  EXPECT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_EQ(unloads, 0);
  EXPECT_EQ(Module.ModuleLoadCount.load(), 0);
  EXPECT_FALSE(Module.TerminateNow.load());
}

TEST_F(Commands, LoadReadsTheEnvironment) {
  Module.Capabilities = 4;
  TCall call;
  call.Rec.ModuleIndex = 17;
  call.Set("REGISTRY-PATH", "Software\\Maker\\Host\\Project 1")
      .Set("INI-SECTION-PREFIX", "{cfg:7}")
      .Set("INI-FILE", "/tmp/host.ini")
      .Set("APPLICATION-NAME", "Host App")
      .Set("CONFIG-ID", OleVariant(std::int64_t{0x100000005}));
  EXPECT_EQ(RunCommand(Module, "LOAD", call), 0);
  EXPECT_EQ(Module.ModuleIndex.load(), 17);
  EXPECT_EQ(Module.ModuleRegistryPath, "Software\\Maker\\Host\\Project 1");
  EXPECT_EQ(Module.INISectionPrefix, "{cfg:7}");
  EXPECT_EQ(Module.INIFile, "/tmp/host.ini");
  EXPECT_EQ(Module.ApplicationFullName, "Host App");
  EXPECT_EQ(Module.ModuleLoadForConfig, 5);  // low 32 bits
  EXPECT_TRUE(Module.LoadedOnCallingThread());
  EXPECT_EQ(Module.ParentApp, 0u);  // no module of that name is loaded
}

TEST_F(Commands, ConfigIdNeedsTheCapability) {
  TCall call;
  call.Set("CONFIG-ID", 9);
  RunCommand(Module, "LOAD", call);
  EXPECT_EQ(Module.ModuleLoadForConfig, 0);
}

TEST_F(Commands, LoadAnnouncesLinesLoggedBefore) {
  Module.AddLog(1, "early");
  TCall call;
  call.Set("MSG-PROC-HANDLE", 1234);
  RunCommand(Module, "LOAD", call);
  EXPECT_EQ(Module.MessageWindow.load(), 1234u);
  auto posted = Host.MessagesOf(kor::kMsgLogAdded);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].Window, 1234u);
}

TEST_F(Commands, UnloadWithNewIniFileSavesIntoItFirst) {
  TCall load;
  load.Set("INI-FILE", "old.ini");
  RunCommand(Module, "LOAD", load);
  std::vector<std::string> order;
  Module.OnSaveSettingsNow = [&](TkorPlugin& m) { order.push_back("save:" + m.INIFile); };
  Module.OnUnload = [&](TkorPlugin&, kor::TPluginCallRec*, std::int32_t&) {
    order.push_back("unload");
  };
  TCall unload;
  unload.Set("INI-FILE", "new.ini");
  Module.States[3] = true;
  EXPECT_EQ(RunCommand(Module, "UNLOAD", unload), 0);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], "save:new.ini");
  EXPECT_EQ(order[1], "unload");
  EXPECT_EQ(Module.StateSet(), 0);
  EXPECT_EQ(Module.MessageWindow.load(), 0u);
}

TEST_F(Commands, UnloadWithoutIniFileKeepsTheSettingsFile) {
  TCall load;
  load.Set("INI-FILE", "own.ini");
  RunCommand(Module, "LOAD", load);
  int saves = 0;
  Module.OnSaveSettingsNow = [&](TkorPlugin&) { ++saves; };
  EXPECT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(Module.INIFile, "own.ini");
}

TEST_F(Commands, UnloadWithTheSameIniFileSavesNothing) {
  TCall load;
  load.Set("INI-FILE", "own.ini");
  RunCommand(Module, "LOAD", load);
  int saves = 0;
  Module.OnSaveSettingsNow = [&](TkorPlugin&) { ++saves; };
  TCall unload;
  unload.Set("INI-FILE", "own.ini");
  EXPECT_EQ(RunCommand(Module, "UNLOAD", unload), 0);
  EXPECT_EQ(saves, 0);
}

TEST_F(Commands, UnloadHandlerErrorIsSwallowedAndLogged) {
  RunCommand(Module, "LOAD");
  Module.OnUnload = [](TkorPlugin&, kor::TPluginCallRec*, std::int32_t&) {
    throw Exception("cannot stop");
  };
  EXPECT_EQ(RunCommand(Module, "UNLOAD"), 0);
  EXPECT_TRUE(Module.TerminateNow.load());
  EXPECT_NE(TakeLog(Module).find("cannot stop"), std::string::npos);
}

TEST_F(Commands, LoadHandlerErrorGivesMinusThreeAndLogs) {
  Module.OnLoad = [](TkorPlugin&, kor::TPluginCallRec*, std::int32_t&) {
    throw Exception("no config");
  };
  EXPECT_EQ(RunCommand(Module, "LOAD"), -3);
  EXPECT_EQ(TakeLog(Module), "\x01{LOAD} no config\r\n");
}

TEST_F(Commands, SetStateSetsAndClearsTheModeSlots) {
  std::vector<std::uint8_t> modes;
  Module.OnChangeState = [&](TkorPlugin&, std::uint8_t mode) { modes.push_back(mode); };
  Module.States[4] = true;
  TCall on;
  on.Rec.Mode = kor::ModeBit(0) | kor::ModeBit(1);
  on.Set("RESULT", 1);
  EXPECT_EQ(RunCommand(Module, "SET-STATE", on), 0);
  EXPECT_EQ(Module.StateSet(), 0x13);
  TCall off;
  off.Rec.Mode = kor::ModeBit(0) | kor::ModeBit(1);
  off.Set("RESULT", 0);
  EXPECT_EQ(RunCommand(Module, "SET-STATE", off), 0);
  EXPECT_EQ(Module.StateSet(), 0x10);
  EXPECT_EQ(modes, (std::vector<std::uint8_t>{3, 3}));
}

TEST_F(Commands, SetStateWithoutResultIsRefusedButReadsDataSources) {
  TCall call;
  call.Set("DATA-SOURCES-IN-CFG", "1;COM1;Port one\r\nx;bad\r\n-1;none\r\n22;TCP;Gateway;more")
      .Set("DATA-SOURCE-LOAD", "COM1");
  EXPECT_EQ(RunCommand(Module, "SET-STATE", call), -1);
  ASSERT_EQ(Module.DataSources->Count(), 2);
  auto* first = static_cast<TConfigDataSource*>(Module.DataSources->Items(0));
  auto* second = static_cast<TConfigDataSource*>(Module.DataSources->Items(1));
  EXPECT_EQ(first->Id, 1);
  EXPECT_EQ(first->Name, "COM1");
  EXPECT_EQ(first->FullName, "Port one");
  EXPECT_EQ(second->Id, 22);
  EXPECT_EQ(second->Line, "22;TCP;Gateway;more");
  EXPECT_EQ(Module.DataSourceLoadFor, "COM1");
}

TEST_F(Commands, SetStateReplacesTheDataSources) {
  TCall first;
  first.Set("DATA-SOURCES-IN-CFG", "1;a;A\n2;b;B");
  RunCommand(Module, "SET-STATE", first);
  TCall second;
  second.Set("DATA-SOURCES-IN-CFG", "3;c;C");
  RunCommand(Module, "SET-STATE", second);
  ASSERT_EQ(Module.DataSources->Count(), 1);
  EXPECT_EQ(static_cast<TConfigDataSource*>(Module.DataSources->Items(0))->Id, 3);
}

TEST_F(Commands, ItemsNeedsAResultItem) {
  int before = 0;
  Module.OnBeforeGetParserItems = [&](TkorPlugin& m) {
    ++before;
    m.AddParserItem("V", "Volume", "", 5);
  };
  EXPECT_EQ(RunCommand(Module, "ITEMS"), -1);
  EXPECT_EQ(before, 0);
  TCall call;
  call.WithResult();
  EXPECT_EQ(RunCommand(Module, "ITEMS", call), 0);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(call.Result().AsAnsiString(), "Volume|V|Float|");
  EXPECT_EQ(Module.ItemsText, "Volume|V|Float|");
}

TEST_F(Commands, SetItemsNeedsText) {
  int fired = 0;
  Module.OnSetParserItems = [&](TkorPlugin&) { ++fired; };
  TCall number;
  number.Set("ITEMS", 5);
  EXPECT_EQ(RunCommand(Module, "SET-ITEMS", number), -1);
  EXPECT_EQ(RunCommand(Module, "SET-ITEMS"), -1);
  TCall text;
  text.Set("ITEMS", "a|A|String\r\nb|B|Word");
  EXPECT_EQ(RunCommand(Module, "SET-ITEMS", text), 0);
  EXPECT_EQ(Module.ParserItemCount(), 2);
  EXPECT_EQ(fired, 1);
}

TEST_F(Commands, EventsSupportAnswersTheText) {
  Module.EventsSupported = "PORT-OPEN";
  TCall call;
  call.WithResult();
  EXPECT_EQ(RunCommand(Module, "EVENTS-SUPPORT", call), 0);
  EXPECT_EQ(call.Result().AsAnsiString(), "PORT-OPEN");
}

TEST_F(Commands, EventNeedsATypeAndCountsAsHandledWithoutHandler) {
  EXPECT_EQ(RunCommand(Module, "EVENT"), -1);
  TCall call;
  call.Set("EVENT-TYPE", "PORT-OPEN");
  EXPECT_EQ(RunCommand(Module, "EVENT", call), 0);
}

TEST_F(Commands, EventHandlerResultAndError) {
  Module.OnEvent = [](TkorPlugin&, const std::string& type, std::int32_t& result,
                      kor::TPluginCallRec*) {
    EXPECT_EQ(result, -1);
    if (type == "BAD") throw Exception("event failed");
    result = 7;
  };
  TCall good;
  good.Set("EVENT-TYPE", "GOOD");
  EXPECT_EQ(RunCommand(Module, "EVENT", good), 7);
  TCall bad;
  bad.Set("EVENT-TYPE", "BAD");
  EXPECT_EQ(RunCommand(Module, "EVENT", bad), -3);
  EXPECT_EQ(TakeLog(Module), "\x01{EVENT} event failed\r\n");
}

TEST_F(Commands, SaveSettingsWritesIntoTheGivenFileAndRestores) {
  Module.INIFile = "own.ini";
  std::string seen;
  Module.OnSaveSettingsNow = [&](TkorPlugin& m) { seen = m.INIFile; };
  TCall call;
  call.Set("INI-FILE", "export.ini");
  EXPECT_EQ(RunCommand(Module, "SAVE-SETTINGS-NOW", call), 0);
  EXPECT_EQ(seen, "export.ini");
  EXPECT_EQ(Module.INIFile, "own.ini");
}

TEST_F(Commands, SaveSettingsWithNoSaveDoesNothingButRestores) {
  Module.INIFile = "own.ini";
  int saves = 0;
  Module.OnSaveSettingsNow = [&](TkorPlugin&) { ++saves; };
  TCall call;
  call.Set("INI-FILE", "other.ini").Set("NO-SAVE", 1);
  EXPECT_EQ(RunCommand(Module, "SAVE-SETTINGS-NOW", call), 0);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(Module.INIFile, "own.ini");
}

TEST_F(Commands, LoadSettingsReadsGivenFileThenSavesIntoOwn) {
  Module.INIFile = "own.ini";
  std::vector<std::string> order;
  Module.OnLoadSettingsNow = [&](TkorPlugin& m) { order.push_back("load:" + m.INIFile); };
  Module.OnSaveSettingsNow = [&](TkorPlugin& m) { order.push_back("save:" + m.INIFile); };
  TCall call;
  call.Set("INI-FILE", "import.ini");
  EXPECT_EQ(RunCommand(Module, "LOAD-SETTINGS-NOW", call), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"load:import.ini", "save:own.ini"}));
  EXPECT_EQ(Module.INIFile, "own.ini");
}

TEST_F(Commands, SettingsHandlerErrorStillRestoresTheFile) {
  Module.INIFile = "own.ini";
  Module.OnSaveSettingsNow = [](TkorPlugin&) { throw Exception("disk full"); };
  TCall call;
  call.Set("INI-FILE", "other.ini");
  EXPECT_EQ(RunCommand(Module, "SAVE-SETTINGS-NOW", call), -3);
  EXPECT_EQ(Module.INIFile, "own.ini");
  EXPECT_NE(TakeLog(Module).find("disk full"), std::string::npos);
}

TEST_F(Commands, NestedCommandOnTheSameThreadIsRefused) {
  std::int32_t inner = 0;
  Module.OnCommand = [&](TkorPlugin& m, const std::string& command, std::int32_t& result,
                         kor::TPluginCallRec*) {
    if (command != "OUTER") return;
    inner = RunCommand(m, "LOAD");
    result = 11;
  };
  EXPECT_EQ(RunCommand(Module, "OUTER"), 11);
  EXPECT_EQ(inner, -3);
  EXPECT_EQ(Module.ModuleLoadCount.load(), 0);
  EXPECT_EQ(Module.CommandDepth.load(), 0);
  EXPECT_NE(TakeLog(Module).find("Nested plugin commands are not allowed"), std::string::npos);
  EXPECT_EQ(RunCommand(Module, "LOAD"), 0);  // the lock and depth are free again
}

TEST_F(Commands, HandlesArriveWithAnyCommand) {
  TCall call;
  call.Set("MSG-PROC-HANDLE", 55).Set("OWNER-FORM", 66);
  RunCommand(Module, "EVENTS-SUPPORT", call);
  EXPECT_EQ(Module.MessageWindow.load(), 55u);
  EXPECT_EQ(Module.OwnerForm, 66u);
}

TEST_F(Commands, WrongValueTypesGiveMinusThreeAndALogLine) {
  TCall window;
  window.Set("MSG-PROC-HANDLE", "not a number");
  EXPECT_EQ(RunCommand(Module, "EVENTS-SUPPORT", window), -3);
  EXPECT_EQ(Module.MessageWindow.load(), 0u);
  TCall state;
  state.Rec.Mode = 1;
  state.Set("RESULT", "yes");
  EXPECT_EQ(RunCommand(Module, "SET-STATE", state), -3);
  EXPECT_FALSE(Module.State(0));
  TCall temporary;
  temporary.Set("TEMPORARY-LOAD", "perhaps");
  Module.ReadTemporaryLoad(nullptr);  // a nil list reads nothing
  EXPECT_THROW(Module.ReadTemporaryLoad(CallParams(&temporary.Rec).Get()), EVariantError);
  std::string log = TakeLog(Module);
  EXPECT_NE(log.find("{EVENTS-SUPPORT}"), std::string::npos);
  EXPECT_NE(log.find("{SET-STATE}"), std::string::npos);
}

TEST_F(Commands, LanguageParameterSwitchesAtLoad) {
  int changes = 0;
  Module.OnChangeLanguage = [&](TkorPlugin& m) {
    ++changes;
    EXPECT_EQ(m.Language, "DE");
  };
  TCall same;
  same.Set("LANGUAGE", "EN");
  RunCommand(Module, "LOAD", same);
  EXPECT_EQ(changes, 0);
  TCall other;
  other.Set("LANGUAGE", "DE");
  RunCommand(Module, "LOAD", other);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Module.Language, "DE");
  EXPECT_TRUE(Module.Translated);
  TCall notLoad;
  notLoad.Set("LANGUAGE", "FR");
  RunCommand(Module, "EVENTS-SUPPORT", notLoad);
  EXPECT_EQ(Module.Language, "DE");
}

TEST(Construction, TemporaryLoadAndDefaults) {
  TFakeHost host;
  TCall none;
  none.Rec.Params = 0;
  TkorPlugin withoutParams(&none.Rec);
  EXPECT_TRUE(withoutParams.IsTemporaryLoad);
  TCall flagged;
  flagged.Set("TEMPORARY-LOAD", OleVariant(true));
  TkorPlugin temporary(&flagged.Rec);
  EXPECT_TRUE(temporary.IsTemporaryLoad);
  TCall plain;
  plain.Set("OTHER", 1);
  TkorPlugin loaded(&plain.Rec);
  EXPECT_FALSE(loaded.IsTemporaryLoad);
  EXPECT_EQ(loaded.ModulePath, "/opt/host/plugins/");
  EXPECT_EQ(loaded.ModuleName, "mbusplugin.so");
  EXPECT_EQ(loaded.DisplayFullVersion, "1.2.3.4");
  EXPECT_FLOAT_EQ(loaded.VersionNumber, 4.0F);
  EXPECT_EQ(loaded.InfoFlag, 1);
  EXPECT_EQ(loaded.ModuleRegistryRoot1, 2);
  EXPECT_EQ(loaded.ModuleRegistryRoot2, 1);
  EXPECT_EQ(loaded.Language, "EN");
  EXPECT_EQ(loaded.MsgNoData, "No data for processing");
}

}  // namespace
