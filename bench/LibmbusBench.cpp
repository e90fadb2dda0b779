// Throughput of the read path the plug-in takes for every reply: frame
// parse, frame-data parse, record normalisation and the normalised XML.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "libmbus/src/Decode.h"
#include "mbus/mbus.h"

namespace {

std::vector<std::vector<unsigned char>> ReferenceTelegrams() {
  std::vector<std::vector<unsigned char>> telegrams;
  const auto dir =
      std::filesystem::path(KOR_SHARED_DIR) / "testdata" / "meter-frames" / "reference";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".hex") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    telegrams.push_back(mbus::HexTextBytes(text.str()));
  }
  return telegrams;
}

// One reply as the plug-in reads it; the number of records normalised.
size_t ReadReply(std::vector<unsigned char>& bytes) {
  mbus_frame frame{};
  if (mbus_parse(&frame, bytes.data(), bytes.size()) != 0) return 0;
  mbus_frame_data data{};
  if (mbus_frame_data_parse(nullptr, &frame, &data) != 0) return 0;
  size_t records = 0;
  for (mbus_data_record* r = data.data_var.record; r; r = r->next, ++records)
    mbus_record_free(mbus_parse_variable_record(nullptr, r));
  char* xml = mbus_frame_data_xml_normalized(&data);
  benchmark::DoNotOptimize(xml);
  mbus_str_free(xml);
  mbus_data_record_free(data.data_var.record);
  return records;
}

void BM_ParseNormaliseXml(benchmark::State& state) {
  auto telegrams = ReferenceTelegrams();
  if (telegrams.empty()) {
    state.SkipWithError("no reference telegrams");
    return;
  }
  size_t frames = 0;
  size_t records = 0;
  for (auto _ : state) {
    for (auto& bytes : telegrams) records += ReadReply(bytes);
    frames += telegrams.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(frames));
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["records/frame"] = static_cast<double>(records) / static_cast<double>(frames);
}
BENCHMARK(BM_ParseNormaliseXml);

}  // namespace
