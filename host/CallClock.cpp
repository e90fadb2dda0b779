#include "host/CallClock.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace host {

void TCallClock::Record(const std::string& call, std::int64_t micros) {
  const std::lock_guard<std::mutex> lock(FLock);
  TKind& kind = FKinds[call];
  kind.LongestMicros = std::max(kind.LongestMicros, micros);
  ++kind.Calls;
  if (FLimitMs > 0 && micros > FLimitMs * 1000)
    FOverLimit.push_back("a call into the plug-in took " + std::to_string(micros / 1000) +
                         " ms (limit " + std::to_string(FLimitMs) + " ms): " + call);
}

std::vector<std::string> TCallClock::DrainOverLimit() {
  const std::lock_guard<std::mutex> lock(FLock);
  return std::exchange(FOverLimit, {});
}

std::string TCallClock::Summary() const {
  std::vector<std::pair<std::string, TKind>> kinds;
  {
    const std::lock_guard<std::mutex> lock(FLock);
    kinds.assign(FKinds.begin(), FKinds.end());
  }
  std::stable_sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) {
    return a.second.LongestMicros > b.second.LongestMicros;
  });
  std::string text;
  for (const auto& [call, kind] : kinds) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", static_cast<double>(kind.LongestMicros) / 1000.0);
    if (!text.empty()) text += ", ";
    text += call + " " + ms + " ms (" + std::to_string(kind.Calls) +
            (kind.Calls == 1 ? " call)" : " calls)");
  }
  return text.empty() ? "none" : text;
}

}  // namespace host
