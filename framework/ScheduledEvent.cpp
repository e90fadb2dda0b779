#include "framework/ScheduledEvent.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "framework/SyncObjs.h"
#include "framework/korTimerEx.h"

namespace {

constexpr std::int64_t kMinWaitMs = 50;
constexpr std::int64_t kMaxWaitMs = 86400000;
constexpr unsigned kMainThreadWaitMs = TScheduledEvent::kStopWaitMs / 2;

std::int64_t MsUntil(const TSchedule& schedule, TDateTime moment) {
  return std::max<std::int64_t>(0, MillisecondsBetween(schedule.Now(), moment));
}

}  // namespace

// ---- TIntervalMeter

void TIntervalMeter::Restart() {
  using Clock = std::chrono::steady_clock;
  FFrequency = Clock::period::den / Clock::period::num;
  FStart = static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
}

std::uint64_t TIntervalMeter::ElapsedMs() const {
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return (now - FStart) * 1000 / FFrequency;
}

// ---- TScheduleThread: the loop that waits for the runs of one event

class TScheduleThread {
 public:
  TScheduleThread(std::shared_ptr<TEventLink> link, bool timerMode, bool firstRun,
                  std::shared_ptr<TEvent> stopEvent, plat::WindowHandle window)
      : FLink(std::move(link)),
        FTimerMode(timerMode),
        FFirstRun(firstRun),
        FStopEvent(std::move(stopEvent)),
        FWindow(window) {}
  ~TScheduleThread() { FreeTimer(FTimer); }

  // Called with the link locked, on the thread that runs the event.
  void Start(const std::shared_ptr<TScheduleThread>& self, TScheduledEvent& event);
  // No more passes, no end handler; wakes a waiting thread.
  void Terminate();
  // Thread mode: true once the thread has ended, waiting up to ms.
  bool WaitFor(std::uint32_t ms);
  bool InTimerCallback() const { return FInCallback; }

 private:
  enum class TNext { Wait, Leave };
  struct TPass {
    TNext Next = TNext::Leave;
    bool OnMain = false;  // deliver through the main thread
    std::int64_t WaitMs = 0;
  };

  TPass Pass(TScheduledEvent& event);
  void Deliver(TScheduledEvent& event, TPass& pass);
  void SkipMissedRuns(TSchedule& schedule);
  void ThreadBody();
  void RunThreadLoop();
  bool LockedPass(TPass& pass);
  void TimerPass();
  void EndThread();

  const std::shared_ptr<TEventLink> FLink;
  const bool FTimerMode;
  bool FFirstRun;
  const std::shared_ptr<TEvent> FStopEvent;
  const plat::WindowHandle FWindow;
  std::uint64_t FWaitMs = 0;
  std::uint8_t FState = kScheduleWait;
  std::atomic<bool> FTerminated{false};
  TkorTimerEx* FTimer = nullptr;
  bool FInCallback = false;

  std::mutex FDoneLock;  // guards FDone
  std::condition_variable FDoneChanged;
  bool FDone = false;
};

void TScheduleThread::Start(const std::shared_ptr<TScheduleThread>& self, TScheduledEvent& event) {
  TSchedule& schedule = event.FSchedule;
  FWaitMs = MsUntil(schedule, schedule.NextRun());
  if (FFirstRun && schedule.StartDate != 0 && schedule.Now() < schedule.StartDate) {
    schedule.Evaluate(FFirstRun);
    FWaitMs = MsUntil(schedule, schedule.NextRun());
  }
  if (FTimerMode) {
    FTimer = new TkorTimerEx(nullptr);
    // A timer of 0 ms never runs: a run less than 2 ms away must not stall.
    FTimer->SetInterval(static_cast<std::uint32_t>(std::max<std::uint64_t>(1, FWaitMs / 2)));
    FTimer->SetOnTimer([this](TObject*) { TimerPass(); });
    FTimer->SetEnabled(true);
    return;
  }
  FLink->Threads.Start([self] { self->ThreadBody(); });
}

void TScheduleThread::Terminate() {
  FTerminated = true;
  if (FTimer != nullptr) FTimer->SetEnabled(false);
  if (FStopEvent) FStopEvent->SetEvent();
}

bool TScheduleThread::WaitFor(std::uint32_t ms) {
  std::unique_lock<std::mutex> lock(FDoneLock);
  return FDoneChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FDone; });
}

// One evaluation: fires a due run and works out how long to wait.
TScheduleThread::TPass TScheduleThread::Pass(TScheduledEvent& event) {
  TPass pass;
  TSchedule& schedule = event.FSchedule;
  FWaitMs /= 2;
  schedule.Evaluate(FFirstRun);
  FState = schedule.State();
  if (FState == kScheduleExpired) return pass;
  if (FState == kScheduleFire || FState == kScheduleFireLast) {
    if (!event.OnSchedule) throw EScheduleError("OnSchedule is not defined");
    FWaitMs = MsUntil(schedule, schedule.NextRun()) / 2;
    Deliver(event, pass);
    if (FState == kScheduleFireLast) return pass;
  }
  SkipMissedRuns(schedule);
  if (FState == kScheduleFireLast) return pass;
  pass.Next = TNext::Wait;
  pass.WaitMs =
      std::clamp<std::int64_t>(static_cast<std::int64_t>(FWaitMs), kMinWaitMs, kMaxWaitMs);
  if (FTimerMode) {
    const std::int64_t due = std::max<std::int64_t>(1, MsUntil(schedule, schedule.NextRun()));
    FTimer->SetInterval(static_cast<std::uint32_t>(std::min(due, kMaxWaitMs)));
    FTimer->SetEnabled(true);
  }
  return pass;
}

void TScheduleThread::Deliver(TScheduledEvent& event, TPass& pass) {
  switch (event.FSignallingType) {
    case 0:
      TWorkerThread::Start(FLink, 0);
      break;
    case 1:
      pass.OnMain = true;  // after the link is released: the main thread takes it
      break;
    case 2:
      plat::PostWindowMessage(FWindow, TScheduledEvent::kFireMessage, 0, 0);
      break;
    default:
      if (!event.Paused) event.Fire(0);
      break;
  }
}

// Runs missed while the owner was busy are skipped, not caught up.
void TScheduleThread::SkipMissedRuns(TSchedule& schedule) {
  while (schedule.NextRun() != 0 && schedule.NextRun() <= schedule.Now()) {
    if (!schedule.CalcNextRun()) FState = kScheduleFireLast;  // the last one was missed
  }
}

// ---- thread mode

void TScheduleThread::ThreadBody() {
  try {
    RunThreadLoop();
  } catch (...) {
    // "OnSchedule is not defined" and handler errors end the loop.
  }
  try {
    EndThread();
  } catch (...) {
  }
  std::lock_guard<std::mutex> lock(FDoneLock);
  FDone = true;
  FDoneChanged.notify_all();
}

// Takes the link without blocking a Stop that holds it: a stop request is
// seen within a millisecond. False when the loop is to end.
bool TScheduleThread::LockedPass(TPass& pass) {
  for (;;) {
    if (FTerminated) return false;
    std::unique_lock<std::recursive_mutex> lock(FLink->Lock, std::try_to_lock);
    if (!lock.owns_lock()) {
      FStopEvent->WaitFor(1);
      continue;
    }
    if (FLink->Event == nullptr || FTerminated) return false;
    pass = Pass(*FLink->Event);
    return true;
  }
}

void TScheduleThread::RunThreadLoop() {
  TIntervalMeter meter;
  for (;;) {
    meter.Restart();
    TPass pass;
    if (!LockedPass(pass)) return;
    if (pass.OnMain) {
      std::shared_ptr<TEventLink> link = FLink;
      plat::RunOnMainThread(
          [link] {
            std::lock_guard<std::recursive_mutex> lock(link->Lock);
            if (link->Event != nullptr) link->Event->Fire(0);
          },
          kMainThreadWaitMs);
    }
    if (pass.Next == TNext::Leave) return;
    const std::int64_t rest =
        std::max<std::int64_t>(0, pass.WaitMs - static_cast<std::int64_t>(meter.ElapsedMs()));
    if (FStopEvent->WaitFor(static_cast<std::uint32_t>(rest)) == TWaitResult::wrSignaled) return;
  }
}

// The end handler, unless a stop came first; like LockedPass it never
// blocks a Stop that holds the link (a run thread's Fire may be stopping us).
void TScheduleThread::EndThread() {
  for (;;) {
    if (FTerminated) return;
    std::unique_lock<std::recursive_mutex> lock(FLink->Lock, std::try_to_lock);
    if (lock.owns_lock()) {
      if (!FTerminated && FLink->Event != nullptr) FLink->Event->ThreadEnded(FState);
      return;
    }
    FStopEvent->WaitFor(1);
  }
}

// ---- timer mode

void TScheduleThread::TimerPass() {
  FTimer->SetEnabled(false);
  FInCallback = true;
  try {
    std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
    if (!FTerminated && FLink->Event != nullptr) Pass(*FLink->Event);
  } catch (...) {
    // The loop ends: the timer stays off.
  }
  FInCallback = false;
}

// ---- TWorkerThread

void TWorkerThread::Start(const std::shared_ptr<TEventLink>& link, std::uintptr_t param) {
  link->Threads.Start([link, param] {
    try {
      std::lock_guard<std::recursive_mutex> lock(link->Lock);
      if (link->Event != nullptr) link->Event->Fire(param);
    } catch (...) {
      // A failing handler ends this run only.
    }
  });
}

// ---- TEventThreads

namespace {
std::atomic<std::size_t> gLiveEventThreads{0};
}  // namespace

TEventThreads::~TEventThreads() {
  try {
    JoinAll();
  } catch (...) {
  }
}

std::size_t TEventThreads::Live() {
  return gLiveEventThreads.load();
}

void TEventThreads::JoinEnded() {
  for (auto it = FThreads.begin(); it != FThreads.end();) {
    if (it->Ended->load()) {
      it->Thread.join();  // ended: returns at once
      it = FThreads.erase(it);
    } else {
      ++it;
    }
  }
}

void TEventThreads::Start(std::function<void()> body) {
  std::lock_guard<std::mutex> lock(FLock);
  JoinEnded();
  auto ended = std::make_shared<std::atomic<bool>>(false);
  ++gLiveEventThreads;
  try {
    FThreads.push_back({std::thread([body = std::move(body), ended] {
                          body();
                          --gLiveEventThreads;
                          ended->store(true);
                        }),
                        ended});
  } catch (...) {
    --gLiveEventThreads;
    throw;
  }
}

void TEventThreads::JoinAll() {
  for (;;) {
    std::vector<TEntry> threads;
    {
      std::lock_guard<std::mutex> lock(FLock);
      threads.swap(FThreads);
    }
    if (threads.empty()) return;
    for (TEntry& entry : threads) {
      if (entry.Thread.get_id() == std::this_thread::get_id()) {
        entry.Thread.detach();
      } else {
        entry.Thread.join();
      }
    }
  }
}

std::size_t TEventThreads::Count() {
  std::lock_guard<std::mutex> lock(FLock);
  return FThreads.size();
}

// ---- TScheduledEvent

TScheduledEvent::TScheduledEvent(std::string name, const TScheduleClock* clock)
    : FName(std::move(name)), FSchedule(clock), FLink(std::make_shared<TEventLink>()) {
  FLink->Event = this;
}

TScheduledEvent::~TScheduledEvent() {
  try {
    Stop();
  } catch (...) {
  }
  // Stopped, no thread starts another run; those started end now (a run
  // still waiting for the link finds the event no longer running).
  FLink->Threads.JoinAll();
  std::lock_guard<std::recursive_mutex> lock(FLink->Lock);  // waits for a running Fire
  FLink->Event = nullptr;
  FRetired.reset();
}

bool TScheduledEvent::Running() const {
  std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
  return FRunning;
}

std::uint64_t TScheduledEvent::RunCount() const {
  std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
  return FRunCount;
}

void TScheduledEvent::SetSignallingType(std::uint8_t value) {
  std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
  if (FRunning) throw Exception("Cannot change signaling type while running");
  FSignallingType = value;
}

std::intptr_t TScheduledEvent::WindowProc(void* context, std::uint32_t message, std::uintptr_t,
                                          std::intptr_t) {
  if (message != kFireMessage) return 0;
  try {
    auto* link = static_cast<TEventLink*>(context);
    std::lock_guard<std::recursive_mutex> lock(link->Lock);
    TScheduledEvent* event = link->Event;
    if (event != nullptr && event->OnSchedule && !event->Paused) event->Fire(0);
  } catch (...) {
    // A failing handler ends this run only.
  }
  return 0;
}

bool TScheduledEvent::Run(bool firstRun) {
  std::unique_lock<std::recursive_mutex> lock(FLink->Lock);
  if (FThread) {
    lock.unlock();
    Stop();  // a run that ended by itself still has its thread
    lock.lock();
  }
  FRunning = false;
  if (!FSchedule.Restart()) return false;
  if (FSignallingType == 2 && FWindow == 0) {
    FWindow = plat::CreateMessageWindow(&TScheduledEvent::WindowProc, FLink.get());
    if (FWindow == 0) throw Exception("AllocateHWND failed");
    FWindowThread = std::this_thread::get_id();
  }
  FRunning = true;
  const bool timerMode = FSignallingType == 3;
  FStopEvent = timerMode ? nullptr : std::make_shared<TEvent>(false, false);
  FThread = std::make_shared<TScheduleThread>(FLink, timerMode, firstRun, FStopEvent, FWindow);
  try {
    FThread->Start(FThread, *this);
  } catch (...) {
    FRunning = false;
    FThread.reset();
    throw;
  }
  if (OnStart) OnStart(*this);
  return true;
}

void TScheduledEvent::ReleaseThread() {
  if (FThread->InTimerCallback()) {
    FRetired = std::move(FThread);  // its timer is still calling it; freed later
  } else {
    FRetired.reset();
  }
  FThread.reset();
  FStopEvent.reset();
  if (FWindow == 0) return;
  if (std::this_thread::get_id() == FWindowThread) {
    plat::DestroyMessageWindow(FWindow);
  } else {
    // Only its owner can destroy a window: it stays, and so must what its
    // procedure is given (the link, whose Event turns null).
    new std::shared_ptr<TEventLink>(FLink);
  }
  FWindow = 0;
}

void TScheduledEvent::Stop() {
  std::shared_ptr<TScheduleThread> thread;
  {
    std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
    if (!FRunning && !FThread) return;
    FRunning = false;
    thread = FThread;
    if (thread) thread->Terminate();
  }
  // Outside the lock, so the thread can finish a pass. A thread that does
  // not end in time is left to end by itself: it holds its own state and
  // no longer touches the event.
  if (thread && FSignallingType != 3) thread->WaitFor(kStopWaitMs);
  std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
  if (FThread) ReleaseThread();
  if (OnStop) OnStop(*this);
}

void TScheduledEvent::Fire(std::uintptr_t param) {
  std::lock_guard<std::recursive_mutex> lock(FLink->Lock);
  if (!FRunning || (MaxRuns != 0 && FRunCount >= MaxRuns)) return;
  ++FRunCount;
  if (OnSchedule) OnSchedule(*this, param);
  if (MaxRuns != 0 && FRunCount >= MaxRuns) {
    if (OnMaxRuns) OnMaxRuns(*this);
    Stop();
  }
}

void TScheduledEvent::ThreadEnded(std::uint8_t state) {
  if (state == kScheduleFireLast && OnLastRun) OnLastRun(*this);
  if (state == kScheduleExpired && OnExpired) OnExpired(*this);
}

// ---- TSchEventList

TScheduledEvent* TSchEventList::Add(const std::string& name) {
  auto* event = new TScheduledEvent(name);
  TObjectList::Add(event);
  if (OnAdd) OnAdd(*this, *event);
  return event;
}
