// TkorPlugin: the generic plug-in module, one object per plug-in instance.
// It holds what the host tells the instance (number, settings path and file,
// host module and window), what the instance tells the host (description,
// module type, parser items, log lines, parsed data), and the events through
// which a concrete module adds its behaviour. The exports (plugin/ exports
// unit) create and free it and call the members marked "export" below.
//
// Threads and locks:
// - host commands run on host threads, serialised by CommandLock (re-entrant;
//   CommandDepth turns a nested command on one thread into an error); every
//   field without another note is written only under CommandLock or before
//   the instance is registered;
// - ProcessData runs beside commands: Processing, TerminateNow and States
//   are atomics; OnProcessData must be thread-safe against command handlers;
// - AddLog, SendParsedData and SendRawData may be called from any thread:
//   they read only ModuleIndex, MessageWindow and the entry-point addresses
//   (atomics) and LogTitle (under FLogTitleLock once the instance is
//   registered: change it through SetLogTitle);
// - LogData has its own lock, ModuleParams its read/write lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "framework/Classes.h"
#include "framework/StringList.h"
#include "framework/SyncObjs.h"
#include "framework/Thread_ObjectList.h"
#include "params/korParamLst.h"
#include "params/korParamLstIntf.h"
#include "plugin/PluginRecords.h"
#include "plugin/korPluginCustomCmd.h"
#include "plugin/korPluginLog.h"
#include "plugin/korPluginParserItems.h"
#include "plugin/korPluginTranslator.h"

class TkorPlugin;

// One of the host's configured data sources ("DATA-SOURCES-IN-CFG" line
// "id;name;full name;...").
class TConfigDataSource : public TObject {
 public:
  std::string Line;
  std::int32_t Id = 0;
  std::string Name;
  std::string FullName;
};

// Parses the host's data-source text: one entry per line whose first
// ";"-field is a decimal number other than -1; other lines give none.
// onBadLine is told of a line that raised and the next line is read.
using TBadLineHandler = std::function<void(const std::string& line, const std::exception& error)>;
void ReadDataSourcesInCfg(std::string_view text, TObjectList& into,
                          const TBadLineHandler& onBadLine = {});

// Event signatures ("sender" is the instance; rec may be nil).
using TPluginNotifyEvent = std::function<void(TkorPlugin& sender)>;
using TPluginCallEvent =
    std::function<void(TkorPlugin& sender, kor::TPluginCallRec* rec, std::int32_t& result)>;
using TPluginShowOptionsEvent =
    std::function<void(TkorPlugin& sender, kor::TPluginCallRec* rec, bool& changed)>;
using TPluginGetOptionsEvent = std::function<void(TkorPlugin& sender, kor::TPluginCallRec* rec,
                                                  std::string& formName, std::string& extra)>;
using TPluginCommandEvent = std::function<void(TkorPlugin& sender, const std::string& command,
                                               std::int32_t& result, kor::TPluginCallRec* rec)>;
using TPluginChangeStateEvent = std::function<void(TkorPlugin& sender, std::uint8_t mode)>;

// Vornak_SendDataEx: (module index, data source id, count, 0, kind, data, 0).
using TVornakSendDataEx = std::int32_t(KOR_STDCALL*)(std::int32_t, std::int32_t, std::int32_t,
                                                     std::int32_t, std::int32_t, void*,
                                                     std::int32_t);

// The five host entry points, in look-up order; only SendDataEx is called.
struct THostEntryPoints {
  std::atomic<void*> SendNotify{nullptr};
  std::atomic<void*> SendDataEx{nullptr};
  std::atomic<void*> DataSourceData{nullptr};
  std::atomic<void*> DataSourceState{nullptr};
  std::atomic<void*> ManageDynForm{nullptr};
};
inline constexpr const char* kHostEntryPointNames[5] = {
    "Vornak_SendNotify", "Vornak_SendDataEx", "Vornak_DataSourceData", "Vornak_DataSourceState",
    "Vornak_ManageDynForm"};

// The parameter interface a call record carries after the exports' entry
// normalisation (Params: the address of an IkorParamsListA variable); empty
// for a nil record or Params 0.
TIntfRef<IkorParamsListA> CallParams(const kor::TPluginCallRec* rec);

class TkorPlugin : public TObject, public ITranslatable {
 public:
  // rec: the creating call (after entry normalisation) or nil; moduleHandle
  // is kept as ModuleDllHandle. Descendants assign their handlers and
  // identity fields in their own constructor and then call Created().
  explicit TkorPlugin(kor::TPluginCallRec* rec = nullptr, std::uintptr_t moduleHandle = 0);
  ~TkorPlugin() override;

  // The end of construction: translates once when a language file exists.
  // The base constructor calls it; a descendant calls it again after its
  // own set-up (it translates only once).
  void Created();

  // ---- commands (export: ExecutePluginCommand) ----
  // The dispatcher. Never raises: an error that escapes a command gives -3
  // and its report text (crash::ReportText) in the log.
  std::int32_t ExecuteCommand(const std::string& command, kor::TPluginCallRec* rec);
  std::int32_t Load(kor::TPluginCallRec* rec);
  std::int32_t Unload(kor::TPluginCallRec* rec);

  // ---- log (any thread) ----
  // Never raises; at most one blocking send of kMsgSendTimeoutMs.
  void AddLog(std::uint8_t level, std::string_view text, bool flag = false) noexcept;
  // "{command} message" at level 0 and on the debugger channel; never raises.
  void LogException(std::string_view command, const std::exception& error) noexcept;
  void LogException(std::string_view command, const std::string& message) noexcept;
  void SetLogTitle(const std::string& title);
  std::string GetLogTitle() const;
  // export GetLogEx: the fetch into the host's buffer.
  TLogFetch FetchLog(void* buffer, std::uint32_t capacity) {
    return LogData->Fetch(buffer, capacity);
  }

  // ---- host messages (any thread; errors swallowed) ----
  void NotifyLogAdded() noexcept;        // 1809
  void NotifyReloadSettings() noexcept;  // 1812
  bool PostToHost(std::uint32_t message) noexcept;

  // ---- data for the host (any thread) ----
  // Kind 9 to Vornak_SendDataEx: InData Kind 4 carries the raw text (when
  // any), OutData Kind 9 the address of an IkorParamsListA reference to a
  // wrapper that borrows list for the duration of the call (this record
  // carries the A form, unlike Kind 9 elsewhere). Nothing without the entry
  // point. The entry point's result (negative: the host refused the
  // data), -1 without it.
  std::int32_t SendParsedData(std::int32_t dataSourceId, std::int32_t reserved,
                              TParsedDataList& list);
  // Kind 129: the entry point's result, -1 without it.
  std::int32_t SendRawData(std::int32_t moduleIndex, std::int32_t dataSourceId, std::int32_t count,
                           const void* data, std::int32_t last);
  std::int32_t FillStandardValues(TkorParamsList& list, std::string_view fullPacket,
                                  std::string_view dataPacket, std::int32_t dataSourceId,
                                  std::int32_t clientId, std::string_view dataSourceName,
                                  std::string_view dataSourceFullName,
                                  std::string_view clientDataSourceName);

  // ---- parser items ----
  void ClearParserItems() { ParserItems.clear(); }
  void AddStandardParserItems(bool withClientId);
  std::int32_t AddParserItem(std::string_view name, std::string_view caption,
                             std::string_view extra, std::uint8_t dataType);
  std::int32_t ParserItemCount() const { return static_cast<std::int32_t>(ParserItems.size()); }
  std::string ParserItemsText() const { return ParserItemsToText(ParserItems); }
  void SetParserItemsText(std::string_view text, bool replace);

  // ---- states ----
  bool State(int index) const;
  std::uint8_t StateSet() const;
  std::uint8_t StatesFromMask(const OleVariant& mask, bool onlyActive) const;

  // ---- module parameters ----
  TkorThreadParamsList& ModuleParamsList();
  OleVariant GetModuleParameter(const std::string& name);
  bool SetModuleParameter(const std::string& name, const OleVariant& value);
  std::string AppDataPath() const;
  std::string ModuleConfigId() const;
  std::string ModuleDataPath() const;
  // export GetModuleInfo: the command-list text.
  std::string CommandListText() const { return CustomCommands->AsText(); }

  // ---- settings and dialogs (exports GetOptionsDialog, ShowOptionsDialog) ----
  void ReadTemporaryLoad(IkorParamsListA* params);
  std::string ReadIniFile(IkorParamsListA* params, bool store);
  // The "LANGUAGE" parameter: switches language when it differs.
  void ApplyLanguage(IkorParamsListA* params);
  // The first instance of registry whose ModuleRegistryPath equals this
  // one's (under the registry's read lock), or nil.
  TkorPlugin* FindMainInstance(TThreadObjectList& registry) const;
  // The same in the library's instance registry (nil when it is gone).
  TkorPlugin* FindMainInstance() const;
  bool LoadedOnCallingThread() const { return LoadThreadId.load() == std::this_thread::get_id(); }

  // ---- settings store (korPluginSettings.cpp; under CommandLock) ----
  // Save or load the properties of config named by properties (lines
  // "property path,setting name", see params/TWregistry.h) with this
  // instance's roots, path and prefix, into or from settingsFile when given,
  // else INIFile. SettingsBusy is true meanwhile. False without a property
  // list or when nothing was stored or read; an INI file that cannot be
  // read or written raises EIniFileError and stays as it was.
  bool SaveSettings(const TStringList* properties, TObject* config,
                    const std::string* settingsFile = nullptr);
  bool LoadSettings(const TStringList* properties, TObject* config,
                    const std::string* settingsFile = nullptr);

  // ---- translation ----
  void Translate(ITranslatable& component);
  void TranslateOnce();
  bool GetTextProperty(std::string_view name, std::string& value) const override;
  bool SetTextProperty(std::string_view name, const std::string& value) override;

  // ---- event queries and firing (the exports fire through these) ----
  bool HasShowOptionsDialog() const { return static_cast<bool>(OnShowOptionsDialog); }
  bool HasOptionsDialogProvider() const { return static_cast<bool>(OnGetOptionsDialog); }
  bool HasDataHandler() const { return static_cast<bool>(OnProcessData); }
  bool HasLoadSettingsHandler() const { return static_cast<bool>(OnLoadSettingsNow); }
  virtual void DoShowOptionsDialog(kor::TPluginCallRec* rec, bool& changed);
  virtual void DoGetOptionsDialog(kor::TPluginCallRec* rec, std::string& formName,
                                  std::string& extra);
  virtual void DoCommand(const std::string& command, std::int32_t& result,
                         kor::TPluginCallRec* rec);
  virtual void DoLoad(kor::TPluginCallRec* rec, std::int32_t& result);
  virtual void DoUnload(kor::TPluginCallRec* rec, std::int32_t& result);
  virtual void DoSaveSettingsNow();
  virtual void DoLoadSettingsNow();
  virtual void DoBeforeGetParserItems();
  virtual void DoSetParserItems();
  virtual void DoChangeState(std::uint8_t mode);
  virtual void DoProcessData(kor::TPluginCallRec* rec, std::int32_t& result);
  virtual void DoEvent(const std::string& eventType, std::int32_t& result,
                       kor::TPluginCallRec* rec);
  virtual void DoChangeLanguage();

  // ---- fields ----
  std::unique_ptr<TWtransl> Translator;
  TCriticalSection CommandLock;
  std::atomic<std::int32_t> CommandDepth{0};
  TkorPlugin* ModulePluginHandle = nullptr;  // self-reference; set by CreatePluginInstance
  std::uintptr_t ModuleDllHandle = 0;
  std::atomic<std::int32_t> ModuleLoadCount{0};
  std::atomic<std::int32_t> ModuleIndex{0};
  std::string ItemsText;
  std::string Description;
  std::string LogTitle;
  std::uint8_t ModuleType = 0;    // bit n = element n
  std::uint8_t Capabilities = 0;  // bit 2: LOAD reads "CONFIG-ID"
  std::uint8_t InfoFlag = 1;
  std::string ModulePath;  // with a trailing separator
  std::string ModuleName;
  std::int32_t ModuleLoadForConfig = 0;
  std::string ApplicationFullName;
  std::string DisplayFullVersion;
  TParserItemList ParserItems;
  std::unique_ptr<TkorPluginCustomCmdList> CustomCommands;
  // Created on first use (any thread): reach it through ModuleParamsList().
  std::unique_ptr<TkorThreadParamsList> ModuleParams;
  std::unique_ptr<TLogDataList> LogData;
  std::atomic<bool> TerminateNow{false};     // the unloaded flag
  std::unique_ptr<TObjectList> DataSources;  // owns TConfigDataSource entries
  std::string DataSourceLoadFor;
  std::string MsgNoData = "No data for processing";
  std::string MsgWriteComplete = "Data have been processed successfully";
  std::string MsgWriteCompleteError = "Data have been processed with errors";
  float VersionNumber = 4.0F;
  std::string INIFile;
  std::uint8_t ModuleRegistryRoot1 = 2;
  std::uint8_t ModuleRegistryRoot2 = 1;
  std::string ModuleRegistryPath;
  std::string INISectionPrefix;
  std::array<std::atomic<bool>, 8> States{};
  std::string EventsSupported;
  bool IsTemporaryLoad = false;
  bool SettingsBusy = false;
  bool SubscribeForData = false;

  TPluginShowOptionsEvent OnShowOptionsDialog;
  TPluginGetOptionsEvent OnGetOptionsDialog;
  TPluginCommandEvent OnCommand;
  TPluginCallEvent OnLoad;
  TPluginCallEvent OnUnload;
  TPluginNotifyEvent OnSaveSettingsNow;
  TPluginNotifyEvent OnLoadSettingsNow;
  TPluginNotifyEvent OnBeforeGetParserItems;
  TPluginNotifyEvent OnSetParserItems;
  TPluginChangeStateEvent OnChangeState;
  TPluginCallEvent OnProcessData;
  TPluginCommandEvent OnEvent;
  TPluginNotifyEvent OnChangeLanguage;

  std::uintptr_t OwnerForm = 0;
  std::atomic<std::uintptr_t> MessageWindow{0};
  std::uintptr_t ParentApp = 0;
  std::atomic<bool> Processing{false};
  bool Translated = false;
  bool DialogActive = false;
  std::uint8_t DialogMode = 0;
  TIntfRef<IkorParamsListW> DialogInput;
  std::atomic<std::thread::id> LoadThreadId{};
  std::string Language = "EN";
  THostEntryPoints HostEntryPoints;
  // The persisted properties ("property path,setting name" a line, one
  // TWreg entry each): a concrete module fills it from its form
  // (LoadFormStrings, plugin/korPluginProperties.h) in its constructor; the
  // settings handlers read it.
  TStringList Properties;

 private:
  void SetUpFiles();
  bool RunSettings(bool save, const TStringList* properties, TObject* config,
                   const std::string* settingsFile);
  void SetUpTranslator();
  void ReadLoadParameters(IkorParamsListA* params, kor::TPluginCallRec* rec);
  void LookUpHostEntryPoints();
  std::int32_t Dispatch(const std::string& command, kor::TPluginCallRec* rec,
                        IkorParamsListA* params);
  std::int32_t CmdEvent(kor::TPluginCallRec* rec, IkorParamsListA* params);
  std::int32_t CmdLoad(kor::TPluginCallRec* rec);
  std::int32_t CmdSetItems(IkorParamsListA* params);
  std::int32_t CmdSetState(kor::TPluginCallRec* rec, IkorParamsListA* params);
  std::int32_t CmdItems(IkorParamsListA* params);
  std::int32_t CmdGetModuleParameter(IkorParamsListA* params);
  std::int32_t CmdSetModuleParameter(IkorParamsListA* params);
  std::int32_t CmdSettings(const std::string& command, IkorParamsListA* params);
  std::int32_t CmdOther(const std::string& command, kor::TPluginCallRec* rec);
  OleVariant GetIndexedParameter(const std::string& name);
  OleVariant GetCustomParameter(const std::string& key);
  bool SetTranslatorProperties(const OleVariant& value);
  bool SetModuleType(const OleVariant& value);
  bool SetCustomParameter(const std::string& key, const OleVariant& value);

  std::atomic<bool> FDestroying{false};
  mutable std::mutex FLogTitleLock;  // guards LogTitle after construction
  std::mutex FModuleParamsLock;      // guards the creation of ModuleParams
};
