// Small synchronization objects of the runtime: a re-entrant critical section
// and a manual- or auto-reset event. Any thread may use them; each guards its
// own state with a standard mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "framework/Classes.h"

// A re-entrant lock: the thread that entered may enter again and must leave
// as often. Also a standard Lockable, so std::lock_guard and std::unique_lock
// work on it.
class TCriticalSection : public TObject {
 public:
  void Enter() { FMutex.lock(); }
  void Leave() { FMutex.unlock(); }
  bool TryEnter() { return FMutex.try_lock(); }

  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex FMutex;
};

enum class TWaitResult { wrSignaled, wrTimeout };

// An event flag threads wait on. A manual-reset event stays signaled until
// ResetEvent and releases every waiter; an auto-reset event releases one
// waiter and clears itself as that waiter returns.
class TEvent : public TObject {
 public:
  static constexpr std::uint32_t Infinite = 0xFFFFFFFFu;

  explicit TEvent(bool manualReset = true, bool initialState = false)
      : FManualReset(manualReset), FSignaled(initialState) {}

  void SetEvent();
  void ResetEvent();
  // Waits up to timeoutMs milliseconds (Infinite: no limit); 0 only tests.
  TWaitResult WaitFor(std::uint32_t timeoutMs = Infinite);

 private:
  const bool FManualReset;
  std::mutex FMutex;  // guards FSignaled
  std::condition_variable FChanged;
  bool FSignaled;
};
