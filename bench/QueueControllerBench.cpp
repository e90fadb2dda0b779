// One tick of the queue controller with 1, 100 and 1000 requests in the list,
// on a virtual tick that moves 1 ms per tick:
// - Send: every request polls each ms and has been sent before, so the scan
//   visits the whole list to find the one that waited longest, sends it, and
//   the completion follows;
// - Idle: no request is due, so the tick scans the whole list and sends
//   nothing.
// The "allocs" counter is heap allocations per tick (it must stay 0).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "framework/parser_QueueController.h"

namespace {

std::atomic<std::uint64_t> gNow{1000};
std::uint64_t Tick64() {
  return gNow.load(std::memory_order_relaxed);
}
std::uint32_t Tick32() {
  return static_cast<std::uint32_t>(Tick64());
}
const TTickSource kTick{true, &Tick64, &Tick32};

std::atomic<bool> gCounting{false};
std::atomic<std::int64_t> gAllocations{0};

std::unique_ptr<TQueueControllerTimer> MakeQueue(std::int64_t count, std::uint32_t interval) {
  auto queue = std::make_unique<TQueueControllerTimer>(nullptr);
  for (std::int64_t i = 0; i < count; ++i) {
    auto* item = new TBasicRequestItem();
    item->Enabled = true;
    item->Name = "r" + std::to_string(i);
    item->Method = MethodPoll;
    item->PollInterval = interval;
    queue->Requests->Add(item);
  }
  queue->OnExecute = [](TQueueController&, TBasicRequestItem&, std::uint32_t& timeout,
                        std::int32_t& id) {
    timeout = 1000;
    ++id;
    return true;
  };
  return queue;
}

void RunTicks(benchmark::State& state, std::uint32_t interval) {
  SetTickSource(&kTick);
  auto queue = MakeQueue(state.range(0), interval);
  // Every request sent once, so none is "never sent" any more.
  for (std::int64_t i = 0; i < state.range(0) + 1; ++i) {
    gNow += 1;
    queue->Tick();
    queue->RequestDone(10);
  }
  gAllocations = 0;
  gCounting = true;
  for (auto _ : state) {
    gNow.fetch_add(1, std::memory_order_relaxed);
    queue->Tick();
    queue->RequestDone(10);
  }
  gCounting = false;
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(gAllocations.load()),
                                                benchmark::Counter::kAvgIterations);
  state.SetComplexityN(state.range(0));
  queue.reset();
  SetTickSource(nullptr);
}

void BM_QueueTickSend(benchmark::State& state) {
  RunTicks(state, 1);
}
void BM_QueueTickIdle(benchmark::State& state) {
  RunTicks(state, 0xFFFFFFFFu);
}

}  // namespace

BENCHMARK(BM_QueueTickSend)->Arg(1)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);
BENCHMARK(BM_QueueTickIdle)->Arg(1)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);

// Counting replacements of the plain forms.
namespace {
void* Counted(std::size_t size) noexcept {
  if (gCounting.load(std::memory_order_relaxed)) ++gAllocations;
  return std::malloc(size ? size : 1);
}
}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (void* p = Counted(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Counted(size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
