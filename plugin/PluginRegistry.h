// The library's global state: the registry of live plug-in instances, the
// registered plug-in class and the unload procedures.
//
// The registry is a TThreadObjectList (not owning) behind its multi-reader,
// single-writer lock: appends take the write lock, scans the read lock, and
// freeing an instance upgrades from read to write only to extract it. It
// exists from LibraryStartUp to LibraryShutDown; afterwards Registry() is
// nil. Any thread may call every function here.
#pragma once

#include <cstdint>
#include <functional>

#include "framework/Thread_ObjectList.h"
#include "plugin/PluginRecords.h"

class TkorPlugin;

namespace kor {

// Creates one instance for a creating call (rec after EnterCall).
using TPluginClass = TkorPlugin* (*)(TPluginCallRec* rec, std::uintptr_t moduleHandle);

// The class CreatePluginInstance instantiates; start-up registers the
// generic TkorPlugin, a concrete module replaces it at its own start-up.
void RegisterPluginClass(TPluginClass pluginClass) noexcept;
TPluginClass RegisteredPluginClass();

// Creates the registry and the unload procedures (the crash-reporting
// shutdown hook) and registers TkorPlugin unless a class is registered.
// Idempotent while the library lives.
void LibraryStartUp();
// Takes the registry out of its slot, frees every instance still in it
// under the write lock, frees the registry and the unload procedures.
void LibraryShutDown() noexcept;

// The registry, nil before start-up and after shutdown.
TThreadObjectList* Registry();

// Appends under the write lock; false when the registry no longer exists.
bool RegisterInstance(TkorPlugin* instance);

// Scans under the read lock for the first instance whose self-reference is
// handle and extracts it under the write lock (an upgrade). Nil when none
// was found, or when another thread extracted it first. Never frees.
TkorPlugin* ExtractInstance(std::uintptr_t handle);

// Calls fn for every registered instance, in order, under the read lock.
void ForEachInstance(const std::function<void(TkorPlugin&)>& fn);

// Unload procedures: parameterless, called once by RunUnloadAll in the
// order they were added. The list is created on first use.
using TUnloadProc = void (*)();
void AddUnloadProc(TUnloadProc proc);

// The unload marker's work: takes the list out of its slot (so it runs once
// per library lifetime), stops the crash-reporting watchdog first when no
// instance is registered, calls every procedure (an error of one does not
// stop the next) and frees the list. False when there was no list.
bool RunUnloadAll() noexcept;

}  // namespace kor
