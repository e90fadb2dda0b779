#include "framework/SyncObjs.h"

#include <chrono>

void TEvent::SetEvent() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = true;
  }
  if (FManualReset)
    FChanged.notify_all();
  else
    FChanged.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> lock(FMutex);
  FSignaled = false;
}

TWaitResult TEvent::WaitFor(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  auto signaled = [this] { return FSignaled; };
  if (timeoutMs == Infinite) {
    FChanged.wait(lock, signaled);
  } else if (!FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), signaled)) {
    return TWaitResult::wrTimeout;
  }
  if (!FManualReset) FSignaled = false;
  return TWaitResult::wrSignaled;
}
