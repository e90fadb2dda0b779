#include "framework/WaitableEvent.h"

#include <algorithm>
#include <chrono>

#include "platform/Messages.h"

void TWaitableEvent::SetEvent() {
  std::lock_guard<std::mutex> lock(FMutex);
  FSignaled = true;
  if (FManualReset)
    FChanged.notify_all();
  else
    FChanged.notify_one();
  for (TEventWaiter* waiter : FWaiters) waiter->Signal();
}

void TWaitableEvent::ResetEvent() {
  std::lock_guard<std::mutex> lock(FMutex);
  FSignaled = false;
}

bool TWaitableEvent::IsSet() {
  std::lock_guard<std::mutex> lock(FMutex);
  return FSignaled;
}

TWaitResult TWaitableEvent::WaitFor(std::uint32_t timeoutMs) {
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

void TWaitableEvent::Watch(TEventWaiter* waiter) {
  std::lock_guard<std::mutex> lock(FMutex);
  FWaiters.push_back(waiter);
}

void TWaitableEvent::Unwatch(TEventWaiter* waiter) {
  std::lock_guard<std::mutex> lock(FMutex);
  std::erase(FWaiters, waiter);
}

bool TWaitableEvent::TryTake() {
  std::lock_guard<std::mutex> lock(FMutex);
  if (!FSignaled) return false;
  if (!FManualReset) FSignaled = false;
  return true;
}

namespace {

using Clock = std::chrono::steady_clock;

// Wakes a thread sleeping on its own condition variable.
class TPlainWaiter final : public TEventWaiter {
 public:
  void Signal() override {
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = true;
    FChanged.notify_one();
  }
  // False when the deadline passed without a signal.
  bool Sleep(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(FMutex);
    auto signaled = [this] { return FSignaled; };
    bool woken = deadline == Clock::time_point::max()
                     ? (FChanged.wait(lock, signaled), true)
                     : FChanged.wait_until(lock, deadline, signaled);
    FSignaled = false;
    return woken;
  }

 private:
  std::mutex FMutex;  // guards FSignaled
  std::condition_variable FChanged;
  bool FSignaled = false;
};

// Ends the calling thread's message-aware wait.
// Made and freed by the waiting thread; the watch scope that lets events
// signal it ends first.
class TMessageWaiter final : public TEventWaiter {
 public:
  TMessageWaiter() = default;
  ~TMessageWaiter() { plat::FreeThreadWaker(FWaker); }
  TMessageWaiter(const TMessageWaiter&) = delete;
  TMessageWaiter& operator=(const TMessageWaiter&) = delete;
  void Signal() override { plat::WakeThread(FWaker); }
  plat::ThreadWaker Waker() const { return FWaker; }

 private:
  const plat::ThreadWaker FWaker = plat::CreateThreadWaker();
};

// Watches every event for the life of one wait.
class TWatchScope {
 public:
  TWatchScope(TWaitableEvent* const* events, std::int32_t count, TEventWaiter* waiter)
      : FEvents(events), FCount(count), FWaiter(waiter) {
    for (std::int32_t i = 0; i < FCount; ++i) FEvents[i]->Watch(FWaiter);
  }
  ~TWatchScope() {
    for (std::int32_t i = 0; i < FCount; ++i) FEvents[i]->Unwatch(FWaiter);
  }
  TWatchScope(const TWatchScope&) = delete;
  TWatchScope& operator=(const TWatchScope&) = delete;

  // The lowest signalled index, or -1.
  std::int32_t Take() const {
    for (std::int32_t i = 0; i < FCount; ++i)
      if (FEvents[i]->TryTake()) return i;
    return -1;
  }

 private:
  TWaitableEvent* const* FEvents;
  std::int32_t FCount;
  TEventWaiter* FWaiter;
};

Clock::time_point DeadlineAfter(std::uint32_t timeoutMs) {
  if (timeoutMs == TWaitableEvent::Infinite) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

// What is left of the time until deadline, for the platform's wait.
unsigned RemainingMs(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return plat::kInfinite;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<unsigned>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
}

TWaitAnyResult WaitPlain(TWaitableEvent* const* events, std::int32_t count,
                         Clock::time_point deadline) {
  TPlainWaiter waiter;
  TWatchScope scope(events, count, &waiter);
  for (;;) {
    std::int32_t index = scope.Take();
    if (index >= 0) return {TWaitAnyResult::Event, index};
    if (!waiter.Sleep(deadline)) {
      index = scope.Take();
      if (index >= 0) return {TWaitAnyResult::Event, index};
      return {TWaitAnyResult::Timeout, -1};
    }
  }
}

TWaitAnyResult WaitWithMessages(TWaitableEvent* const* events, std::int32_t count,
                                Clock::time_point deadline, std::uint32_t wakeMask) {
  TMessageWaiter waiter;
  TWatchScope scope(events, count, &waiter);
  for (;;) {
    std::int32_t index = scope.Take();
    if (index >= 0) return {TWaitAnyResult::Event, index};
    plat::WaitOutcome outcome =
        plat::WaitForInputOrWake(waiter.Waker(), RemainingMs(deadline), wakeMask);
    if (outcome == plat::WaitOutcome::Woken) continue;
    index = scope.Take();
    if (index >= 0) return {TWaitAnyResult::Event, index};
    if (outcome == plat::WaitOutcome::Input) return {TWaitAnyResult::Input, -1};
    return {TWaitAnyResult::Timeout, -1};
  }
}

}  // namespace

TWaitAnyResult WaitForAny(TWaitableEvent* const* events, std::int32_t count,
                          std::uint32_t timeoutMs, bool messages, std::uint32_t wakeMask) {
  Clock::time_point deadline = DeadlineAfter(timeoutMs);
  if (messages) return WaitWithMessages(events, count, deadline, wakeMask);
  return WaitPlain(events, count, deadline);
}
