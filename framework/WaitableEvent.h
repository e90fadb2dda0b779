// An event that can be waited on together with others and, optionally, with
// the calling thread's window messages: what the worker threads sleep on.
// Any thread may set, reset or wait. Each event guards its state with its own
// mutex; a waiter's own lock (or the platform's wake-up) is taken inside it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "framework/Classes.h"
#include "framework/SyncObjs.h"

// Told when an event it watches becomes signalled. Called with the event's
// mutex held, so it must only wake its thread.
class TEventWaiter {
 public:
  virtual void Signal() = 0;

 protected:
  ~TEventWaiter() = default;
};

class TWaitableEvent : public TObject {
 public:
  static constexpr std::uint32_t Infinite = 0xFFFFFFFFu;

  explicit TWaitableEvent(bool manualReset = true, bool initialState = false)
      : FManualReset(manualReset), FSignaled(initialState) {}

  void SetEvent();
  void ResetEvent();
  bool IsSet();
  TWaitResult WaitFor(std::uint32_t timeoutMs = Infinite);

  // For WaitForAny: watching starts and ends under the event's mutex, so a
  // waiter is never told after Unwatch returns.
  void Watch(TEventWaiter* waiter);
  void Unwatch(TEventWaiter* waiter);
  // True when signalled; an auto-reset event is cleared by the take.
  bool TryTake();

 private:
  const bool FManualReset;
  std::mutex FMutex;  // guards FSignaled and FWaiters
  std::condition_variable FChanged;
  bool FSignaled;
  std::vector<TEventWaiter*> FWaiters;
};

// What ended a WaitForAny: one of the events (its index, the lowest one
// signalled), input for the thread's message queue, or the time limit.
struct TWaitAnyResult {
  enum Kind { Event, Input, Timeout } kind;
  std::int32_t index;
};

// Waits until one of the events is signalled or timeoutMs passes (Infinite:
// no limit). With messages, input of the kinds in wakeMask queued for the
// calling thread ends the wait too (signalled events are reported first).
// One kernel wait while idle; no polling.
TWaitAnyResult WaitForAny(TWaitableEvent* const* events, std::int32_t count,
                          std::uint32_t timeoutMs, bool messages = false,
                          std::uint32_t wakeMask = 0);
