#include "plugin/PluginRegistry.h"

#include <atomic>
#include <memory>
#include <vector>

#include "framework/SyncObjs.h"
#include "plugin/korCrashReport.h"
#include "plugin/korPluginModule.h"

namespace kor {

namespace {

// The list of unload procedures with its own lock.
struct TUnloadProcList {
  TCriticalSection Lock;
  std::vector<TUnloadProc> Procs;
};

std::atomic<TThreadObjectList*> gRegistry{nullptr};
std::atomic<TUnloadProcList*> gUnloadProcs{nullptr};
std::atomic<TPluginClass> gPluginClass{nullptr};

TkorPlugin* CreateGenericPlugin(TPluginCallRec* rec, std::uintptr_t moduleHandle) {
  return new TkorPlugin(rec, moduleHandle);
}

TUnloadProcList& UnloadProcs() {
  TUnloadProcList* list = gUnloadProcs.load();
  if (list) return *list;
  auto fresh = std::make_unique<TUnloadProcList>();
  if (gUnloadProcs.compare_exchange_strong(list, fresh.get())) return *fresh.release();
  return *list;  // another thread created it first
}

void CallUnloadProcs(TUnloadProcList& list) {
  list.Lock.Enter();
  for (TUnloadProc proc : list.Procs) {
    try {
      proc();
    } catch (...) {
      // One failing procedure does not keep the others from running.
    }
  }
  list.Lock.Leave();
}

// Frees every instance of a registry that is no longer reachable.
void FreeAllInstances(TThreadObjectList& registry) {
  TObjectList* list = registry.LockWrite();
  while (list->Count() > 0) {
    TObject* instance = list->Items(list->Count() - 1);
    list->Extract(instance);
    try {
      delete instance;
    } catch (...) {
      // Shutdown goes on with the next instance.
    }
  }
  registry.UnlockWrite();
}

}  // namespace

void RegisterPluginClass(TPluginClass pluginClass) noexcept {
  gPluginClass.store(pluginClass);
}

TPluginClass RegisteredPluginClass() {
  TPluginClass pluginClass = gPluginClass.load();
  return pluginClass ? pluginClass : &CreateGenericPlugin;
}

void LibraryStartUp() {
  if (gRegistry.load()) return;
  auto registry = std::make_unique<TThreadObjectList>(false);
  TThreadObjectList* expected = nullptr;
  if (!gRegistry.compare_exchange_strong(expected, registry.get())) return;
  (void)registry.release();  // owned by the global slot now
  TPluginClass none = nullptr;
  (void)gPluginClass.compare_exchange_strong(none, &CreateGenericPlugin);
  // This code always runs inside a dynamic library.
  AddUnloadProc(&crash::Shutdown);
}

void LibraryShutDown() noexcept {
  try {
    std::unique_ptr<TThreadObjectList> registry(gRegistry.exchange(nullptr));
    if (registry) FreeAllInstances(*registry);
    registry.reset();
    delete gUnloadProcs.exchange(nullptr);
  } catch (...) {
    // Nothing can be reported while the library goes away.
  }
}

TThreadObjectList* Registry() {
  return gRegistry.load();
}

bool RegisterInstance(TkorPlugin* instance) {
  TThreadObjectList* registry = gRegistry.load();
  if (!registry) return false;
  registry->Add(instance);
  return true;
}

TkorPlugin* ExtractInstance(std::uintptr_t handle) {
  TThreadObjectList* registry = gRegistry.load();
  if (!registry || handle == 0) return nullptr;
  TkorPlugin* found = nullptr;
  TObjectList* list = registry->LockRead();
  for (std::int32_t i = 0; i < list->Count(); ++i) {
    auto* instance = static_cast<TkorPlugin*>(list->Items(i));
    if (reinterpret_cast<std::uintptr_t>(instance->ModulePluginHandle) != handle) continue;
    // The upgrade may let another writer in first (another thread freeing
    // the same instance): extracting by address under the write lock then
    // finds nothing, so the instance is freed exactly once.
    registry->LockWrite();
    try {
      found = static_cast<TkorPlugin*>(list->Extract(instance));
    } catch (...) {
      found = nullptr;
    }
    registry->UnlockWrite();
    break;
  }
  registry->UnlockRead();
  return found;
}

void ForEachInstance(const std::function<void(TkorPlugin&)>& fn) {
  TThreadObjectList* registry = gRegistry.load();
  if (!registry) return;
  TObjectList* list = registry->LockRead();
  try {
    for (std::int32_t i = 0; i < list->Count(); ++i) fn(*static_cast<TkorPlugin*>(list->Items(i)));
  } catch (...) {
    registry->UnlockRead();
    throw;
  }
  registry->UnlockRead();
}

void AddUnloadProc(TUnloadProc proc) {
  TUnloadProcList& list = UnloadProcs();
  list.Lock.Enter();
  list.Procs.push_back(proc);
  list.Lock.Leave();
}

bool RunUnloadAll() noexcept {
  std::unique_ptr<TUnloadProcList> list(gUnloadProcs.exchange(nullptr));
  if (!list) return false;
  try {
    TThreadObjectList* registry = gRegistry.load();
    if (registry && registry->Count() == 0) crash::StopWatchdog();
  } catch (...) {
    // The procedures run all the same.
  }
  CallUnloadProcs(*list);
  return true;
}

}  // namespace kor
