#include "plugin/korPluginEnv.h"

#include <cstdint>
#include <mutex>

#include "platform/Diagnostics.h"
#include "platform/Files.h"
#include "platform/Messages.h"
#include "platform/Modules.h"
#include "platform/Time.h"

namespace {

std::mutex gEnvMutex;  // guards the table's replacement

TkorPluginEnv& EnvSlot() {
  static TkorPluginEnv env = DefaultPluginEnv();
  return env;
}

// Language and configuration files are small; anything past this is no
// file the plug-in reads.
constexpr std::uint64_t kMaxReadSize = 64u << 20;

}  // namespace

TkorPluginEnv DefaultPluginEnv() {
  TkorPluginEnv env{};
  env.FindLoadedModule = [](const std::string& name) { return plat::FindLoadedModule(name); };
  env.FindSymbol = [](std::uintptr_t module, const char* name) {
    return plat::FindSymbol(module, name);
  };
  env.PostMessage = [](std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    return plat::PostWindowMessage(window, message, wParam, lParam);
  };
  env.SendMessageTimeout = [](std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam, unsigned timeoutMs) {
    std::intptr_t result = 0;
    return plat::SendWindowMessageTimeout(window, message, wParam, lParam, timeoutMs, &result);
  };
  env.LibraryFileName = []() { return plat::OwnModuleFileName(); };
  // Read once: the loaded library's file does not change, and reading it
  // (posix: the whole file) for every instance made creation slow.
  env.LibraryVersion = []() {
    static const std::string version = plat::FileVersion(plat::OwnModuleFileName());
    return version;
  };
  env.ProgramFileName = []() { return plat::ModuleFileName(plat::ExecutableModule()); };
  env.CommonAppDataFolder = []() { return plat::CommonAppDataFolder(); };
  env.CommandLineArguments = []() { return plat::CommandLineArguments(); };
  env.FileExists = [](const std::string& path) { return plat::FileExists(path); };
  env.ReadFile = [](const std::string& path, std::string& content) {
    return plat::ReadWholeFile(path, content, kMaxReadSize);
  };
  env.NowOleDate = []() { return plat::NowAsOleDate(); };
  env.DebugOutput = [](const std::string& text) { plat::DebugOutput(text); };
  env.PathSeparator = plat::kPathDelimiter;
  return env;
}

const TkorPluginEnv& PluginEnv() {
  return EnvSlot();
}

void SetPluginEnv(const TkorPluginEnv& env) {
  std::lock_guard<std::mutex> lock(gEnvMutex);
  EnvSlot() = env;
}
