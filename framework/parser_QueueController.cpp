#include "framework/parser_QueueController.h"

#include <mutex>
#include <thread>

#include "framework/LockGuards.h"
#include "framework/ScheduledEvent.h"
#include "framework/korTimerEx.h"
#include "framework/parser_DataSourceDM.h"
#include "framework/parser_RequestSchedule.h"
#include "params/korParamLst.h"
#include "platform/Text.h"

namespace {

using TRunGuard = std::lock_guard<TCriticalSection>;

TBasicRequestItem* ItemAt(TObjectList& list, std::int32_t index) {
  return static_cast<TBasicRequestItem*>(list.Items(index));
}

bool IsSuccessStatus(std::uint8_t status) {
  return status == 1 || status == 8 || status == 9 || status == 10;
}

constexpr std::uint8_t kTimerSignalling = 3;  // fired by an owner-thread timer

}  // namespace

// ---- TQueueController

TQueueController::TQueueController(TDataSourceScheduled* dataSource)
    : DataSource(dataSource), Requests(new TBasicRequestList()) {}

TQueueController::~TQueueController() {
  delete Requests;
}

bool TQueueController::DoExecute(TBasicRequestItem& item, std::uint32_t& timeout,
                                 std::int32_t& requestId) {
  return OnExecute ? OnExecute(*this, item, timeout, requestId) : false;
}

void TQueueController::DoTimeout(TBasicRequestItem& item, bool& retry) {
  if (OnTimeout) OnTimeout(*this, item, retry);
}

void TQueueController::DoError(const std::string& context, const std::exception& error,
                               const std::string& text) {
  if (OnError) OnError(*this, context, error, text);
}

void TQueueController::DoSchedule(TScheduledEvent& event, TBasicRequestItem& item) {
  if (OnSchedule) OnSchedule(*this, event, item);
}

void TQueueController::RequestDone(std::uint8_t status) {
  {
    TReadLock list(*Requests);
    TRunGuard run(FRunLock);
    ResponseTimer.Clear();
    if (CurrentItem != nullptr && list->IndexOf(CurrentItem) >= 0) {
      if (CurrentItem->Method != MethodOnce) CurrentItem->Busy = false;
      if (IsSuccessStatus(status)) CurrentItem->Attempts = 0;
    }
    RequestWatch.Clear();
  }
  DoRequestDone();
}

void TQueueController::RestartRequestWatch() {
  TRunGuard run(FRunLock);
  if (!RequestWatch.IsNotStarted()) RequestWatch.Restart();
}

void TQueueController::RestartResponseTimer(std::uint32_t ms) {
  TRunGuard run(FRunLock);
  if (RequestWatch.IsNotStarted()) return;  // a late frame of a finished request
  if (ms > 0)
    ResponseTimer.StartWith(ms);
  else
    ResponseTimer.Clear();
}

std::int32_t TQueueController::CurrentRequestId() {
  TRunGuard run(FRunLock);
  return RequestId;
}

void TQueueController::ProcessQueue(TObjectList& list) {
  TBasicRequestItem* selected = nullptr;
  if (!CheckAnswer(list, selected)) return;
  if (!PauseTimer.IsNotStarted()) {
    if (!PauseTimer.Expired()) {
      if (selected != nullptr) PendingRetry = selected;
      return;
    }
    PauseTimer.Clear();
  }
  std::int32_t index = -1;
  if (selected == nullptr && PendingRetry != nullptr) selected = PendingRetry;
  PendingRetry = nullptr;
  if (selected != nullptr)
    index = list.IndexOf(selected);
  else
    selected = Scan(list, index);
  if (selected != nullptr && index >= 0 && index < list.Count()) Send(*selected, index);
}

bool TQueueController::CheckAnswer(TObjectList& list, TBasicRequestItem*& selected) {
  if (ResponseTimer.IsNotStarted()) return true;
  if (!ResponseTimer.Expired()) return false;
  ResponseTimer.Clear();
  TBasicRequestItem* item = CurrentItem;
  CurrentItem = nullptr;
  if (item == nullptr || list.IndexOf(item) < 0) return true;
  bool retry = item->Attempts < item->MaxAttempts;
  item->Busy = false;
  DoTimeout(*item, retry);
  if (retry)
    selected = item;
  else
    item->Attempts = 0;
  return true;
}

// Items from Cursor to the end first; only when none of them is due, the
// items before Cursor, in the same order and with the same tie-breaks.
TBasicRequestItem* TQueueController::Scan(TObjectList& list, std::int32_t& index) {
  const std::int32_t count = list.Count();
  const std::int32_t start = Cursor >= 0 && Cursor < count ? Cursor : 0;
  std::uint64_t best = 0;
  TBasicRequestItem* chosen = nullptr;
  index = -1;
  auto visit = [&](std::int32_t from, std::int32_t to) {
    for (std::int32_t i = from; i < to; ++i) {
      TBasicRequestItem* item = ItemAt(list, i);
      if (item == nullptr || !item->Enabled) continue;
      bool candidate = false;
      switch (item->Method) {
        case MethodOnce:
          if (item->Busy) continue;
          chosen = item;
          index = i;
          return true;
        case MethodPoll:
          candidate = item->PollTimer.ExpiredAfter(item->PollInterval);
          break;
        default:
          candidate = item->Triggered;
          break;
      }
      if (!candidate) continue;
      if (item->LastStart == 0) {
        chosen = item;
        index = i;
        return true;
      }
      if (best == 0 || item->LastStart < best) {
        best = item->LastStart;
        chosen = item;
        index = i;
      }
    }
    return false;
  };
  if (!visit(start, count) && chosen == nullptr) visit(0, start);
  return chosen;
}

void TQueueController::Send(TBasicRequestItem& item, std::int32_t index) {
  const bool wasTriggered = item.Triggered;
  item.Busy = true;
  item.Triggered = false;
  if (const std::uint32_t pause = MinPause; pause > 0) PauseTimer.StartWith(pause);
  if (item.Attempts < item.MaxAttempts) ++item.Attempts;
  std::uint32_t timeout = 0;
  bool sent = false;
  auto failed = [&] {
    if (item.Attempts < item.MaxAttempts) {
      item.Busy = false;
      item.Triggered = wasTriggered;
      return;
    }
    // Given up until it is due again; a MethodOnce request has had its run.
    Cursor = index + 1;
    if (item.Method != MethodOnce) item.Busy = false;
    item.Attempts = 0;
  };
  try {
    sent = DoExecute(item, timeout, RequestId);
  } catch (...) {
    failed();  // a handler that raised did not send: the item must not stay busy
    throw;
  }
  if (!sent) {
    failed();
    return;
  }
  RequestWatch.StartPlain();
  Cursor = index + 1;
  item.RequestId = RequestId;
  item.PollTimer.Restart();
  item.LastStart = item.PollTimer.Start;
  CurrentItem = &item;
  if (timeout > 0)
    ResponseTimer.StartWith(timeout);
  else
    ResponseTimer.Clear();
}

// ---- TQueueControllerTimer

TQueueControllerTimer::TQueueControllerTimer(TDataSourceScheduled* dataSource)
    : TQueueController(dataSource),
      FTimer(new TkorTimerEx(nullptr)),
      FScheduledEvents(new TSchEventList()) {
  FTimer->SetEnabled(false);  // runs only after Start
  FTimer->SetInterval(kDefaultTickInterval);
  FTimer->SetOnTimer([this](TObject*) { Tick(); });
}

TQueueControllerTimer::~TQueueControllerTimer() {
  FreeTimer(FTimer);
  ClearSchedules();
  delete FScheduledEvents;
}

bool TQueueControllerTimer::TimerEnabled() const {
  return FTimer != nullptr && FTimer->Enabled();
}

void TQueueControllerTimer::SetTimerEnabled(bool value) {
  if (FTimer != nullptr) FTimer->SetEnabled(value);
}

void TQueueControllerTimer::ApplyTimer(bool enabled) {
  if (FTimer == nullptr) return;
  // Another thread's change is posted: always pass it on, in order.
  if (std::this_thread::get_id() == FTimer->OwnerThread() && FTimer->Enabled() == enabled) return;
  FTimer->SetEnabled(enabled);
}

void TQueueControllerTimer::Start(bool restart) {
  if (restart) {
    TRunGuard run(RunLock());
    Cursor = -1;
    PauseTimer.Clear();
  }
  if (FTimer == nullptr) return;
  ApplyTimer(!(IsStopped() || Requests->Count() == 0));
}

// The timer keeps running through a tick (a handler that pumps messages
// cannot nest one, FInTick); only a stop switches it off, and the closing
// Start(false) leaves it as it should be.
void TQueueControllerTimer::Tick() {
  if (FInTick) return;
  FInTick = true;
  struct TLeave {
    bool& Flag;
    ~TLeave() { Flag = false; }
  } leave{FInTick};
  if (IsStopped()) {
    ApplyTimer(false);
    return;
  }
  try {
    TickBody();
  } catch (...) {
    Start(false);
    throw;
  }
  Start(false);
}

void TQueueControllerTimer::TickBody() {
  if (IsPaused()) return;
  if (ResetPending.exchange(0) != 0) {
    Reset();
    return;
  }
  TReadLock list(*Requests);
  TRunGuard run(RunLock());
  ProcessQueue(*list);
}

void TQueueControllerTimer::Reset() {
  std::uint32_t interval = kDefaultTickInterval;
  SetTimerEnabled(false);
  // The timer gets its interval and is started again also when the list fails.
  auto restart = [&] {
    FTickInterval = interval;
    if (FTimer != nullptr) FTimer->SetInterval(interval);
    Start(false);
  };
  try {
    TWriteLock list(*Requests);
    TRunGuard run(RunLock());
    Cursor = -1;
    // Whatever was in flight is abandoned: its late completion or time-out
    // must not touch a request of the new list.
    CurrentItem = nullptr;
    PendingRetry = nullptr;
    ResponseTimer.Clear();
    RequestWatch.Clear();
    for (std::int32_t i = 0; i < list->Count(); ++i) {
      TBasicRequestItem* item = ItemAt(*list, i);
      if (item == nullptr) continue;
      item->PollTimer.Clear();
      item->LastStart = 0;
      if (item->Method == MethodPoll && item->PollInterval < interval)
        interval = item->PollInterval > 0 ? item->PollInterval : 1;  // 0 would stop the timer
    }
  } catch (...) {
    restart();
    throw;
  }
  restart();
}

void TQueueControllerTimer::DoRequestDone() {
  if (TickAfterDone && FTimer != nullptr) FTimer->FireSoon();
}

void TQueueControllerTimer::TriggerEvent(const std::string& name, bool all,
                                         const TkorParamsList* params) {
  const std::string key = plat::AnsiLowerCase(name);
  TWriteLock list(*Requests);
  TRunGuard run(RunLock());
  for (std::int32_t i = 0; i < list->Count(); ++i) {
    TBasicRequestItem* item = ItemAt(*list, i);
    if (item == nullptr) continue;
    const bool match =
        item->Method == MethodEvent && plat::AnsiLowerCase(item->Schedule.Text) == key;
    if (!all && !match) continue;
    item->PollTimer.Clear();
    item->LastStart = 0;
    item->Attempts = 0;
    if (match && params != nullptr) {
      if (!item->EventParams) item->EventParams = std::make_unique<TkorParamsList>();
      item->EventParams->Clear();
      item->EventParams->AddList(params);
    }
    if (!all) {
      item->Triggered = true;
      Cursor = -1;
      PauseTimer.Clear();
    }
  }
}

void TQueueControllerTimer::ClearSchedules() {
  if (FScheduledEvents == nullptr) return;
  for (std::int32_t i = 0; i < FScheduledEvents->Count(); ++i) {
    try {
      FScheduledEvents->Items(i)->Stop();
    } catch (...) {
    }
  }
  try {
    FScheduledEvents->Clear();
  } catch (...) {
  }
}

void TQueueControllerTimer::AddSchedules(TBasicRequestItem& item) {
  if (item.Method == MethodCron) {
    AddEvent(item, CronTextOfParams(item.Schedule.CronParams), 0);
  } else if (item.Method == MethodAtTime) {
    for (const TAtTime& time : ParseAtTimes(item.Schedule.Text))
      AddEvent(item, CronTextOfAtTime(time), time.Number);
  }
}

void TQueueControllerTimer::AddEvent(TBasicRequestItem& item, const std::string& cron,
                                     std::int32_t number) {
  const std::string key = RequestScheduleKey(item.Method, &item, this);
  item.ScheduleKey = key;
  auto* event = new TScheduledEvent(key + "/" + std::to_string(number), ScheduleClock);
  FScheduledEvents->TObjectList::Add(event);
  try {
    event->SetSignallingType(kTimerSignalling);
    event->Schedule().SetCronText(cron);
    event->OnSchedule = [this](TScheduledEvent& fired, std::uintptr_t) { ScheduleFired(fired); };
    // Without a first run: a first run would fire at once, whatever the time.
    event->Run(false);
  } catch (const std::exception& e) {
    FScheduledEvents->Remove(event);
    DoError("Cron", e, cron);
  }
}

void TQueueControllerTimer::ScheduleFired(TScheduledEvent& event) {
  const std::string key = ScheduleKeyOfEventName(event.Name());
  bool matched = false;
  {
    TReadLock list(*Requests);
    TRunGuard run(RunLock());
    for (std::int32_t i = 0; i < list->Count(); ++i) {
      TBasicRequestItem* item = ItemAt(*list, i);
      if (item == nullptr || item->ScheduleKey != key) continue;
      item->Triggered = true;
      PauseTimer.Clear();
      matched = true;
      DoSchedule(event, *item);
    }
  }
  if (matched) Tick();
}

// ---- TQueueControllerTimerEx

bool TQueueControllerTimerEx::IsStopped() {
  return DataSource == nullptr || DataSource->IsInactive();
}

bool TQueueControllerTimerEx::IsPaused() {
  return DataSource == nullptr ? Paused.load() : DataSource->IsPaused();
}
