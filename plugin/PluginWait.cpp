#include "plugin/PluginWait.h"

#include <chrono>
#include <thread>

#include "platform/Messages.h"

namespace kor {

namespace {

// 1 every flag set, 0 the first clear flag, -1 a missing flag address.
int ScanFlags(std::initializer_list<const std::atomic<bool>*> flags) {
  for (const std::atomic<bool>* flag : flags) {
    if (!flag) return -1;
    if (!flag->load()) return 0;
  }
  return 1;
}

// Handles the calling thread's queued messages; errors are swallowed.
void HandlePendingMessages() {
  try {
    plat::ProcessPendingMessages();
    std::this_thread::yield();
  } catch (...) {
    // A failing message handler does not end the wait.
  }
}

}  // namespace

bool WaitWhileAllSet(std::uint32_t timeoutMs, std::initializer_list<const std::atomic<bool>*> flags,
                     unsigned options) {
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return timeoutMs != 0 &&
           std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs);
  };
  int state = ScanFlags(flags);
  while (state == 1 && !elapsed()) {
    if ((options & kWaitNoMessages) == 0) HandlePendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    state = ScanFlags(flags);
  }
  return state == 0;
}

}  // namespace kor
