#include "plugin/korPluginModule.h"

#include "framework/LockGuards.h"
#include "params/korParamLstWrap.h"
#include "plugin/PluginRegistry.h"
#include "plugin/korCrashReport.h"
#include "plugin/korPluginEnv.h"
#include "plugin/korPluginParams.h"
#include "plugin/korPluginText.h"

using kor::TPluginCallRec;

TIntfRef<IkorParamsListA> CallParams(const TPluginCallRec* rec) {
  if (rec == nullptr || rec->Params == 0) return {};
  // After the exports' entry normalisation Params is the address of a variable.
  IkorParamsListA* intf =
      *reinterpret_cast<IkorParamsListA* const*>(rec->Params);  // NOLINT(performance-no-int-to-ptr)
  if (intf) intf->AddRef();
  return TIntfRef<IkorParamsListA>::Adopt(intf);
}

TkorPlugin::TkorPlugin(TPluginCallRec* rec, std::uintptr_t moduleHandle)
    : Translator(std::make_unique<TWtransl>()),
      ModuleDllHandle(moduleHandle),
      CustomCommands(std::make_unique<TkorPluginCustomCmdList>()),
      LogData(std::make_unique<TLogDataList>(TLogDataList::kDefaultMaxLines)),
      DataSources(std::make_unique<TObjectList>(true)) {
  if (rec) {
    IsTemporaryLoad = rec->Params == 0;
    ReadTemporaryLoad(CallParams(rec).Get());
  }
  SetUpFiles();
  SetUpTranslator();
  Created();
}

TkorPlugin::~TkorPlugin() {
  FDestroying.store(true);
  ItemsText.clear();
  ParserItems.clear();
  if (Translator) Translator->Forget(*this);
}

void TkorPlugin::Created() {
  if (Translator && Translator->HasLanguageFile()) TranslateOnce();
}

// The library's own file: path with a trailing separator, name, version.
void TkorPlugin::SetUpFiles() {
  const TkorPluginEnv& env = PluginEnv();
  std::string full = env.LibraryFileName();
  try {
    DisplayFullVersion = env.LibraryVersion();
  } catch (...) {
    DisplayFullVersion.clear();
  }
  std::size_t cut = full.find_last_of("/\\");
  ModuleName = cut == std::string::npos ? full : full.substr(cut + 1);
  ModulePath = cut == std::string::npos ? std::string() : full.substr(0, cut + 1);
}

void TkorPlugin::SetUpTranslator() {
  if (!Translator) return;
  const TkorPluginEnv& env = PluginEnv();
  std::string program = env.ProgramFileName();
  std::size_t cut = program.find_last_of("/\\");
  std::string programDir = cut == std::string::npos ? std::string() : program.substr(0, cut + 1);
  std::string ownName = ModuleName;
  std::size_t dot = ownName.find_last_of('.');
  if (dot != std::string::npos) ownName.resize(dot);
  std::string ownFile = ModulePath + ownName + ".lng";
  Translator->SetLanguageFiles(programDir + "plugins.lng|" + ownFile);
  Translator->Language = "EN";
  Language = "EN";
  if (!ModuleName.empty() && env.FileExists(ownFile))
    Language = Translator->FileLanguage();
  else
    Translator->ClearLanguageFiles();
  for (const char* name : {"MsgNoData", "MsgWriteComplete", "MsgWriteCompleteError"})
    Translator->AddProperty(name);
}

std::int32_t TkorPlugin::Load(TPluginCallRec* rec) {
  if (ModuleLoadCount.fetch_add(1) + 1 > 1) return 0;
  TIntfRef<IkorParamsListA> params = CallParams(rec);
  LoadThreadId.store(std::this_thread::get_id());
  DialogActive = false;
  if (rec) ModuleIndex.store(rec->ModuleIndex);
  ReadLoadParameters(params.Get(), rec);
  TerminateNow.store(false);
  if (LogData->LineCount() > 0) NotifyLogAdded();
  std::int32_t result = 0;
  DoLoad(rec, result);
  return result;
}

// Settings path, section prefix, host module and files from LOAD's list.
void TkorPlugin::ReadLoadParameters(IkorParamsListA* params, TPluginCallRec* /*rec*/) {
  ModuleRegistryPath = plugparams::ReadText(params, "REGISTRY-PATH");
  INISectionPrefix = plugparams::ReadText(params, "INI-SECTION-PREFIX");
  OleVariant handle = plugparams::Read(params, "HANDLE");
  if (plugparams::IsPresent(handle)) ParentApp = plugparams::AsHandle(handle);
  ApplicationFullName = plugparams::ReadText(params, "APPLICATION-NAME");
  if (ParentApp == 0 && !ApplicationFullName.empty())
    ParentApp = PluginEnv().FindLoadedModule(ApplicationFullName);
  ModuleLoadForConfig = 0;
  if (Capabilities & 4) {
    OleVariant config = plugparams::Read(params, "CONFIG-ID");
    if (plugparams::IsPresent(config))
      ModuleLoadForConfig = static_cast<std::int32_t>(config.AsInt64());
  }
  ReadIniFile(params, true);
  if (ParentApp != 0) LookUpHostEntryPoints();
}

void TkorPlugin::LookUpHostEntryPoints() {
  const TkorPluginEnv& env = PluginEnv();
  std::atomic<void*>* slots[5] = {&HostEntryPoints.SendNotify, &HostEntryPoints.SendDataEx,
                                  &HostEntryPoints.DataSourceData, &HostEntryPoints.DataSourceState,
                                  &HostEntryPoints.ManageDynForm};
  for (int i = 0; i < 5; ++i) slots[i]->store(env.FindSymbol(ParentApp, kHostEntryPointNames[i]));
}

std::int32_t TkorPlugin::Unload(TPluginCallRec* rec) {
  std::int32_t left = ModuleLoadCount.fetch_sub(1) - 1;
  if (left < 0) {
    ModuleLoadCount.store(0);
    return 0;
  }
  if (left > 0) return 0;
  TerminateNow.store(true);
  for (auto& state : States) state.store(false);
  // Only a given "INI-FILE" names a new file: without it the settings stay
  // where they are instead of going to the default store.
  TIntfRef<IkorParamsListA> params = CallParams(rec);
  bool iniGiven = plugparams::IsPresent(plugparams::Read(params.Get(), "INI-FILE"));
  std::string ini = ReadIniFile(params.Get(), false);
  std::int32_t result = 0;
  try {
    if (iniGiven && ini != INIFile) {
      INIFile = ini;
      DoSaveSettingsNow();
    }
  } catch (...) {
    LogException("UNLOAD", crash::ErrorMessage(std::current_exception()));
  }
  try {
    DoUnload(rec, result);
  } catch (...) {
    LogException("UNLOAD", crash::ErrorMessage(std::current_exception()));
  }
  DialogActive = false;
  ParentApp = 0;
  MessageWindow.store(0);
  return result;
}

// ---- log and messages ----

void TkorPlugin::SetLogTitle(const std::string& title) {
  std::lock_guard<std::mutex> lock(FLogTitleLock);
  LogTitle = title;
}

std::string TkorPlugin::GetLogTitle() const {
  std::lock_guard<std::mutex> lock(FLogTitleLock);
  return LogTitle;
}

void TkorPlugin::AddLog(std::uint8_t level, std::string_view text, bool flag) noexcept {
  try {
    if (!LogData || FDestroying.load()) return;
    LogData->AddLine(TLogDataList::FormatLine(level, GetLogTitle(), text, flag));
    NotifyLogAdded();
  } catch (...) {
  }
}

void TkorPlugin::LogException(std::string_view command, const std::string& message) noexcept {
  try {
    std::string text = message;
    if (!command.empty()) text = "{" + std::string(command) + "} " + text;
    AddLog(0, text);
    PluginEnv().DebugOutput(crash::CurrentStackText() + ": " + text);
  } catch (...) {
  }
}

void TkorPlugin::LogException(std::string_view command, const std::exception& error) noexcept {
  LogException(command, std::string(error.what()));
}

bool TkorPlugin::PostToHost(std::uint32_t message) noexcept {
  try {
    std::uintptr_t window = MessageWindow.load();
    if (window == 0) return false;
    const TkorPluginEnv& env = PluginEnv();
    auto index = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(ModuleIndex.load()));
    if (env.PostMessage(window, message, index, 0)) return true;
    return env.SendMessageTimeout(window, message, index, 0, kor::kMsgSendTimeoutMs);
  } catch (...) {
    return false;
  }
}

void TkorPlugin::NotifyLogAdded() noexcept {
  PostToHost(kor::kMsgLogAdded);
}

void TkorPlugin::NotifyReloadSettings() noexcept {
  PostToHost(kor::kMsgReloadSettings);
}

// ---- data for the host ----

std::int32_t TkorPlugin::SendParsedData(std::int32_t dataSourceId, std::int32_t reserved,
                                        TParsedDataList& list) {
  void* entry = HostEntryPoints.SendDataEx.load();
  if (entry == nullptr) return -1;
  TPluginCallRec rec{};
  rec.Size = kor::kCallRecSize;
  rec.Flags = kor::kFlagsOwnRecord;
  if (!list.RawText.empty()) {
    rec.InData.Kind = kor::kKindText;
    rec.InData.Size = static_cast<std::uint32_t>(list.RawText.size());
    rec.InData.Value = reinterpret_cast<kor::TPluginPtr>(list.RawText.data());
  }
  IkorParamsListA* wrapper = new TkorParamsListWrap(&list, true);
  wrapper->AddRef();
  rec.OutData.Kind = kor::kKindParamsIntfW;
  rec.OutData.Value = reinterpret_cast<kor::TPluginPtr>(&wrapper);
  std::int32_t result = -1;
  try {
    result = reinterpret_cast<TVornakSendDataEx>(entry)(ModuleIndex.load(), dataSourceId, reserved,
                                                        0, kor::kSendParsedData, &rec, 0);
  } catch (...) {
    wrapper->Release();
    throw;
  }
  wrapper->Release();
  return result;
}

std::int32_t TkorPlugin::SendRawData(std::int32_t moduleIndex, std::int32_t dataSourceId,
                                     std::int32_t count, const void* data, std::int32_t last) {
  void* entry = HostEntryPoints.SendDataEx.load();
  if (entry == nullptr) return -1;
  return reinterpret_cast<TVornakSendDataEx>(entry)(
      moduleIndex, dataSourceId, count, 0, kor::kSendRawData, const_cast<void*>(data), last);
}

std::int32_t TkorPlugin::FillStandardValues(TkorParamsList& list, std::string_view fullPacket,
                                            std::string_view dataPacket, std::int32_t dataSourceId,
                                            std::int32_t clientId, std::string_view dataSourceName,
                                            std::string_view dataSourceFullName,
                                            std::string_view clientDataSourceName) {
  std::int32_t count = 0;
  if (!fullPacket.empty()) {
    list.SetValue("FULL_DATA_PACKET", OleVariant(fullPacket), true);
    ++count;
  }
  if (!dataPacket.empty()) {
    list.SetValue("DATA_PACKET", OleVariant(dataPacket), true);
    ++count;
  }
  list.SetValue("DATE_TIME_STAMP", OleVariant::Date(PluginEnv().NowOleDate()), true);
  list.SetValue("DATA_SOURCE_ID", OleVariant(dataSourceId), true);
  list.SetValue("DATA_SOURCE_FULL_NAME", OleVariant(dataSourceFullName), true);
  if (clientId != 0) {
    list.SetValue("CLIENTID", OleVariant(clientId), true);
    list.SetValue("DATA_SOURCE_NAME", OleVariant(clientDataSourceName), true);
    return count + 5;
  }
  list.SetValue("DATA_SOURCE_NAME", OleVariant(dataSourceName), true);
  return count + 4;
}

// ---- parser items ----

void TkorPlugin::AddStandardParserItems(bool withClientId) {
  std::size_t count = withClientId ? kStandardParserItemCount : kStandardParserItemCount - 1;
  for (std::size_t i = 0; i < count; ++i) ParserItems.push_back(StandardParserItem(i));
}

std::int32_t TkorPlugin::AddParserItem(std::string_view name, std::string_view caption,
                                       std::string_view extra, std::uint8_t dataType) {
  ParserItems.push_back(
      TParserItem{std::string(name), std::string(caption), dataType, std::string(extra)});
  return ParserItemCount() - 1;
}

void TkorPlugin::SetParserItemsText(std::string_view text, bool replace) {
  TParserItemList parsed = ParserItemsFromText(text);
  if (replace) {
    ParserItems = std::move(parsed);
    return;
  }
  ParserItems.insert(ParserItems.end(), parsed.begin(), parsed.end());
}

// ---- states ----

bool TkorPlugin::State(int index) const {
  return index >= 0 && index < 8 && States[static_cast<std::size_t>(index)].load();
}

std::uint8_t TkorPlugin::StateSet() const {
  std::uint8_t set = 0;
  for (int i = 0; i < 8; ++i)
    if (State(i)) set |= kor::ModeBit(i);
  return set;
}

std::uint8_t TkorPlugin::StatesFromMask(const OleVariant& mask, bool onlyActive) const {
  if (!plugparams::IsPresent(mask)) return 0;
  std::int32_t bits = mask.AsInteger();
  std::uint8_t set = 0;
  for (int i = 0; i < 8; ++i)
    if ((bits & (1 << i)) && (!onlyActive || State(i))) set |= kor::ModeBit(i);
  return set;
}

// ---- settings, language, instances ----

void TkorPlugin::ReadTemporaryLoad(IkorParamsListA* params) {
  OleVariant value = plugparams::Read(params, "TEMPORARY-LOAD");
  if (plugparams::IsPresent(value)) IsTemporaryLoad = value.AsBoolean();
}

std::string TkorPlugin::ReadIniFile(IkorParamsListA* params, bool store) {
  std::string file = plugparams::ReadText(params, "INI-FILE");
  if (store) INIFile = file;
  return file;
}

void TkorPlugin::ApplyLanguage(IkorParamsListA* params) {
  OleVariant value = plugparams::Read(params, "LANGUAGE");
  if (!plugparams::IsPresent(value)) return;
  std::string language = value.AsAnsiString();
  if (language.empty() || Language.empty() || language == Language) return;
  Language = language;
  Translated = false;
  TranslateOnce();
  try {
    DoChangeLanguage();
  } catch (...) {
    LogException("TRANSL", crash::ErrorMessage(std::current_exception()));
  }
}

TkorPlugin* TkorPlugin::FindMainInstance(TThreadObjectList& registry) const {
  TReadLock lock(registry);
  for (std::int32_t i = 0; i < lock->Count(); ++i) {
    auto* instance = dynamic_cast<TkorPlugin*>(lock->Items(i));
    if (instance && instance->ModuleRegistryPath == ModuleRegistryPath) return instance;
  }
  return nullptr;
}

TkorPlugin* TkorPlugin::FindMainInstance() const {
  TThreadObjectList* registry = kor::Registry();
  return registry ? FindMainInstance(*registry) : nullptr;
}

// ---- translation ----

void TkorPlugin::Translate(ITranslatable& component) {
  if (Language.empty()) Language = "NONE";
  if (Translator) Translator->Translate(component, Language, "EN");
}

void TkorPlugin::TranslateOnce() {
  if (Translated || Language.empty()) return;
  try {
    Translate(*this);
  } catch (...) {
  }
  Translated = true;
}

bool TkorPlugin::GetTextProperty(std::string_view name, std::string& value) const {
  if (name == "MsgNoData")
    value = MsgNoData;
  else if (name == "MsgWriteComplete")
    value = MsgWriteComplete;
  else if (name == "MsgWriteCompleteError")
    value = MsgWriteCompleteError;
  else
    return false;
  return true;
}

bool TkorPlugin::SetTextProperty(std::string_view name, const std::string& value) {
  if (name == "MsgNoData")
    MsgNoData = value;
  else if (name == "MsgWriteComplete")
    MsgWriteComplete = value;
  else if (name == "MsgWriteCompleteError")
    MsgWriteCompleteError = value;
  else
    return false;
  return true;
}

// ---- events ----

void TkorPlugin::DoShowOptionsDialog(TPluginCallRec* rec, bool& changed) {
  if (OnShowOptionsDialog) OnShowOptionsDialog(*this, rec, changed);
}

void TkorPlugin::DoGetOptionsDialog(TPluginCallRec* rec, std::string& formName,
                                    std::string& extra) {
  if (OnGetOptionsDialog) OnGetOptionsDialog(*this, rec, formName, extra);
}

void TkorPlugin::DoCommand(const std::string& command, std::int32_t& result, TPluginCallRec* rec) {
  if (OnCommand) OnCommand(*this, command, result, rec);
}

void TkorPlugin::DoLoad(TPluginCallRec* rec, std::int32_t& result) {
  if (OnLoad) OnLoad(*this, rec, result);
}

void TkorPlugin::DoUnload(TPluginCallRec* rec, std::int32_t& result) {
  if (OnUnload) OnUnload(*this, rec, result);
}

void TkorPlugin::DoSaveSettingsNow() {
  if (OnSaveSettingsNow) OnSaveSettingsNow(*this);
}

void TkorPlugin::DoLoadSettingsNow() {
  if (OnLoadSettingsNow) OnLoadSettingsNow(*this);
}

void TkorPlugin::DoBeforeGetParserItems() {
  if (OnBeforeGetParserItems) OnBeforeGetParserItems(*this);
}

void TkorPlugin::DoSetParserItems() {
  if (OnSetParserItems) OnSetParserItems(*this);
}

void TkorPlugin::DoChangeState(std::uint8_t mode) {
  if (OnChangeState) OnChangeState(*this, mode);
}

void TkorPlugin::DoProcessData(TPluginCallRec* rec, std::int32_t& result) {
  if (OnProcessData) OnProcessData(*this, rec, result);
}

// Without a handler an event counts as handled (0).
void TkorPlugin::DoEvent(const std::string& eventType, std::int32_t& result, TPluginCallRec* rec) {
  if (OnEvent)
    OnEvent(*this, eventType, result, rec);
  else
    result = 0;
}

void TkorPlugin::DoChangeLanguage() {
  if (OnChangeLanguage) OnChangeLanguage(*this);
}
