#include "plugin/korPluginEnv.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/Diagnostics.h"
#include "platform/Messages.h"
#include "platform/Modules.h"
#include "platform/Time.h"

namespace {

std::mutex gEnvMutex;  // guards the table's replacement

TkorPluginEnv& EnvSlot() {
  static TkorPluginEnv env = DefaultPluginEnv();
  return env;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return true;
}

bool PathExists(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

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
  env.FileExists = PathExists;
  env.ReadFile = ReadWholeFile;
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
