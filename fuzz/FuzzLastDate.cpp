// Feeds untrusted text to the last time points file's rules: reading any
// device's entry never fails, and recording keeps every other line and
// reads back what it wrote.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/SysUtils.h"
#include "mbus/LastTimePoints.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Lines without their CR LF or LF ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // first line: the device; the rest: the file
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  const std::string device = cut == std::string::npos ? input : input.substr(0, cut);
  const std::string file = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  LastTimePointIn(file, device);
  std::string text = file;
  const double point = 41234.5;  // 2012-11-22 12:00
  try {
    SetLastTimePoints(text, {{device, point}}, 45000.0);
  } catch (const Exception&) {
    Check(device.empty() || device.find_first_of(std::string("\r\n\0", 3)) != std::string::npos);
    return 0;
  }
  const double stored = LastTimePointIn(text, device);
  Check(stored >= point - 1e-6);
  // every line of another device or of no entry is still there
  const std::vector<std::string> after = Lines(text);
  std::size_t kept = 0;
  for (const std::string& line : Lines(file))
    if (line.compare(0, device.size() + 1, device + "=") != 0) {
      bool found = false;
      for (const std::string& other : after) found = found || other == line;
      Check(found);
      ++kept;
    }
  Check(after.size() >= kept);
  return 0;
}
