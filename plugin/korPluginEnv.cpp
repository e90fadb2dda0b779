#include "plugin/korPluginEnv.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/Diagnostics.h"
#include "platform/Modules.h"

namespace {

std::mutex gEnvMutex;  // guards gEnv and the C library's local-time buffer

TkorPluginEnv& EnvSlot() {
  static TkorPluginEnv env = DefaultPluginEnv();
  return env;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

double NowLocalOleDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  {
    std::lock_guard<std::mutex> lock(gEnvMutex);
    const std::tm* tm = std::localtime(&now);
    if (tm) local = *tm;
  }
  constexpr long long kOleEpochOffset = 25569;  // 1899-12-30 to 1970-01-01
  long long days = DaysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                                 static_cast<unsigned>(local.tm_mday)) +
                   kOleEpochOffset;
  double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return static_cast<double>(days) + seconds / 86400.0;
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
  // Window messages join once the messages service is built; until then the
  // host is not told (lines still wait in the log for the next fetch).
  env.PostMessage = [](std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return false;
  };
  env.SendMessageTimeout = [](std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t,
                              unsigned) { return false; };
  env.LibraryFileName = []() { return plat::OwnModuleFileName(); };
  env.LibraryVersion = []() { return plat::FileVersion(plat::OwnModuleFileName()); };
  env.ProgramFileName = []() { return plat::ModuleFileName(plat::ExecutableModule()); };
  env.CommonAppDataFolder = []() { return plat::CommonAppDataFolder(); };
  env.CommandLineArguments = []() { return plat::CommandLineArguments(); };
  env.FileExists = PathExists;
  env.ReadFile = ReadWholeFile;
  env.NowOleDate = NowLocalOleDate;
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
