// posix messages service: one queue per thread for the whole process, kept in
// a state that every module reaches through kor_messages_state (see
// Messages.h). Lock order: the state's mutex, then one queue's mutex.
#include "platform/Messages.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/MessagesMain.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Queue;

struct Window {
  std::shared_ptr<Queue> queue;  // the owner thread's
  plat::MessageProc proc;
  void* context;
};

// A sent message's answer; guarded by the sender's queue mutex, whose
// condition variable the owner notifies when done.
struct SendSlot {
  std::shared_ptr<Queue> sender;
  bool done = false;
  bool handled = false;
  std::intptr_t result = 0;
};

struct Message {
  Window* window = nullptr;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::shared_ptr<SendSlot> slot;  // set for sent messages
};

struct Timer {
  Window* window;
  std::uintptr_t id;
  unsigned intervalMs;
  Clock::time_point due;
};

// One thread's queue. Everything below is guarded by mutex.
struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Message> sent;
  std::deque<Message> posted;
  std::vector<Timer> timers;
  bool quit = false;
  bool woken = false;
};

// Process-wide: the live windows (guarded by mutex) and the function that
// gives the calling thread's queue (of the module that owns the state).
struct State {
  std::mutex mutex;
  std::unordered_set<Window*> windows;
  Queue* (*currentQueue)();
  std::shared_ptr<Queue> (*currentQueueShared)();
};

void CompleteSend(const std::shared_ptr<SendSlot>& slot, bool handled, std::intptr_t result) {
  std::lock_guard<std::mutex> lock(slot->sender->mutex);
  slot->done = true;
  slot->handled = handled;
  slot->result = result;
  slot->sender->changed.notify_all();
}

// Removes what the queue holds for window (all of it when window is null);
// returns the sent messages so their senders can be told.
std::vector<std::shared_ptr<SendSlot>> DropQueued(Queue& queue, const Window* window) {
  std::vector<std::shared_ptr<SendSlot>> failed;
  auto matches = [window](const Message& m) { return window == nullptr || m.window == window; };
  for (const Message& m : queue.sent)
    if (matches(m)) failed.push_back(m.slot);
  std::erase_if(queue.sent, matches);
  std::erase_if(queue.posted, matches);
  std::erase_if(queue.timers,
                [window](const Timer& t) { return window == nullptr || t.window == window; });
  return failed;
}

State& GetState();

// The calling thread's queue lives until the thread ends; then its windows
// are forgotten and waiting senders are told the message was not handled.
struct QueueHolder {
  std::shared_ptr<Queue> queue = std::make_shared<Queue>();
  ~QueueHolder() {
    State& state = GetState();
    std::vector<std::shared_ptr<SendSlot>> failed;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      std::vector<Window*> own;
      for (Window* w : state.windows)
        if (w->queue == queue) own.push_back(w);
      for (Window* w : own) {
        state.windows.erase(w);
        delete w;
      }
      std::lock_guard<std::mutex> queueLock(queue->mutex);
      failed = DropQueued(*queue, nullptr);
    }
    for (auto& slot : failed) CompleteSend(slot, false, 0);
  }
};

QueueHolder& Holder() {
  thread_local QueueHolder holder;
  return holder;
}

Queue* OwnCurrentQueue() {
  return Holder().queue.get();
}

std::shared_ptr<Queue> OwnCurrentQueueShared() {
  return Holder().queue;
}

}  // namespace

// The state of the whole process: the executable's copy when it exports one.
extern "C" __attribute__((visibility("default"))) void* kor_messages_state() {
  static State* const state = new State{{}, {}, &OwnCurrentQueue, &OwnCurrentQueueShared};
  return state;
}

namespace {

State& GetState() {
  // Looked up in the global scope rather than called directly, so that a
  // plug-in whose own calls were bound inside it still finds the host's.
  static State* const state = [] {
    void* symbol = dlsym(RTLD_DEFAULT, "kor_messages_state");
    auto* get = symbol ? reinterpret_cast<void* (*)()>(symbol) : &kor_messages_state;
    return static_cast<State*>(get());
  }();
  return *state;
}

Queue& CurrentQueue() {
  return *GetState().currentQueue();
}

Window* AsWindow(plat::WindowHandle handle) {
  return reinterpret_cast<Window*>(handle);  // NOLINT(performance-no-int-to-ptr)
}

// Under the state's mutex: the window when it is alive.
Window* FindLocked(State& state, plat::WindowHandle handle) {
  Window* w = AsWindow(handle);
  return state.windows.count(w) != 0 ? w : nullptr;
}

bool Enqueue(plat::WindowHandle handle, Message message, bool sent) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  Window* w = FindLocked(state, handle);
  if (w == nullptr) return false;
  message.window = w;
  std::lock_guard<std::mutex> queueLock(w->queue->mutex);
  (sent ? w->queue->sent : w->queue->posted).push_back(std::move(message));
  w->queue->changed.notify_all();
  return true;
}

Timer* DueTimerLocked(Queue& queue, Clock::time_point now) {
  Timer* earliest = nullptr;
  for (Timer& t : queue.timers)
    if (t.due <= now && (earliest == nullptr || t.due < earliest->due)) earliest = &t;
  return earliest;
}

enum class Take { None, Message, Quit };

// Under the queue's mutex: the next message in Windows' order (sent, posted,
// quit, timers). The quit stays set unless consumeQuit.
Take TakeLocked(Queue& queue, Message& out, bool consumeQuit) {
  if (!queue.sent.empty()) {
    out = std::move(queue.sent.front());
    queue.sent.pop_front();
    return Take::Message;
  }
  if (!queue.posted.empty()) {
    out = std::move(queue.posted.front());
    queue.posted.pop_front();
    return Take::Message;
  }
  if (queue.quit) {
    if (consumeQuit) queue.quit = false;
    return Take::Quit;
  }
  Clock::time_point now = Clock::now();
  if (Timer* t = DueTimerLocked(queue, now)) {
    out = Message{t->window, plat::kTimerMessage, t->id, 0, nullptr};
    t->due = now + std::chrono::milliseconds(t->intervalMs);
    return Take::Message;
  }
  return Take::None;
}

// Runs the window procedure; the window may destroy itself inside it, so
// nothing of it is touched afterwards.
void Dispatch(Message& m) {
  std::intptr_t result = m.window->proc(m.window->context, m.message, m.wParam, m.lParam);
  if (m.slot) CompleteSend(m.slot, true, result);
}

Take PumpOne(bool consumeQuit) {
  Queue& queue = CurrentQueue();
  Message m;
  Take take;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    take = TakeLocked(queue, m, consumeQuit);
  }
  if (take == Take::Message) Dispatch(m);
  return take;
}

bool HasInputLocked(Queue& queue, std::uint32_t mask, Clock::time_point now) {
  if ((mask & plat::kWakeSent) && !queue.sent.empty()) return true;
  if ((mask & plat::kWakePosted) && !queue.posted.empty()) return true;
  return (mask & plat::kWakeTimer) && DueTimerLocked(queue, now) != nullptr;
}

// The earlier of the caller's deadline and the next timer that can wake it.
Clock::time_point WakeTimeLocked(Queue& queue, std::uint32_t mask, Clock::time_point deadline) {
  if (!(mask & plat::kWakeTimer)) return deadline;
  for (const Timer& t : queue.timers) deadline = std::min(deadline, t.due);
  return deadline;
}

Clock::time_point DeadlineAfter(unsigned timeoutMs) {
  if (timeoutMs == plat::kInfinite) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

void WaitUntilLocked(Queue& queue, std::unique_lock<std::mutex>& lock, Clock::time_point until) {
  if (until == Clock::time_point::max())
    queue.changed.wait(lock);
  else
    queue.changed.wait_until(lock, until);
}

// The sender's side of a cross-thread send: waits for the answer while
// handling messages sent to the calling thread's own windows.
bool AwaitAnswer(Queue& self, SendSlot& slot, unsigned timeoutMs, std::intptr_t* result) {
  Clock::time_point deadline = DeadlineAfter(timeoutMs);
  std::unique_lock<std::mutex> lock(self.mutex);
  while (!slot.done) {
    if (!self.sent.empty()) {
      Message m = std::move(self.sent.front());
      self.sent.pop_front();
      lock.unlock();
      Dispatch(m);
      lock.lock();
      continue;
    }
    if (Clock::now() >= deadline) break;
    WaitUntilLocked(self, lock, deadline);
  }
  bool handled = slot.done && slot.handled;
  if (result) *result = handled ? slot.result : 0;
  return handled;
}

}  // namespace

namespace plat {

WindowHandle CreateMessageWindow(MessageProc proc, void* context) {
  if (proc == nullptr) return 0;
  State& state = GetState();
  auto* w = new Window{state.currentQueueShared(), proc, context};
  std::lock_guard<std::mutex> lock(state.mutex);
  state.windows.insert(w);
  return reinterpret_cast<WindowHandle>(w);
}

void DestroyMessageWindow(WindowHandle window) {
  State& state = GetState();
  std::vector<std::shared_ptr<SendSlot>> failed;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    Window* w = FindLocked(state, window);
    if (w == nullptr || w->queue.get() != state.currentQueue()) return;
    state.windows.erase(w);
    {
      std::lock_guard<std::mutex> queueLock(w->queue->mutex);
      failed = DropQueued(*w->queue, w);
    }
    delete w;
  }
  for (auto& slot : failed) CompleteSend(slot, false, 0);
}

bool IsMessageWindow(WindowHandle window) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return FindLocked(state, window) != nullptr;
}

bool IsOwnWindow(WindowHandle window) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  Window* w = FindLocked(state, window);
  return w != nullptr && w->queue.get() == state.currentQueue();
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  return Enqueue(window, Message{nullptr, message, wParam, lParam, nullptr}, false);
}

bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam, unsigned timeoutMs, std::intptr_t* result) {
  if (result) *result = 0;
  if (IsOwnWindow(window)) {
    // The procedure may destroy the window; it is looked up again each call.
    Window* w = AsWindow(window);
    std::intptr_t r = w->proc(w->context, message, wParam, lParam);
    if (result) *result = r;
    return true;
  }
  auto slot = std::make_shared<SendSlot>();
  slot->sender = GetState().currentQueueShared();
  if (!Enqueue(window, Message{nullptr, message, wParam, lParam, slot}, true)) return false;
  return AwaitAnswer(*slot->sender, *slot, timeoutMs, result);
}

bool SetWindowTimer(WindowHandle window, std::uintptr_t id, unsigned intervalMs) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  Window* w = FindLocked(state, window);
  if (w == nullptr || w->queue.get() != state.currentQueue()) return false;
  intervalMs = std::max(intervalMs, 1u);
  Clock::time_point due = Clock::now() + std::chrono::milliseconds(intervalMs);
  std::lock_guard<std::mutex> queueLock(w->queue->mutex);
  for (Timer& t : w->queue->timers) {
    if (t.window == w && t.id == id) {
      t.intervalMs = intervalMs;
      t.due = due;
      return true;
    }
  }
  w->queue->timers.push_back(Timer{w, id, intervalMs, due});
  return true;
}

void KillWindowTimer(WindowHandle window, std::uintptr_t id) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  Window* w = FindLocked(state, window);
  if (w == nullptr || w->queue.get() != state.currentQueue()) return;
  std::lock_guard<std::mutex> queueLock(w->queue->mutex);
  std::erase_if(w->queue->timers, [w, id](const Timer& t) { return t.window == w && t.id == id; });
}

bool ProcessPendingMessages() {
  for (;;) {
    switch (PumpOne(true)) {
      case Take::None:
        return true;
      case Take::Quit:
        return false;
      case Take::Message:
        break;
    }
  }
}

bool WaitAndProcessMessages(unsigned timeoutMs) {
  {
    Queue& queue = CurrentQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (queue.quit) {
      queue.quit = false;
      return false;
    }
  }
  WaitForInputOrWake(0, timeoutMs, kWakeAllInput);
  return ProcessPendingMessages();
}

void PostQuitToThread() {
  Queue& queue = CurrentQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.quit = true;
}

void EnsureMessageQueue() {
  CurrentQueue();
}

PumpOutcome PumpOneMessage() {
  switch (PumpOne(false)) {
    case Take::None:
      return PumpOutcome::Empty;
    case Take::Quit:
      return PumpOutcome::Quit;
    case Take::Message:
      break;
  }
  return PumpOutcome::Handled;
}

// The waker is the thread's own queue, which lives as long as the thread.
ThreadWaker CreateThreadWaker() {
  return reinterpret_cast<ThreadWaker>(&CurrentQueue());
}

void FreeThreadWaker(ThreadWaker) {}

void WakeThread(ThreadWaker waker) {
  auto* queue = reinterpret_cast<Queue*>(waker);  // NOLINT(performance-no-int-to-ptr)
  if (queue == nullptr) return;
  std::lock_guard<std::mutex> lock(queue->mutex);
  queue->woken = true;
  queue->changed.notify_all();
}

WaitOutcome WaitForInputOrWake(ThreadWaker waker, unsigned timeoutMs, std::uint32_t wakeMask) {
  Queue& queue = CurrentQueue();
  Clock::time_point deadline = DeadlineAfter(timeoutMs);
  std::unique_lock<std::mutex> lock(queue.mutex);
  for (;;) {
    if (waker != 0 && queue.woken) {
      queue.woken = false;
      return WaitOutcome::Woken;
    }
    Clock::time_point now = Clock::now();
    if (HasInputLocked(queue, wakeMask, now)) return WaitOutcome::Input;
    if (now >= deadline) return WaitOutcome::TimedOut;
    WaitUntilLocked(queue, lock, WakeTimeLocked(queue, wakeMask, deadline));
  }
}

void MakeCallingThreadMain() {
  detail::MakeCallingThreadMainImpl();
}

bool IsMainThread() {
  return detail::IsMainThreadImpl();
}

bool RunOnMainThread(std::function<void()> fn, unsigned timeoutMs) {
  return detail::RunOnMainThreadImpl(std::move(fn), timeoutMs);
}

}  // namespace plat
