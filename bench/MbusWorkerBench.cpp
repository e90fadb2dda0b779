// The M-Bus worker's read path against the simulated segment with its
// byte-timing model: a queue controller (on this thread, which pumps its
// messages) polls 20 meters back to back through one data source and its
// worker; the host's side writes the master's frames into the segment and
// hands every byte that arrives to DataArrived as it comes. The figure is
// the line's busy fraction: modelled wire time (frames, replies and the
// slaves' reply delays) over the elapsed time. Also: the CPU time of 32
// idle workers.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/FIFOStream.h"
#include "framework/parser_DataSourceDM.h"
#include "host/bus/Segment.h"
#include "mbus/MbusThread.h"
#include "mbus/mbus_api.h"
#include "params/PluginDM_TextResources.h"
#include "platform/Messages.h"
#include "plugin/PluginRecords.h"
#include "plugin/korPluginModule.h"

namespace {

constexpr int kMeters = 20;
constexpr std::int32_t kSourceId = 1;

struct TOwner : IDataSourceOwner {
  bool DataSourceOwnerState(int index) const override { return index == 0; }
};

bus::BusSegment* gSegment = nullptr;

std::int32_t KOR_STDCALL HostSendDataEx(std::int32_t, std::int32_t, std::int32_t count,
                                        std::int32_t, std::int32_t kind, void* data, std::int32_t) {
  if (kind != kor::kSendRawData || gSegment == nullptr || count < 0) return -1;
  gSegment->DiscardInput();
  gSegment->Write(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(count));
  return 0;
}

// The data source as TSerialPortDM wires it: requests to the worker,
// successful completions to the controller.
class TBenchSource : public TDataSourceScheduled {
 public:
  TBenchSource(IDataSourceOwner* owner, TkorPlugin* module, const TTextResources* texts)
      : TDataSourceScheduled(owner) {
    CreateBuffer(4096);
    DataSourceId = kSourceId;
    Worker = std::make_unique<TMbusThread>(this, module, texts);
    Worker->OnCommandDone = [this](TMbusThread&, std::int32_t id, const std::string&, bool success,
                                   TMbusCommand&) {
      if (success) ++Completed;
      if (!success) return;
      WithQueue([id](TQueueControllerTimerEx& queue) {
        if (id == queue.CurrentRequestId()) queue.RequestDone(10);
      });
    };
  }
  ~TBenchSource() override {
    StopQueue();
    Worker.reset();
  }

  std::unique_ptr<TMbusThread> Worker;
  std::atomic<int> Completed{0};

 protected:
  bool SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                   std::int32_t& requestId) override {
    if (Worker->IsBusy()) return false;
    TRequestParameters params;
    params.Device = item.Name;
    const std::int32_t id = Worker->QueueRequest(params);
    if (id == -1) return false;
    requestId = id;
    timeout = static_cast<std::uint32_t>(params.Timeout);
    return true;
  }
};

// The host's reading side: every byte to DataArrived as soon as it is due.
class TFeeder {
 public:
  TFeeder(bus::BusSegment& segment, TDataSourceScheduled& source)
      : FSegment(segment), FSource(source), FThread([this] { Run(); }) {}
  ~TFeeder() {
    FStop = true;
    FThread.join();
  }

 private:
  void Run() {
    while (!FStop) {
      std::uint8_t first = 0;
      if (FSegment.Read(&first, 1, std::chrono::milliseconds(20)) == 0) continue;
      bus::Bytes bytes{first};
      const bus::Bytes rest = FSegment.TakeAvailable();
      bytes.insert(bytes.end(), rest.begin(), rest.end());
      TDataArrival call;
      call.Mode = 1u << TDataSourceScheduled::kModeData;
      call.Kind = 4;
      call.Value = reinterpret_cast<std::uintptr_t>(bytes.data());
      call.Size = static_cast<std::uint32_t>(bytes.size());
      FSource.DataArrived(call);
    }
  }

  bus::BusSegment& FSegment;
  TDataSourceScheduled& FSource;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

void PumpUntil(const std::function<bool()>& done) {
  while (!done()) plat::WaitAndProcessMessages(20);
}

// Args: baud rate, 1 when a completion brings the next tick forward.
void BM_LineBusyPolling20Meters(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  TMbusApiRef api;
  bus::BusSegment segment(bus::BusTiming{true, baud});
  for (int i = 1; i <= kMeters; ++i) {
    bus::SlaveConfig config;
    config.primary = i;
    const bus::SecondaryAddress address{0x10000000u + static_cast<std::uint32_t>(i), 0x2C2D, 1, 7};
    config.telegrams = {bus::BuildTelegram(static_cast<std::uint8_t>(i), address, 1000u + i)};
    segment.AddSlave(config);
  }
  gSegment = &segment;
  TOwner owner;
  TkorPlugin module;
  module.HostEntryPoints.SendDataEx = reinterpret_cast<void*>(&HostSendDataEx);
  TTextResources texts;
  {
    TBenchSource source(&owner, &module, &texts);
    TFeeder feeder(segment, source);
    source.FQueue->TickAfterDone = state.range(1) != 0;
    for (int i = 1; i <= kMeters; ++i) {
      auto* item = new TBasicRequestItem();
      item->Enabled = true;
      item->Name = std::to_string(i);
      item->Method = MethodPoll;
      item->Schedule.Method = MethodPoll;
      item->PollInterval = 500;  // always due: a round takes longer
      source.FQueue->Requests->Add(item);
    }
    source.Start(true);
    // The first round sets the handle up (its ping waits for silence).
    PumpUntil([&] { return source.Completed >= kMeters; });
    double wire = 0;
    double elapsed = 0;
    for (auto _ : state) {
      const int target = source.Completed + kMeters;
      segment.ResetStats();
      const auto start = std::chrono::steady_clock::now();
      PumpUntil([&] { return source.Completed >= target; });
      elapsed += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      wire += segment.Stats().wire_seconds;
    }
    source.FQueue->SetTimerEnabled(false);
    state.counters["busy_pct"] = 100.0 * wire / elapsed;
    state.counters["meters_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kMeters) / elapsed);
  }
  gSegment = nullptr;
}
BENCHMARK(BM_LineBusyPolling20Meters)
    ->Args({2400, 1})
    ->Args({9600, 1})
    ->Args({2400, 0})
    ->Args({9600, 0})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// 32 workers without commands, over one second each iteration: the process's
// CPU time is what idle workers (and their sources) cost.
void BM_IdleWorkers32(benchmark::State& state) {
  TMbusApiRef api;
  TOwner owner;
  TkorPlugin module;
  TTextResources texts;
  std::vector<std::unique_ptr<TBenchSource>> sources;
  for (int i = 0; i < 32; ++i)
    sources.push_back(std::make_unique<TBenchSource>(&owner, &module, &texts));
  for (auto _ : state) std::this_thread::sleep_for(std::chrono::seconds(1));
}
BENCHMARK(BM_IdleWorkers32)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
