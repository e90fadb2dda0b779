// The algorithms behind the plug-in's exports. Each function is what one
// export does; none lets an error out (the export unit adds nothing but the
// calling convention and the names). Any host thread may call them; the
// locks they take are the registry's (PluginRegistry.h), the instance's
// command lock (through ExecuteCommand) and its log lock (GetLogEx).
#pragma once

#include <cstdint>

#include "plugin/PluginRecords.h"

class TkorPlugin;

namespace kor {

std::int32_t CreatePluginInstance(TPluginCallRec* rec) noexcept;
std::int32_t FreePluginInstance(TPluginCallRec* rec) noexcept;
std::uint8_t GetModuleInfo(TPluginCallRec* rec, TPluginModuleInfo* info,
                           std::uint32_t* needed) noexcept;
std::int32_t GetLogEx(TPluginCallRec* rec) noexcept;
void GetOptionsDialog(TPluginCallRec* rec) noexcept;
void ShowOptionsDialog(TPluginCallRec* rec) noexcept;
std::int32_t ExecutePluginCommand(TPluginCallRec* rec) noexcept;
std::int32_t ProcessData(TPluginCallRec* rec) noexcept;
// The tracing export of crash reporting: see crash::TraceProcess.
std::int32_t TraceProcess() noexcept;

// The instance a record names: its ModulePluginHandle when that is not 0,
// its first bytes can be read and it is a registered instance; else nil.
TkorPlugin* FindInstance(const TPluginCallRec* rec);

// The body of ProcessData for a found instance (the data handler's call).
std::int32_t ProcessCall(TkorPlugin& instance, TPluginCallRec* rec);

}  // namespace kor
