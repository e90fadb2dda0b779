// Helpers for the thread tests: threads joined within a generous limit, and
// waiting for a condition. A deadlock makes the test program fail and stop
// instead of hanging (a hung thread cannot be joined or abandoned safely).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kortest {

inline constexpr std::chrono::seconds kHangLimit{10};

[[noreturn]] inline void FailHung(const char* what) {
  ADD_FAILURE() << "hung: " << what << " did not finish within " << kHangLimit.count() << " s";
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(1);
}

// Waits until condition() holds; polls, since the state it watches has no
// signal of its own.
template <class Condition>
void WaitUntil(Condition condition, const char* what = "condition") {
  auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) FailHung(what);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Threads that must all end within kHangLimit of JoinAll.
class TTestThreads {
 public:
  TTestThreads() = default;
  TTestThreads(const TTestThreads&) = delete;
  TTestThreads& operator=(const TTestThreads&) = delete;
  ~TTestThreads() { JoinAll(); }

  void Start(std::function<void()> body) {
    FThreads.emplace_back([this, body = std::move(body)] {
      try {
        body();
      } catch (const std::exception& e) {
        ADD_FAILURE() << "thread ended by exception: " << e.what();
      }
      std::lock_guard<std::mutex> lock(FMutex);
      ++FDone;
      FChanged.notify_all();
    });
  }

  void JoinAll(const char* what = "test threads") {
    {
      std::unique_lock<std::mutex> lock(FMutex);
      if (!FChanged.wait_for(lock, kHangLimit, [this] { return FDone == FThreads.size(); }))
        FailHung(what);
    }
    for (std::thread& thread : FThreads) thread.join();
    FThreads.clear();
    FDone = 0;
  }

 private:
  std::vector<std::thread> FThreads;
  std::mutex FMutex;  // guards FDone
  std::condition_variable FChanged;
  std::size_t FDone = 0;
};

// Runs body on its own thread and waits for it within the limit.
inline void RunBounded(std::function<void()> body, const char* what = "body") {
  TTestThreads threads;
  threads.Start(std::move(body));
  threads.JoinAll(what);
}

// Lets count threads start a step together.
class TStartLine {
 public:
  explicit TStartLine(int count) : FCount(count) {}
  // Spins rather than sleeps, so the threads leave the line close together.
  void ArriveAndWait() {
    FArrived.fetch_add(1);
    auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    while (FArrived.load() < FCount) {
      if (std::chrono::steady_clock::now() > deadline) FailHung("start line");
      std::this_thread::yield();
    }
  }

 private:
  const int FCount;
  std::atomic<int> FArrived{0};
};

}  // namespace kortest
