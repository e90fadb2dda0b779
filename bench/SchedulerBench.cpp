// The next-run search for daily, hourly and sparse schedules, and parsing.
#include <benchmark/benchmark.h>

#include "framework/DateUtils.h"
#include "framework/Scheduler.h"

namespace {

// Walks `state.range` successive runs from a fixed moment, so each iteration
// does the same work.
void SearchRuns(benchmark::State& state, const char* cron) {
  const TCronFields fields = ParseCronText(cron);
  const TDateTime from = ParseIsoDateTime("2026-03-10 08:15:30");
  for (auto _ : state) {
    TDateTime at = from;
    for (int i = 0; i < 10; ++i) at = FindNextRun(fields, at);
    benchmark::DoNotOptimize(at);
  }
  state.SetItemsProcessed(state.iterations() * 10);
}

void BM_NextRunDaily(benchmark::State& state) {
  SearchRuns(state, "0 0 12 * * * *");
}
void BM_NextRunHourly(benchmark::State& state) {
  SearchRuns(state, "0 0 * * * * *");
}
void BM_NextRunWorkdays(benchmark::State& state) {
  SearchRuns(state, "0 30 8 * * 1-5 *");
}
void BM_NextRunEveryQuarterMinute(benchmark::State& state) {
  SearchRuns(state, "*/15 * * * * * *");
}
// Sparse: a leap day that is a Monday comes about every 28 years.
void BM_NextRunSparseLeapMonday(benchmark::State& state) {
  SearchRuns(state, "0 0 0 29 2 1 *");
}
// Sparse: the 31st falling on a Sunday, in a few listed months only.
void BM_NextRunSparseList(benchmark::State& state) {
  SearchRuns(state, "0 0 6 31 1,5,7 7 *");
}

void BM_ParseCron(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ParseCronText("0 0-30/10,45 8-18 * 1-11/2 1-5 *"));
}

}  // namespace

BENCHMARK(BM_NextRunDaily);
BENCHMARK(BM_NextRunHourly);
BENCHMARK(BM_NextRunWorkdays);
BENCHMARK(BM_NextRunEveryQuarterMinute);
BENCHMARK(BM_NextRunSparseLeapMonday);
BENCHMARK(BM_NextRunSparseList);
BENCHMARK(BM_ParseCron);
