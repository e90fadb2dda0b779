#include "host/SoakFaults.h"

#include <chrono>
#include <cstdio>

namespace host {

namespace {

// One line, stamped with the wall time, in one write.
void WriteStamped(const std::string& text) {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::string line = text + " at " + std::to_string(now) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void ReportFault(const std::string& kind, const std::string& where, std::uint32_t ms) {
  WriteStamped("fault: " + kind + " " + where + " for " + std::to_string(ms) + " ms");
}

void ReportFaultEnd(const std::string& kind, const std::string& where, int count) {
  WriteStamped("fault-end: " + kind + " " + where + " effect " + std::to_string(count));
}

}  // namespace host
