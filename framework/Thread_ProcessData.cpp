#include "framework/Thread_ProcessData.h"

#include <mutex>

#include "platform/Messages.h"
#include "platform/Threads.h"
#include "platform/Time.h"

namespace {

// Held while a worker thread is being built and started, so that two are
// never created and started at the same moment.
std::mutex& CreationLock() {
  static std::mutex lock;
  return lock;
}

constexpr std::int32_t kPumpAfterTimeout = 100;
constexpr std::int32_t kPumpBetweenItems = 20;
constexpr std::uint32_t kPendingWaitMs = 1;
constexpr std::uint32_t kStopGraceMs = 100;

}  // namespace

TProcessDataThread::TProcessDataThread(bool createSuspended, bool processMessages,
                                       std::string threadName)
    : TQueuedCommonThread(createSuspended),
      FProcessMessages(processMessages),
      FThreadName(std::move(threadName)) {
  SetPriority(TThreadPriority::tpLower);
  if (!createSuspended) Start();
}

TProcessDataThread::~TProcessDataThread() {
  try {
    // Not through the virtual Stop: the descendants are gone already.
    TQueuedCommonThread::Stop(true);
    Terminate();
    WaitFor();
  } catch (...) {
    // freed from its own thread (a misuse): nothing to wait for
  }
}

void TProcessDataThread::Start() {
  std::lock_guard<std::mutex> lock(CreationLock());
  if (!Suspended()) return;
  Resume();
  FStartedEvent.WaitFor();
}

void TProcessDataThread::Shutdown() {
  Stop(true);
  Terminate();
  WaitFor();
}

void TProcessDataThread::Stop(bool value) {
  TQueuedCommonThread::Stop(value);
}

void TProcessDataThread::SetOnProcessData(TProcessDataEvent handler) {
  std::lock_guard<std::mutex> lock(FHandlersMutex);
  FOnProcessData = std::move(handler);
}

void TProcessDataThread::SetOnStart(TThreadNotifyEvent handler) {
  std::lock_guard<std::mutex> lock(FHandlersMutex);
  FOnStart = std::move(handler);
}

void TProcessDataThread::SetOnStop(TThreadNotifyEvent handler) {
  std::lock_guard<std::mutex> lock(FHandlersMutex);
  FOnStop = std::move(handler);
}

TProcessDataEvent TProcessDataThread::ProcessHandler() {
  std::lock_guard<std::mutex> lock(FHandlersMutex);
  return FOnProcessData;
}

void TProcessDataThread::DoStart() {
  TThreadNotifyEvent handler;
  {
    std::lock_guard<std::mutex> lock(FHandlersMutex);
    handler = FOnStart;
  }
  if (handler) handler(this);
}

void TProcessDataThread::DoStop() {
  try {
    TThreadNotifyEvent handler;
    {
      std::lock_guard<std::mutex> lock(FHandlersMutex);
      handler = FOnStop;
    }
    if (handler) handler(this);
  } catch (...) {
    // a failing stop handler does not keep the thread from ending
  }
}

void TProcessDataThread::DoProcessData(TObject*& item) {
  if (TProcessDataEvent handler = ProcessHandler()) handler(this, item);
}

void TProcessDataThread::Execute() {
  SetThreadName(FThreadName, -1);
  FStartedEvent.SetEvent();
  if (FProcessMessages) plat::EnsureMessageQueue();
  try {
    DoStart();
    Loop();
  } catch (...) {
    // an escaping error (OnStart's, say) ends the work; DoStop still runs
  }
  DoStop();
}

// Sleeps in one wait on the wake event, the queue's event and, in message
// mode, the thread's messages; drains the queue on each wake-up.
void TProcessDataThread::Loop() {
  TWaitableEvent* handles[2] = {&WakeEvent(), &FQueue.Event()};
  bool pending = false;
  while (!ShouldEnd()) {
    std::uint32_t timeout = pending ? kPendingWaitMs : TWaitableEvent::Infinite;
    TWaitAnyResult r = WaitForAny(handles, 2, timeout, FProcessMessages, WakeMask);
    if (r.kind == TWaitAnyResult::Timeout) {
      pending = FProcessMessages && !MessagesSuspended && !PumpMessages(kPumpAfterTimeout);
      continue;
    }
    if (r.kind == TWaitAnyResult::Input) {
      try {
        if (!MessagesSuspended) pending = !PumpMessages(kPumpBetweenItems);
      } catch (...) {
      }
    } else if (r.index == 0) {
      // Only a reason to look at the stop conditions again; cleared so that
      // a wake-up without a stop does not keep the wait from sleeping.
      if (!ShouldEnd()) WakeEvent().ResetEvent();
      continue;
    }
    Drain(pending);
  }
}

void TProcessDataThread::Drain(bool& pending) {
  while (!ShouldEnd()) {
    FCurrentItem = FQueue.Pop();
    if (FCurrentItem == nullptr) return;
    if (ShouldEnd()) {
      FreeCurrent();  // taken as the stop came: freed undelivered
      return;
    }
    Deliver();
    FreeCurrent();
    if (ShouldEnd()) return;
    if (FProcessMessages && !MessagesSuspended) pending = !PumpMessages(kPumpBetweenItems);
    plat::SleepMs(0);
  }
}

// Under the delivery lock; errors of the handler are swallowed.
void TProcessDataThread::Deliver() {
  std::lock_guard<TCriticalSection> lock(Lock());
  TProcessDataEvent handler = ProcessHandler();
  if (!handler && !AlwaysProcess) return;
  try {
    if (SynchronizeData)
      Synchronize([this] { DoProcessData(FCurrentItem); });
    else
      DoProcessData(FCurrentItem);
  } catch (...) {
    // the item is still freed and the next one delivered
  }
}

void TProcessDataThread::FreeCurrent() noexcept {
  delete FCurrentItem;
  FCurrentItem = nullptr;
}

bool TProcessDataThread::PumpMessages(std::int32_t maxCount) {
  bool highPriority = Priority() > TThreadPriority::tpNormal;
  std::int32_t count = 0;
  while (!MessagesSuspended) {
    plat::PumpOutcome outcome = plat::PumpOneMessage();
    if (outcome != plat::PumpOutcome::Handled) return true;
    ++count;
    if (maxCount >= 1 && count >= maxCount) return false;
    if (highPriority && count % 21 == 0) plat::SleepMs(1);
  }
  return true;
}

void TProcessDataThread::SetThreadName(const std::string& name, std::int64_t threadId) {
  if (threadId != -1 || name.empty()) return;
  plat::SetCurrentThreadName(name);
}

void TProcessDataThread::StopAndFree(TProcessDataThread*& thread) noexcept {
  if (thread == nullptr) return;
  try {
    thread->Stop(true);
    thread->FinishedEvent().WaitFor(kStopGraceMs);
    if (!thread->Finished()) {
      if (thread->Suspended()) thread->Resume();
      thread->Terminate();
      thread->WaitFor();
    }
  } catch (...) {
    // freeing below still ends the thread
  }
  delete thread;
  thread = nullptr;
}
