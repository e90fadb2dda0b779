#include <gtest/gtest.h>

#include "ModuleTestSupport.h"

namespace {

class ModuleParameters : public ::testing::Test {
 protected:
  OleVariant Get(const char* name) {
    TCall call;
    call.Set("PARAM", name).WithResult();
    EXPECT_EQ(RunCommand(Module, "GET-MODULE-PARAMETER", call), 0);
    return call.Result();
  }
  OleVariant SetParam(const char* name, const OleVariant& value) {
    TCall call;
    call.Set("PARAM", name).Set("VALUE", value).WithResult();
    EXPECT_EQ(RunCommand(Module, "SET-MODULE-PARAMETER", call), 0);
    return call.Result();
  }
  bool Accepted(const char* name, const OleVariant& value) {
    OleVariant result = SetParam(name, value);
    EXPECT_EQ(result.VType(), plat::varBoolean);
    return result.AsBoolean();
  }

  TFakeHost Host;
  TkorPlugin Module;
};

TEST_F(ModuleParameters, WithoutParamBothCommandsAnswerMinusTwo) {
  EXPECT_EQ(RunCommand(Module, "GET-MODULE-PARAMETER"), -2);
  EXPECT_EQ(RunCommand(Module, "SET-MODULE-PARAMETER"), -2);
}

TEST_F(ModuleParameters, NamesIgnoreCase) {
  EXPECT_EQ(Get("modulename").AsAnsiString(), "mbusplugin.so");
  EXPECT_EQ(Get("MODULEPATH").AsAnsiString(), "/opt/host/plugins/");
  EXPECT_EQ(Get("DisplayFullVersion").AsAnsiString(), "1.2.3.4");
  EXPECT_EQ(Get("moduleregistryroot1").VType(), plat::varByte);
  EXPECT_EQ(Get("moduleregistryroot1").AsInteger(), 2);
}

TEST_F(ModuleParameters, UnknownNamesGiveEmptyAndAreRefused) {
  EXPECT_TRUE(Get("NoSuchParameter").IsEmpty());
  EXPECT_FALSE(Accepted("NoSuchParameter", OleVariant(1)));
  EXPECT_FALSE(Accepted("ModulePath", OleVariant("x")));  // read-only
  EXPECT_EQ(Get("ModulePath").AsAnsiString(), "/opt/host/plugins/");
}

TEST_F(ModuleParameters, TextParametersRoundTrip) {
  EXPECT_TRUE(Accepted("logtitle", OleVariant("M-Bus")));
  EXPECT_EQ(Get("LogTitle").AsAnsiString(), "M-Bus");
  EXPECT_TRUE(Accepted("Description", OleVariant("Meter reader")));
  EXPECT_EQ(Get("DESCRIPTION").AsAnsiString(), "Meter reader");
  EXPECT_TRUE(Accepted("EventsSupported", OleVariant("PORT-OPEN")));
  EXPECT_EQ(Module.EventsSupported, "PORT-OPEN");
  Module.AddLog(1, "x");
  EXPECT_EQ(TakeLog(Module), "\x02M-Bus. x\r\n");
}

TEST_F(ModuleParameters, ParserItemIndexes) {
  Module.AddParserItem("VOL", "Volume", "", 5);
  Module.AddParserItem("ENERGY", "Energy", "", 15);
  EXPECT_EQ(Get("ParserItemsCount").AsInteger(), 2);
  EXPECT_EQ(Get("ParserItemName0").AsAnsiString(), "VOL");
  EXPECT_EQ(Get("ParserItemDesc1").AsAnsiString(), "Energy");
  EXPECT_EQ(Get("ParserItemType1").VType(), plat::varByte);
  EXPECT_EQ(Get("ParserItemType001").AsInteger(), 15);
  EXPECT_TRUE(Get("ParserItemName").IsEmpty());
  EXPECT_TRUE(Get("ParserItemNameX").IsEmpty());
  EXPECT_TRUE(Get("ParserItemName2").IsEmpty());  // beyond the count
  EXPECT_TRUE(Get("parseritemname0").IsEmpty());  // the prefix is exact
  EXPECT_EQ(Get("parseritems").AsAnsiString(), "Volume|VOL|Float|\r\nEnergy|ENERGY|Int64|");
}

TEST_F(ModuleParameters, ParserItemsCanBeSet) {
  EXPECT_TRUE(Accepted("ParserItems", OleVariant("a|A|Word\r\nb|B|Byte")));
  EXPECT_EQ(Module.ParserItemCount(), 2);
  EXPECT_EQ(Get("ParserItemType1").AsInteger(), 13);
}

TEST_F(ModuleParameters, CustomKeys) {
  EXPECT_EQ(Get("CustomCOUNT").AsInteger(), 0);
  EXPECT_TRUE(Accepted("Custom_abc", OleVariant(12)));
  EXPECT_TRUE(Accepted("Custom:Port", OleVariant("COM3")));
  EXPECT_TRUE(Accepted("CustomSpeed", OleVariant(2400)));
  EXPECT_EQ(Get("CustomCOUNT").AsInteger(), 3);
  EXPECT_EQ(Get("Custom abc").AsInteger(), 12);          // the separator is dropped
  EXPECT_EQ(Get("Custom_port").AsAnsiString(), "COM3");  // keys ignore case
  EXPECT_EQ(Get("Custom1").AsAnsiString(), "COM3");      // an index
  EXPECT_EQ(Get("Custom_2").AsInteger(), 2400);
  EXPECT_TRUE(Get("Custom7").IsEmpty());
  EXPECT_TRUE(Get("Custom_none").IsEmpty());
  EXPECT_TRUE(Get("Custom").IsEmpty());
  EXPECT_TRUE(Get("custom_abc").IsEmpty());          // "Custom" is exact
  EXPECT_TRUE(Accepted("Custom0", OleVariant(99)));  // set by index
  EXPECT_EQ(Get("Custom_abc").AsInteger(), 99);
  EXPECT_FALSE(Accepted("Custom9", OleVariant(1)));  // no such index
  EXPECT_FALSE(Accepted("Custom_", OleVariant(1)));  // empty key
  EXPECT_TRUE(Accepted("Custom COUNT", OleVariant()));
  EXPECT_EQ(Get("CustomCOUNT").AsInteger(), 0);
}

TEST_F(ModuleParameters, CountIsExact) {
  Accepted("Custom_abc", OleVariant(1));
  EXPECT_TRUE(Get("CustomCount").IsEmpty());  // a key like any other
  EXPECT_TRUE(Accepted("Custom_count", OleVariant(5)));
  EXPECT_EQ(Get("CustomCOUNT").AsInteger(), 2);
}

TEST_F(ModuleParameters, CustomCommands) {
  EXPECT_TRUE(Accepted("CustomCommands", OleVariant("a|b|c|1")));
  EXPECT_EQ(Get("CustomCommands").AsAnsiString(), "");
  EXPECT_TRUE(Accepted("CustomCommands", OleVariant("Read|READ|All meters|1|0")));
  EXPECT_EQ(Get("customcommands").AsAnsiString(), "Read|READ|All meters|1|0\r\n");
  EXPECT_EQ(Module.CommandListText(), "Read|READ|All meters|1|0\r\n");
}

TEST_F(ModuleParameters, ModuleTypeIsAMask) {
  EXPECT_TRUE(Accepted("ModuleType", OleVariant(3)));
  EXPECT_EQ(Module.ModuleType, 3);
  EXPECT_EQ(Get("ModuleType").AsInteger(), 3);
  EXPECT_FALSE(Accepted("ModuleType", OleVariant("many")));
  EXPECT_EQ(Module.ModuleType, 3);
}

TEST_F(ModuleParameters, StatesAndCounters) {
  Module.States[1] = true;
  Module.States[6] = true;
  EXPECT_EQ(Get("ModuleEnabled").AsInteger(), 0x42);
  RunCommand(Module, "LOAD");
  EXPECT_EQ(Get("ModuleLoadCount").AsInteger(), 1);
  EXPECT_FALSE(Get("TerminateNow").AsBoolean());
  EXPECT_EQ(Get("TerminateNow").VType(), plat::varBoolean);
  EXPECT_FALSE(Get("IsTemporaryLoad").AsBoolean());
  EXPECT_EQ(static_cast<std::uintptr_t>(Get("ModulePluginHandle").AsInt64()),
            reinterpret_cast<std::uintptr_t>(&Module));
}

TEST_F(ModuleParameters, OwnerFormAndSubscribe) {
  EXPECT_TRUE(Accepted("OWNER-FORM", OleVariant(321)));
  EXPECT_EQ(Get("owner-form").AsInt64(), 321);
  EXPECT_TRUE(Accepted("SUBSCRIBE-FOR-DATA", OleVariant(true)));
  EXPECT_TRUE(Module.SubscribeForData);
}

TEST_F(ModuleParameters, TranslatorProperties) {
  EXPECT_EQ(Get("TranslatorComponentProperties").AsAnsiString(),
            "MsgNoData\r\nMsgWriteComplete\r\nMsgWriteCompleteError\r\n");
  EXPECT_TRUE(Accepted("TranslatorComponentProperties", OleVariant("Caption;Hint|Text")));
  EXPECT_EQ(Module.Translator->Properties.size(), 6u);
  EXPECT_EQ(Module.Translator->Properties.back(), "Text");
}

TEST_F(ModuleParameters, TestTranslFollowsTheCommandLine) {
  EXPECT_FALSE(Get("TESTTRANSL").AsBoolean());
  Host.Arguments = {"host.exe", "/testtransl"};
  EXPECT_FALSE(Get("TESTTRANSL").AsBoolean());
  Host.Arguments = {"host.exe", "/TESTTRANSL"};
  EXPECT_TRUE(Get("TESTTRANSL").AsBoolean());
}

TEST_F(ModuleParameters, Paths) {
  Module.ModuleRegistryPath = "Software\\Maker\\Host\\Proj:ect*1\\more";
  Module.INISectionPrefix = "{Data:Meters}rest";
  Module.Description = "M/Bus\r\nsecond line";
  EXPECT_EQ(Get("AppDataPath").AsAnsiString(), "/data/common/Proj ect 1/");
  EXPECT_EQ(Get("ModuleConfigId").AsAnsiString(), "Meters");
  EXPECT_EQ(Get("ModuleDataPath").AsAnsiString(), "/data/common/Proj ect 1/Meters/M-Bus/");
  Module.INISectionPrefix = "{Data}";
  Module.Description.clear();
  EXPECT_EQ(Module.ModuleConfigId(), "Data");
  EXPECT_EQ(Module.ModuleDataPath(), "/data/common/Proj ect 1/Data/mbusplugin/");
  Module.INISectionPrefix = "plain";
  EXPECT_EQ(Module.ModuleConfigId(), "");
  EXPECT_EQ(Module.ModuleDataPath(), "/data/common/Proj ect 1/mbusplugin/");
  Module.ModuleRegistryPath = "short";
  EXPECT_EQ(Module.AppDataPath(), "/data/common/");
}

TEST_F(ModuleParameters, ResultIsDroppedWithoutTheItem) {
  TCall call;
  call.Set("PARAM", "ModuleName");
  EXPECT_EQ(RunCommand(Module, "GET-MODULE-PARAMETER", call), 0);
  EXPECT_EQ(call.List().IndexOf("RESULT"), -1);
}

TEST_F(ModuleParameters, StatesFromMask) {
  Module.States[0] = true;
  Module.States[2] = true;
  EXPECT_EQ(Module.StatesFromMask(OleVariant(7), false), 7);
  EXPECT_EQ(Module.StatesFromMask(OleVariant(7), true), 5);
  EXPECT_EQ(Module.StatesFromMask(OleVariant(), false), 0);
  EXPECT_EQ(Module.StatesFromMask(OleVariant::Null(), false), 0);
  EXPECT_EQ(Module.StatesFromMask(OleVariant(0x100), false), 0);
}

}  // namespace
