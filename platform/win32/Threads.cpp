#include "platform/Threads.h"

#include <windows.h>

#include <vector>

namespace plat {

namespace {

using SetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Looked up once: older systems lack it, and then naming does nothing.
SetDescriptionFn SetDescription() {
  static const SetDescriptionFn fn = reinterpret_cast<SetDescriptionFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "SetThreadDescription")));
  return fn;
}

}  // namespace

void SetCurrentThreadName(const std::string& name) {
  SetDescriptionFn fn = SetDescription();
  if (name.empty() || fn == nullptr) return;
  int length =
      MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  if (length <= 0) return;
  std::vector<wchar_t> wide(static_cast<std::size_t>(length) + 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
  fn(GetCurrentThread(), wide.data());
}

}  // namespace plat
