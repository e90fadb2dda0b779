#include "platform/Interrupt.h"

#include <signal.h>

#include <atomic>

namespace plat {
namespace {

// A signal handler may only touch lock-free atomics.
std::atomic<bool> gRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterruptSignal(int) {
  gRequested.store(true);
}

}  // namespace

void WatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = &OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
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
