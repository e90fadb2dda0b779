#include "platform/Time.h"

#include <windows.h>

namespace plat {

namespace {

using TickCount64Fn = ULONGLONG(WINAPI*)();

// The 64-bit tick is looked up once; systems without it have only the
// 32-bit counter.
TickCount64Fn Tick64() {
  static const TickCount64Fn fn = reinterpret_cast<TickCount64Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "GetTickCount64")));
  return fn;
}

// Days from 1601-01-01 (the file-time epoch) to 1899-12-30 (the OLE epoch).
constexpr double kFileTimeToOleDays = 109205.0;

}  // namespace

std::uint64_t TickCount64() {
  TickCount64Fn fn = Tick64();
  return fn ? fn() : GetTickCount();
}

std::uint32_t TickCount32() {
  return GetTickCount();
}

bool HasTickCount64() {
  return Tick64() != nullptr;
}

double NowAsOleDate() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  FILETIME asFile{};
  SystemTimeToFileTime(&local, &asFile);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = asFile.dwLowDateTime;
  ticks.HighPart = asFile.dwHighDateTime;
  // 100 ns units since 1601 of the local wall clock
  return static_cast<double>(ticks.QuadPart) / 864e9 - kFileTimeToOleDays;
}

void SleepMs(unsigned ms) {
  Sleep(ms);
}

}  // namespace plat
