#include "framework/Thread.h"

#include <exception>

#include "platform/Messages.h"

TThread::TThread(bool createSuspended) {
  if (!createSuspended) Resume();
}

TThread::~TThread() {
  std::lock_guard<std::mutex> lock(FStartMutex);
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id())
    FThread.detach();  // freed by its own thread: it ends right after
  else
    FThread.join();
}

void TThread::Resume() {
  std::lock_guard<std::mutex> lock(FStartMutex);
  if (FThread.joinable() || FFinished) return;
  FSuspended = false;
  FThread = std::thread(&TThread::Body, this);
}

void TThread::Body() noexcept {
  try {
    Execute();
  } catch (...) {
    // nothing leaves a thread body
  }
  try {
    DoTerminate();
  } catch (...) {
  }
  FFinished = true;
  FFinishedEvent.SetEvent();
}

std::thread::id TThread::ThreadID() const {
  return FThread.get_id();
}

void TThread::WaitFor() {
  {
    std::lock_guard<std::mutex> lock(FStartMutex);
    if (!FThread.joinable()) return;
    if (FThread.get_id() == std::this_thread::get_id())
      throw EThread("Thread cannot wait for itself");
  }
  if (plat::IsMainThread()) WaitPumping();
  FFinishedEvent.WaitFor();
  std::lock_guard<std::mutex> lock(FStartMutex);
  if (FThread.joinable()) FThread.join();
}

// Handles the main thread's messages until the thread ends or a quit
// message comes (left queued for the main loop; then the wait goes on
// without pumping).
void TThread::WaitPumping() {
  TWaitableEvent* finished = &FFinishedEvent;
  for (;;) {
    TWaitAnyResult r =
        WaitForAny(&finished, 1, TWaitableEvent::Infinite, true, plat::kWakeAllInput);
    if (r.kind == TWaitAnyResult::Event) return;
    for (;;) {
      plat::PumpOutcome outcome = plat::PumpOneMessage();
      if (outcome == plat::PumpOutcome::Quit) return;
      if (outcome == plat::PumpOutcome::Empty) break;
    }
  }
}

void TThread::Synchronize(const std::function<void()>& fn) {
  std::exception_ptr error;
  bool ran = plat::RunOnMainThread(
      [&fn, &error] {
        try {
          fn();
        } catch (...) {
          error = std::current_exception();
        }
      },
      plat::kInfinite);
  if (error) std::rethrow_exception(error);
  if (!ran) throw EThread("No main thread to synchronize with");
}
