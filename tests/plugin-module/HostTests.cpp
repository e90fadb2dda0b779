#include <gtest/gtest.h>

#include <cstring>

#include "ModuleTestSupport.h"

namespace {

// What the fake Vornak_SendDataEx saw of its last call.
struct TSeen {
  int Calls = 0;
  std::int32_t Args[5] = {};
  std::int32_t Last = 0;
  std::string Bytes;
  std::uint32_t RecSize = 0;
  std::uint8_t RecFlags = 0;
  std::uint8_t InKind = 0;
  std::string RawText;
  std::uint8_t OutKind = 0;
  std::int32_t ListCount = -1;
  std::int32_t SourceId = 0;
  std::int32_t Answer = 0;
};
TSeen gSeen;

std::int32_t KOR_STDCALL FakeSendDataEx(std::int32_t moduleIndex, std::int32_t sourceId,
                                        std::int32_t count, std::int32_t zero, std::int32_t kind,
                                        void* data, std::int32_t last) {
  ++gSeen.Calls;
  std::int32_t args[5] = {moduleIndex, sourceId, count, zero, kind};
  std::memcpy(gSeen.Args, args, sizeof args);
  gSeen.Last = last;
  if (kind == kor::kSendRawData) {
    gSeen.Bytes.assign(static_cast<const char*>(data), static_cast<std::size_t>(count));
    return gSeen.Answer;
  }
  auto* rec = static_cast<kor::TPluginCallRec*>(data);
  gSeen.RecSize = rec->Size;
  gSeen.RecFlags = rec->Flags;
  gSeen.InKind = rec->InData.Kind;
  // Value fields carry addresses as the host receives them.
  // NOLINTBEGIN(performance-no-int-to-ptr)
  if (rec->InData.Kind == kor::kKindText)
    gSeen.RawText.assign(reinterpret_cast<const char*>(rec->InData.Value), rec->InData.Size);
  gSeen.OutKind = rec->OutData.Kind;
  IkorParamsListA* list = *reinterpret_cast<IkorParamsListA**>(rec->OutData.Value);
  // NOLINTEND(performance-no-int-to-ptr)
  gSeen.ListCount = list->GetCount();
  plat::TVarData value;
  std::memset(static_cast<void*>(&value), 0, sizeof value);
  if (list->GetValue("DATA_SOURCE_ID", 0, -1, &value) == plat::kSOk)
    gSeen.SourceId = value.VInteger;
  plat::VariantClear(value);
  return 0;
}

class HostEntryPoints : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen = TSeen();
    Host.Symbols["Vornak_SendDataEx"] = reinterpret_cast<void*>(&FakeSendDataEx);
    Host.LoadedModules["host.exe"] = 0x4000;
  }
  void LoadWith(const char* name, const OleVariant& value) {
    TCall call;
    call.Rec.ModuleIndex = 3;
    call.Set(name, value);
    ASSERT_EQ(RunCommand(Module, "LOAD", call), 0);
  }

  TFakeHost Host;
  TkorPlugin Module;
};

TEST_F(HostEntryPoints, WithoutHostNothingIsSent) {
  TParsedDataList list;
  Module.SendParsedData(1, 0, list);
  EXPECT_EQ(gSeen.Calls, 0);
  char byte = 0x10;
  EXPECT_EQ(Module.SendRawData(0, 1, 1, &byte, 0), -1);
}

TEST_F(HostEntryPoints, HandleParameterNamesTheHostModule) {
  LoadWith("HANDLE", OleVariant(0x1234));
  EXPECT_EQ(Module.ParentApp, 0x1234u);
  EXPECT_EQ(Host.LastSymbolModule, 0x1234u);
  EXPECT_NE(Module.HostEntryPoints.SendDataEx.load(), nullptr);
  EXPECT_EQ(Module.HostEntryPoints.SendNotify.load(), nullptr);
}

TEST_F(HostEntryPoints, ApplicationNameFindsTheLoadedModule) {
  LoadWith("APPLICATION-NAME", OleVariant("host.exe"));
  EXPECT_EQ(Module.ParentApp, 0x4000u);
  EXPECT_EQ(Host.LastSymbolModule, 0x4000u);
  EXPECT_NE(Module.HostEntryPoints.SendDataEx.load(), nullptr);
}

TEST_F(HostEntryPoints, RawDataPassesThroughWithKind129) {
  LoadWith("HANDLE", OleVariant(1));
  gSeen.Answer = -5;
  const char bytes[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
  EXPECT_EQ(Module.SendRawData(Module.ModuleIndex, 8, 5, bytes, 0), -5);
  EXPECT_EQ(gSeen.Args[0], 3);
  EXPECT_EQ(gSeen.Args[1], 8);
  EXPECT_EQ(gSeen.Args[2], 5);
  EXPECT_EQ(gSeen.Args[3], 0);
  EXPECT_EQ(gSeen.Args[4], 129);
  EXPECT_EQ(gSeen.Bytes, std::string(bytes, 5));
}

TEST_F(HostEntryPoints, ParsedDataTravelsAsAListInterface) {
  LoadWith("HANDLE", OleVariant(1));
  TParsedDataList list;
  Module.FillStandardValues(list, "full", "", 21, 0, "COM1", "Port", "");
  list.AppendRawText("68 03 03 68");
  Module.SendParsedData(21, 0, list);
  ASSERT_EQ(gSeen.Calls, 1);
  EXPECT_EQ(gSeen.Args[0], 3);
  EXPECT_EQ(gSeen.Args[1], 21);
  EXPECT_EQ(gSeen.Args[2], 0);
  EXPECT_EQ(gSeen.Args[4], 9);
  EXPECT_EQ(gSeen.RecSize, kor::kCallRecSize);
  EXPECT_EQ(gSeen.RecFlags, 1);
  EXPECT_EQ(gSeen.InKind, kor::kKindText);
  EXPECT_EQ(gSeen.RawText, "68 03 03 68");
  EXPECT_EQ(gSeen.OutKind, kor::kKindParamsIntfW);
  EXPECT_EQ(gSeen.ListCount, 5);
  EXPECT_EQ(gSeen.SourceId, 21);
  EXPECT_EQ(list.Count(), 5);  // the list stays the caller's
}

TEST_F(HostEntryPoints, ParsedDataWithoutRawTextHasNoInput) {
  LoadWith("HANDLE", OleVariant(1));
  TParsedDataList list;
  Module.SendParsedData(2, 0, list);
  EXPECT_EQ(gSeen.InKind, 0);
  EXPECT_EQ(gSeen.ListCount, 0);
}

TEST_F(HostEntryPoints, ReloadNoticeGoesToTheWindow) {
  Module.MessageWindow = 42;
  Module.ModuleIndex = 6;
  Module.NotifyReloadSettings();
  auto posted = Host.MessagesOf(kor::kMsgReloadSettings);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].WParam, 6u);
}

TEST(MainInstance, FirstWithTheSameRegistryPath) {
  TFakeHost host;
  TThreadObjectList registry(false);
  TkorPlugin a, b, c;
  a.ModuleRegistryPath = "one";
  b.ModuleRegistryPath = "two";
  c.ModuleRegistryPath = "two";
  registry.Add(&a);
  registry.Add(&b);
  registry.Add(&c);
  EXPECT_EQ(c.FindMainInstance(registry), &b);
  TkorPlugin d;
  d.ModuleRegistryPath = "three";
  EXPECT_EQ(d.FindMainInstance(registry), nullptr);
}

}  // namespace
