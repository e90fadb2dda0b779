// TPluginHost: plays the data-logging host for one plug-in instance. It
// loads the plug-in library from a path, resolves its exports, owns a
// message window (messages 1809 and 1812) and drives the instance through
// call records and parameter lists the way the host does: create, LOAD with
// the host's parameters, commands, module information, the log, UNLOAD,
// free and the unload marker.
//
// Threads: one TPluginHost belongs to the thread that created it (its
// message window's owner); only that thread calls its members and pumps its
// messages. The host entry points (Vornak_*) may be called by the plug-in on
// any thread; what they receive is kept under the host's data lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/CallClock.h"
#include "params/Variants.h"
#include "params/korParamLst.h"
#include "platform/Messages.h"
#include "platform/Modules.h"
#include "plugin/PluginRecords.h"

namespace host {

// A failure of the host side: the library cannot be loaded, an export is
// missing, a call was refused.
class EPluginHostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The exports of a plug-in library, in the host's calling convention.
struct TPluginExports {
  using TRecFn = std::int32_t(KOR_STDCALL*)(kor::TPluginCallRec*);
  using TRecProc = void(KOR_STDCALL*)(kor::TPluginCallRec*);
  using TInfoFn = std::uint8_t(KOR_STDCALL*)(kor::TPluginCallRec*, kor::TPluginModuleInfo*,
                                             std::uint32_t*);
  using TTraceFn = std::int32_t(KOR_STDCALL*)();
  TRecFn CreatePluginInstance = nullptr;
  TRecFn FreePluginInstance = nullptr;
  TInfoFn GetModuleInfo = nullptr;
  TRecFn GetLogEx = nullptr;
  TRecProc GetOptionsDialog = nullptr;
  TRecProc ShowOptionsDialog = nullptr;
  TRecFn ExecutePluginCommand = nullptr;
  TRecFn ProcessData = nullptr;
  TTraceFn xelTraceProcess = nullptr;
};

// The names every plug-in library exports.
extern const char* const kPluginExportNames[9];

// What GetModuleInfo reported.
struct TModuleInfo {
  std::uint16_t ModuleType = 0;
  std::uint16_t Capabilities = 0;
  std::uint32_t InterfaceVersion = 0;
  float VersionNumber = 0;
  std::uint8_t InfoFlag = 0;
  std::string Description;  // UTF-8
  std::string Commands;     // UTF-8, the command-list text
};

// One delivery through Vornak_SendDataEx.
struct TReceivedData {
  std::int32_t DataSourceId = 0;
  std::int32_t Kind = 0;
  std::string Raw;                                          // kind 129 bytes, kind 9 packet text
  std::vector<std::pair<std::string, std::string>> Values;  // kind 9 items as text
  std::vector<OleVariant> Items;                            // kind 9 items as sent, same order
};

// Takes the plug-in's deliveries instead of the host's list (Received stays
// empty): called on the plug-in's sending thread, under the entry points'
// table lock. Its result is the answer of Vornak_SendDataEx (kind 129: the
// bytes written, negative for a failure). Must not throw and must not call
// back into the plug-in.
using TDataHandler = std::function<std::int32_t(const TReceivedData& data)>;

// How the host passes a call's parameter list in Params.
enum class TParamsForm { Object, Interface };

// The host's LOAD parameters.
struct TLoadOptions {
  std::string RegistryPath = "Software\\mbus-host\\Plugins\\mbusplugin";
  std::string IniFile;  // empty: settings in the default store
  std::string IniSectionPrefix;
  std::string Language = "EN";
  std::int32_t ModuleIndex = 1;
};

class TPluginHost {
 public:
  // Loads the library and resolves every export; raises EPluginHostError.
  explicit TPluginHost(const std::string& libraryPath);
  // Ends what is still open: UNLOAD, free, the unload marker, the library.
  ~TPluginHost();
  TPluginHost(const TPluginHost&) = delete;
  TPluginHost& operator=(const TPluginHost&) = delete;

  const TPluginExports& Exports() const { return FExports; }
  const std::string& LibraryPath() const { return FPath; }
  plat::WindowHandle Window() const { return FWindow; }
  kor::TPluginCallRec& Record() { return FRec; }
  void SetParamsForm(TParamsForm form) { FForm = form; }

  // CreatePluginInstance with the given parameters (none: Params 0).
  std::int32_t Create(const TkorParamsList* params = nullptr);
  // "LOAD" with the host's parameters; the result of the command.
  std::int32_t Load(const TLoadOptions& options = {});
  // A command with its parameters (COMMAND is added); results in params.
  std::int32_t Command(const std::string& name, TkorParamsList& params);
  std::int32_t Command(const std::string& name);
  // GET-MODULE-PARAMETER: the value RESULT received.
  OleVariant GetModuleParameter(const std::string& name);
  // The parser items as the ITEMS command gives them.
  std::string Items();
  TModuleInfo ModuleInfo();
  // GetLogEx, retrying once with the size the plug-in tells.
  std::string FetchLog();
  // "UNLOAD", FreePluginInstance, the unload marker; idempotent.
  void Unload();
  // FreePluginInstance and the unload marker without UNLOAD, as a host that
  // skips it does; idempotent.
  void FreeWithoutUnload();

  // Handles the window's messages for up to ms milliseconds.
  void Pump(unsigned ms);
  // Everything fetched from the log so far (on 1809 and by FetchLog).
  std::string LogText();
  std::int32_t ReloadRequests();
  std::vector<TReceivedData> Received();
  // Before the plug-in is created: where deliveries go (see TDataHandler).
  void SetDataHandler(TDataHandler handler) { FDataHandler = std::move(handler); }
  // Before the plug-in is created: a clock that times every call into the
  // plug-in (it must outlive this host); none by default.
  void SetCallClock(TCallClock* clock) { FCallClock = clock; }

  // ProcessData for one data source, from any thread (the host's reading
  // threads): the port's bytes (Mode element 1, InData Kind 4), or the
  // port-state notice (InData Kind 7, 0x101 opened, 0x102 closed). Uses a
  // record of its own; the result is ProcessData's. Only between Create and
  // Unload.
  std::int32_t ProcessBytes(std::int32_t dataSourceId, const std::uint8_t* bytes,
                            std::size_t count);
  std::int32_t NotifyPortState(std::int32_t dataSourceId, bool opened);

  // Called by the host entry points (any thread); the answer to the plug-in.
  std::int32_t Receive(TReceivedData data);

 private:
  static std::intptr_t WindowProc(void* context, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam);
  void ResolveExports();
  std::int32_t CallWithParams(const std::string& call, TPluginExports::TRecFn fn,
                              const TkorParamsList* params);
  // Calls fn, telling the call clock (if any) how long it took.
  template <typename Fn>
  auto Timed(const std::string& call, Fn&& fn) {
    if (!FCallClock) return fn();
    const auto start = std::chrono::steady_clock::now();
    auto result = fn();
    FCallClock->Record(call, std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
    return result;
  }
  void AppendLog(const std::string& text);
  std::int32_t CallProcessData(std::int32_t dataSourceId, std::uint8_t kind, std::uintptr_t value,
                               std::uint32_t size);

  std::string FPath;
  plat::ModuleHandle FModule = 0;
  TPluginExports FExports;
  plat::WindowHandle FWindow = 0;
  kor::TPluginCallRec FRec{};
  TParamsForm FForm = TParamsForm::Object;
  bool FLoaded = false;
  bool FCreated = false;
  std::uint32_t FLogBuffer = 256;    // grows to what the plug-in asks for
  TDataHandler FDataHandler;         // set before Create, read by the entry points
  TCallClock* FCallClock = nullptr;  // set before Create, read by every caller
  // The instance for ProcessData calls of other threads (set by Create,
  // cleared by Unload before the instance is freed).
  std::atomic<kor::TPluginPtr> FInstance{0};

  std::mutex FDataLock;  // guards the three fields below
  std::string FLog;
  std::int32_t FReloadRequests = 0;
  std::vector<TReceivedData> FReceived;
};

// The plug-in library beside the running program (mbusplugin.dll on
// Windows, mbusplugin.so on posix).
std::string DefaultPluginPath();
// The protocol library the M-Bus plug-in loads: libmbus.dll (libmbus.so)
// in the plug-in's own folder.
std::string ProtocolLibraryPath(const std::string& pluginPath);

// A value as display text: "(empty)", "(null)", or the text conversion.
std::string VariantText(const OleVariant& value);

}  // namespace host
