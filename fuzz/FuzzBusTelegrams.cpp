// Telegram text as a file would hold it, then the same bytes as frames from
// a master to a segment whose slaves answer from the parsed telegrams.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/bus/Segment.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<bus::Bytes> telegrams;
  try {
    telegrams = bus::ParseTelegrams(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const bus::TelegramError&) {
    telegrams = {bus::Bytes{0xE5}};
  }
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  bus::SlaveConfig config;
  config.primary = 1;
  config.telegrams = telegrams;
  segment.AddSlave(config);
  segment.Write(data, size);
  bus::Bytes reply(512);
  while (segment.Read(reply.data(), reply.size(), std::chrono::milliseconds(0)) > 0) {
  }
  return 0;
}
