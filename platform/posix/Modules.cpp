#include "platform/Modules.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace plat {

const char kPathDelimiter = '/';

namespace {

// A module handle is the loader's pointer.
void* AsPointer(ModuleHandle module) {
  return reinterpret_cast<void*>(module);  // NOLINT(performance-no-int-to-ptr)
}

// The mask is read at run time, so the compiler cannot fold the unmasked
// mark into this code's constants (the search would find itself).
volatile unsigned char gMarkMask = kEmbeddedVersionMask;

// The mark of an embedded version, unmasked at run time.
std::array<unsigned char, 8> EmbeddedMark() {
  static constexpr unsigned char kMasked[8] = {0x7F ^ 0x5A, 'K' ^ 0x5A, 'O' ^ 0x5A, 'R' ^ 0x5A,
                                               'V' ^ 0x5A,  'E' ^ 0x5A, 'R' ^ 0x5A, 0x01 ^ 0x5A};
  std::array<unsigned char, 8> mark{};
  for (std::size_t i = 0; i < mark.size(); ++i) mark[i] = kMasked[i] ^ gMarkMask;
  return mark;
}

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExecutablePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The loader's handle for each loaded object; compared with a handle given
// from outside, which dlsym would take on trust (and fault on).
int CompareHandle(dl_phdr_info* info, size_t, void* data) {
  auto* wanted = static_cast<std::pair<void*, bool>*>(data);
  if (!info->dlpi_name || !*info->dlpi_name) return 0;
  void* handle = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) return 0;
  dlclose(handle);
  wanted->second = handle == wanted->first;
  return wanted->second ? 1 : 0;
}

bool IsLoadedModule(ModuleHandle module) {
  if (module == ExecutableModule()) return true;
  std::pair<void*, bool> wanted{AsPointer(module), false};
  dl_iterate_phdr(&CompareHandle, &wanted);
  return wanted.second;
}

}  // namespace

std::string OwnModuleFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModuleFileName), &info) == 0 || !info.dli_fname) return {};
  std::string name = info.dli_fname;
  // The main program may be reported by the name it was started with.
  if (name.find('/') == std::string::npos) return ExecutablePath();
  char* full = realpath(name.c_str(), nullptr);
  if (!full) return name;
  std::string result = full;
  std::free(full);
  return result;
}

std::string ModuleFileName(ModuleHandle module) {
  if (module == 0) return {};
  if (module == ExecutableModule()) return ExecutablePath();
  if (!IsLoadedModule(module)) return {};
  // The loader's link map tells the file of a handle.
  link_map* map = nullptr;
  if (dlinfo(AsPointer(module), RTLD_DI_LINKMAP, &map) != 0 || !map) return {};
  return map->l_name ? std::string(map->l_name) : std::string();
}

ModuleHandle LoadModule(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && error) {
    const char* reason = dlerror();
    *error = reason ? reason : "cannot load " + path;
  }
  return reinterpret_cast<ModuleHandle>(handle);
}

void FreeModule(ModuleHandle module) {
  if (module != 0 && module != ExecutableModule()) dlclose(AsPointer(module));
}

void* FindSymbol(ModuleHandle module, const char* name) {
  if (module == 0 || !name || !IsLoadedModule(module)) return nullptr;
  return dlsym(AsPointer(module), name);
}

ModuleHandle FindLoadedModule(const std::string& name) {
  if (name.empty()) return 0;
  std::string exe = ExecutablePath();
  if (name == exe || name == BaseName(exe)) return ExecutableModule();
  void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) return 0;
  // RTLD_NOLOAD counted a reference; the module stays loaded without it.
  dlclose(handle);
  return reinterpret_cast<ModuleHandle>(handle);
}

ModuleHandle ExecutableModule() {
  static void* const self = dlopen(nullptr, RTLD_LAZY);
  return reinterpret_cast<ModuleHandle>(self);
}

// Scans the file in blocks: a library with debug information is tens of
// megabytes, and reading it whole left the heap that large for good.
std::string FileVersion(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  const auto mark = EmbeddedMark();
  constexpr std::size_t kBlock = std::size_t{64} * 1024;
  // Room for a block after what the last one left: a mark's start that may
  // continue, or a found record that the block cut.
  std::vector<char> buffer(sizeof(TEmbeddedVersion) + kBlock);
  std::size_t kept = 0;
  for (;;) {
    file.read(buffer.data() + kept, static_cast<std::streamsize>(kBlock));
    const std::size_t filled = kept + static_cast<std::size_t>(file.gcount());
    const void* at = memmem(buffer.data(), filled, mark.data(), mark.size());
    const bool more = static_cast<bool>(file);
    if (at) {
      const std::size_t offset = static_cast<const char*>(at) - buffer.data();
      if (filled - offset >= sizeof(TEmbeddedVersion)) {
        TEmbeddedVersion record{};
        std::memcpy(&record, at, sizeof(record));
        std::string text;
        for (int i = 0; i < 4; ++i) text += (i ? "." : "") + std::to_string(record.Numbers[i]);
        return text;
      }
      if (!more) return {};
      kept = filled - offset;
      std::memmove(buffer.data(), at, kept);
      continue;
    }
    if (!more) return {};
    kept = std::min(filled, mark.size() - 1);
    std::memmove(buffer.data(), buffer.data() + filled - kept, kept);
  }
}

std::vector<std::string> CommandLineArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(file, arg, '\0')) args.push_back(arg);
  return args;
}

std::string CommonAppDataFolder() {
  const char* folder = std::getenv("KOR_COMMON_APPDATA");
  std::string result = folder && *folder ? folder : "/var/lib";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::uint32_t CurrentThreadId() {
  return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

}  // namespace plat
