// The device search through the plug-in's exports: mbusplugin loaded by
// plugin_host, one data source on a simulated segment with its byte-timing
// model at 2400 baud, a full secondary scan ("SearchDevices" mode 2) polled
// with "SearchDevicesStatus" until it ends. Counters: selection frames per
// meter, meters found, the elapsed time beside the segment's line time
// (frames, replies, reply delays), and the silence the worker waited out:
// every probe nobody answers costs the receive hook's idle limit
// (SearchIdleMs, 2000 ms unless the Custom parameter "SearchIdleMs" sets
// it), and so does the purge after every answered one.
//
// Args: meters, idle limit (ms). 250 meters run only with --with-250.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/HostDataSources.h"
#include "host/PluginHost.h"
#include "host/bus/Meters.h"
#include "host/bus/Segment.h"
#include "host/ports/Port.h"
#include "platform/Modules.h"

namespace {

namespace fs = std::filesystem;

std::string BesideProgram(const std::string& name) {
  const std::string self = plat::ModuleFileName(plat::ExecutableModule());
  return self.substr(0, self.find_last_of(plat::kPathDelimiter) + 1) + name;
}

// Identification numbers spread over the whole range, as a real segment's:
// 8 BCD digits from a fixed pseudo-random sequence, all different.
std::vector<std::uint32_t> MeterIds(int count) {
  std::vector<std::uint32_t> ids;
  std::uint64_t state = 0x2545F4914F6CDD1Dull;
  while (static_cast<int>(ids.size()) < count) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    std::uint32_t decimal = static_cast<std::uint32_t>((state >> 33) % 100000000u);
    std::uint32_t bcd = 0;
    for (int digit = 0; digit < 8; ++digit, decimal /= 10) bcd |= (decimal % 10) << (4 * digit);
    if (std::find(ids.begin(), ids.end(), bcd) == ids.end()) ids.push_back(bcd);
  }
  return ids;
}

std::int32_t Event(host::TPluginHost& plugin, const std::string& name, const OleVariant& p0,
                   const OleVariant& p1, const OleVariant& p2, std::string& result) {
  TkorParamsList params;
  params.Add("EVENT-TYPE", OleVariant(name));
  params.Add("P0", p0);
  params.Add("P1", p1);
  params.Add("P2", p2);
  params.Add("RESULT", OleVariant());
  const std::int32_t code = plugin.Command("EVENT", params);
  const OleVariant value = params.GetValue("RESULT");
  result = value.IsEmpty() || value.IsNull() ? std::string() : value.AsAnsiString();
  return code;
}

void SetCustom(host::TPluginHost& plugin, const std::string& key, std::int32_t value) {
  TkorParamsList params;
  params.Add("PARAM", OleVariant("Custom_" + key));
  params.Add("VALUE", OleVariant(value));
  plugin.Command("SET-MODULE-PARAMETER", params);
}

int Lines(const std::string& text) {
  int n = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
    ++n;
  return n;
}

void BM_FullSecondaryScan(benchmark::State& state) {
  const int meters = static_cast<int>(state.range(0));
  const auto idleMs = static_cast<std::int32_t>(state.range(1));
  const fs::path folder = fs::temp_directory_path() / "mbus-search-bench";
  fs::create_directories(folder);
  host::TLoadOptions options;
  options.IniFile = (folder / "host.ini").string();
  std::ofstream(options.IniFile, std::ios::binary) << "[Common]\r\nParser config=<MBUS></MBUS>\r\n";

  auto segment = std::make_shared<bus::BusSegment>(bus::BusTiming{true, 2400});
  for (std::uint32_t id : MeterIds(meters)) {
    const bus::SecondaryAddress address{id, bus::ManufacturerCode("KAM"), 1, bus::kMediumWater};
    bus::SlaveConfig config;
    config.secondary = address;
    config.telegrams = {bus::BuildTelegram(0, address, 1)};
    segment->AddSlave(config);
  }
  host::THostDataSources sources;
  host::TPluginHost plugin(
      BesideProgram(std::string("mbusplugin") + (plat::kPathDelimiter == '\\' ? ".dll" : ".so")));
  sources.Attach(plugin);
  plugin.SetDataHandler([&](const host::TReceivedData& data) { return sources.Deliver(data); });
  sources.Add(host::MakeSegmentPort(segment));
  plugin.Create();
  plugin.Load(options);
  SetCustom(plugin, "SearchIdleMs", idleMs);
  SetCustom(plugin, "SearchTotalMs", std::max(idleMs * 5 / 2, 5000));
  sources.Start();
  sources.Activate();

  int found = 0;
  double elapsed = 0;
  double wire = 0;
  double selections = 0;
  double collisions = 0;
  for (auto _ : state) {
    segment->ResetStats();
    const auto start = std::chrono::steady_clock::now();
    std::string id;
    Event(plugin, "SearchDevices", OleVariant(2), OleVariant(0), OleVariant(0), id);
    std::string status = "*";
    while (!status.empty() && status.front() == '*') {
      plugin.Pump(20);
      sources.Poll();
      plugin.FetchLog();
      Event(plugin, "SearchDevicesStatus", OleVariant(id), OleVariant(), OleVariant(), status);
    }
    elapsed += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bus::BusStats stats = segment->Stats();
    wire += stats.wire_seconds;
    selections += stats.selections;
    collisions += stats.collisions;
    found = Lines(status);
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["found"] = found;
  state.counters["selections_per_meter"] = selections / runs / meters;
  state.counters["elapsed_s"] = elapsed / runs;
  state.counters["wire_s"] = wire / runs;
  state.counters["wire_pct"] = 100.0 * wire / elapsed;
  // Probes nobody answered, and the silence they and the four purged
  // pings of the set-up and the scan's start cost at the idle limit.
  const double silent = (selections - collisions) / runs - found;
  state.counters["silent_probes"] = silent;
  state.counters["silence_s"] = (silent + 4) * idleMs / 1000.0;
  sources.Stop();
  plugin.Unload();
  sources.Poll();
  std::error_code ec;
  fs::remove_all(folder, ec);
}
BENCHMARK(BM_FullSecondaryScan)
    ->Args({10, 2000})
    ->Args({10, 300})
    ->Args({100, 300})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--with-250") == 0) {
      benchmark::RegisterBenchmark("BM_FullSecondaryScan", BM_FullSecondaryScan)
          ->Args({250, 300})
          ->Iterations(1)
          ->UseRealTime()
          ->Unit(benchmark::kSecond);
      continue;
    }
    args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
