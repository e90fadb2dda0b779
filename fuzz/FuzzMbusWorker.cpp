// The M-Bus worker's read path with arbitrary bytes from the line: a request
// is in flight, and every frame the worker sends is answered by the next
// piece of the input, handed to the data source's DataArrived in pieces of
// input-chosen sizes. Short receive limits keep silence cheap. No crash, no
// hang, no leak; the worker must end every command.
//
// Input: byte 0 picks the address form and the first-frame flag; then
// blocks of [length][bytes], one block per frame the worker sends; the low
// bits of the length byte's neighbour choose the piece size.
#include <cstddef>
#include <cstdint>

#include "WorkerFuzzRig.h"

namespace {

const char* const kDevices[] = {
    "5", "0", "250", "12345678", "s12345678", "1234567FFFFFFFFF", "FFFFFFFFFFFFFFFF", "5 (room)"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  TWorkerFuzzRig& rig = WorkerFuzzRig(0);
  rig.Begin(data + 1, size - 1);
  TRequestParameters params;
  params.Device = kDevices[data[0] % (sizeof kDevices / sizeof kDevices[0])];
  params.FirstFrame = (data[0] & 0x80) != 0 ? 1 : 0;
  params.ReadOnlyNew = (data[0] & 0x40) != 0 ? 1 : 0;
  TMbusThread& worker = *rig.Worker;
  rig.WaitFor(worker.QueueRequest(params));
  worker.StatusText.Lock();
  worker.Rows.Clear();
  worker.PacketText.clear();
  worker.PendingTimePoints.clear();
  worker.StatusText.Unlock();
  return 0;
}
