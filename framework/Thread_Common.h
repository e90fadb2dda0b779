// A thread with a wake-up event, a stop flag and a delivery lock: the base of
// the queued worker threads. The owner's thread calls Stop and SetWakeUp;
// the worker reads Stopped at each turn of its loop, and WakeEvent ends its
// wait at once.
#pragma once

#include <atomic>

#include "framework/SyncObjs.h"
#include "framework/Thread.h"
#include "framework/WaitableEvent.h"

class TQueuedCommonThread : public TThread {
 public:
  // Always created suspended (see TThread); createSuspended is kept for the
  // descendants, which resume when they are fully built.
  explicit TQueuedCommonThread(bool createSuspended);

  // Signals WakeEvent when value is true, resets it when false.
  virtual void SetWakeUp(bool value);
  // True asks the thread to finish; false withdraws the request and the wake
  // signal. A suspended thread is resumed so that it can end.
  virtual void Stop(bool value);

  bool Stopped() const { return FStopped; }
  TWaitableEvent& WakeEvent() { return FWakeEvent; }
  // Held by the worker around every delivery of an item: an owner that holds
  // it knows no item is being delivered.
  TCriticalSection& Lock() { return FLock; }

 protected:
  const bool FCreateSuspended;

 private:
  TWaitableEvent FWakeEvent{true, false};
  std::atomic<bool> FStopped{false};
  TCriticalSection FLock;
};
