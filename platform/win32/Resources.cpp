#include "platform/Resources.h"

#include <windows.h>

namespace plat {

namespace {

HMODULE OwnModule() {
  HMODULE self = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&LoadDataResource), &self);
  return self;
}

}  // namespace

std::string LoadDataResource(std::string_view name) {
  try {
    std::string key(name);
    HMODULE module = OwnModule();
    HRSRC found = FindResourceA(module, key.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return std::string(static_cast<const char*>(data), SizeofResource(module, found));
  } catch (...) {
    return {};
  }
}

void RegisterDataResource(std::string_view, std::string_view) {}

}  // namespace plat
