// Scheduled events: a named schedule whose runs call a handler, delivered in
// one of four ways (the signalling type):
//   0  a new thread per run (OnSchedule must then be thread-safe),
//   1  on the main thread (plat::RunOnMainThread),
//   2  posted to a hidden window of the thread that called Run (default),
//   3  timer mode: no thread at all; an owner-thread timer of the thread that
//      called Run evaluates and fires from that thread's message loop.
// Types 0 to 2 run a schedule thread that waits for the runs.
//
// Threads: configure (handlers, type, schedule) and Run/Stop on the owner
// thread. The event's state is guarded by its link's re-entrant lock, which
// the schedule thread, the run threads, the main thread and the window take
// before they touch the event; Fire runs with it held. The end handlers
// (OnLastRun, OnExpired) of types 0 to 2 run on the schedule thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/Classes.h"
#include "framework/Scheduler.h"
#include "platform/Messages.h"

class TScheduledEvent;
class TScheduleThread;
class TEvent;

// High-resolution elapsed time (the steady clock; frequency 1000 without one).
class TIntervalMeter : public TObject {
 public:
  TIntervalMeter() { Restart(); }
  void Restart();
  std::uint64_t ElapsedMs() const;

 private:
  std::uint64_t FFrequency = 1000;
  std::uint64_t FStart = 0;
};

// The threads of one event (its schedule thread and its run threads). They
// are joined, never left to end by themselves: once JoinAll returns, none of
// them runs any more, so an event can be freed (and its module unloaded)
// without a thread still ending. Any thread starts one; the event's
// destructor joins them. Threads that ended are joined when the next starts.
// Guarded by its own lock, never held while a thread is joined.
class TEventThreads {
 public:
  TEventThreads() = default;
  TEventThreads(const TEventThreads&) = delete;
  TEventThreads& operator=(const TEventThreads&) = delete;
  ~TEventThreads();

  // body must not throw.
  void Start(std::function<void()> body);
  // Joins every thread, the calling one excepted (it is detached: it ends
  // right after, touching nothing of the event).
  void JoinAll();
  std::size_t Count();

  // Threads of all events started and not yet ended, process-wide.
  static std::size_t Live();

 private:
  struct TEntry {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Ended;
  };
  void JoinEnded();  // under FLock

  std::mutex FLock;  // guards FThreads
  std::vector<TEntry> FThreads;
};

// What outlives an event for the threads and windows that may still refer to
// it: Event turns null when the event is destroyed.
struct TEventLink {
  std::recursive_mutex Lock;  // guards Event and the event's state
  TScheduledEvent* Event = nullptr;
  TEventThreads Threads;  // the event's threads; joined before it is freed
};

// Runs one firing of an event on a thread of its own (one of the event's
// threads, joined before the event is freed).
class TWorkerThread {
 public:
  static void Start(const std::shared_ptr<TEventLink>& link, std::uintptr_t param);
};

using TScheduledEventHandler = std::function<void(TScheduledEvent& event)>;
using TScheduleHandler = std::function<void(TScheduledEvent& event, std::uintptr_t param)>;

class TScheduledEvent : public TObject {
 public:
  static constexpr std::uint32_t kFireMessage = 0x0401;
  static constexpr std::uint32_t kStopWaitMs = 3000;

  // clock: null for the system clock; must outlive the event.
  explicit TScheduledEvent(std::string name, const TScheduleClock* clock = nullptr);
  // Stops the event and joins its threads (a run in progress ends first).
  // Not from inside one of its own handlers.
  ~TScheduledEvent() override;

  const std::string& Name() const { return FName; }
  TSchedule& Schedule() { return FSchedule; }
  std::uint8_t SignallingType() const { return FSignallingType; }
  // Raises "Cannot change signaling type while running".
  void SetSignallingType(std::uint8_t value);
  bool Running() const;
  std::uint64_t RunCount() const;

  // Starts the event; false when the schedule has no run at all. Raises the
  // schedule's errors and "AllocateHWND failed".
  bool Run(bool firstRun);
  void Stop();
  // One run: counts it, calls OnSchedule, ends the event at MaxRuns.
  void Fire(std::uintptr_t param);

  std::atomic<bool> Paused{false};  // runs by window or timer are skipped
  std::uint64_t MaxRuns = 0;        // 0: unlimited
  TScheduledEventHandler OnStart, OnStop, OnExpired, OnLastRun, OnMaxRuns;
  TScheduleHandler OnSchedule;

 private:
  friend class TScheduleThread;
  static std::intptr_t WindowProc(void* context, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam);
  void ThreadEnded(std::uint8_t state);
  void ReleaseThread();

  const std::string FName;
  TSchedule FSchedule;
  std::shared_ptr<TEventLink> FLink;
  std::shared_ptr<TEvent> FStopEvent;
  std::shared_ptr<TScheduleThread> FThread;
  std::shared_ptr<TScheduleThread> FRetired;  // stopped from inside its own timer
  plat::WindowHandle FWindow = 0;
  std::thread::id FWindowThread;
  std::uint8_t FSignallingType = 2;
  bool FRunning = false;
  std::uint64_t FRunCount = 0;
};

// An owning list of events; OnAdd is told of each event Add creates.
class TSchEventList : public TObjectList {
 public:
  TSchEventList() : TObjectList(true) {}
  TScheduledEvent* Add(const std::string& name);
  TScheduledEvent* Items(std::int32_t index) const {
    return static_cast<TScheduledEvent*>(TObjectList::Items(index));
  }
  std::function<void(TSchEventList& list, TScheduledEvent& event)> OnAdd;
};
