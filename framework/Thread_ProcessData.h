// The worker thread of a data source: it owns a queue of work items that any
// thread may push to, and hands each item, in push order, to a processing
// handler on the worker thread (or, with SynchronizeData, on the main
// thread). An item belongs to the queue while queued, then to the thread,
// which frees it after delivery unless the handler kept it (set it to none).
//
// Threads: Push from any thread. The handlers, SynchronizeData, AlwaysProcess,
// WakeMask and MessagesSuspended may be set by the owner or a descendant
// before or while the thread runs (handlers are guarded by FHandlersMutex,
// flags are atomic); Stop, Terminate and freeing from the owner's thread.
// Lock order: the delivery lock (Lock) encloses the queue's lock.
//
// Building: a descendant that overrides the virtual operations passes
// createSuspended = true and calls Start at the end of its own constructor,
// and calls Shutdown first in its destructor (see TThread).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "framework/Thread_Common.h"
#include "framework/Thread_Queue.h"
#include "framework/WaitableEvent.h"

class TProcessDataThread;

using TProcessDataEvent = std::function<void(TProcessDataThread* sender, TObject*& item)>;
using TThreadNotifyEvent = std::function<void(TProcessDataThread* sender)>;

class TProcessDataThread : public TQueuedCommonThread {
 public:
  // Message mode (processMessages): the thread waits with a message-aware
  // wait and pumps its own window messages between items. Unless
  // createSuspended, returns only once the thread runs.
  TProcessDataThread(bool createSuspended, bool processMessages, std::string threadName);
  ~TProcessDataThread() override;

  // Resumes the thread and waits until it runs; what the constructor does
  // unless created suspended. No effect once started.
  void Start();
  // Stop(true), Terminate and WaitFor: the thread has ended on return.
  void Shutdown();

  void Stop(bool value) override;

  TThreadSafeQueue& Queue() { return FQueue; }
  TWaitableEvent& StartedEvent() { return FStartedEvent; }
  const std::string& ThreadName() const { return FThreadName; }
  bool ProcessMessages() const { return FProcessMessages; }

  void SetOnProcessData(TProcessDataEvent handler);
  void SetOnStart(TThreadNotifyEvent handler);
  void SetOnStop(TThreadNotifyEvent handler);

  std::atomic<bool> MessagesSuspended{false};
  std::atomic<bool> AlwaysProcess{false};
  std::atomic<bool> SynchronizeData{false};
  std::atomic<std::uint32_t> WakeMask{255};

  // The item being delivered, or none; the worker's own view (for handlers).
  TObject* CurrentItem() const { return FCurrentItem; }

  // Handles up to maxCount of the calling thread's window messages (no limit
  // below 1): true when the queue was found empty, false when the limit was
  // hit and more may wait. A quit message is left queued and ends pumping.
  bool PumpMessages(std::int32_t maxCount);

  // Names a thread for debuggers: -1 is the calling thread, the only one
  // this system names; an empty name names nothing.
  static void SetThreadName(const std::string& name, std::int64_t threadId = -1);

  // The shutdown of an owning data module: Stop(true), up to 100 ms for the
  // thread to end, then Terminate and WaitFor; then frees it and sets the
  // pointer to none.
  static void StopAndFree(TProcessDataThread*& thread) noexcept;

 protected:
  void Execute() override;
  // On the worker thread: OnStart (an exception ends the thread's work).
  virtual void DoStart();
  // On the worker thread when its loop ends: OnStop, exceptions swallowed.
  virtual void DoStop();
  // Delivers one item; the caller decided that delivery is wanted.
  virtual void DoProcessData(TObject*& item);

 private:
  void Loop();
  void Drain(bool& pending);
  void Deliver();
  void FreeCurrent() noexcept;
  bool ShouldEnd() const { return Terminated() || Stopped(); }
  TProcessDataEvent ProcessHandler();

  const bool FProcessMessages;
  const std::string FThreadName;
  TThreadSafeQueue FQueue;
  TWaitableEvent FStartedEvent{true, false};
  TObject* FCurrentItem = nullptr;  // worker thread only
  std::mutex FHandlersMutex;        // guards the three handlers
  TProcessDataEvent FOnProcessData;
  TThreadNotifyEvent FOnStart;
  TThreadNotifyEvent FOnStop;
};
