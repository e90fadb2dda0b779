#include "framework/korTimerEx.h"

#include <condition_variable>
#include <mutex>

#include "platform/Messages.h"

namespace {

constexpr std::uintptr_t kTimerId = 1;
std::atomic<TkorTimerEx::TErrorHandler> gErrorHandler{nullptr};

void ReportError(const char* message) noexcept {
  if (TkorTimerEx::TErrorHandler handler = gErrorHandler.load()) handler(message);
}

}  // namespace

// Everything the window procedure needs. The timer object points at it; the
// window owns it and frees it when released.
struct TkorTimerEx::TCore {
  std::mutex Lock;               // guards every field below; never held while OnTimer runs
  std::condition_variable Idle;  // told when a call of OnTimer returns
  TObject* Sender = nullptr;     // none once the timer object is gone
  std::atomic<bool> Enabled{true};
  std::uint32_t Interval = 1000;
  TNotifyEvent OnTimer;
  plat::WindowHandle Window = 0;
  bool InCallback = false;
  bool Released = false;                 // the window is to go once OnTimer returns
  std::atomic<bool> SoonPending{false};  // a FireSoon message is queued

  // Owner thread, under Lock.
  void Update() {
    plat::KillWindowTimer(Window, kTimerId);
    if (!Enabled || Interval == 0 || !OnTimer) return;
    if (!plat::SetWindowTimer(Window, kTimerId, Interval))
      throw EOutOfResources("Not enough timers available");
  }
  void Fire() noexcept;
  static void Release(TCore* core) noexcept;
  static std::intptr_t Proc(void* context, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) noexcept;
};

void TkorTimerEx::TCore::Fire() noexcept {
  std::unique_lock<std::mutex> lock(Lock);
  if (!Enabled || !OnTimer || Sender == nullptr || InCallback) return;
  TNotifyEvent handler = OnTimer;  // the handler may replace itself
  TObject* sender = Sender;
  InCallback = true;
  lock.unlock();
  try {
    handler(sender);
  } catch (const std::exception& e) {
    ReportError(e.what());
  } catch (...) {
    ReportError("unknown exception");
  }
  lock.lock();
  InCallback = false;
  Idle.notify_all();
  bool release = Released;
  lock.unlock();
  if (release) Release(this);
}

// Owner thread: the window goes, and the core with it.
void TkorTimerEx::TCore::Release(TCore* core) noexcept {
  plat::DestroyMessageWindow(core->Window);
  delete core;
}

std::intptr_t TkorTimerEx::TCore::Proc(void* context, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t) noexcept {
  auto* core = static_cast<TCore*>(context);
  if (message == plat::kTimerMessage && wParam == kTimerId) {
    core->Fire();
  } else if (message == kFireSoonMessage) {
    core->SoonPending = false;
    core->Fire();
  } else if (message == kSetEnabledMessage) {
    std::lock_guard<std::mutex> lock(core->Lock);
    core->Enabled = wParam != 0;
    try {
      core->Update();
    } catch (const std::exception& e) {
      ReportError(e.what());
    }
  } else if (message == kReapplyMessage) {
    std::lock_guard<std::mutex> lock(core->Lock);
    try {
      core->Update();
    } catch (const std::exception& e) {
      ReportError(e.what());
    }
  } else if (message == kReleaseMessage) {
    Release(core);
  }
  return 0;
}

TkorTimerEx::TkorTimerEx(TComponent* owner)
    : TComponent(owner), FCore(new TCore), FOwnerThread(std::this_thread::get_id()) {
  FCore->Sender = this;
  FCore->Window = plat::CreateMessageWindow(&TCore::Proc, FCore);
  if (FCore->Window == 0) {
    delete FCore;
    throw EOutOfResources("Not enough timers available");
  }
}

TkorTimerEx::~TkorTimerEx() {
  if (std::this_thread::get_id() == FOwnerThread) {
    std::unique_lock<std::mutex> lock(FCore->Lock);
    FCore->Sender = nullptr;
    FCore->Enabled = false;
    plat::KillWindowTimer(FCore->Window, kTimerId);
    if (FCore->InCallback) {
      FCore->Released = true;  // freed when OnTimer returns
      return;
    }
    lock.unlock();
    TCore::Release(FCore);
    return;
  }
  {
    // Waits for a running OnTimer; afterwards no call reaches this object.
    std::unique_lock<std::mutex> lock(FCore->Lock);
    FCore->Sender = nullptr;
    FCore->Idle.wait(lock, [this] { return !FCore->InCallback; });
  }
  std::intptr_t ignored = 0;
  plat::SendWindowMessageTimeout(FCore->Window, kSetEnabledMessage, 0, 0, kDestroyTimeoutMs,
                                 &ignored);
  // Posted, not sent: a release that timed out could be lost with the window.
  // A window already gone (its thread ended) left the core to us.
  if (!plat::PostWindowMessage(FCore->Window, kReleaseMessage, 0, 0)) delete FCore;
}

bool TkorTimerEx::Enabled() const {
  return FCore->Enabled;
}

std::uint32_t TkorTimerEx::Interval() const {
  std::lock_guard<std::mutex> lock(FCore->Lock);
  return FCore->Interval;
}

void TkorTimerEx::SetEnabled(bool value) {
  if (std::this_thread::get_id() != FOwnerThread) {
    plat::PostWindowMessage(FCore->Window, kSetEnabledMessage, value ? 1 : 0, 0);
    return;
  }
  std::lock_guard<std::mutex> lock(FCore->Lock);
  FCore->Enabled = value;
  FCore->Update();
}

void TkorTimerEx::SetInterval(std::uint32_t ms) {
  std::lock_guard<std::mutex> lock(FCore->Lock);
  FCore->Interval = ms;
  Apply();
}

void TkorTimerEx::SetOnTimer(TNotifyEvent handler) {
  std::lock_guard<std::mutex> lock(FCore->Lock);
  FCore->OnTimer = std::move(handler);
  Apply();
}

// Under the core's lock: now on the owner thread, else when it next pumps.
void TkorTimerEx::Apply() {
  if (std::this_thread::get_id() == FOwnerThread)
    FCore->Update();
  else
    plat::PostWindowMessage(FCore->Window, kReapplyMessage, 0, 0);
}

void TkorTimerEx::FireSoon() {
  // One message at most: completions faster than the owner pumps coalesce
  // (and a busy worker does not allocate per completion).
  if (FCore->SoonPending.exchange(true)) return;
  if (!plat::PostWindowMessage(FCore->Window, kFireSoonMessage, 0, 0)) FCore->SoonPending = false;
}

void TkorTimerEx::SetErrorHandler(TErrorHandler handler) {
  gErrorHandler.store(handler);
}

void FreeTimer(TkorTimerEx*& timer) noexcept {
  if (timer == nullptr) return;
  try {
    timer->SetEnabled(false);
  } catch (...) {
  }
  try {
    timer->SetOnTimer(nullptr);
  } catch (...) {
  }
  delete timer;
  timer = nullptr;
}
