#include "MbusModuleTestSupport.h"

#include <atomic>
#include <cstring>

#include "mbus/LastTimePoints.h"
#include "params/korParamLst.h"
#include "params/korParamLstIntf.h"

namespace mbustest {

namespace {

std::atomic<std::int32_t> gFolderCounter{0};

std::int32_t KOR_STDCALL FakeSendDataEx(std::int32_t, std::int32_t sourceId, std::int32_t,
                                        std::int32_t, std::int32_t kind, void* data, std::int32_t) {
  TFakeHostData& host = HostData();
  if (kind == kor::kSendRawData) {
    ++host.RawSends;
    return host.Answer;
  }
  auto* rec = static_cast<kor::TPluginCallRec*>(data);
  TDelivery delivery;
  delivery.DataSourceId = sourceId;
  // NOLINTBEGIN(performance-no-int-to-ptr)
  if (rec->InData.Kind == kor::kKindText)
    delivery.RawText.assign(reinterpret_cast<const char*>(rec->InData.Value), rec->InData.Size);
  IkorParamsListA* list = *reinterpret_cast<IkorParamsListA**>(rec->OutData.Value);
  // NOLINTEND(performance-no-int-to-ptr)
  for (std::int32_t i = 0; i < list->GetCount(); ++i) {
    TIntfRef<IkorParamsListItemA> item;
    if (list->GetItem(i, item.Put()) != plat::kSOk || !item) continue;
    const OleVariant value = HostItemValue(*item.Get());
    delivery.Items.emplace_back(item->GetName(), value.IsEmpty()  ? "(empty)"
                                                 : value.IsNull() ? "(null)"
                                                                  : value.AsAnsiString());
  }
  host.Deliveries.push_back(std::move(delivery));
  return host.Answer;
}

}  // namespace

std::int32_t TDelivery::Rows() const {
  std::int32_t rows = 0;
  for (const auto& item : Items)
    if (item.first == kRowMarkerName) ++rows;
  return rows;
}

std::string TDelivery::Value(const std::string& name, std::int32_t nth) const {
  for (const auto& item : Items)
    if (item.first == name && nth-- == 0) return item.second;
  return "(none)";
}

TFakeHostData& HostData() {
  static TFakeHostData data;
  return data;
}

void* FakeSendDataExAddress() {
  return reinterpret_cast<void*>(&FakeSendDataEx);
}

ModuleTest::ModuleTest() {
  HostData() = TFakeHostData();
  Folder = std::filesystem::temp_directory_path() /
           ("mbus-module-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + std::to_string(gFolderCounter++));
  std::filesystem::remove_all(Folder);
  std::filesystem::create_directories(Folder);
  Ini = (Folder / "host.ini").string();
  Host.AppData = Folder.string();
}

ModuleTest::~ModuleTest() {
  std::error_code ignored;
  std::filesystem::remove_all(Folder, ignored);
}

void ModuleTest::Load() {
  ASSERT_EQ(RunCommand(Module, "LOAD"), 0);
  Module.HostEntryPoints.SendDataEx = FakeSendDataExAddress();
  Module.INIFile = Ini;
  std::filesystem::create_directories(Module.ModuleDataPath());
}

std::int32_t ModuleTest::SetState(const std::string& sources, std::int32_t on, std::uint8_t mode) {
  TCall call;
  call.Set("DATA-SOURCES-IN-CFG", sources.c_str());
  call.Set("RESULT", on);
  call.Rec.Mode = mode;
  return RunCommand(Module, "SET-STATE", call);
}

void ModuleTest::StoreDocument(const std::string& document) {
  ASSERT_TRUE(Module.Config);
  Module.Config->lblParams_Caption = document;
  TCall call;
  call.Set("INI-FILE", Ini.c_str());
  ASSERT_EQ(RunCommand(Module, "SAVE-SETTINGS-NOW", call), 0);
  Module.Config->lblParams_Caption.clear();
}

double ModuleTest::StoredTimePoint(const std::string& device) const {
  return TLastTimePoints(Module.ModuleDataPath()).Read(device);
}

}  // namespace mbustest
