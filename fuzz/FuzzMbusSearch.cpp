// The M-Bus worker's device search with arbitrary bytes from the line: every
// frame the worker sends (pings, selections) is answered by the next block
// of the input, so the scan, its callbacks (secondary addresses of whatever
// the "meters" answer) and the result list see hostile replies. Short search
// limits keep silence cheap. No crash, no hang, no leak; every scan ends
// with ScanPosition -1.
//
// Input: byte 0 picks the mode and range; then blocks of [length][piece]
// [bytes], one block per frame the worker sends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "WorkerFuzzRig.h"

namespace {

// A block ends the scan's frames at most this many times per input.
constexpr int kMaxFrames = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  TWorkerFuzzRig& rig = WorkerFuzzRig(kMaxFrames);
  rig.Begin(data + 1, size - 1);
  const int mode = data[0] & 0x03;  // 0, 1 primary; 2 full; 3 one number
  const std::uint32_t first = mode == 3 ? 0x12345678u : (data[0] >> 2) & 0x07;
  const std::uint32_t last = mode == 3 ? first : first + ((data[0] >> 5) & 0x03);
  TMbusThread& worker = *rig.Worker;
  const std::int32_t id = worker.QueueScan(mode, mode == 2 ? 0 : first, mode == 2 ? 0 : last);
  rig.WaitFor(id);
  if (worker.ScanPosition != -1) std::abort();
  worker.StatusText.SetValue(std::string());
  return 0;
}
