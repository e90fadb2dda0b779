// The exports as the host calls them: instance creation and freeing, the
// module information, the log fetch, the options-dialog package and the
// failure paths of each.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/plugin/PluginTestHost.h"

using namespace plugtest;
using kor::TPluginCallRec;

namespace {

// The test module's texts as GetModuleInfo sends them (UTF-8).
const std::string kTestDescription = "Test module Z\xC3\xA4hler";
const std::string kTestCommands = "Read|Reads now|READ|1|0\r\n";

std::vector<unsigned char> InfoBuffer(std::uint32_t size) {
  std::vector<unsigned char> buffer(size + 8, 0xCC);
  std::memcpy(buffer.data(), &size, sizeof(size));
  return buffer;
}

kor::TPluginModuleInfo& AsInfo(std::vector<unsigned char>& buffer) {
  return *reinterpret_cast<kor::TPluginModuleInfo*>(buffer.data());
}

}  // namespace

TEST(PluginInstances, CreateWritesTheHandleAndRefusesASecondOne) {
  host::TPluginHost host(LibraryPath(kTestPlugin));
  ASSERT_EQ(host.Create(), kor::kResultOk);
  const kor::TPluginPtr handle = host.Record().ModulePluginHandle;
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(host.Exports().CreatePluginInstance(&host.Record()), kor::kResultRefused);
  EXPECT_EQ(V(host.Record().ModulePluginHandle), handle);
  EXPECT_EQ(IntParameter(host, "ModuleLoadCount"), 0);
}

TEST(PluginInstances, FreeingTwiceRefusesTheSecondTime) {
  host::TPluginHost host(LibraryPath(kTestPlugin));
  ASSERT_EQ(host.Create(), kor::kResultOk);
  TPluginCallRec rec = RecordFor(host);
  EXPECT_EQ(host.Exports().FreePluginInstance(&rec), kor::kResultOk);
  EXPECT_EQ(host.Exports().FreePluginInstance(&rec), kor::kResultRefused);
  // The freed handle no longer reaches anything.
  TkorParamsList params;
  EXPECT_EQ(RawCommand(host, rec, "EVENTS-SUPPORT", params), kor::kResultRefused);
  host.Record().ModulePluginHandle = 0;
}

TEST(PluginInstances, UnloadMarkerSucceedsWithoutHandleAndOnlyOnce) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec marker{};
  marker.Size = kor::kCallRecSize;
  marker.InData.Kind = kor::kKindCode;
  marker.InData.Value = kor::kUnloadMarker;
  EXPECT_EQ(host->Exports().FreePluginInstance(&marker), kor::kResultOk);
  EXPECT_EQ(host->Exports().FreePluginInstance(&marker), kor::kResultOk);
  // Instances stay registered and working after unload-all.
  EXPECT_EQ(IntParameter(*host, "ModuleLoadCount"), 1);
}

TEST(PluginInstances, AnyCodeOtherThanTheMarkerFreesTheInstance) {
  host::TPluginHost host(LibraryPath(kTestPlugin));
  ASSERT_EQ(host.Create(), kor::kResultOk);
  TPluginCallRec rec = RecordFor(host);
  rec.InData.Kind = kor::kKindCode;
  rec.InData.Value = 0xFF02;
  EXPECT_EQ(host.Exports().FreePluginInstance(&rec), kor::kResultOk);
  host.Record().ModulePluginHandle = 0;
}

TEST(PluginModuleInfo, NoBufferTellsTheFullSize) {
  auto host = MakeHost(kTestPlugin);
  std::uint32_t needed = 12345;
  EXPECT_EQ(host->Exports().GetModuleInfo(&host->Record(), nullptr, &needed), 0);
  EXPECT_EQ(needed, kor::kModuleInfoHeaderSize + kTestDescription.size() + kTestCommands.size());
}

TEST(PluginModuleInfo, HeaderOnlyBufferGetsTheHeaderButNoTexts) {
  auto host = MakeHost(kTestPlugin);
  auto buffer = InfoBuffer(kor::kModuleInfoHeaderSize);
  std::uint32_t needed = 0;
  EXPECT_EQ(host->Exports().GetModuleInfo(&host->Record(), &AsInfo(buffer), &needed), 0);
  const kor::TPluginModuleInfo& info = AsInfo(buffer);
  EXPECT_EQ(V(info.Size), kor::kModuleInfoHeaderSize);
  EXPECT_EQ(V(info.ModuleType), 0x03u | (0x05u << 16));
  EXPECT_EQ(V(info.InterfaceVersion), 4u);
  EXPECT_EQ(V(info.VersionNumber), 5.0F);
  EXPECT_EQ(V(info.InfoFlag), 1);
  EXPECT_EQ(V(info.DescriptionLength), 0u);
  EXPECT_EQ(V(info.DescriptionText), 0u);
  EXPECT_EQ(V(info.CommandsLength), 0u);
  EXPECT_EQ(V(info.CommandsText), 0u);
  EXPECT_EQ(buffer[kor::kModuleInfoHeaderSize], 0xCC) << "nothing written past the header";
}

TEST(PluginModuleInfo, ExactBufferGetsBothTextsInPlace) {
  auto host = MakeHost(kTestPlugin);
  std::uint32_t needed = 0;
  host->Exports().GetModuleInfo(&host->Record(), nullptr, &needed);
  auto buffer = InfoBuffer(needed);
  ASSERT_EQ(host->Exports().GetModuleInfo(&host->Record(), &AsInfo(buffer), &needed), 1);
  const kor::TPluginModuleInfo& info = AsInfo(buffer);
  const char* base = reinterpret_cast<const char*>(buffer.data());
  EXPECT_EQ(V(info.Size), needed);
  ASSERT_EQ(V(info.DescriptionLength), kTestDescription.size());
  EXPECT_EQ(V(info.DescriptionText), Address(base + kor::kModuleInfoHeaderSize));
  EXPECT_EQ(std::string(base + kor::kModuleInfoHeaderSize, V(info.DescriptionLength)),
            kTestDescription);
  ASSERT_EQ(V(info.CommandsLength), kTestCommands.size());
  EXPECT_EQ(V(info.CommandsText),
            Address(base + kor::kModuleInfoHeaderSize + kTestDescription.size()));
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(V(info.CommandsText)), V(info.CommandsLength)),
      kTestCommands);
  EXPECT_EQ(buffer[needed], 0xCC) << "no terminator written";
}

TEST(PluginModuleInfo, OneByteShortFillsOnlyTheHeader) {
  auto host = MakeHost(kTestPlugin);
  std::uint32_t needed = 0;
  host->Exports().GetModuleInfo(&host->Record(), nullptr, &needed);
  auto buffer = InfoBuffer(needed - 1);
  EXPECT_EQ(host->Exports().GetModuleInfo(&host->Record(), &AsInfo(buffer), &needed), 0);
  EXPECT_EQ(V(AsInfo(buffer).InterfaceVersion), 4u);
  EXPECT_EQ(V(AsInfo(buffer).DescriptionLength), 0u);
}

TEST(PluginModuleInfo, GenericModuleHasNoTexts) {
  auto host = MakeHost(kGenericPlugin);
  std::uint32_t needed = 0;
  host->Exports().GetModuleInfo(&host->Record(), nullptr, &needed);
  EXPECT_EQ(needed, kor::kModuleInfoHeaderSize);
  host::TModuleInfo info = host->ModuleInfo();
  EXPECT_EQ(V(info.ModuleType), 0);
  EXPECT_EQ(V(info.InterfaceVersion), 4u);
  EXPECT_EQ(V(info.VersionNumber), 4.0F);
  EXPECT_TRUE(info.Description.empty());
  EXPECT_TRUE(info.Commands.empty());
}

TEST(PluginLog, TooSmallExactAndZeroBuffers) {
  auto host = MakeHost(kTestPlugin);
  host->FetchLog();  // whatever LOAD left
  TkorParamsList params;
  TPluginCallRec rec = RecordFor(*host);
  EXPECT_EQ(RawCommand(*host, rec, "THROW", params), kor::kResultError);
  char small[4] = {'x', 'x', 'x', 'x'};
  rec.InData.Value = Address(small);
  rec.InData.Size = sizeof(small);
  EXPECT_EQ(host->Exports().GetLogEx(&rec), 0);
  EXPECT_EQ(V(rec.OutData.Kind), kor::kKindStatus);
  const auto length = static_cast<std::uint32_t>(rec.OutData.Value);
  ASSERT_GT(length, sizeof(small));
  EXPECT_EQ(small[0], 'x') << "a small buffer is left alone";

  std::vector<char> exact(length + 1, '#');
  rec.InData.Value = Address(exact.data());
  rec.InData.Size = length;
  EXPECT_EQ(host->Exports().GetLogEx(&rec), static_cast<std::int32_t>(length));
  std::string text(exact.data(), length);
  EXPECT_EQ(text[0], '\x01') << "level 0";
  EXPECT_NE(text.find("Test failure"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(exact[length], '#') << "no terminator";
  EXPECT_EQ(host->Exports().GetLogEx(&rec), 0) << "fetching emptied the log";
  EXPECT_EQ(V(rec.OutData.Value), 0u);

  EXPECT_EQ(RawCommand(*host, rec, "THROW", params), kor::kResultError);
  rec.InData.Size = 0;
  EXPECT_EQ(host->Exports().GetLogEx(&rec), 0);
  EXPECT_GT(V(rec.OutData.Value), 0u);
  rec.InData.Size = length * 4;
  EXPECT_EQ(host->Exports().GetLogEx(&rec), 0) << "a zero capacity discarded the log";
}

TEST(PluginLog, HostFetchesOnTheLogMessage) {
  auto host = MakeHost(kTestPlugin);
  host->Pump(0);
  TkorParamsList params;
  EXPECT_EQ(host->Command("THROW", params), kor::kResultError);
  host->Pump(200);
  EXPECT_NE(host->LogText().find("Test failure"), std::string::npos) << host->LogText();
}

TEST(PluginOptionsDialog, PackageFromTheHandlerWithTooSmallAndExactBuffers) {
  auto host = MakeHost(kTestPlugin);
  TPluginCallRec rec = RecordFor(*host);
  std::vector<char> buffer(10, '\0');
  rec.InData.Value = Address(buffer.data());
  rec.InData.Size = 10;
  host->Exports().GetOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Kind), kor::kKindStatus);
  EXPECT_EQ(V(rec.OutData.Value), kor::kDialogBufferSmall);
  const std::uint32_t total = rec.OutData.Size;
  EXPECT_EQ(total, kor::kDialogPackageHeaderSize + std::string("EXTRA-TEXT").size());

  buffer.assign(total, '\0');
  rec.InData.Value = Address(buffer.data());
  rec.InData.Size = total;
  host->Exports().GetOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Kind), kor::kKindBytesWritten);
  EXPECT_EQ(V(rec.OutData.Value), total);
  std::uint32_t header[6];
  std::memcpy(header, buffer.data(), sizeof(header));
  EXPECT_EQ(header[0], 24u);
  EXPECT_EQ(header[1], 0u);
  EXPECT_EQ(header[2], 24u);
  EXPECT_EQ(header[3], 10u);
  EXPECT_EQ(header[4], 34u);
  EXPECT_EQ(header[5], 0u);
  EXPECT_EQ(std::string(buffer.data() + 24, 10), "EXTRA-TEXT");
}

TEST(PluginOptionsDialog, NothingToDeliverAndNoInstance) {
  auto host = MakeHost(kGenericPlugin);
  TPluginCallRec rec = RecordFor(*host);
  char buffer[64] = {};
  rec.InData.Value = Address(buffer);
  rec.InData.Size = sizeof(buffer);
  host->Exports().GetOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Value), kor::kDialogNothing);
  rec.ModulePluginHandle = 0;
  host->Exports().GetOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Value), kor::kDialogNoInstance);
  host->Exports().GetOptionsDialog(nullptr);  // returns at once
}

TEST(PluginOptionsDialog, ShowWithoutAndWithHandler) {
  auto generic = MakeHost(kGenericPlugin);
  TPluginCallRec rec = RecordFor(*generic);
  generic->Exports().ShowOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Value), kor::kShowNoDialog);
  rec.ModulePluginHandle = 0;
  generic->Exports().ShowOptionsDialog(&rec);
  EXPECT_EQ(V(rec.OutData.Value), kor::kShowNoInstance);
  EXPECT_EQ(V(rec.OutData.Size), 4u);

  auto test = MakeHost(kTestPlugin);
  const std::int32_t before = Stat(*test, "settings");
  TPluginCallRec show = RecordFor(*test);
  TkorParamsList params;
  params.Add("OWNER-FORM", OleVariant(std::int32_t{77}));
  show.Params = Address(&params);
  test->Exports().ShowOptionsDialog(&show);
  EXPECT_EQ(V(show.OutData.Value), kor::kShowChanged);
  EXPECT_EQ(V(show.Params), Address(&params)) << "Params restored";
  EXPECT_EQ(IntParameter(*test, "OWNER-FORM"), 77);
  // The instance was loaded on this thread: its settings were reloaded directly.
  EXPECT_EQ(Stat(*test, "settings"), before + 1);
}

TEST(PluginOptionsDialog, ChangedSettingsReachEveryInstanceOfTheSamePath) {
  host::TLoadOptions shared;
  shared.RegistryPath = "Software\\tests\\shared";
  auto first = MakeHost(kTestPlugin, true, shared);
  shared.ModuleIndex = 2;
  auto second = MakeHost(kTestPlugin, true, shared);
  host::TLoadOptions other;
  other.RegistryPath = "Software\\tests\\other";
  other.ModuleIndex = 3;
  auto third = MakeHost(kTestPlugin, true, other);
  const std::int32_t before = Stat(*first, "settings");
  TPluginCallRec show = RecordFor(*first);
  first->Exports().ShowOptionsDialog(&show);
  EXPECT_EQ(V(show.OutData.Value), kor::kShowChanged);
  EXPECT_EQ(Stat(*first, "settings"), before + 2);
}
