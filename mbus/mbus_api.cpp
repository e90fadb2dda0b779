#include "mbus/mbus_api.h"

#include <atomic>
#include <mutex>

#include "platform/Modules.h"

namespace {

struct TBinding {
  std::mutex Lock;  // guards everything below but Api's reads by workers
  TMbusApi Api;
  TMbusApiState State = TMbusApiState::NotTried;
  int References = 0;
  plat::ModuleHandle Module = 0;
  std::string Path;
  std::vector<std::string> Errors;
};

TBinding& Binding() {
  static TBinding binding;
  return binding;
}

std::atomic<bool> failureReported{false};

std::string OwnFolder() {
  std::string file = plat::OwnModuleFileName();
  const std::size_t cut = file.find_last_of(plat::kPathDelimiter);
  return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

// Binds every name; false when one is missing (each is listed in errors).
bool BindAll(plat::ModuleHandle module, TMbusApi& api, std::vector<std::string>& errors) {
  bool complete = true;
#define KOR_MBUS_API_BIND(name)                                                     \
  api.name = reinterpret_cast<decltype(api.name)>(plat::FindSymbol(module, #name)); \
  if (!api.name) {                                                                  \
    errors.push_back("Unable to load " #name);                                      \
    complete = false;                                                               \
  }
  KOR_MBUS_API_NAMES(KOR_MBUS_API_BIND)
#undef KOR_MBUS_API_BIND
  return complete;
}

}  // namespace

const char* MbusLibraryFileName() {
  return plat::kPathDelimiter == '\\' ? "libmbus.dll" : "libmbus.so";
}

const TMbusApi& MbusApi() {
  return Binding().Api;
}

TMbusApiState MbusApiState() {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  return b.State;
}

std::string MbusApiLibraryPath() {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  return b.Path.empty() ? OwnFolder() + MbusLibraryFileName() : b.Path;
}

std::vector<std::string> MbusApiLoadErrors() {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  return b.Errors;
}

TMbusApiState MbusApiAcquire(const std::string& folder) {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  if (b.References++ > 0) return b.State;
  try {
    b.Errors.clear();
    b.Path = (folder.empty() ? OwnFolder() : folder) + MbusLibraryFileName();
    std::string reason;
    b.Module = plat::LoadModule(b.Path, &reason);
    if (!b.Module) {
      b.Errors.push_back(reason.empty() ? "cannot load " + b.Path : reason);
      b.State = TMbusApiState::Failed;
      return b.State;
    }
    if (!BindAll(b.Module, b.Api, b.Errors)) {
      b.Api = TMbusApi{};
      plat::FreeModule(b.Module);
      b.Module = 0;
      b.State = TMbusApiState::Failed;
      return b.State;
    }
    b.State = TMbusApiState::Loaded;
  } catch (...) {
    b.Api = TMbusApi{};
    b.State = TMbusApiState::Failed;
  }
  return b.State;
}

void MbusApiRelease() noexcept {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  if (b.References == 0 || --b.References > 0) return;
  b.Api = TMbusApi{};
  if (b.Module) plat::FreeModule(b.Module);
  b.Module = 0;
  b.State = TMbusApiState::NotTried;
}

bool MbusApiTakeFailureReport() noexcept {
  if (MbusApiState() != TMbusApiState::Failed) return false;
  return !failureReported.exchange(true);
}
