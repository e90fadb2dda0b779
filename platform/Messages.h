// Messages: per-thread message queues, hidden message windows, posted and
// sent messages, window timers and pumping.
//
// A window belongs to the thread that created it: its procedure runs only on
// that thread, from that thread's pump (or directly for a message sent from
// that same thread). Posting and sending are allowed from any thread.
//
// Windows: real hidden windows, the thread's own message queue, SetTimer.
// posix: the same guarantees from this service's own queues and timers. The
// plug-in (a shared library) and the executable that loads it each link this
// service; on posix a handle is self-describing (it carries what is needed to
// reach its queue), so a message posted by one module to another module's
// window arrives, and every module's windows of one thread are pumped by
// whichever module runs that thread's loop.
#pragma once

#include <cstdint>
#include <functional>

namespace plat {

// HWND on Windows; 0 is no window.
using WindowHandle = std::uintptr_t;

// The message codes this system uses beside its own (1809, 1812, ...).
inline constexpr std::uint32_t kTimerMessage = 0x0113;  // wParam = timer id
inline constexpr std::uint32_t kUserMessage = 0x0400;   // first free code

// Handles one message for a window; the result is what a sender receives.
// Runs on the window's owner thread. Must not throw.
using MessageProc = std::intptr_t (*)(void* context, std::uint32_t message, std::uintptr_t wParam,
                                      std::intptr_t lParam);

// Creates a hidden window owned by the calling thread. 0 on failure.
WindowHandle CreateMessageWindow(MessageProc proc, void* context);

// Owner thread only. Messages still queued for the window are dropped, its
// timers stop.
void DestroyMessageWindow(WindowHandle window);

// Queues a message for the window's owner thread. False when the window does
// not exist (any more) or the queue refuses it.
bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);

// Delivers a message and waits for its result: directly when called on the
// owner thread, otherwise by the owner's pump, waiting at most timeoutMs.
// False on time-out or when the window does not exist; result is then 0.
bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam, unsigned timeoutMs, std::intptr_t* result);

// Starts (or restarts with a new interval) a timer that posts kTimerMessage
// with wParam = id to the window every intervalMs (at least 1 ms). Timer
// messages do not pile up: at most one per timer is pending. Owner thread only.
bool SetWindowTimer(WindowHandle window, std::uintptr_t id, unsigned intervalMs);
void KillWindowTimer(WindowHandle window, std::uintptr_t id);

// Handles every message queued for the calling thread without waiting.
// False once a quit message has been taken.
bool ProcessPendingMessages();

// Waits up to timeoutMs for a message for the calling thread, then handles
// every queued message. False once a quit message has been taken.
bool WaitAndProcessMessages(unsigned timeoutMs);

// Makes the calling thread's pump return false.
void PostQuitToThread();

// The thread that runs code on behalf of others ("the main thread"): the
// thread that called MakeCallingThreadMain last. It must pump messages.
void MakeCallingThreadMain();

// Runs fn on the main thread and waits for it to finish (at most timeoutMs;
// directly when called on the main thread). False when there is no main
// thread or the wait timed out (fn may then still run later and must stay
// valid: pass it by value).
bool RunOnMainThread(std::function<void()> fn, unsigned timeoutMs);

}  // namespace plat
