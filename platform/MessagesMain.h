// Internal to platform/: the designated main thread and RunOnMainThread, the
// same on both platforms on top of the window functions of Messages.h. Each
// module that links the platform library has its own main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/Messages.h"

namespace plat::detail {

// Private messages of the main thread's window.
inline constexpr std::uint32_t kRunJobMessage = 0x7FF0;       // lParam = MainJob*
inline constexpr std::uint32_t kReleaseSelfMessage = 0x7FF1;  // the window destroys itself

// A function to run on the main thread, shared by the waiting caller and the
// main thread's window: whoever lets go last frees it, so a caller that timed
// out leaves it valid for a late run. It is posted rather than sent, since a
// sent message whose sender stopped waiting may be dropped on Windows.
struct MainJob {
  explicit MainJob(std::function<void()> f) : fn(std::move(f)) {}
  std::function<void()> fn;
  std::atomic<int> refs{2};
  std::mutex mutex;  // guards done, ok
  std::condition_variable finished;
  bool done = false;
  bool ok = false;

  void Release() {
    if (refs.fetch_sub(1) == 1) delete this;
  }
  void Finish(bool succeeded) {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    ok = succeeded;
    finished.notify_all();
  }
  // True when fn ran and returned normally within timeoutMs.
  bool Await(unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex);
    if (timeoutMs == kInfinite)
      finished.wait(lock, [this] { return done; });
    else
      finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done; });
    return done && ok;
  }
};

inline std::atomic<WindowHandle>& MainWindow() {
  static std::atomic<WindowHandle> window{0};
  return window;
}

// Runs fn, keeping any exception on this side; true when it returned normally.
inline bool RunCaught(const std::function<void()>& fn) noexcept {
  try {
    if (fn) fn();
    return true;
  } catch (...) {
    return false;
  }
}

inline std::intptr_t MainWindowProc(void*, std::uint32_t message, std::uintptr_t,
                                    std::intptr_t lParam) {
  if (message == kRunJobMessage) {
    auto* job = reinterpret_cast<MainJob*>(lParam);
    job->Finish(RunCaught(job->fn));
    job->Release();
    return 0;
  }
  if (message == kReleaseSelfMessage) DestroyMessageWindow(static_cast<WindowHandle>(lParam));
  return 0;
}

// A new main window on the calling thread unless it already has it; the
// previous main thread's window is asked to go away on its own thread.
inline void MakeCallingThreadMainImpl() {
  WindowHandle old = MainWindow().load();
  if (old != 0 && IsOwnWindow(old)) return;
  WindowHandle fresh = CreateMessageWindow(&MainWindowProc, nullptr);
  if (fresh == 0) return;
  old = MainWindow().exchange(fresh);
  if (old != 0) PostWindowMessage(old, kReleaseSelfMessage, 0, static_cast<std::intptr_t>(old));
}

inline bool IsMainThreadImpl() {
  WindowHandle window = MainWindow().load();
  return window != 0 && IsOwnWindow(window);
}

inline bool RunOnMainThreadImpl(std::function<void()> fn, unsigned timeoutMs) {
  WindowHandle window = MainWindow().load();
  if (window == 0 || !IsMessageWindow(window)) return false;
  if (IsOwnWindow(window)) return RunCaught(fn);
  auto* job = new MainJob(std::move(fn));
  if (!PostWindowMessage(window, kRunJobMessage, 0, reinterpret_cast<std::intptr_t>(job))) {
    job->Release();  // the main thread never gets its share
    job->Release();
    return false;
  }
  // The main thread lets go of its share when it runs the job; a job dropped
  // with a window destroyed meanwhile stays allocated (small, and rare).
  bool ok = job->Await(timeoutMs);
  job->Release();
  return ok;
}

}  // namespace plat::detail
