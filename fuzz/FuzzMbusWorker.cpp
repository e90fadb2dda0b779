// The M-Bus worker's read path with arbitrary bytes from the line: a request
// is in flight, and every frame the worker sends is answered by the next
// piece of the input, handed to the data source's DataArrived in pieces of
// input-chosen sizes. Short receive limits keep silence cheap. No crash, no
// hang, no leak; the worker must end every command.
//
// Input: byte 0 picks the address form and the first-frame flag; then
// blocks of [length][bytes], one block per frame the worker sends; the low
// bits of the length byte's neighbour choose the piece size.
#include <atomic>
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

namespace {

struct TOwner : IDataSourceOwner {
  bool DataSourceOwnerState(int index) const override { return index == 0; }
};

const char* const kDevices[] = {
    "5", "0", "250", "12345678", "s12345678", "1234567FFFFFFFFF", "FFFFFFFFFFFFFFFF", "5 (room)"};

struct TFuzzRig {
  TFuzzRig() {
    MbusApiAcquire();
    Module.HostEntryPoints.SendDataEx = reinterpret_cast<void*>(&SendDataEx);
    Source = std::make_unique<TDataSourceScheduled>(&Owner);
    Source->CreateBuffer(4096);
    Source->DataSourceId = 1;
    Worker = std::make_unique<TMbusThread>(Source.get(), &Module, &Texts);
    Worker->ReceiveIdleMs = 1;
    Worker->ReceiveTotalMs = 5;
    Worker->OnCommandDone = [this](TMbusThread&, std::int32_t id, const std::string&, bool,
                                   TMbusCommand&) {
      std::lock_guard<std::mutex> lock(Lock);
      DoneId = id;
      Changed.notify_all();
    };
  }

  // The worker's thread, inside its send hook: the next block of the input
  // arrives, piece by piece.
  static std::int32_t KOR_STDCALL SendDataEx(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t kind, void*, std::int32_t);

  void Run(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    Input = data + 1;
    Left = size - 1;
    TRequestParameters params;
    params.Device = kDevices[data[0] % (sizeof kDevices / sizeof kDevices[0])];
    params.FirstFrame = (data[0] & 0x80) != 0 ? 1 : 0;
    params.ReadOnlyNew = (data[0] & 0x40) != 0 ? 1 : 0;
    const std::int32_t id = Worker->QueueRequest(params);
    std::unique_lock<std::mutex> lock(Lock);
    Changed.wait(lock, [&] { return DoneId == id; });
    Worker->StatusText.Lock();
    Worker->Rows.Clear();
    Worker->PacketText.clear();
    Worker->PendingTimePoints.clear();
    Worker->StatusText.Unlock();
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
};

TFuzzRig& Rig() {
  static TFuzzRig* rig = new TFuzzRig();  // lives as long as the process
  return *rig;
}

std::int32_t KOR_STDCALL TFuzzRig::SendDataEx(std::int32_t, std::int32_t, std::int32_t,
                                              std::int32_t, std::int32_t kind, void*,
                                              std::int32_t) {
  TFuzzRig& rig = Rig();
  if (kind != kor::kSendRawData || rig.Left < 2) return 0;
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
