// The worker's object queue, the 4096-byte receive FIFO and the tick timeout.
// That the timeout allocates nothing is checked by a test (TickTimeout.UsesNoHeap).
#include <benchmark/benchmark.h>

#include <vector>

#include "framework/FIFOStream.h"
#include "framework/Thread_Queue.h"
#include "framework/korTimeout.h"

namespace {

class TItem : public TObject {};

// One push and one pop; the item is reused so only the queue is measured.
void PushPop(benchmark::State& state) {
  TThreadSafeQueue queue;
  TItem item;
  for (auto _ : state) {
    queue.Push(&item);
    benchmark::DoNotOptimize(queue.Pop());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PushPop);

// A burst of range(0) pushes, then as many pops (compaction included).
void PushBurstThenPop(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  std::vector<TItem> items(static_cast<std::size_t>(count));
  TThreadSafeQueue queue;
  for (auto _ : state) {
    for (auto& item : items) queue.Push(&item);
    while (queue.Pop() != nullptr) {
    }
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(PushBurstThenPop)->Arg(64)->Arg(20000);

// Writes and reads range(0) bytes through the 4096-byte ring.
void FifoWriteRead(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  TFIFOStream fifo(4096, 64, true);
  std::vector<std::uint8_t> in(count, 0x5A), out(count);
  fifo.Write(in.data(), 1000);  // keep the positions off the start: reads wrap
  for (auto _ : state) {
    fifo.Write(in.data(), count - 1000);
    fifo.Write(in.data(), 1000);
    fifo.Read(out.data(), count);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * count * 2);
}
BENCHMARK(FifoWriteRead)->Arg(4096);

// An overwriting write into a full ring: drops and moves the kept bytes.
void FifoOverwrite(benchmark::State& state) {
  TFIFOStream fifo(4096, 64, true);
  std::vector<std::uint8_t> in(4096, 0x11);
  fifo.Write(in.data(), 4096);
  for (auto _ : state) fifo.Write(in.data(), 100);
  state.SetBytesProcessed(state.iterations() * 100);
}
BENCHMARK(FifoOverwrite);

void TickTimeoutRestart(benchmark::State& state) {
  TTickTimeout timeout;
  for (auto _ : state) {
    timeout.StartWith(3000);
    benchmark::DoNotOptimize(timeout.Expired());
    timeout.Restart();
    benchmark::DoNotOptimize(timeout.ExpiredAfter(10));
  }
}
BENCHMARK(TickTimeoutRestart);

}  // namespace
