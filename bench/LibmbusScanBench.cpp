// Full secondary scans of simulated segments of 10, 100 and 250 meters with
// random unique identification numbers (timing model off). Reports the
// selection frames sent per meter (goal: at most 4.5), the meters found, and
// the line time the scan would take at 2400 baud without silence waits.
#include <benchmark/benchmark.h>

#include <random>
#include <set>
#include <string>

#include "host/bus/BusHooks.h"
#include "host/bus/Segment.h"
#include "mbus/mbus.h"

namespace {

int found_count = 0;

void MBUS_CALL CountFound(mbus_handle*, mbus_frame*) {
  ++found_count;
}

std::set<std::uint32_t> RandomIds(std::size_t count, std::mt19937& random) {
  std::uniform_int_distribution<std::uint32_t> digit(0, 9);
  std::set<std::uint32_t> ids;
  while (ids.size() < count) {
    std::uint32_t id = 0;
    for (int d = 0; d < 8; ++d) id = id << 4 | digit(random);
    ids.insert(id);
  }
  return ids;
}

void FillSegment(bus::BusSegment& segment, const std::set<std::uint32_t>& ids) {
  for (std::uint32_t id : ids) {
    bus::SlaveConfig config;
    const bus::SecondaryAddress address{id, 0x2C2D, 1, 7};
    config.telegrams = {bus::BuildTelegram(0, address, id & 0xFFFF)};
    segment.AddSlave(config);
  }
}

void FullSecondaryScan(benchmark::State& state) {
  const auto meters = static_cast<std::size_t>(state.range(0));
  std::mt19937 random(20261208);
  double selections = 0, found = 0, wire = 0, runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bus::BusSegment segment(bus::BusTiming{false, 2400});
    FillSegment(segment, RandomIds(meters, random));
    bus::BusHooks hooks(segment);
    mbus_handle* handle = mbus_context_serial("COM1");
    hooks.Install(handle);
    handle->max_search_retry = 0;
    handle->found_event = &CountFound;
    mbus_connect(handle);
    found_count = 0;
    state.ResumeTiming();

    mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF");

    state.PauseTiming();
    const bus::BusStats stats = segment.Stats();
    selections += stats.selections;
    wire += stats.wire_seconds;
    found += found_count;
    runs += 1;
    mbus_mem_free(handle);
    state.ResumeTiming();
  }
  state.counters["selections_per_meter"] = selections / runs / static_cast<double>(meters);
  state.counters["meters_found"] = found / runs;
  state.counters["meters"] = static_cast<double>(meters);
  state.counters["wire_s_2400baud"] = wire / runs;
}

BENCHMARK(FullSecondaryScan)->Arg(10)->Arg(100)->Arg(250)->Unit(benchmark::kMillisecond);

}  // namespace
