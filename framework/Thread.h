// The thread class the worker threads build on: a std::thread started on
// Resume, with Terminated, Suspended, priority, Terminate, WaitFor and
// Synchronize (run a function on the main thread and wait for it).
//
// A descendant overrides Execute (and DoTerminate), which run on the thread.
// Virtual calls from a running thread are only safe once the descendant is
// fully constructed and while it is not yet being destroyed: so a thread is
// created suspended and resumed at the end of the most derived constructor,
// and the most derived destructor ends the thread first (Terminate and
// WaitFor) before its members go. The base destructor only joins.
//
// Controlling calls (Resume, Terminate, WaitFor, priority) come from the
// owner's thread; the flags are atomic, so the thread may read them anytime.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "framework/WaitableEvent.h"

class EThread : public Exception {
 public:
  using Exception::Exception;
};

enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended);
  ~TThread() override;

  // Starts the thread the first time; no effect once it runs.
  void Resume();
  // Asks Execute to end (it checks Terminated).
  void Terminate() { FTerminated = true; }
  // Waits for the thread to end. From the main thread (plat::IsMainThread)
  // it keeps handling messages, so the thread's Synchronize calls still run.
  // Returns at once for a thread never started; raises EThread on itself.
  void WaitFor();

  bool Terminated() const { return FTerminated; }
  bool Suspended() const { return FSuspended; }
  // Execute and DoTerminate have returned.
  bool Finished() const { return FFinished; }
  // Signalled once Finished.
  TWaitableEvent& FinishedEvent() { return FFinishedEvent; }

  // Kept for the thread's own use (pumping pauses); not applied to the
  // operating system's scheduler.
  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority value) { FPriority = value; }

  std::thread::id ThreadID() const;

  // Runs fn on the main thread and waits; an exception from fn is raised
  // again here. Raises EThread when there is no main thread. On the main
  // thread fn runs directly.
  static void Synchronize(const std::function<void()>& fn);

 protected:
  virtual void Execute() = 0;
  // On the thread, after Execute.
  virtual void DoTerminate() {}

 private:
  void Body() noexcept;
  void WaitPumping();

  std::mutex FStartMutex;  // guards FThread's start and join
  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FSuspended{true};
  std::atomic<bool> FFinished{false};
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
  TWaitableEvent FFinishedEvent{true, false};
};
