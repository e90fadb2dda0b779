// What the plug-in module asks of its surroundings: the host module and its
// entry points, the host's message window, the library's own file, shared
// folders, the clock and the debugger channel. One replaceable table, so
// tests can play the host without a real process around them. Any thread may
// call the functions; SetPluginEnv is for start-up and tests only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TkorPluginEnv {
  // Handle of an already-loaded module by name; 0 when there is none.
  std::uintptr_t (*FindLoadedModule)(const std::string& name);
  // Address of an exported symbol of a module; nil when missing.
  void* (*FindSymbol)(std::uintptr_t module, const char* name);
  // Queue a message for a window; false when it could not be queued.
  bool (*PostMessage)(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                      std::intptr_t lParam);
  // Deliver and wait at most timeoutMs; false on failure or time-out.
  bool (*SendMessageTimeout)(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam, unsigned timeoutMs);
  // Full file name of this library; "" when unknown.
  std::string (*LibraryFileName)();
  // File version "a.b.c.d" of this library; "" when it cannot be read.
  std::string (*LibraryVersion)();
  // Full file name of the host program; "" when unknown.
  std::string (*ProgramFileName)();
  // The folder for application data shared by all users (no trailing separator).
  std::string (*CommonAppDataFolder)();
  // The host program's command-line arguments, the program name first.
  std::vector<std::string> (*CommandLineArguments)();
  bool (*FileExists)(const std::string& path);
  // Reads a whole file; false when it cannot be read.
  bool (*ReadFile)(const std::string& path, std::string& content);
  // The current local date and time as an OLE date.
  double (*NowOleDate)();
  // One line for an attached debugger.
  void (*DebugOutput)(const std::string& text);
  // The separator of path components ('\\' on Windows, '/' elsewhere).
  char PathSeparator;
};

const TkorPluginEnv& PluginEnv();
// The table that talks to the real system.
TkorPluginEnv DefaultPluginEnv();
void SetPluginEnv(const TkorPluginEnv& env);
