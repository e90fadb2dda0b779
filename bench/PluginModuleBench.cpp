// The log under load: adding to a full log (every line trims one), collapsing
// repeats, and the host's fetch of a full log.
#include <benchmark/benchmark.h>

#include <string>

#include "plugin/korPluginLog.h"

namespace {

void FillLog(TLogDataList& log, std::int32_t lines) {
  for (std::int32_t i = 0; i < lines; ++i)
    log.AddLine("\x02M-Bus. Meter " + std::to_string(i) + " did not answer");
}

void BM_AddLineToFullLog(benchmark::State& state) {
  TLogDataList log;
  FillLog(log, TLogDataList::kDefaultMaxLines);
  std::int64_t n = 0;
  for (auto _ : state) log.AddLine("\x02M-Bus. new line " + std::to_string(n++));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddLineToFullLog);

void BM_AddRepeatedLine(benchmark::State& state) {
  TLogDataList log;
  const std::string line = "\x02M-Bus. Meter 5 did not answer";
  for (auto _ : state) log.AddLine(line);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddRepeatedLine);

void BM_FetchFullLog(benchmark::State& state) {
  std::string buffer(8 << 20, '\0');
  for (auto _ : state) {
    state.PauseTiming();
    TLogDataList log;
    FillLog(log, TLogDataList::kDefaultMaxLines);
    state.ResumeTiming();
    TLogFetch fetch = log.Fetch(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    benchmark::DoNotOptimize(fetch.Copied);
  }
  state.SetItemsProcessed(state.iterations() * TLogDataList::kDefaultMaxLines);
}
BENCHMARK(BM_FetchFullLog)->Unit(benchmark::kMillisecond);

}  // namespace
