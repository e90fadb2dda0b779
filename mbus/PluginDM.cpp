#include "mbus/PluginDM.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <mutex>
#include <thread>

#include "framework/LockGuards.h"
#include "framework/SysUtils.h"
#include "mbus/RequestConfig.h"
#include "mbus/SerialPortDM.h"
#include "params/korParamLstIntf.h"
#include "platform/Text.h"
#include "plugin/PluginRegistry.h"
#include "plugin/korPluginParams.h"
#include "plugin/korPluginProperties.h"
#include "plugin/korTranslatorAdapters.h"

namespace {

constexpr std::uint8_t kItemText = 0;
constexpr std::uint8_t kItemInteger = 8;
constexpr std::uint8_t kItemDateTime = 11;
constexpr std::uint8_t kResetOnNextTick = 2;
constexpr std::uint32_t kLastPrimaryAddress = 250;
constexpr std::uint32_t kCancelStepMs = 10;

bool SameText(const std::string& a, const std::string& b) {
  return plat::AnsiLowerCase(a) == plat::AnsiLowerCase(b);
}

// The item at index of the event's list (Empty outside it).
OleVariant ParamAt(IkorParamsListA* params, std::int32_t index) {
  if (params == nullptr || index < 0 || index >= params->GetCount()) return OleVariant();
  TIntfRef<IkorParamsListItemA> item;
  if (params->GetItem(index, item.Put()) != plat::kSOk || !item) return OleVariant();
  return HostItemValue(*item.Get());
}

// P0 by name and the three items after it.
std::vector<OleVariant> EventArguments(IkorParamsListA* params) {
  std::vector<OleVariant> args(4);
  std::int32_t at = -1;
  if (params == nullptr || params->IndexOf("P0", 0, -1, &at) != plat::kSOk || at < 0) return args;
  for (std::int32_t i = 0; i < 4; ++i) args[static_cast<std::size_t>(i)] = ParamAt(params, at + i);
  return args;
}

std::string AsText(const OleVariant& value) {
  return value.IsEmpty() || value.IsNull() ? std::string() : value.AsAnsiString();
}

std::int32_t AsInt(const OleVariant& value, std::int32_t def) {
  std::int32_t number = def;
  if (value.IsEmpty() || value.IsNull()) return def;
  return TryParseInt32(value.AsAnsiString(), number) ? number : def;
}

// The value as an unsigned 32-bit number (a negative one by its low 32
// bits, as the dialog may pass large numbers signed); 0 when none.
std::uint32_t AsUInt32(const OleVariant& value) {
  const std::string text = std::string(Trim(AsText(value)));
  std::int64_t number = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, number, 10);
  if (ec != std::errc() || ptr != end || text.empty()) return 0;
  return static_cast<std::uint32_t>(number);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    std::string line = text.substr(from, end == std::string::npos ? end : end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (end == std::string::npos) {
      if (!line.empty()) lines.push_back(line);
      break;
    }
    lines.push_back(line);
    from = end + 1;
  }
  return lines;
}

std::string RequestFragment(IkorParamsListA* params) {
  const std::vector<OleVariant> args = EventArguments(params);
  std::vector<std::int32_t> selected;
  for (const std::string& line : Lines(AsText(args[1]))) {
    std::int32_t index = -1;
    if (TryParseInt32(line, index)) selected.push_back(index);
  }
  return BuildRequestFragment(Lines(AsText(args[0])), selected, AsInt(args[2], 0),
                              AsInt(args[3], 0));
}

std::unique_ptr<TkorParamsList> CopyParams(IkorParamsListA* params) {
  if (params == nullptr) return nullptr;
  auto copy = std::make_unique<TkorParamsList>();
  for (std::int32_t i = 0; i < params->GetCount(); ++i) {
    TIntfRef<IkorParamsListItemA> item;
    if (params->GetItem(i, item.Put()) == plat::kSOk && item) copy->AddItemIntf(item.Get());
  }
  return copy;
}

// A named event for one source's requests: MethodEvent items of that name
// (any letter case) are triggered with the event's parameters; "PORT-OPEN"
// makes every item due again without triggering any. LastStart and
// Attempts stay as they are.
void ApplyEventToRequests(TQueueControllerTimer& queue, const std::string& eventType, bool portOpen,
                          const TkorParamsList* eventParams) {
  const std::string key = plat::AnsiLowerCase(eventType);
  TWriteLock list(*queue.Requests);
  std::lock_guard<TCriticalSection> run(queue.RunLock());
  for (std::int32_t i = 0; i < list->Count(); ++i) {
    auto* item = dynamic_cast<TBasicRequestItem*>(list->Items(i));
    if (item == nullptr) continue;
    const bool match =
        item->Method == MethodEvent && plat::AnsiLowerCase(item->Schedule.Text) == key;
    if (match || portOpen) item->PollTimer.Clear();
    if (!match) continue;
    if (eventParams != nullptr) {
      if (!item->EventParams) item->EventParams = std::make_unique<TkorParamsList>();
      item->EventParams->Clear();
      item->EventParams->AddList(eventParams);
    }
    if (!portOpen) {
      item->Triggered = true;
      queue.Cursor = -1;
      queue.PauseTimer.Clear();
    }
  }
}

TkorPlugin* CreateMbusPlugin(kor::TPluginCallRec* rec, std::uintptr_t moduleHandle) {
  return new TaPlugin(rec, moduleHandle);
}

struct TRegistration {
  TRegistration() noexcept { kor::RegisterPluginClass(&CreateMbusPlugin); }
} const gRegistration;

}  // namespace

TaPlugin::TaPlugin(kor::TPluginCallRec* rec, std::uintptr_t moduleHandle)
    : TkorPlugin(rec, moduleHandle) {
  VersionNumber = 5.0F;
  Description = "M-Bus";
  SetLogTitle("M-Bus");
  ModuleType = 0x03;
  EventsSupported = "PORT-OPEN";
  InfoFlag = 1;
  LoadFormStrings("TAPLUGIN", kPropertiesComponent, Properties);
  Resources = new TTextResources(&FComponents);
  if (Translator) {
    Translator->AddProperty("Filter");
    Translator->AddProperty("Columns");
  }
  OnLoad = [](TkorPlugin& self, kor::TPluginCallRec* r, std::int32_t& result) {
    static_cast<TaPlugin&>(self).korPluginLoad(r, result);
  };
  OnUnload = [](TkorPlugin& self, kor::TPluginCallRec* r, std::int32_t& result) {
    static_cast<TaPlugin&>(self).korPluginUnload(r, result);
  };
  OnChangeState = [](TkorPlugin& self, std::uint8_t mode) {
    static_cast<TaPlugin&>(self).korPluginChangeState(mode);
  };
  OnBeforeGetParserItems = [](TkorPlugin& self) {
    static_cast<TaPlugin&>(self).korPluginBeforeGetParserItems();
  };
  OnSaveSettingsNow = [](TkorPlugin& self) {
    static_cast<TaPlugin&>(self).korPluginSaveSettingsNow();
  };
  OnLoadSettingsNow = [](TkorPlugin& self) {
    static_cast<TaPlugin&>(self).korPluginLoadSettingsNow();
  };
  OnShowOptionsDialog = [](TkorPlugin& self, kor::TPluginCallRec*, bool& changed) {
    static_cast<TaPlugin&>(self).korPluginShowOptionsDialog(changed);
  };
  OnProcessData = [](TkorPlugin& self, kor::TPluginCallRec* r, std::int32_t& result) {
    static_cast<TaPlugin&>(self).korPluginProcessData(r, result);
  };
  OnEvent = [](TkorPlugin& self, const std::string& type, std::int32_t& result,
               kor::TPluginCallRec* r) {
    static_cast<TaPlugin&>(self).korPluginEvent(type, result, r);
  };
  OnChangeLanguage = [](TkorPlugin& self) { static_cast<TaPlugin&>(self).TranslateResources(); };
  Unloading = true;
  Created();
  TranslateResources();
}

TaPlugin::~TaPlugin() {
  std::vector<TSerialPortDM*> sources = DataSourceList();
  {
    std::unique_lock<std::shared_mutex> lock(FRoutingLock);
    FRoutable.clear();
  }
  SearchSource = nullptr;
  SearchSourceId.clear();
  for (auto it = sources.rbegin(); it != sources.rend(); ++it) delete *it;
}

void TaPlugin::TranslateResources() {
  if (Translator && Translator->HasLanguageFile())
    TranslateComponentTree(FComponents, *Translator, Language);
}

// ---- data sources

std::vector<TSerialPortDM*> TaPlugin::DataSourceList() const {
  std::vector<TSerialPortDM*> sources;
  for (std::int32_t i = 0; i < FComponents.ComponentCount(); ++i)
    if (auto* source = dynamic_cast<TSerialPortDM*>(FComponents.Components(i)))
      sources.push_back(source);
  return sources;
}

TSerialPortDM* TaPlugin::FindDataSource(std::int32_t id) const {
  const std::vector<TSerialPortDM*> sources = DataSourceList();
  for (auto it = sources.rbegin(); it != sources.rend(); ++it)
    if (id == -1 || (*it)->DataSourceId == id) return *it;
  return nullptr;
}

TSerialPortDM* TaPlugin::FindRoutable(std::int32_t id) const {
  for (auto it = FRoutable.rbegin(); it != FRoutable.rend(); ++it)
    if (id == -1 || (*it)->DataSourceId == id) return *it;
  return nullptr;
}

void TaPlugin::SynchroniseDataSources() {
  std::vector<TSerialPortDM*> doomed = DataSourceList();
  if (StateSet() != 0 && DataSources) {
    for (std::int32_t i = 0; i < DataSources->Count(); ++i) {
      const auto* entry = dynamic_cast<const TConfigDataSource*>(DataSources->Items(i));
      if (entry == nullptr) continue;
      if (!DataSourceLoadFor.empty() && !SameText(entry->Line, DataSourceLoadFor)) continue;
      const std::vector<TSerialPortDM*> current = DataSourceList();
      auto found = std::find_if(current.begin(), current.end(),
                                [&](TSerialPortDM* s) { return s->DataSourceId == entry->Id; });
      if (found != current.end()) {
        doomed.erase(std::remove(doomed.begin(), doomed.end(), *found), doomed.end());
        continue;
      }
      auto* source = new TSerialPortDM(*this);
      source->DataSourceId = entry->Id;
      source->SourceName = entry->Name;
      source->SourceFullName = entry->FullName;
    }
  }
  {
    std::unique_lock<std::shared_mutex> lock(FRoutingLock);
    FRoutable = DataSourceList();
    for (TSerialPortDM* source : doomed)
      FRoutable.erase(std::remove(FRoutable.begin(), FRoutable.end(), source), FRoutable.end());
  }
  for (TSerialPortDM* source : doomed) {
    if (SearchSource == source) {
      SearchSource = nullptr;
      SearchSourceId.clear();
    }
    delete source;
  }
}

// ---- the request configuration

void TaPlugin::ApplyRequestConfig(bool start) {
  try {
    if (Config) LoadSettings(&Properties, Config.get());
  } catch (const std::exception& e) {
    AddLog(0, Resources->MsgUnableToLoadConfig() + ": " + e.what());
  }
  const bool active = Config && !Unloading.load() && (State(0) || State(1));
  for (TSerialPortDM* source : DataSourceList()) {
    try {
      if (source->FQueue != nullptr) ReadRequestConfig(*source->FQueue, Config.get(), active);
    } catch (const std::exception& e) {
      AddLog(0, Resources->MsgUnableToLoadConfig() + ": " + e.what());
    }
  }
  if (!start) return;
  for (TSerialPortDM* source : DataSourceList()) source->Start(true);
}

// ---- handlers

void TaPlugin::korPluginLoad(kor::TPluginCallRec*, std::int32_t&) {
  Config = std::make_unique<TDataSourceCfg>(nullptr);
  HasConfig = true;
  Unloading = false;
  ApplyRequestConfig(false);
  if (MbusApiState() == TMbusApiState::Failed && MbusApiTakeFailureReport()) {
    AddLog(0, Resources->MsgApiLibraryLoadFailed() + ": " + MbusApiLibraryPath());
    for (const std::string& line : MbusApiLoadErrors()) AddLog(0, line);
  }
}

// Rows still waiting go to the host while it is there; then every list is
// emptied and every queue's timer is off.
void TaPlugin::korPluginUnload(kor::TPluginCallRec*, std::int32_t&) {
  Unloading = true;
  for (TSerialPortDM* source : DataSourceList()) {
    source->DeliverResults();
    try {
      if (source->FQueue != nullptr) ReadRequestConfig(*source->FQueue, nullptr, false);
    } catch (const std::exception& e) {
      LogException("UNLOAD", e);
    }
  }
  HasConfig = false;
  Config.reset();
}

void TaPlugin::korPluginChangeState(std::uint8_t) {
  SynchroniseDataSources();
  if (Config) ApplyRequestConfig(true);
}

void TaPlugin::korPluginBeforeGetParserItems() {
  ClearParserItems();
  AddStandardParserItems(false);
  AddParserItem("DEVICE_ID", "Device address", "", kItemText);
  AddParserItem("STORAGE", "Storage number", "", kItemInteger);
  AddParserItem("TARIFF", "Tariff", "", kItemInteger);
  AddParserItem("TIME_POINT", "Timestamp", "", kItemDateTime);
}

void TaPlugin::korPluginSaveSettingsNow() {
  if (Config) SaveSettings(&Properties, Config.get());
}

void TaPlugin::korPluginLoadSettingsNow() {
  if (Config) ApplyRequestConfig(true);
}

void TaPlugin::korPluginShowOptionsDialog(bool& changed) {
  changed = true;
}

// Beside commands: reads only HasConfig, Unloading and the routable sources.
void TaPlugin::korPluginProcessData(kor::TPluginCallRec* rec, std::int32_t& result) {
  if (!HasConfig.load()) {
    result = kor::kResultRefused;
    return;
  }
  result = 0;
  if (Unloading.load() || rec == nullptr) return;
  TDataArrival arrival;
  arrival.Mode = rec->Mode;
  arrival.Kind = rec->InData.Kind;
  arrival.Value = static_cast<std::uintptr_t>(rec->InData.Value);
  arrival.Size = rec->InData.Size;
  const std::int32_t id = rec->DataSourceId;
  std::shared_lock<std::shared_mutex> lock(FRoutingLock);
  TSerialPortDM* source = FindRoutable(id);
  if (source != nullptr && State(1)) source->DataArrived(arrival);
}

void TaPlugin::korPluginEvent(const std::string& eventType, std::int32_t& result,
                              kor::TPluginCallRec* rec) {
  result = 0;
  TIntfRef<IkorParamsListA> params = CallParams(rec);
  bool handled = false;
  HandleSearchEvent(eventType, params.Get(), handled);
  if (handled || !State(0)) return;
  HandlePortAndRequestEvents(eventType, rec);
}

void TaPlugin::HandleSearchEvent(const std::string& eventType, IkorParamsListA* params,
                                 bool& handled) {
  handled = true;
  if (SameText(eventType, "SearchDevicesGetXml")) {
    plugparams::WriteResult(params, OleVariant(RequestFragment(params)));
  } else if (SameText(eventType, "GetMemoryTypeList")) {
    plugparams::WriteResult(params, OleVariant(""));
  } else if (SameText(eventType, "SearchDevicesStatus")) {
    plugparams::WriteResult(params, OleVariant(SearchStatus(params)));
  } else if (SameText(eventType, "SearchDevices")) {
    plugparams::WriteResult(params, OleVariant(StartSearch(params)));
  } else if (SameText(eventType, "SearchDevicesCancel")) {
    CancelSearch(params);
    plugparams::WriteResult(params, OleVariant(""));
  } else {
    handled = false;
  }
}

// ---- device search

// The search runs on the last data source of the main instance (the first
// module with this one's settings path), or of this module when the main
// one cannot reach the host. The source is picked and the scan queued under
// the lock of the live sources, so a source freed meanwhile is never used.
std::string TaPlugin::StartSearch(IkorParamsListA* params) {
  const std::vector<OleVariant> args = EventArguments(params);
  const std::int32_t mode = AsInt(args[0], 0);
  const bool secondary = mode == 2 || mode == 3;
  const std::uint32_t bound = secondary ? UINT32_MAX : kLastPrimaryAddress;
  const std::uint32_t first = std::min(AsUInt32(args[1]), bound);
  const std::uint32_t last = std::min(AsUInt32(args[2]), bound);
  if (first > last) return "!MsgFailed";
  auto* main = dynamic_cast<TaPlugin*>(FindMainInstance());
  if (main == nullptr) return "!MsgNoDsCfg";
  if (main->HostEntryPoints.SendDataEx.load() == nullptr) main = this;
  TSerialPortDM* chosen = nullptr;
  std::string id;
  TSerialPortDM::WithLastSourceOf(*main, [&](TSerialPortDM& source) {
    if (source.Worker == nullptr) return;
    ApplySearchLimits(*source.Worker);
    source.Worker->QueueScan(mode, first, last);
    source.Searching = true;
    chosen = &source;
    id = source.SearchId();
  });
  if (chosen == nullptr) return "!MsgNoDsCfg";
  SearchSource = chosen;
  SearchSourceId = id;
  return id;
}

std::string TaPlugin::SearchStatus(IkorParamsListA* params) {
  const std::string id = AsText(EventArguments(params)[0]);
  std::string answer;
  if (SearchSourceId.empty() || id != SearchSourceId) return answer;
  TSerialPortDM::WithLiveSource(id, [&](TSerialPortDM& source) {
    if (source.Worker == nullptr) return;
    TMbusThread& worker = *source.Worker;
    const std::int32_t position = worker.ScanPosition;
    if (position == -1) {
      source.Searching = false;
      answer = worker.StatusText.GetValue();
      return;
    }
    const std::string status = worker.StatusText.GetValue();
    answer = "*" + std::to_string(position);
    if (!status.empty() && status.front() == '*') answer += "||" + status.substr(1);
  });
  return answer;
}

// Blocks until the worker has left the search. Cancel is set again at every
// step: a search still queued behind a request clears it when it starts.
// Nothing the worker does meanwhile needs this thread (its hooks fail at
// once, its log lines are posted). The cancelled search's result is not
// collected: the source resumes its requests at once.
void TaPlugin::CancelSearch(IkorParamsListA* params) {
  const std::string id = AsText(EventArguments(params)[0]);
  if (SearchSourceId.empty() || id != SearchSourceId) return;
  bool started = false;
  for (;;) {
    bool running = false;
    const bool live = TSerialPortDM::WithLiveSource(id, [&](TSerialPortDM& source) {
      if (source.Worker == nullptr || source.Worker->ScanPosition == -1) return;
      source.Worker->CancelWait();
      running = true;
    });
    if (!live || !running) break;
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kCancelStepMs));
  }
  if (!started) return;
  TSerialPortDM::WithLiveSource(id, [](TSerialPortDM& source) {
    if (source.Worker != nullptr) source.Worker->Cancel = false;
    source.Searching = false;
  });
}

void TaPlugin::ApplySearchLimits(TMbusThread& worker) {
  const auto limit = [this](const char* key, std::atomic<std::uint32_t>& target) {
    const OleVariant value = GetModuleParameter(std::string("Custom_") + key);
    const std::uint32_t ms = AsUInt32(value);
    if (ms > 0) target = ms;
  };
  limit("SearchIdleMs", worker.SearchIdleMs);
  limit("SearchTotalMs", worker.SearchTotalMs);
}

void TaPlugin::HandlePortAndRequestEvents(const std::string& eventType, kor::TPluginCallRec* rec) {
  TIntfRef<IkorParamsListA> params = CallParams(rec);
  const bool portOpen = eventType == "PORT-OPEN";
  const bool portClose = eventType == "PORT-CLOSE";
  const std::string port = portOpen ? plugparams::ReadText(params.Get(), "PORTSTR") : std::string();
  const std::unique_ptr<TkorParamsList> eventParams = CopyParams(params.Get());
  const std::vector<TSerialPortDM*> sources = DataSourceList();
  for (auto it = sources.rbegin(); it != sources.rend(); ++it) {
    TSerialPortDM& source = **it;
    if (!port.empty() && !SameText(source.SourceName, port)) continue;
    try {
      if ((portOpen || portClose) && source.Worker != nullptr) source.Worker->QueueDisconnect();
      if (source.FQueue == nullptr) continue;
      if (portOpen && source.PortClosed.load()) {
        source.FQueue->ResetPending = kResetOnNextTick;
        source.PortClosed = false;
      }
      ApplyEventToRequests(*source.FQueue, eventType, portOpen, eventParams.get());
      if (portOpen) source.Start(true);
    } catch (const std::exception& e) {
      LogException("EVENT", e);
    } catch (...) {
    }
  }
}
