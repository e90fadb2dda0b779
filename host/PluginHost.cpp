#include "host/PluginHost.h"

#include <cstring>
#include <map>

#include "host/HostEntryPoints.h"
#include "params/korParamLstWrap.h"

namespace host {

const char* const kPluginExportNames[9] = {
    "CreatePluginInstance", "FreePluginInstance", "GetModuleInfo",        "GetLogEx",
    "GetOptionsDialog",     "ShowOptionsDialog",  "ExecutePluginCommand", "ProcessData",
    "xelTraceProcess"};

namespace {

// A handle as the number the host passes: 32-bit in 32-bit builds, 64-bit
// otherwise (handles are pointer-sized).
OleVariant HandleValue(std::uintptr_t handle) {
  if constexpr (sizeof(void*) == 4) return OleVariant(static_cast<std::int32_t>(handle));
  return OleVariant(static_cast<std::int64_t>(handle));
}

template <class T>
T Resolve(plat::ModuleHandle module, const char* name) {
  void* symbol = plat::FindSymbol(module, name);
  if (!symbol) throw EPluginHostError(std::string("the plug-in does not export ") + name);
  return reinterpret_cast<T>(symbol);
}

std::string ModuleText(std::uint32_t length, kor::TPluginPtr address) {
  if (length == 0 || address == 0) return {};
  return std::string(kor::RecPointer<const char>(address), length);
}

}  // namespace

TPluginHost::TPluginHost(const std::string& libraryPath) : FPath(libraryPath) {
  std::string error;
  FModule = plat::LoadModule(libraryPath, &error);
  if (FModule == 0) throw EPluginHostError(error.empty() ? "cannot load " + libraryPath : error);
  try {
    ResolveExports();
  } catch (...) {
    plat::FreeModule(FModule);
    throw;
  }
  FWindow = plat::CreateMessageWindow(&TPluginHost::WindowProc, this);
  FRec.Size = kor::kCallRecSize;
}

TPluginHost::~TPluginHost() {
  try {
    Unload();
  } catch (...) {
    // The library is released all the same.
  }
  UnregisterHost(this);
  if (FWindow) plat::DestroyMessageWindow(FWindow);
  plat::FreeModule(FModule);
}

void TPluginHost::ResolveExports() {
  FExports.CreatePluginInstance = Resolve<TPluginExports::TRecFn>(FModule, kPluginExportNames[0]);
  FExports.FreePluginInstance = Resolve<TPluginExports::TRecFn>(FModule, kPluginExportNames[1]);
  FExports.GetModuleInfo = Resolve<TPluginExports::TInfoFn>(FModule, kPluginExportNames[2]);
  FExports.GetLogEx = Resolve<TPluginExports::TRecFn>(FModule, kPluginExportNames[3]);
  FExports.GetOptionsDialog = Resolve<TPluginExports::TRecProc>(FModule, kPluginExportNames[4]);
  FExports.ShowOptionsDialog = Resolve<TPluginExports::TRecProc>(FModule, kPluginExportNames[5]);
  FExports.ExecutePluginCommand = Resolve<TPluginExports::TRecFn>(FModule, kPluginExportNames[6]);
  FExports.ProcessData = Resolve<TPluginExports::TRecFn>(FModule, kPluginExportNames[7]);
  FExports.xelTraceProcess = Resolve<TPluginExports::TTraceFn>(FModule, kPluginExportNames[8]);
}

// Params is the list object, or the address of a variable holding the
// IkorParamsListA reference of a wrapper that borrows the list.
std::int32_t TPluginHost::CallWithParams(const std::string& call, TPluginExports::TRecFn fn,
                                         const TkorParamsList* params) {
  auto* list = const_cast<TkorParamsList*>(params);
  if (!list) {
    FRec.Params = 0;
    return Timed(call, [&] { return fn(&FRec); });
  }
  if (FForm == TParamsForm::Object) {
    FRec.Params = reinterpret_cast<kor::TPluginPtr>(list);
    std::int32_t result = Timed(call, [&] { return fn(&FRec); });
    FRec.Params = 0;
    return result;
  }
  TIntfRef<IkorParamsListA> ref;
  IkorParamsListA* intf = new TkorParamsListWrap(list, true);
  intf->AddRef();
  *ref.Put() = intf;
  IkorParamsListA* variable = ref.Get();
  FRec.Params = reinterpret_cast<kor::TPluginPtr>(&variable);
  std::int32_t result = Timed(call, [&] { return fn(&FRec); });
  FRec.Params = 0;
  return result;
}

std::int32_t TPluginHost::Create(const TkorParamsList* params) {
  std::int32_t result =
      CallWithParams("CreatePluginInstance", FExports.CreatePluginInstance, params);
  FCreated = result == kor::kResultOk;
  if (FCreated) FInstance = FRec.ModulePluginHandle;
  return result;
}

std::int32_t TPluginHost::Load(const TLoadOptions& options) {
  FRec.ModuleIndex = options.ModuleIndex;
  RegisterHost(options.ModuleIndex, this);
  TkorParamsList params;
  params.Add("HANDLE", HandleValue(plat::ExecutableModule()));
  params.Add("APPLICATION-NAME", OleVariant(plat::ModuleFileName(plat::ExecutableModule())));
  params.Add("MSG-PROC-HANDLE", HandleValue(FWindow));
  params.Add("REGISTRY-PATH", OleVariant(options.RegistryPath));
  if (!options.IniFile.empty()) params.Add("INI-FILE", OleVariant(options.IniFile));
  params.Add("INI-SECTION-PREFIX", OleVariant(options.IniSectionPrefix));
  params.Add("LANGUAGE", OleVariant(options.Language));
  params.Add("TEMPORARY-LOAD", OleVariant(false));
  std::int32_t result = Command("LOAD", params);
  FLoaded = FLoaded || result == kor::kResultOk;
  return result;
}

std::int32_t TPluginHost::Command(const std::string& name, TkorParamsList& params) {
  params.SetValue("COMMAND", OleVariant(name), true);
  return CallWithParams("ExecutePluginCommand " + name, FExports.ExecutePluginCommand, &params);
}

std::int32_t TPluginHost::Command(const std::string& name) {
  TkorParamsList params;
  return Command(name, params);
}

OleVariant TPluginHost::GetModuleParameter(const std::string& name) {
  TkorParamsList params;
  params.Add("PARAM", OleVariant(name));
  params.Add("RESULT", OleVariant());
  std::int32_t result = Command("GET-MODULE-PARAMETER", params);
  if (result != kor::kResultOk)
    throw EPluginHostError("GET-MODULE-PARAMETER " + name + " failed: " + std::to_string(result));
  return params.GetValue("RESULT");
}

std::string TPluginHost::Items() {
  TkorParamsList params;
  params.Add("RESULT", OleVariant(""));
  std::int32_t result = Command("ITEMS", params);
  if (result != kor::kResultOk) throw EPluginHostError("ITEMS failed: " + std::to_string(result));
  OleVariant value = params.GetValue("RESULT");
  return value.IsEmpty() || value.IsNull() ? std::string() : value.AsAnsiString();
}

TModuleInfo TPluginHost::ModuleInfo() {
  std::uint32_t needed = 0;
  FExports.GetModuleInfo(&FRec, nullptr, &needed);
  if (needed < kor::kModuleInfoHeaderSize) throw EPluginHostError("GetModuleInfo: no instance");
  std::vector<unsigned char> buffer(needed);
  auto* info = reinterpret_cast<kor::TPluginModuleInfo*>(buffer.data());
  info->Size = needed;
  if (FExports.GetModuleInfo(&FRec, info, &needed) != 1)
    throw EPluginHostError("GetModuleInfo refused a buffer of the size it asked for");
  TModuleInfo result;
  result.ModuleType = static_cast<std::uint16_t>(info->ModuleType & 0xFFFF);
  result.Capabilities = static_cast<std::uint16_t>(info->ModuleType >> 16);
  result.InterfaceVersion = info->InterfaceVersion;
  result.VersionNumber = info->VersionNumber;
  result.InfoFlag = info->InfoFlag;
  result.Description = ModuleText(info->DescriptionLength, info->DescriptionText);
  result.Commands = ModuleText(info->CommandsLength, info->CommandsText);
  return result;
}

std::string TPluginHost::FetchLog() {
  std::string text;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::vector<char> buffer(FLogBuffer);
    kor::TPluginCallRec rec = FRec;
    rec.InData.Value = reinterpret_cast<kor::TPluginPtr>(buffer.data());
    rec.InData.Size = FLogBuffer;
    std::int32_t copied = Timed("GetLogEx", [&] { return FExports.GetLogEx(&rec); });
    if (copied > 0) {
      text.assign(buffer.data(), static_cast<std::size_t>(copied));
      break;
    }
    // Too small: the plug-in kept the log and told the size it needs.
    if (rec.OutData.Value <= FLogBuffer) break;
    FLogBuffer = static_cast<std::uint32_t>(rec.OutData.Value);
  }
  AppendLog(text);
  return text;
}

void TPluginHost::Unload() {
  if (FLoaded) {
    FLoaded = false;
    Command("UNLOAD");
    FetchLog();
  }
  if (FCreated) {
    FCreated = false;
    FInstance = 0;
    Timed("FreePluginInstance", [&] { return FExports.FreePluginInstance(&FRec); });
    FRec.ModulePluginHandle = 0;
    kor::TPluginCallRec marker{};
    marker.Size = kor::kCallRecSize;
    marker.InData.Kind = kor::kKindCode;
    marker.InData.Value = kor::kUnloadMarker;
    FExports.FreePluginInstance(&marker);
  }
}

void TPluginHost::FreeWithoutUnload() {
  FLoaded = false;
  Unload();
}

void TPluginHost::Pump(unsigned ms) {
  plat::WaitAndProcessMessages(ms);
}

std::string TPluginHost::LogText() {
  std::lock_guard<std::mutex> lock(FDataLock);
  return FLog;
}

std::int32_t TPluginHost::ReloadRequests() {
  std::lock_guard<std::mutex> lock(FDataLock);
  return FReloadRequests;
}

std::vector<TReceivedData> TPluginHost::Received() {
  std::lock_guard<std::mutex> lock(FDataLock);
  return FReceived;
}

std::int32_t TPluginHost::Receive(TReceivedData data) {
  if (FDataHandler) return FDataHandler(data);
  const std::int32_t answer =
      data.Kind == kor::kSendRawData ? static_cast<std::int32_t>(data.Raw.size()) : 0;
  std::lock_guard<std::mutex> lock(FDataLock);
  FReceived.push_back(std::move(data));
  return answer;
}

std::int32_t TPluginHost::ProcessBytes(std::int32_t dataSourceId, const std::uint8_t* bytes,
                                       std::size_t count) {
  return CallProcessData(dataSourceId, kor::kKindText, reinterpret_cast<std::uintptr_t>(bytes),
                         static_cast<std::uint32_t>(count));
}

std::int32_t TPluginHost::NotifyPortState(std::int32_t dataSourceId, bool opened) {
  return CallProcessData(dataSourceId, kor::kKindPortState,
                         opened ? kor::kPortOpened : kor::kPortClosed, 0);
}

// ProcessData refuses a call without Params, so an empty list goes along.
std::int32_t TPluginHost::CallProcessData(std::int32_t dataSourceId, std::uint8_t kind,
                                          std::uintptr_t value, std::uint32_t size) {
  const kor::TPluginPtr instance = FInstance;
  if (instance == 0) return kor::kResultRefused;
  TkorParamsList params;
  kor::TPluginCallRec rec{};
  rec.Size = kor::kCallRecSize;
  rec.ModulePluginHandle = instance;
  rec.ModuleIndex = FRec.ModuleIndex;
  rec.DataSourceId = dataSourceId;
  rec.Mode = kor::ModeBit(1);
  rec.Params = reinterpret_cast<kor::TPluginPtr>(&params);
  rec.InData.Kind = kind;
  rec.InData.Value = static_cast<kor::TPluginPtr>(value);
  rec.InData.Size = size;
  static const std::string kCall = "ProcessData";
  return Timed(kCall, [&] { return FExports.ProcessData(&rec); });
}

void TPluginHost::AppendLog(const std::string& text) {
  std::lock_guard<std::mutex> lock(FDataLock);
  FLog += text;
}

std::intptr_t TPluginHost::WindowProc(void* context, std::uint32_t message, std::uintptr_t,
                                      std::intptr_t) {
  auto* host = static_cast<TPluginHost*>(context);
  try {
    if (message == kor::kMsgLogAdded && host->FCreated) host->FetchLog();
    if (message == kor::kMsgReloadSettings) {
      std::lock_guard<std::mutex> lock(host->FDataLock);
      ++host->FReloadRequests;
    }
  } catch (...) {
    // A window procedure lets nothing out.
  }
  return 0;
}

std::string DefaultPluginPath() {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  auto slash = self.find_last_of(plat::kPathDelimiter);
  std::string folder = slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
  return folder + (plat::kPathDelimiter == '\\' ? "mbusplugin.dll" : "mbusplugin.so");
}

std::string ProtocolLibraryPath(const std::string& pluginPath) {
  auto slash = pluginPath.find_last_of(plat::kPathDelimiter);
  std::string folder = slash == std::string::npos ? std::string() : pluginPath.substr(0, slash + 1);
  return folder + (plat::kPathDelimiter == '\\' ? "libmbus.dll" : "libmbus.so");
}

std::string VariantText(const OleVariant& value) {
  if (value.IsEmpty()) return "(empty)";
  if (value.IsNull()) return "(null)";
  try {
    return value.AsAnsiString();
  } catch (const std::exception&) {
    return "(type " + std::to_string(static_cast<int>(value.VType())) + ")";
  }
}

}  // namespace host
