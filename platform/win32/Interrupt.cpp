#include "platform/Interrupt.h"

#include <windows.h>

#include <atomic>

namespace plat {
namespace {

std::atomic<bool> gRequested{false};

// Runs on a thread the console creates; the program ends when it has
// polled the flag, so the handler answers "handled".
BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      gRequested.store(true);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void WatchInterrupt() {
  static std::atomic<bool> installed{false};
  if (!installed.exchange(true)) SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

bool InterruptRequested() {
  return gRequested.load();
}

void ClearInterrupt() {
  gRequested.store(false);
}

void RequestInterrupt() {
  gRequested.store(true);
}

}  // namespace plat
