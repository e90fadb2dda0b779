// Messages: per-thread message queues, hidden message windows, posted and
// sent messages, window timers and pumping.
//
// A window belongs to the thread that created it: its procedure runs only on
// that thread, from that thread's pump (or directly for a message sent from
// that same thread). Posting and sending are allowed from any thread.
//
// Windows: real hidden windows (message-only windows of a class registered
// per module), the thread's own message queue, SetTimer. A window procedure
// there receives kTimerMessage and the codes from kUserMessage up; the
// system's own messages are left to the system.
//
// posix: the same guarantees from this service's own queues and timers. The
// plug-in (a shared library) and the executable that loads it each link this
// service, so there are two copies of its code in one process. They share
// one state: every module reaches it through the extern "C" function
// kor_messages_state (default visibility), looked up in the process's global
// scope first, so the executable's copy (built with ENABLE_EXPORTS) serves
// the plug-in as well. The state holds one message queue per thread for the
// whole process and the set of live windows. A handle is the address of a
// window object that points at its owner's queue, so a message posted by one
// module to another module's window arrives, a stale handle is refused, and
// every module's windows of one thread are pumped by whichever module runs
// that thread's loop. Both copies must come from the same sources (one build).
// An executable that loads the plug-in must therefore be built with
// ENABLE_EXPORTS; otherwise the plug-in keeps a state of its own and its
// windows on the host's thread are never pumped. tests/platform/peer checks
// the sharing with a second library.
//
// Sent messages are handled before posted ones, posted ones before the quit
// message, and timer messages only when nothing else waits (as on Windows).
#pragma once

#include <cstdint>
#include <functional>

namespace plat {

// HWND on Windows; 0 is no window.
using WindowHandle = std::uintptr_t;

inline constexpr unsigned kInfinite = 0xFFFFFFFFu;

// The message codes this system uses beside its own (1809, 1812, ...).
inline constexpr std::uint32_t kTimerMessage = 0x0113;  // wParam = timer id
inline constexpr std::uint32_t kUserMessage = 0x0400;   // first free code

// Input kinds of a message-aware wait (the Windows QS_ values); posix knows
// posted, sent and timer messages only.
inline constexpr std::uint32_t kWakePosted = 0x0008;
inline constexpr std::uint32_t kWakeTimer = 0x0010;
inline constexpr std::uint32_t kWakeSent = 0x0040;
inline constexpr std::uint32_t kWakeAllInput = 0x04FF;

// Handles one message for a window; the result is what a sender receives.
// Runs on the window's owner thread. Must not throw.
using MessageProc = std::intptr_t (*)(void* context, std::uint32_t message, std::uintptr_t wParam,
                                      std::intptr_t lParam);

// Creates a hidden window owned by the calling thread. 0 on failure.
WindowHandle CreateMessageWindow(MessageProc proc, void* context);

// Owner thread only. Messages still queued for the window are dropped, its
// timers stop, and a thread waiting for a message sent to it gets false.
void DestroyMessageWindow(WindowHandle window);

// True while the window exists.
bool IsMessageWindow(WindowHandle window);

// True when the calling thread owns the window.
bool IsOwnWindow(WindowHandle window);

// Queues a message for the window's owner thread. False when the window does
// not exist (any more) or the queue refuses it.
bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);

// Delivers a message and waits for its result: directly when called on the
// owner thread, otherwise by the owner's pump, waiting at most timeoutMs
// (kInfinite: no limit). While waiting, messages sent to the calling thread's
// own windows are handled, so two threads sending to each other do not
// deadlock. False on time-out or when the window does not exist (or is
// destroyed before handling it); result is then 0. After a time-out the
// message may or may not be handled (Windows may drop it).
bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam, unsigned timeoutMs, std::intptr_t* result);

// Starts (or restarts with a new interval) a timer that posts kTimerMessage
// with wParam = id to the window every intervalMs (at least 1 ms). Timer
// messages do not pile up: at most one per timer is pending. Owner thread only.
bool SetWindowTimer(WindowHandle window, std::uintptr_t id, unsigned intervalMs);
void KillWindowTimer(WindowHandle window, std::uintptr_t id);

// Handles every message queued for the calling thread without waiting.
// False once a quit message has been taken (the quit is then consumed).
bool ProcessPendingMessages();

// Waits up to timeoutMs for a message for the calling thread, then handles
// every queued message. False once a quit message has been taken.
bool WaitAndProcessMessages(unsigned timeoutMs);

// Makes the calling thread's pump return false.
void PostQuitToThread();

// Gives the calling thread its message queue now rather than on first use,
// so messages posted to it before its first pump are kept.
void EnsureMessageQueue();

// One step of a pump that counts what it handles.
enum class PumpOutcome { Empty, Handled, Quit };

// Takes and handles one message of the calling thread. Quit: a quit message
// was taken and posted again, so the thread's outer loop still sees it.
PumpOutcome PumpOneMessage();

// A token that ends a message-aware wait of the thread that made it; other
// threads pass it to WakeThread. The making thread frees it once no thread
// can wake it any more. Made per wait, not kept per thread: per-thread state
// with a destructor would make the Windows C++ runtime register thread-exit
// clean-up, which pins the plug-in after the host frees it and can hang the
// host's exit (docs/framework-runtime.md).
using ThreadWaker = std::uintptr_t;
ThreadWaker CreateThreadWaker();
void FreeThreadWaker(ThreadWaker waker);
void WakeThread(ThreadWaker waker);

enum class WaitOutcome { Input, Woken, TimedOut };

// Waits until input of the kinds in wakeMask is queued for the calling thread
// (Input), WakeThread is called for waker (Woken, also when that happened
// before the wait began; a waker of 0 waits for input only) or timeoutMs
// passes (kInfinite: no limit). Messages already queued count as input.
// waker must be one the calling thread made.
WaitOutcome WaitForInputOrWake(ThreadWaker waker, unsigned timeoutMs, std::uint32_t wakeMask);

// The thread that runs code on behalf of others ("the main thread"): the
// thread that called MakeCallingThreadMain last, in the calling module (the
// plug-in and the executable each designate theirs). It must pump messages.
void MakeCallingThreadMain();

// True when the calling thread is the designated main thread.
bool IsMainThread();

// Runs fn on the main thread and waits for it to finish (at most timeoutMs;
// directly when called on the main thread). False when there is no main
// thread, the wait timed out (fn may then still run later and must stay
// valid: pass it by value) or fn threw (the exception stays on the main
// thread).
bool RunOnMainThread(std::function<void()> fn, unsigned timeoutMs);

}  // namespace plat
