// Throughput of the worker's decoding step: every shared reference telegram
// parsed into frame data and decoded into rows of named values (records
// normalised, items named, identification merged), and the rows' stored
// time points filtered.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "libmbus/src/Decode.h"
#include "mbus/LastTimePoints.h"
#include "mbus/MbusDecode.h"
#include "mbus/RequestConfig.h"
#include "mbus/mbus.h"
#include "mbus/mbus_api.h"

namespace {

TMbusApi LinkedApi() {
  TMbusApi api;
#define KOR_MBUS_API_LINK(name) api.name = &::name;
  KOR_MBUS_API_NAMES(KOR_MBUS_API_LINK)
#undef KOR_MBUS_API_LINK
  return api;
}

// The reference telegrams as parsed frames (one frame each).
std::vector<mbus_frame> ReferenceFrames() {
  std::vector<mbus_frame> frames;
  const auto dir =
      std::filesystem::path(KOR_SHARED_DIR) / "testdata" / "meter-frames" / "reference";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".hex") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    std::vector<unsigned char> bytes = mbus::HexTextBytes(text.str());
    mbus_frame frame{};
    if (mbus_parse(&frame, bytes.data(), bytes.size()) == 0) frames.push_back(frame);
  }
  return frames;
}

void BM_DecodeReplyIntoRows(benchmark::State& state) {
  const TMbusApi api = LinkedApi();
  auto frames = ReferenceFrames();
  if (frames.empty()) {
    state.SkipWithError("no reference telegrams");
    return;
  }
  const TRequestParameters params;
  std::size_t count = 0;
  std::size_t rowCount = 0;
  for (auto _ : state) {
    for (mbus_frame& frame : frames) {
      TkorMbusDataRows rows;
      DecodeReply(api, nullptr, rows, frame, params);
      FilterByLastTime(rows, 40000.0, true, 46000.0);
      rowCount += static_cast<std::size_t>(rows.Count());
      benchmark::DoNotOptimize(rows.Count());
    }
    count += frames.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(count));
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
  state.counters["rows/frame"] = static_cast<double>(rowCount) / static_cast<double>(count);
}
BENCHMARK(BM_DecodeReplyIntoRows);

}  // namespace
