#include "host/SoakFaults.h"

#include <chrono>
#include <cstdio>

namespace host {

void ReportFault(const std::string& kind, const std::string& where, std::uint32_t ms) {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::string line = "fault: " + kind + " " + where + " for " + std::to_string(ms) +
                           " ms at " + std::to_string(now) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace host
