// The module of testplugin, the plug-in library the boundary tests load: a
// TkorPlugin descendant whose handlers let the tests observe and steer the
// calls that reach an instance through the exports.
//
// Commands (OnCommand; RESULT receives the answer):
//   "NEST"     runs "EVENTS-SUPPORT" through the export from inside this
//              command; RESULT := the inner call's result
//   "FLAGS"    RESULT := the record's Flags as the handler sees them
//   "HOLD"     waits (at most 10 s) until "RELEASE" (any instance) opens the
//              gate; RESULT := the sequence number at its end
//   "MARK"     RESULT := the next sequence number
//   "RELEASE"  opens the gate
//   "HOLDING"  RESULT := 1 while a "HOLD" waits (any instance), else 0
//   "THROW"    raises an error
//   "STATS"    RESULT := "process=N;settings=M"
//   "PROPERTIES" RESULT := the persisted-property list read from the
//              library's form resource TAPLUGIN at creation, as text
//   "SEND"     sends the text "BYTES" as raw data (kind 129) for the data
//              source "ID"; RESULT := the host's answer
//   "ROW"      sends one parsed row (kind 9) for the data source "ID": a
//              text, a number with its unit, an integer; RESULT := answer
//   "RAW"      RESULT := every byte that ProcessData brought so far
//   "NOTICES"  RESULT := the port-state notices so far, "101;102;..." in hex
// OnProcessData: counts the call, keeps the bytes (InData Kind 4) and the
// port-state notices (Kind 7), and answers the item count of InData's list
// (1 when InData holds no list). OnShowOptionsDialog: changed := true.
// OnLoadSettingsNow: counts. OnGetOptionsDialog: the extra text
// "EXTRA-TEXT" and no form.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "framework/SysUtils.h"
#include "params/korParamLst.h"
#include "plugin/PluginBoundary.h"
#include "plugin/PluginCallRec.h"
#include "plugin/PluginRegistry.h"
#include "plugin/korPluginModule.h"
#include "plugin/korPluginParams.h"
#include "plugin/korPluginParserItems.h"
#include "plugin/korPluginProperties.h"

namespace {

std::atomic<std::int32_t> gSequence{0};
std::atomic<std::int32_t> gProcessCalls{0};
std::atomic<std::int32_t> gSettingsLoads{0};
std::atomic<bool> gGateOpen{false};
std::atomic<std::int32_t> gHolding{0};
std::mutex gDataLock;  // guards the two texts below
std::string gRawBytes;
std::string gNotices;

void Answer(kor::TPluginCallRec* rec, const OleVariant& value) {
  plugparams::WriteResult(CallParams(rec).Get(), value);
}

std::int32_t Nest(TkorPlugin& self, kor::TPluginCallRec* rec) {
  TkorParamsList params;
  params.Add("COMMAND", OleVariant("EVENTS-SUPPORT"));
  kor::TPluginCallRec inner{};
  inner.Size = kor::kCallRecSize;
  inner.ModulePluginHandle = reinterpret_cast<kor::TPluginPtr>(self.ModulePluginHandle);
  inner.Params = reinterpret_cast<kor::TPluginPtr>(&params);
  std::int32_t result = kor::ExecutePluginCommand(&inner);
  Answer(rec, OleVariant(result));
  return 0;
}

std::int32_t Hold(kor::TPluginCallRec* rec) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  ++gHolding;
  while (!gGateOpen.load() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  --gHolding;
  Answer(rec, OleVariant(++gSequence));
  return gGateOpen.load() ? 0 : -1;
}

std::int32_t ParamInt(kor::TPluginCallRec* rec, const char* name) {
  return plugparams::Read(CallParams(rec).Get(), name).AsInteger();
}

std::int32_t SendBytes(TkorPlugin& self, kor::TPluginCallRec* rec) {
  const std::string bytes = plugparams::Read(CallParams(rec).Get(), "BYTES").AsAnsiString();
  const std::int32_t answer =
      self.SendRawData(self.ModuleIndex, ParamInt(rec, "ID"),
                       static_cast<std::int32_t>(bytes.size()), bytes.data(), 0);
  Answer(rec, OleVariant(answer));
  return 0;
}

std::int32_t SendRow(TkorPlugin& self, kor::TPluginCallRec* rec) {
  TParsedDataList row;
  row.Add("DEVICE_ID", OleVariant("00001234"));
  row.Add("ENERGY", OleVariant(12.5));
  row.Add("ENERGY_UNIT", OleVariant("kWh"));
  row.Add("STORAGE", OleVariant(std::int32_t{2}));
  Answer(rec, OleVariant(self.SendParsedData(ParamInt(rec, "ID"), 0, row)));
  return 0;
}

std::int32_t Report(kor::TPluginCallRec* rec, const std::string& text) {
  Answer(rec, OleVariant(text));
  return 0;
}

std::int32_t RunTestCommand(TkorPlugin& self, const std::string& command,
                            kor::TPluginCallRec* rec) {
  if (command == "SEND") return SendBytes(self, rec);
  if (command == "ROW") return SendRow(self, rec);
  if (command == "RAW" || command == "NOTICES") {
    std::lock_guard<std::mutex> lock(gDataLock);
    return Report(rec, command == "RAW" ? gRawBytes : gNotices);
  }
  if (command == "NEST") return Nest(self, rec);
  if (command == "FLAGS") {
    Answer(rec, OleVariant(static_cast<std::int32_t>(rec->Flags)));
    return 0;
  }
  if (command == "HOLD") return Hold(rec);
  if (command == "MARK") {
    Answer(rec, OleVariant(++gSequence));
    return 0;
  }
  if (command == "HOLDING") {
    Answer(rec, OleVariant(gHolding.load() > 0 ? 1 : 0));
    return 0;
  }
  if (command == "RELEASE") {
    gGateOpen.store(true);
    return 0;
  }
  if (command == "THROW") throw Exception("Test failure");
  if (command == "PROPERTIES") {
    Answer(rec, OleVariant(self.Properties.Text()));
    return 0;
  }
  if (command == "STATS") {
    Answer(rec, OleVariant("process=" + std::to_string(gProcessCalls.load()) +
                           ";settings=" + std::to_string(gSettingsLoads.load())));
    return 0;
  }
  return kor::kResultUnknownCmd;
}

void ProcessTestData(kor::TPluginCallRec* rec, std::int32_t& result) {
  ++gProcessCalls;
  if (rec->InData.Kind == kor::kKindText && rec->InData.Value != 0) {
    std::lock_guard<std::mutex> lock(gDataLock);
    gRawBytes.append(kor::RecPointer<const char>(rec->InData.Value), rec->InData.Size);
  } else if (rec->InData.Kind == kor::kKindPortState) {
    char code[16];
    std::snprintf(code, sizeof code, "%X;", static_cast<unsigned>(rec->InData.Value));
    std::lock_guard<std::mutex> lock(gDataLock);
    gNotices += code;
  }
  std::int32_t count = kor::BlockListCount(rec->InData);
  result = count < 0 ? 1 : count;
}

class TTestPlugin : public TkorPlugin {
 public:
  TTestPlugin(kor::TPluginCallRec* rec, std::uintptr_t moduleHandle)
      : TkorPlugin(rec, moduleHandle) {
    Description = "Test module Z\xE4hler";  // system code page: a-umlaut
    ModuleType = 0x03;
    Capabilities = 0x05;
    VersionNumber = 5.0F;
    LoadFormStrings("TAPLUGIN", kPropertiesComponent, Properties);
    CustomCommands->Add("Read", "Reads now", "READ", true, false);
    OnCommand = [](TkorPlugin& self, const std::string& command, std::int32_t& result,
                   kor::TPluginCallRec* rec) { result = RunTestCommand(self, command, rec); };
    OnProcessData = [](TkorPlugin&, kor::TPluginCallRec* rec, std::int32_t& result) {
      ProcessTestData(rec, result);
    };
    OnShowOptionsDialog = [](TkorPlugin&, kor::TPluginCallRec*, bool& changed) { changed = true; };
    OnLoadSettingsNow = [](TkorPlugin&) { ++gSettingsLoads; };
    OnGetOptionsDialog = [](TkorPlugin&, kor::TPluginCallRec*, std::string& form,
                            std::string& extra) {
      form.clear();
      extra = "EXTRA-TEXT";
    };
    Created();
  }
};

TkorPlugin* CreateTestPlugin(kor::TPluginCallRec* rec, std::uintptr_t moduleHandle) {
  return new TTestPlugin(rec, moduleHandle);
}

struct TRegistration {
  TRegistration() noexcept { kor::RegisterPluginClass(&CreateTestPlugin); }
} const gRegistration;

}  // namespace
