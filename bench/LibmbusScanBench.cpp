// Full secondary scans of simulated segments (timing model off).
//
// FullSecondaryScan: 10, 100 and 250 meters with random unique
// identification numbers. Goals: every meter found, at most 4.5 selection
// frames per meter. Also reports the line time the scan would take at 2400
// baud without silence waits.
//
// SharedNumberPair: 100 such meters plus a twin of one of them with the same
// identification number, differing in medium, in version, only in the
// manufacturer (meters that take FF for one manufacturer byte), or only in
// the manufacturer on meters that take FF only for the whole field (no mask
// tells those apart: both stay unfound and are named in the error text).
// Reports the selections the twin costs beyond the scan without it. Goal:
// about a hundred at most for medium and version.
//
// TwoSharedNumbers: 23 meters, two pairs of them sharing a number (one pair
// differing in medium, one in version). Goal: all 23 found.
#include <benchmark/benchmark.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/bus/BusHooks.h"
#include "host/bus/Segment.h"
#include "mbus/mbus.h"

namespace {

int found_count = 0;

void MBUS_CALL CountFound(mbus_handle*, mbus_frame*) {
  ++found_count;
}

std::vector<std::uint32_t> RandomIds(std::size_t count, std::mt19937& random) {
  std::uniform_int_distribution<std::uint32_t> digit(0, 9);
  std::set<std::uint32_t> ids;
  std::vector<std::uint32_t> order;
  while (ids.size() < count) {
    std::uint32_t id = 0;
    for (int d = 0; d < 8; ++d) id = id << 4 | digit(random);
    if (ids.insert(id).second) order.push_back(id);
  }
  return order;
}

struct Meter {
  bus::SecondaryAddress address;
  bool whole_manufacturer_only = false;
};

std::vector<Meter> MetersOf(const std::vector<std::uint32_t>& ids) {
  std::vector<Meter> meters;
  for (std::uint32_t id : ids) meters.push_back({bus::SecondaryAddress{id, 0x2C2D, 1, 7}});
  return meters;
}

struct ScanResult {
  int selections = 0;
  int found = 0;
  double wire_seconds = 0;
};

ScanResult ScanSegment(const std::vector<Meter>& meters) {
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  for (const Meter& m : meters) {
    bus::SlaveConfig config;
    config.telegrams = {bus::BuildTelegram(0, m.address, m.address.id & 0xFFFF)};
    config.manufacturer_whole_only = m.whole_manufacturer_only;
    segment.AddSlave(config);
  }
  bus::BusHooks hooks(segment);
  mbus_handle* handle = mbus_context_serial("COM1");
  hooks.Install(handle);
  handle->max_search_retry = 0;
  handle->found_event = &CountFound;
  mbus_connect(handle);
  found_count = 0;
  mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF");
  const bus::BusStats stats = segment.Stats();
  mbus_mem_free(handle);
  return {stats.selections, found_count, stats.wire_seconds};
}

void FullSecondaryScan(benchmark::State& state) {
  const auto meters = static_cast<std::size_t>(state.range(0));
  std::mt19937 random(20261208);
  double selections = 0, found = 0, wire = 0, runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::vector<Meter> segment = MetersOf(RandomIds(meters, random));
    state.ResumeTiming();
    const ScanResult result = ScanSegment(segment);
    selections += result.selections;
    wire += result.wire_seconds;
    found += result.found;
    runs += 1;
  }
  state.counters["selections_per_meter"] = selections / runs / static_cast<double>(meters);
  state.counters["meters_found"] = found / runs;
  state.counters["meters"] = static_cast<double>(meters);
  state.counters["wire_s_2400baud"] = wire / runs;
}

BENCHMARK(FullSecondaryScan)->Arg(10)->Arg(100)->Arg(250)->Unit(benchmark::kMillisecond);

enum TwinKind { kMedium, kVersion, kManufacturerPerByte, kManufacturerWholeOnly };

void SharedNumberPair(benchmark::State& state) {
  const auto kind = static_cast<TwinKind>(state.range(0));
  std::mt19937 random(4711);
  double extra = 0, found = 0, meters = 0, runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Meter> segment = MetersOf(RandomIds(100, random));
    const ScanResult alone = ScanSegment(segment);
    Meter& original = segment.front();
    Meter twin = original;
    if (kind == kMedium) twin.address.medium = 0x04;
    if (kind == kVersion) twin.address.version = 0x02;
    if (kind >= kManufacturerPerByte) twin.address.manufacturer = 0x4024;
    original.whole_manufacturer_only = twin.whole_manufacturer_only =
        kind == kManufacturerWholeOnly;
    segment.push_back(twin);
    state.ResumeTiming();
    const ScanResult result = ScanSegment(segment);
    extra += result.selections - alone.selections;
    found += result.found;
    meters += static_cast<double>(segment.size());
    runs += 1;
  }
  static const char* const kNames[] = {"medium", "version", "manufacturer (per-byte FF)",
                                       "manufacturer (FF FF only)"};
  state.SetLabel(kNames[kind]);
  state.counters["extra_selections"] = extra / runs;
  state.counters["meters_found"] = found / runs;
  state.counters["meters"] = meters / runs;
}

BENCHMARK(SharedNumberPair)
    ->ArgName("twin")
    ->DenseRange(kMedium, kManufacturerWholeOnly)
    ->Unit(benchmark::kMillisecond);

void TwoSharedNumbers(benchmark::State& state) {
  std::mt19937 random(1313);
  double selections = 0, found = 0, runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Meter> segment = MetersOf(RandomIds(21, random));
    Meter medium_twin = segment[0], version_twin = segment[1];
    medium_twin.address.medium = 0x04;
    version_twin.address.version = 0x02;
    segment.push_back(medium_twin);
    segment.push_back(version_twin);
    state.ResumeTiming();
    const ScanResult result = ScanSegment(segment);
    selections += result.selections;
    found += result.found;
    runs += 1;
  }
  state.counters["selections"] = selections / runs;
  state.counters["meters_found"] = found / runs;
  state.counters["meters"] = 23;
}

BENCHMARK(TwoSharedNumbers)->Unit(benchmark::kMillisecond);

}  // namespace
