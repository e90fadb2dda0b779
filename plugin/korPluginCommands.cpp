// The host-command dispatcher of TkorPlugin and the commands it knows.
#include <optional>

#include "plugin/korCrashReport.h"
#include "plugin/korPluginModule.h"
#include "plugin/korPluginParams.h"
#include "plugin/korPluginText.h"

using kor::TPluginCallRec;

namespace {

// Counts one command in progress for the lifetime of the scope.
class TDepthScope {
 public:
  explicit TDepthScope(std::atomic<std::int32_t>& depth) : FDepth(depth), Depth(++depth) {}
  ~TDepthScope() { --FDepth; }
  TDepthScope(const TDepthScope&) = delete;
  TDepthScope& operator=(const TDepthScope&) = delete;

 private:
  std::atomic<std::int32_t>& FDepth;

 public:
  const std::int32_t Depth;
};

}  // namespace

void ReadDataSourcesInCfg(std::string_view text, TObjectList& into,
                          const TBadLineHandler& onBadLine) {
  for (const std::string& line : plugtext::SplitLines(text)) {
    try {
      std::vector<std::string> fields = plugtext::SplitFields(line, ';');
      std::optional<std::int32_t> id = plugtext::ParseInt32(fields[0]);
      if (!id || *id == -1) continue;
      auto* entry = new TConfigDataSource();
      entry->Line = line;
      entry->Id = *id;
      entry->Name = fields.size() > 1 ? fields[1] : std::string();
      entry->FullName = fields.size() > 2 ? fields[2] : std::string();
      into.Add(entry);
    } catch (const std::exception& e) {
      if (onBadLine) onBadLine(line, e);
    }
  }
}

std::int32_t TkorPlugin::ExecuteCommand(const std::string& command, TPluginCallRec* rec) {
  try {
    std::lock_guard<TCriticalSection> lock(CommandLock);
    TDepthScope depth(CommandDepth);
    crash::TTraceScope trace(command);
    if (depth.Depth != 1) throw EAssertionFailed("Nested plugin commands are not allowed");
    TIntfRef<IkorParamsListA> params = CallParams(rec);
    return Dispatch(command, rec, params.Get());
  } catch (...) {
    std::string report = crash::ReportText(command, crash::ErrorMessage(std::current_exception()));
    crash::Record(report);
    AddLog(0, report);
    return kor::kResultError;
  }
}

std::int32_t TkorPlugin::Dispatch(const std::string& command, TPluginCallRec* rec,
                                  IkorParamsListA* params) {
  if (command == "LOAD") ApplyLanguage(params);
  OleVariant window = plugparams::Read(params, "MSG-PROC-HANDLE");
  if (plugparams::IsPresent(window)) MessageWindow.store(plugparams::AsHandle(window));
  OleVariant owner = plugparams::Read(params, "OWNER-FORM");
  if (plugparams::IsPresent(owner)) OwnerForm = plugparams::AsHandle(owner);

  if (command == "EVENT") return CmdEvent(rec, params);
  if (command == "LOAD") return CmdLoad(rec);
  if (command == "UNLOAD") return Unload(rec);
  if (command == "SET-ITEMS") return CmdSetItems(params);
  if (command == "SET-STATE") return CmdSetState(rec, params);
  if (command == "ITEMS") return CmdItems(params);
  if (command == "EVENTS-SUPPORT") {
    plugparams::WriteResult(params, OleVariant(EventsSupported));
    return 0;
  }
  if (command == "GET-MODULE-PARAMETER") return CmdGetModuleParameter(params);
  if (command == "SET-MODULE-PARAMETER") return CmdSetModuleParameter(params);
  if (command == "SAVE-SETTINGS-NOW" || command == "LOAD-SETTINGS-NOW")
    return CmdSettings(command, params);
  return CmdOther(command, rec);
}

std::int32_t TkorPlugin::CmdEvent(TPluginCallRec* rec, IkorParamsListA* params) {
  OleVariant type = plugparams::Read(params, "EVENT-TYPE");
  if (!plugparams::IsPresent(type)) return kor::kResultRefused;
  std::int32_t result = kor::kResultRefused;
  try {
    DoEvent(type.AsAnsiString(), result, rec);
  } catch (...) {
    LogException("EVENT", crash::ErrorMessage(std::current_exception()));
    return kor::kResultError;
  }
  return result;
}

// LOAD answers 0 whatever the load handler said.
std::int32_t TkorPlugin::CmdLoad(TPluginCallRec* rec) {
  try {
    Load(rec);
  } catch (...) {
    LogException("LOAD", crash::ErrorMessage(std::current_exception()));
    return kor::kResultError;
  }
  return 0;
}

std::int32_t TkorPlugin::CmdSetItems(IkorParamsListA* params) {
  OleVariant items = plugparams::Read(params, "ITEMS");
  auto type = items.VType();
  if (type != plat::varOleStr) return kor::kResultRefused;
  SetParserItemsText(items.AsAnsiString(), true);
  DoSetParserItems();
  return 0;
}

std::int32_t TkorPlugin::CmdSetState(TPluginCallRec* rec, IkorParamsListA* params) {
  std::int32_t result = kor::kResultRefused;
  OleVariant sources = plugparams::Read(params, "DATA-SOURCES-IN-CFG");
  if (plugparams::IsPresent(sources)) {
    DataSources->Clear();
    ReadDataSourcesInCfg(sources.AsAnsiString(), *DataSources,
                         [&](const std::string&, const std::exception& error) {
                           result = kor::kResultError;
                           LogException("SETSTATE", error);
                         });
  }
  OleVariant loadFor = plugparams::Read(params, "DATA-SOURCE-LOAD");
  if (plugparams::IsPresent(loadFor)) DataSourceLoadFor = loadFor.AsAnsiString();
  OleVariant value = plugparams::Read(params, "RESULT");
  if (!plugparams::IsPresent(value)) return result;
  bool on = value.AsInteger() == 1;
  std::uint8_t mode = rec ? rec->Mode : 0;
  for (int i = 0; i < 8; ++i)
    if (mode & kor::ModeBit(i)) States[static_cast<std::size_t>(i)].store(on);
  try {
    DoChangeState(mode);
  } catch (...) {
    LogException("SETSTATE", crash::ErrorMessage(std::current_exception()));
    return kor::kResultError;
  }
  return 0;
}

std::int32_t TkorPlugin::CmdItems(IkorParamsListA* params) {
  if (!plugparams::HasItem(params, "RESULT")) return kor::kResultRefused;
  DoBeforeGetParserItems();
  ItemsText = ParserItemsText();
  plugparams::WriteResult(params, OleVariant(ItemsText));
  return 0;
}

std::int32_t TkorPlugin::CmdGetModuleParameter(IkorParamsListA* params) {
  OleVariant name = plugparams::Read(params, "PARAM");
  if (!plugparams::IsPresent(name)) return kor::kResultUnknownCmd;
  plugparams::WriteResult(params, GetModuleParameter(name.AsAnsiString()));
  return 0;
}

std::int32_t TkorPlugin::CmdSetModuleParameter(IkorParamsListA* params) {
  OleVariant name = plugparams::Read(params, "PARAM");
  if (!plugparams::IsPresent(name)) return kor::kResultUnknownCmd;
  bool accepted = SetModuleParameter(name.AsAnsiString(), plugparams::Read(params, "VALUE"));
  plugparams::WriteResult(params, OleVariant(accepted));
  return 0;
}

// SAVE-SETTINGS-NOW and LOAD-SETTINGS-NOW work on the given file and leave
// INIFile as it was.
std::int32_t TkorPlugin::CmdSettings(const std::string& command, IkorParamsListA* params) {
  const std::string saved = INIFile;
  try {
    INIFile = plugparams::ReadText(params, "INI-FILE");
    if (command == "LOAD-SETTINGS-NOW") {
      DoLoadSettingsNow();
      INIFile = saved;
    }
    OleVariant noSave = plugparams::Read(params, "NO-SAVE");
    if (OnSaveSettingsNow && (!plugparams::IsPresent(noSave) || noSave.AsInteger() == 0))
      DoSaveSettingsNow();
  } catch (...) {
    INIFile = saved;
    throw;
  }
  INIFile = saved;
  return 0;
}

std::int32_t TkorPlugin::CmdOther(const std::string& command, TPluginCallRec* rec) {
  std::int32_t result = kor::kResultUnknownCmd;
  try {
    DoCommand(command, result, rec);
  } catch (...) {
    LogException(command, crash::ErrorMessage(std::current_exception()));
    return kor::kResultError;
  }
  return result;
}
