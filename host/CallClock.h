// TCallClock: how long the host's calls into the plug-in take. A host that
// waits on a call cannot pump its messages or read its ports, so a call that
// blocks is a fault even when it ends: the clock keeps the longest call of
// each kind and the calls that took longer than a limit.
//
// Owned by whoever outlives the plug-in loads it measures (mbus-host read
// keeps one over every load). Record is called on any thread that calls an
// export (the main thread, the port threads' ProcessData); DrainOverLimit and
// Summary on the owner's thread. FLock guards the fields.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace host {

class TCallClock {
 public:
  // limitMs 0: no limit, only the longest calls are kept.
  explicit TCallClock(std::int64_t limitMs = 0) : FLimitMs(limitMs) {}

  // One call of the given kind ("ProcessData", "ExecutePluginCommand LOAD")
  // took micros microseconds.
  void Record(const std::string& call, std::int64_t micros);
  // The calls over the limit since the last drain, each as
  // "a call into the plug-in took N ms (limit L ms): CALL".
  std::vector<std::string> DrainOverLimit();
  // The longest call of each kind, longest first:
  // "ProcessData 3.2 ms (41210 calls), GetLogEx 0.4 ms (730 calls)".
  std::string Summary() const;

 private:
  struct TKind {
    std::int64_t LongestMicros = 0;
    std::uint64_t Calls = 0;
  };
  const std::int64_t FLimitMs;
  mutable std::mutex FLock;
  std::map<std::string, TKind> FKinds;
  std::vector<std::string> FOverLimit;
};

}  // namespace host
