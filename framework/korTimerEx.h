// A timer bound to the thread that created it: OnTimer runs only on that
// thread, from its message loop (the thread must pump messages). Any thread
// may change Enabled, Interval and OnTimer; a change from another thread is
// applied asynchronously, when the owner next pumps (Enabled reads the old
// value until then).
// The state the owner thread's window uses lives in a core that the window
// owns, guarded by the core's lock (never held while OnTimer runs). A
// destructor on another thread waits for a running OnTimer to return; once
// it returns, OnTimer is neither running nor called again.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "framework/Component.h"
#include "framework/SysUtils.h"

using TNotifyEvent = std::function<void(TObject* sender)>;

// A platform resource (here: a timer) could not be had.
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

class TkorTimerEx : public TComponent {
 public:
  // The message that carries a cross-thread SetEnabled (wParam: the value),
  // and the one that releases the window on its thread.
  static constexpr std::uint32_t kSetEnabledMessage = 0x0810;
  static constexpr std::uint32_t kReleaseMessage = 0x0811;
  // Re-creates the platform timer after a change made on another thread.
  static constexpr std::uint32_t kReapplyMessage = 0x0812;
  // Runs OnTimer once, out of turn (FireSoon).
  static constexpr std::uint32_t kFireSoonMessage = 0x0813;
  static constexpr std::uint32_t kDestroyTimeoutMs = 5000;

  // Creates the hidden window on the calling thread, which becomes the owner.
  explicit TkorTimerEx(TComponent* owner = nullptr);
  ~TkorTimerEx() override;

  std::thread::id OwnerThread() const { return FOwnerThread; }
  bool Enabled() const;
  std::uint32_t Interval() const;

  // Each change re-creates the platform timer, which runs only while
  // Enabled, Interval > 0 and OnTimer is assigned. Raise EOutOfResources
  // ("Not enough timers available") when there is no platform timer.
  void SetEnabled(bool value);
  void SetInterval(std::uint32_t ms);
  void SetOnTimer(TNotifyEvent handler);
  // Any thread: OnTimer runs once more as soon as the owner next pumps, on
  // the owner thread and under the same rules as a timer message (only while
  // enabled, never nested); the periodic timer goes on unchanged.
  void FireSoon();

  // What an exception escaping OnTimer goes to (the message); by default
  // nothing. Process-wide; set it before timers run.
  using TErrorHandler = void (*)(const char* message);
  static void SetErrorHandler(TErrorHandler handler);

 private:
  struct TCore;
  void Apply();

  TCore* FCore;  // owned by the window; see the destructor
  const std::thread::id FOwnerThread;
};

// Disables the timer and clears OnTimer (errors swallowed), frees it and sets
// the pointer to none.
void FreeTimer(TkorTimerEx*& timer) noexcept;
