// The M-Bus worker's fuzz rig: one worker on a data source whose host
// answers every frame the worker sends with the next block of the fuzz input,
// handed to DataArrived in pieces of input-chosen sizes. Short receive and
// search limits keep silence cheap. One rig lives for the whole process
// (WorkerFuzzRig); the fuzz driver's thread calls Begin and WaitFor, the
// worker's thread reads the input inside its send hook while the driver waits.
//
// Input blocks: [length][piece][bytes], one block per frame sent; the low
// four bits of the piece byte choose the piece size (1-16).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "framework/parser_DataSourceDM.h"
#include "mbus/MbusThread.h"
#include "mbus/mbus_api.h"
#include "params/PluginDM_TextResources.h"
#include "plugin/PluginRecords.h"
#include "plugin/korPluginModule.h"

struct TWorkerFuzzOwner : IDataSourceOwner {
  bool DataSourceOwnerState(int index) const override { return index == 0; }
};

class TWorkerFuzzRig {
 public:
  // maxFrames > 0: past the input or after that many frames of one input the
  // host refuses the bytes (a long scan ends at once); 0: past the input the
  // host takes the bytes and nothing answers.
  explicit TWorkerFuzzRig(int maxFrames) : FMaxFrames(maxFrames) {
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
      std::lock_guard<std::mutex> lock(FLock);
      FDoneId = id;
      FChanged.notify_all();
    };
    Current() = this;
  }

  // The blocks the next command's frames are answered with.
  void Begin(const std::uint8_t* blocks, std::size_t size) {
    FInput = blocks;
    FLeft = size;
    FFrames = 0;
  }

  // Waits until the worker has ended the command of that id.
  void WaitFor(std::int32_t id) {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [&] { return FDoneId == id; });
  }

  TWorkerFuzzOwner Owner;
  TkorPlugin Module;
  TTextResources Texts;
  std::unique_ptr<TDataSourceScheduled> Source;
  std::unique_ptr<TMbusThread> Worker;

 private:
  static TWorkerFuzzRig*& Current() {
    static TWorkerFuzzRig* rig = nullptr;
    return rig;
  }

  // The worker's thread, inside its send hook.
  static std::int32_t KOR_STDCALL SendDataEx(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t kind, void*, std::int32_t) {
    TWorkerFuzzRig& rig = *Current();
    if (kind != kor::kSendRawData) return 0;
    const bool refuse = rig.FMaxFrames > 0;
    if (rig.FLeft < 2 || (refuse && ++rig.FFrames > rig.FMaxFrames)) return refuse ? -1 : 0;
    const std::size_t length = rig.FInput[0] < rig.FLeft - 2 ? rig.FInput[0] : rig.FLeft - 2;
    const std::size_t piece = (rig.FInput[1] & 0x0F) + 1;
    const std::uint8_t* bytes = rig.FInput + 2;
    rig.FInput += 2 + length;
    rig.FLeft -= 2 + length;
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

  const int FMaxFrames;
  std::mutex FLock;  // guards FDoneId
  std::condition_variable FChanged;
  std::int32_t FDoneId = 0;
  // The input; the worker's thread reads it while the driver waits.
  const std::uint8_t* FInput = nullptr;
  std::size_t FLeft = 0;
  int FFrames = 0;
};

// The process's one rig (never freed: the worker may outlive static clean-up).
inline TWorkerFuzzRig& WorkerFuzzRig(int maxFrames) {
  static TWorkerFuzzRig* rig = new TWorkerFuzzRig(maxFrames);
  return *rig;
}
