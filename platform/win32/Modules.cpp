#include "platform/Modules.h"

// windows.h first: the other two build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

// winbase.h names a macro FreeModule.
#undef FreeModule

#include "platform/Text.h"

namespace plat {

const char kPathDelimiter = '\\';

namespace {

HMODULE AsHandle(ModuleHandle module) {
  return reinterpret_cast<HMODULE>(module);
}

std::string VersionText(const VS_FIXEDFILEINFO& info) {
  const DWORD parts[4] = {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                          HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
  std::string text;
  for (int i = 0; i < 4; ++i) text += (i ? "." : "") + std::to_string(parts[i]);
  return text;
}

}  // namespace

std::string ModuleFileName(ModuleHandle module) {
  if (module == 0) return {};
  char buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(AsHandle(module), buffer, sizeof(buffer));
  return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

std::string OwnModuleFileName() {
  HMODULE self = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&OwnModuleFileName), &self)) return {};
  return ModuleFileName(reinterpret_cast<ModuleHandle>(self));
}

ModuleHandle LoadModule(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module && error)
    *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<ModuleHandle>(module);
}

void FreeModule(ModuleHandle module) {
  if (module != 0) FreeLibrary(AsHandle(module));
}

void* FindSymbol(ModuleHandle module, const char* name) {
  if (module == 0 || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(AsHandle(module), name));
}

ModuleHandle FindLoadedModule(const std::string& name) {
  if (name.empty()) return 0;
  return reinterpret_cast<ModuleHandle>(GetModuleHandleA(name.c_str()));
}

ModuleHandle ExecutableModule() {
  return reinterpret_cast<ModuleHandle>(GetModuleHandleA(nullptr));
}

std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return {};
  return VersionText(*info);
}

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!list) return args;
  for (int i = 0; i < count; ++i)
    args.push_back(WideToAnsi(reinterpret_cast<const char16_t*>(list[i])));
  LocalFree(list);
  return args;
}

std::string CommonAppDataFolder() {
  // A host may point its modules elsewhere (mbus-host --data, tests).
  char overridden[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("KOR_COMMON_APPDATA", overridden, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    std::string result(overridden, length);
    while (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) result.pop_back();
    return result;
  }
  char buffer[MAX_PATH];
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, buffer))) return {};
  std::string result = buffer;
  while (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

std::uint32_t CurrentThreadId() {
  return GetCurrentThreadId();
}

}  // namespace plat
