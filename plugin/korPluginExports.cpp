// The plug-in library's exports: the host's only way in. Each export hands
// the call to its algorithm in PluginBoundary (which lets no error out) with
// the platform's standard calling convention and an undecorated name (the
// win32 build maps the names in its .def file). Library start-up and
// shutdown run with the loading and unloading of this library.
#include "platform/Defs.h"
#include "platform/Modules.h"
#include "plugin/PluginBoundary.h"
#include "plugin/PluginRegistry.h"

using kor::TPluginCallRec;
using kor::TPluginModuleInfo;

extern "C" {

KOR_EXPORT std::int32_t KOR_STDCALL CreatePluginInstance(TPluginCallRec* rec) {
  return kor::CreatePluginInstance(rec);
}

KOR_EXPORT std::int32_t KOR_STDCALL FreePluginInstance(TPluginCallRec* rec) {
  return kor::FreePluginInstance(rec);
}

KOR_EXPORT std::uint8_t KOR_STDCALL GetModuleInfo(TPluginCallRec* rec, TPluginModuleInfo* info,
                                                  std::uint32_t* needed) {
  return kor::GetModuleInfo(rec, info, needed);
}

KOR_EXPORT std::int32_t KOR_STDCALL GetLogEx(TPluginCallRec* rec) {
  return kor::GetLogEx(rec);
}

KOR_EXPORT void KOR_STDCALL GetOptionsDialog(TPluginCallRec* rec) {
  kor::GetOptionsDialog(rec);
}

KOR_EXPORT void KOR_STDCALL ShowOptionsDialog(TPluginCallRec* rec) {
  kor::ShowOptionsDialog(rec);
}

KOR_EXPORT std::int32_t KOR_STDCALL ExecutePluginCommand(TPluginCallRec* rec) {
  return kor::ExecutePluginCommand(rec);
}

KOR_EXPORT std::int32_t KOR_STDCALL ProcessData(TPluginCallRec* rec) {
  return kor::ProcessData(rec);
}

// Crash reporting's tracing function: writes the calling thread's trace
// scopes to the debugger channel and returns how many there were. It has no
// other effect and never fails.
KOR_EXPORT std::int32_t KOR_STDCALL xelTraceProcess() {
  return kor::TraceProcess();
}

}  // extern "C"

namespace {

// Runs LibraryStartUp when the library is loaded and LibraryShutDown when
// it is unloaded. A failed start-up leaves no registry: every export then
// refuses.
struct TLibraryLifetime {
  TLibraryLifetime() noexcept {
    try {
      kor::LibraryStartUp();
    } catch (...) {
      // Nothing may leave the loader's call.
    }
  }
  ~TLibraryLifetime() { kor::LibraryShutDown(); }
};

const TLibraryLifetime gLibraryLifetime;

}  // namespace
