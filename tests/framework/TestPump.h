// Pumping the calling thread's messages in tests that wait for windows,
// timers or posted work.
#pragma once

#include <chrono>

#include "platform/Messages.h"
#include "tests/framework/TestThreads.h"

namespace kortest {

// Pumps until the condition holds; fails the test after kHangLimit.
template <class Condition>
void PumpUntil(Condition condition) {
  auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) FailHung("pump");
    plat::WaitAndProcessMessages(5);
  }
}

}  // namespace kortest
