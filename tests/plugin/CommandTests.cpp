// Host commands through ExecutePluginCommand: LOAD/UNLOAD nesting and the
// unloaded state, SET-STATE masks, nested commands and caught errors.
#include <gtest/gtest.h>

#include "tests/plugin/PluginTestHost.h"

using namespace plugtest;
using kor::ModeBit;
using kor::TPluginCallRec;

namespace {

std::int32_t SetState(host::TPluginHost& host, std::uint8_t mode, std::int32_t value) {
  TkorParamsList params;
  params.Add("RESULT", OleVariant(value));
  host.Record().Mode = mode;
  std::int32_t result = host.Command("SET-STATE", params);
  host.Record().Mode = 0;
  return result;
}

std::int32_t ProcessOne(host::TPluginHost& host) {
  TPluginCallRec rec = RecordFor(host);
  TkorParamsList params;
  TkorParamsList input;
  input.Add("A", OleVariant(std::int32_t{1}));
  rec.Params = Address(&params);
  rec.Mode = ModeBit(0);
  rec.InData.Kind = kor::kKindParamsList;
  rec.InData.Value = Address(&input);
  return host.Exports().ProcessData(&rec);
}

}  // namespace

TEST(PluginCommands, LoadAndUnloadNest) {
  auto host = MakeHost(kTestPlugin);
  EXPECT_EQ(host->Load(), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 2);
  EXPECT_EQ(host->Command("UNLOAD"), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 1);
  EXPECT_FALSE(host->GetModuleParameter("TerminateNow").AsBoolean());
  EXPECT_EQ(ProcessOne(*host), 1) << "still loaded";
  EXPECT_EQ(host->Command("UNLOAD"), kor::kResultOk);
  EXPECT_TRUE(host->GetModuleParameter("TerminateNow").AsBoolean());
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 0);
}

TEST(PluginCommands, ProcessDataAfterUnloadIsRefusedWithoutTheHandler) {
  auto host = MakeHost(kTestPlugin);
  EXPECT_EQ(host->Command("UNLOAD"), kor::kResultOk);
  const std::int32_t before = Stat(*host, "process");
  EXPECT_EQ(ProcessOne(*host), kor::kResultRefused);
  EXPECT_EQ(Stat(*host, "process"), before);
  EXPECT_EQ(host->Command("UNLOAD"), kor::kResultOk) << "an extra UNLOAD is ignored";
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 0);
  EXPECT_EQ(host->Load(), kor::kResultOk);
  EXPECT_EQ(ProcessOne(*host), 1) << "loaded again";
}

TEST(PluginCommands, SetStateMasks) {
  auto host = MakeHost(kTestPlugin);
  EXPECT_EQ(SetState(*host, ModeBit(0) | ModeBit(1), 1), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0x03);
  EXPECT_EQ(SetState(*host, ModeBit(5), 1), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0x23);
  EXPECT_EQ(SetState(*host, ModeBit(0), 0), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0x22);
  EXPECT_EQ(SetState(*host, 0xFF, 2), kor::kResultOk) << "only 1 sets a state";
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0);
  TkorParamsList withoutResult;
  host->Record().Mode = ModeBit(0);
  EXPECT_EQ(host->Command("SET-STATE", withoutResult), kor::kResultRefused);
  host->Record().Mode = 0;
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0);
}

TEST(PluginCommands, UnloadClearsTheStates) {
  auto host = MakeHost(kTestPlugin);
  EXPECT_EQ(SetState(*host, 0xFF, 1), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0xFF);
  EXPECT_EQ(host->Command("UNLOAD"), kor::kResultOk);
  EXPECT_EQ(IntParameter(*host, "ModuleEnabled"), 0);
}

TEST(PluginCommands, NestedCommandIsRefused) {
  auto host = MakeHost(kTestPlugin);
  host->FetchLog();
  std::int32_t result = 0;
  OleVariant inner = CommandResult(*host, "NEST", &result);
  EXPECT_EQ(result, kor::kResultOk) << "the running command is not disturbed";
  EXPECT_EQ(inner.AsInteger(), kor::kResultError);
  std::string log = host->FetchLog();
  EXPECT_NE(log.find("Nested plugin commands are not allowed"), std::string::npos) << log;
  EXPECT_EQ(host->Command("EVENTS-SUPPORT"), kor::kResultOk) << "the next command runs";
}

TEST(PluginCommands, CaughtErrorIsMinusThreeAndLogged) {
  auto host = MakeHost(kTestPlugin);
  host->FetchLog();
  EXPECT_EQ(host->Command("THROW"), kor::kResultError);
  std::string log = host->FetchLog();
  EXPECT_NE(log.find("Test failure"), std::string::npos) << log;
  EXPECT_EQ(log[0], '\x01');
}

TEST(PluginCommands, UnknownAndMissingCommands) {
  auto host = MakeHost(kGenericPlugin);
  EXPECT_EQ(host->Command("load"), kor::kResultUnknownCmd) << "names are case-sensitive";
  TPluginCallRec rec = RecordFor(*host);
  TkorParamsList params;
  rec.Params = Address(&params);
  EXPECT_EQ(host->Exports().ExecutePluginCommand(&rec), kor::kResultRefused) << "no COMMAND";
}

TEST(PluginCommands, LoadReadsTheHostEnvironment) {
  host::TLoadOptions options;
  options.RegistryPath = "Software\\Maker\\Host\\Project 1\\Plugins";
  options.ModuleIndex = 7;
  auto host = MakeHost(kGenericPlugin, true, options);
  EXPECT_EQ(IntParameter(*host, "ModuleIndex"), 7);
  EXPECT_EQ(host->GetModuleParameter("ModuleRegistryPath").AsAnsiString(), options.RegistryPath);
  EXPECT_EQ(host->GetModuleParameter("ParentApp").AsInt64(),
            static_cast<std::int64_t>(plat::ExecutableModule()));
  EXPECT_EQ(host->GetModuleParameter("ModuleName").AsAnsiString(),
            LibraryPath(kGenericPlugin)
                .substr(LibraryPath(kGenericPlugin).find_last_of(plat::kPathDelimiter) + 1));
}
