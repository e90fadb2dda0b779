// The M-Bus worker's device search with arbitrary bytes from the line: every
// frame the worker sends (pings, selections) is answered by the next block
// of the input, so the scan, its callbacks (secondary addresses of whatever
// the "meters" answer) and the result list see hostile replies. Short search
// limits keep silence cheap. No crash, no hang, no leak; every scan ends
// with ScanPosition -1.
//
// Input: byte 0 picks the mode and range; then blocks of [length][piece]
// [bytes], one block per frame the worker sends.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "framework/parser_DataSourceDM.h"
#include "mbus/MbusThread.h"
#include "mbus/mbus_api.h"
#include "params/PluginDM_TextResources.h"
#include "plugin/PluginRecords.h"
#include "plugin/korPluginModule.h"

namespace {

struct TOwner : IDataSourceOwner {
  bool DataSourceOwnerState(int index) const override { return index == 0; }
};

// A block ends the scan's frames at most this many times per input.
constexpr int kMaxFrames = 64;

struct TFuzzRig {
  TFuzzRig() {
    MbusApiAcquire();
    Module.HostEntryPoints.SendDataEx = reinterpret_cast<void*>(&SendDataEx);
    Source = std::make_unique<TDataSourceScheduled>(&Owner);
    Source->CreateBuffer(4096);
    Source->DataSourceId = 1;
    Worker = std::make_unique<TMbusThread>(Source.get(), &Module, &Texts);
    Worker->SearchIdleMs = 1;
    Worker->SearchTotalMs = 5;
    Worker->ReceiveIdleMs = 1;
    Worker->ReceiveTotalMs = 5;
    Worker->OnCommandDone = [this](TMbusThread&, std::int32_t id, const std::string&, bool,
                                   TMbusCommand&) {
      std::lock_guard<std::mutex> lock(Lock);
      DoneId = id;
      Changed.notify_all();
    };
  }

  static std::int32_t KOR_STDCALL SendDataEx(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t kind, void*, std::int32_t);

  void Run(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    Input = data + 1;
    Left = size - 1;
    Frames = 0;
    const int mode = data[0] & 0x03;  // 0, 1 primary; 2 full; 3 one number
    const std::uint32_t first = mode == 3 ? 0x12345678u : (data[0] >> 2) & 0x07;
    const std::uint32_t last = mode == 3 ? first : first + ((data[0] >> 5) & 0x03);
    const std::int32_t id = Worker->QueueScan(mode, mode == 2 ? 0 : first, mode == 2 ? 0 : last);
    std::unique_lock<std::mutex> lock(Lock);
    Changed.wait(lock, [&] { return DoneId == id; });
    if (Worker->ScanPosition != -1) std::abort();
    Worker->StatusText.SetValue(std::string());
  }

  TOwner Owner;
  TkorPlugin Module;
  TTextResources Texts;
  std::unique_ptr<TDataSourceScheduled> Source;
  std::unique_ptr<TMbusThread> Worker;
  std::mutex Lock;  // guards DoneId
  std::condition_variable Changed;
  std::int32_t DoneId = 0;
  // The input; the worker's thread reads it while Run waits.
  const std::uint8_t* Input = nullptr;
  std::size_t Left = 0;
  int Frames = 0;
};

TFuzzRig& Rig() {
  static TFuzzRig* rig = new TFuzzRig();  // lives as long as the process
  return *rig;
}

// The worker's thread, inside its send hook: the next block arrives, piece
// by piece. Past the input (or kMaxFrames) the host refuses the bytes, so a
// long scan ends at once.
std::int32_t KOR_STDCALL TFuzzRig::SendDataEx(std::int32_t, std::int32_t, std::int32_t,
                                              std::int32_t, std::int32_t kind, void*,
                                              std::int32_t) {
  TFuzzRig& rig = Rig();
  if (kind != kor::kSendRawData) return 0;
  if (rig.Left < 2 || ++rig.Frames > kMaxFrames) return -1;
  const std::size_t length = rig.Input[0] < rig.Left - 2 ? rig.Input[0] : rig.Left - 2;
  const std::size_t piece = (rig.Input[1] & 0x0F) + 1;
  const std::uint8_t* bytes = rig.Input + 2;
  rig.Input += 2 + length;
  rig.Left -= 2 + length;
  for (std::size_t at = 0; at < length; at += piece) {
    TDataArrival call;
    call.Mode = 1u << TDataSourceScheduled::kModeData;
    call.Kind = 4;
    call.Value = reinterpret_cast<std::uintptr_t>(bytes + at);
    call.Size = static_cast<std::uint32_t>(piece < length - at ? piece : length - at);
    rig.Source->DataArrived(call);
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Rig().Run(data, size);
  return 0;
}
