// The faults `mbus-host read --soak SEED` injects, and the line each one
// leaves on stderr for the soak checker:
//   "fault: KIND WHERE for MS ms at EPOCH_MS"
// (KIND silent, corrupt, truncate, collision, drop, refuse, reload; WHERE the
// port and meter or "host"; EPOCH_MS the wall time the fault began, in
// milliseconds since 1970), and the line of its end (ReportFaultEnd).
// Threads: any; each line is written whole.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace host {

// Writes the fault's line to stderr in one write.
void ReportFault(const std::string& kind, const std::string& where, std::uint32_t ms);

// When a fault's time is up, or its one-time damage is done: what it did, a
// count of telegrams withheld, replies answered by a colliding slave or
// damaged, or of deliveries refused (0: nothing met the fault, so no log
// can name it):
//   "fault-end: KIND WHERE effect COUNT at EPOCH_MS"
// A fault cut short by the end of its port or process has no such line.
void ReportFaultEnd(const std::string& kind, const std::string& where, int count);

// A seeded generator of whole numbers. One thread at a time.
class TFaultRandom {
 public:
  explicit TFaultRandom(std::uint32_t seed) : FEngine(seed) {}
  // Uniform in lo..hi inclusive.
  std::uint32_t Between(std::uint32_t lo, std::uint32_t hi) {
    return std::uniform_int_distribution<std::uint32_t>(lo, hi)(FEngine);
  }

 private:
  std::mt19937 FEngine;
};

}  // namespace host
