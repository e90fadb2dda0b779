// The queue controller: decides which request of a data source goes out next
// and when. TQueueController holds the state and the events,
// TQueueControllerTimer adds the periodic tick, the schedules and the host
// event trigger, TQueueControllerTimerEx asks its data source whether to run.
//
// Threads:
// - the owner thread (the one that created the controller; it must pump
//   messages) runs the tick, the scheduled events and their handler;
// - the data source's worker calls RequestDone, RestartRequestWatch and
//   RestartResponseTimer from its own thread;
// - the host's calling thread runs TriggerEvent, sets ResetPending and may
//   call Start, Reset, SetTimerEnabled and ClearSchedules.
// Locks, taken in this order:
// - Requests' read/write lock guards the list's structure: the tick, the
//   schedule handler and RequestDone read; Reset and TriggerEvent write;
// - RunLock (re-entrant, innermost of the two) guards the run-time fields of
//   the items and of this controller (RequestId, PauseTimer, Cursor,
//   RequestWatch, ResponseTimer, CurrentItem). The events OnExecute,
//   OnTimeout and OnSchedule are called with both held: they may queue work
//   but must not wait for a thread that takes either lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "framework/Classes.h"
#include "framework/SyncObjs.h"
#include "framework/korTimeout.h"
#include "framework/parser_BasicRequestItem.h"

class TDataSourceScheduled;
class TkorParamsList;
class TkorTimerEx;
class TSchEventList;
class TScheduledEvent;
class TScheduleClock;
class TQueueController;

// Sends item; true on success with timeout (ms, 0 none) and requestId set.
using TQueueExecuteEvent = std::function<bool(TQueueController& sender, TBasicRequestItem& item,
                                              std::uint32_t& timeout, std::int32_t& requestId)>;
// The answer to item did not come in time; retry may be changed.
using TQueueTimeoutEvent =
    std::function<void(TQueueController& sender, TBasicRequestItem& item, bool& retry)>;
using TQueueErrorEvent = std::function<void(TQueueController& sender, const std::string& context,
                                            const std::exception& error, const std::string& text)>;
using TQueueScheduleEvent =
    std::function<void(TQueueController& sender, TScheduledEvent& event, TBasicRequestItem& item)>;

class TQueueController : public TObject {
 public:
  static constexpr std::uint32_t kDefaultTickInterval = 50;

  explicit TQueueController(TDataSourceScheduled* dataSource);
  ~TQueueController() override;

  TQueueExecuteEvent OnExecute;
  TQueueTimeoutEvent OnTimeout;
  TQueueErrorEvent OnError;
  TQueueScheduleEvent OnSchedule;

  // Non-zero: the next tick clears it and runs Reset instead of sending.
  std::atomic<std::uint8_t> ResetPending{0};
  TDataSourceScheduled* const DataSource;  // not owned
  TBasicRequestList* const Requests;       // owned

  // ---- under RunLock
  std::int32_t RequestId = -1;               // the id of the last successful send
  TTickTimeout PauseTimer;                   // runs MinPause ms after each send
  std::int32_t Cursor = -1;                  // the index after the last request sent or given up
  TTickTimeout RequestWatch;                 // plain; from the send, restarted per frame
  TTickTimeout ResponseTimer;                // the answer time-out of the request in flight
  TBasicRequestItem* CurrentItem = nullptr;  // in flight; not owned
  // A retry the tick chose while the pause between sends still ran: it goes
  // out as soon as the pause has passed.
  TBasicRequestItem* PendingRetry = nullptr;

  std::atomic<std::uint32_t> MinPause{0};  // ms between two sends

  TCriticalSection& RunLock() { return FRunLock; }

  // The request in flight has ended (from the worker's completion). Status
  // 1, 8, 9 and 10 are successes and reset the item's tries. Then, outside
  // the locks, DoRequestDone (the timed controller brings its next tick
  // forward).
  void RequestDone(std::uint8_t status);
  // From the worker each time it sends a frame of the request in flight:
  // the watch restarts, and the answer time-out counts from this frame.
  // Without a request in flight (RequestWatch cleared) nothing changes.
  void RestartRequestWatch();
  void RestartResponseTimer(std::uint32_t ms);
  // The id of the last successful send (for matching completions).
  std::int32_t CurrentRequestId();

 protected:
  virtual bool DoExecute(TBasicRequestItem& item, std::uint32_t& timeout, std::int32_t& requestId);
  virtual void DoTimeout(TBasicRequestItem& item, bool& retry);
  virtual void DoError(const std::string& context, const std::exception& error,
                       const std::string& text);
  virtual void DoSchedule(TScheduledEvent& event, TBasicRequestItem& item);
  // After RequestDone, on the completing thread, with no lock held.
  virtual void DoRequestDone() {}

  // One pass of the queue: wait for an answer or the pause, or pick and send
  // a request. Under Requests' read lock and RunLock.
  void ProcessQueue(TObjectList& list);

 private:
  // The answer time-out; false when the tick must wait for the answer.
  bool CheckAnswer(TObjectList& list, TBasicRequestItem*& selected);
  // The request to send now, or none; index receives its position.
  TBasicRequestItem* Scan(TObjectList& list, std::int32_t& index);
  void Send(TBasicRequestItem& item, std::int32_t index);

  TCriticalSection FRunLock;
};

class TQueueControllerTimer : public TQueueController {
 public:
  explicit TQueueControllerTimer(TDataSourceScheduled* dataSource);
  // Frees the timer, stops and frees the scheduled events, then the list.
  ~TQueueControllerTimer() override;

  virtual bool IsStopped() { return false; }
  virtual bool IsPaused() { return Paused; }
  // Restart: from the start of the list, without the pause. Then the timer
  // runs unless the controller is stopped or the list is empty.
  virtual void Start(bool restart);
  // Marks the MethodEvent items named name (any letter case) as triggered
  // and copies params into them; with all, every item becomes due again
  // without being triggered.
  virtual void TriggerEvent(const std::string& name, bool all, const TkorParamsList* params);

  // The tick (also called by the timer): see docs/queue-controller.md.
  void Tick();
  // Makes every request due again and recomputes the tick interval: 50 ms,
  // or the shortest poll interval when that is shorter, but at least 1 ms.
  void Reset();
  void SetTimerEnabled(bool value);
  bool TimerEnabled() const;
  // Stops and frees every scheduled event (errors swallowed). Not while
  // holding Requests' lock: a firing event holds its own lock and then takes
  // the list's.
  void ClearSchedules();
  // The scheduled events of a MethodAtTime or MethodCron item, started
  // without a first run; a schedule that cannot be built goes to OnError
  // ("Cron") and gives the item no event. On the owner thread: an event's
  // timer belongs to the thread that starts it.
  void AddSchedules(TBasicRequestItem& item);

  std::uint32_t TickInterval() const { return FTickInterval; }
  std::atomic<bool> Paused{false};
  // A completion (RequestDone) asks for the next tick at once rather than at
  // the next period (TkorTimerEx::FireSoon), so the next request goes out as
  // soon as the line is free. The tick still runs on the owner thread and
  // keeps every rule (pause, poll intervals, answer time-out).
  std::atomic<bool> TickAfterDone{true};
  TkorTimerEx* Timer() const { return FTimer; }
  TSchEventList* ScheduledEvents() const { return FScheduledEvents; }
  // The clock of the scheduled events built from now on (null: the system's);
  // must outlive them.
  const TScheduleClock* ScheduleClock = nullptr;

 private:
  void TickBody();
  void AddEvent(TBasicRequestItem& item, const std::string& cron, std::int32_t number);
  void ScheduleFired(TScheduledEvent& event);
  // Changes the timer only when the value differs (on the owner thread).
  void ApplyTimer(bool enabled);

  std::atomic<std::uint32_t> FTickInterval{kDefaultTickInterval};
  TkorTimerEx* FTimer;
  TSchEventList* FScheduledEvents;
  bool FInTick = false;  // owner thread: a handler that pumps messages must not nest ticks

 protected:
  void DoRequestDone() override;
};

// The controller of a scheduled data source: stopped while the source is
// inactive (or absent), paused while the source says so.
class TQueueControllerTimerEx : public TQueueControllerTimer {
 public:
  using TQueueControllerTimer::TQueueControllerTimer;
  bool IsStopped() override;
  bool IsPaused() override;
};
