#include "plugin/PluginBoundary.h"

#include <exception>
#include <string>

#include "framework/SysUtils.h"
#include "platform/Diagnostics.h"
#include "plugin/PluginCallRec.h"
#include "plugin/PluginRegistry.h"
#include "plugin/PluginWait.h"
#include "plugin/korCrashReport.h"
#include "plugin/korPluginModule.h"
#include "plugin/korPluginParams.h"

namespace kor {

namespace {

bool IsWellFormed(const TPluginCallRec* rec) {
  return rec && rec->Size == kCallRecSize && rec->Params != 0;
}

bool IsUnloadMarker(const TPluginDataRec& block) {
  return block.Kind == kKindCode && block.Value == kUnloadMarker;
}

// Appends a row marker unless the list is empty or already ends a row.
void CloseInputRow(IkorParamsListW* list) {
  std::int32_t count = list->GetCount();
  if (count <= 0) return;
  TIntfRef<IkorParamsListItemW> last;
  if (list->GetItem(count - 1, last.Put()) != plat::kSOk || !last) return;
  if (!last->IsRowMarker()) list->EndRow();
}

// ProcessCall's step for Mode element 2: false when there is no input.
bool PrepareWriteInput(TkorPlugin& instance, TPluginCallRec* rec) {
  if (rec->InData.Value == 0) {
    if (!instance.MsgNoData.empty()) instance.AddLog(1, instance.MsgNoData);
    return false;
  }
  if (IkorParamsListW* list = BlockListIntf(rec->InData)) CloseInputRow(list);
  return true;
}

// The data handler with the result rules and the completion log lines.
std::int32_t CallDataHandler(TkorPlugin& instance, TPluginCallRec* rec) {
  const bool reportWrite = (rec->Mode & (ModeBit(2) | ModeBit(3))) != 0;
  std::int32_t result = 0;
  try {
    instance.DoProcessData(rec, result);
  } catch (const std::exception& e) {
    if (!instance.MsgWriteCompleteError.empty())
      instance.AddLog(1, instance.MsgWriteCompleteError + ": " + e.what());
    return kResultError;
  }
  if (result > 0 && rec->InData.Value == 0) result = 0;
  if (reportWrite) {
    const std::string& text =
        result < 0 ? instance.MsgWriteCompleteError : instance.MsgWriteComplete;
    if (!text.empty()) instance.AddLog(result < 0 ? 1 : 2, text);
  }
  return result;
}

// ProcessCall's steps 3 to 7 on a normalised record.
std::int32_t ProcessNormalised(TkorPlugin& instance, TPluginCallRec* rec) {
  const std::uint8_t mode = rec->Mode;
  if (mode == 0) return 0;
  if ((mode & ModeBit(0)) == 0 && rec->InData.Value != 0 && BlockListCount(rec->InData) == 0)
    rec->InData.Value = 0;
  if ((mode & ModeBit(2)) != 0 && !PrepareWriteInput(instance, rec)) return 0;
  if (instance.HasDataHandler()) return CallDataHandler(instance, rec);
  if ((mode & ModeBit(5)) != 0) rec->OutData = rec->InData;
  return 0;
}

std::int32_t RunCommand(TkorPlugin& instance, TPluginCallRec* rec, std::string& commandText) {
  TCallScope scope(rec);
  TIntfRef<IkorParamsListA> params = GetParamsIntf(rec);
  instance.ReadTemporaryLoad(params.Get());
  OleVariant command = plugparams::Read(params.Get(), "COMMAND");
  if (!plugparams::IsPresent(command)) return kResultRefused;
  commandText = command.AsAnsiString();
  try {
    return instance.ExecuteCommand(commandText, rec);
  } catch (const std::exception& e) {
    std::string report = crash::ReportText(commandText, e.what());
    crash::Record(report);
    instance.AddLog(0, report);
    return kResultError;
  }
}

}  // namespace

TkorPlugin* FindInstance(const TPluginCallRec* rec) {
  if (!rec || rec->ModulePluginHandle == 0) return nullptr;
  const void* address = RecPointer<const void>(rec->ModulePluginHandle);
  if (!plat::IsReadablePointer(address, 4)) return nullptr;
  // Only a registered instance is used: a readable address of anything
  // else would be taken for an instance and fault later.
  TkorPlugin* found = nullptr;
  ForEachInstance([&](TkorPlugin& instance) {
    if (!found && reinterpret_cast<const void*>(&instance) == address) found = &instance;
  });
  return found;
}

std::int32_t CreatePluginInstance(TPluginCallRec* rec) noexcept {
  if (!rec || rec->ModulePluginHandle != 0) return kResultRefused;
  try {
    TCallScope scope(rec);
    if (!Registry()) return kResultRefused;
    TkorPlugin* instance = RegisteredPluginClass()(rec, 0);
    instance->ModulePluginHandle = instance;
    if (!RegisterInstance(instance)) {
      delete instance;
      return kResultRefused;
    }
    rec->ModulePluginHandle = reinterpret_cast<TPluginPtr>(instance->ModulePluginHandle);
    return kResultOk;
  } catch (...) {
    // A constructor that raises leaves nothing registered.
    return kResultRefused;
  }
}

std::int32_t FreePluginInstance(TPluginCallRec* rec) noexcept {
  if (!rec) return kResultRefused;
  if (IsUnloadMarker(rec->InData)) {
    RunUnloadAll();
    return kResultOk;
  }
  if (rec->ModulePluginHandle == 0 || !Registry()) return kResultRefused;
  TkorPlugin* instance = nullptr;
  try {
    instance = ExtractInstance(rec->ModulePluginHandle);
  } catch (...) {
    return kResultRefused;
  }
  if (!instance) return kResultRefused;
  try {
    delete instance;
  } catch (...) {
    return kResultError;
  }
  return kResultOk;
}

std::int32_t ProcessCall(TkorPlugin& instance, TPluginCallRec* rec) {
  if (!IsWellFormed(rec)) return 0;
  TCallScope scope(rec);
  const TPluginPtr saved = rec->InData.Value;
  std::int32_t result = 0;
  try {
    result = ProcessNormalised(instance, rec);
  } catch (const std::exception&) {
    result = kResultError;
  }
  // The input counts as consumed; the host never sees our temporary reference.
  if (rec->InData.Value == saved) rec->InData.Value = 0;
  return result;
}

std::int32_t ProcessData(TPluginCallRec* rec) noexcept {
  try {
    if (!IsWellFormed(rec)) return kResultRefused;
    TkorPlugin* instance = FindInstance(rec);
    if (!instance) return kResultRefused;
    if (!WaitWhileAllSet(kProcessWaitMs, {&instance->Processing, &instance->TerminateNow}))
      return kResultRefused;
    if (instance->TerminateNow.load() || !Registry()) return kResultRefused;
    instance->Processing.store(true);
    std::int32_t result;
    try {
      result = ProcessCall(*instance, rec);
    } catch (const std::exception& e) {
      instance->LogException("PROCESS", e);
      result = kResultError;
    }
    instance->Processing.store(false);
    return result;
  } catch (...) {
    return kResultError;
  }
}

std::int32_t ExecutePluginCommand(TPluginCallRec* rec) noexcept {
  try {
    if (!IsWellFormed(rec)) return kResultRefused;
    TkorPlugin* instance = FindInstance(rec);
    if (!instance) return kResultRefused;
    std::string commandText = "CMD?";
    try {
      return RunCommand(*instance, rec, commandText);
    } catch (const std::exception& e) {
      instance->LogException(commandText, e);
      return kResultError;
    }
  } catch (...) {
    return kResultError;
  }
}

std::int32_t TraceProcess() noexcept {
  return crash::TraceProcess();
}

}  // namespace kor
