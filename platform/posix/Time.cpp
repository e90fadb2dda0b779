#include "platform/Time.h"

#include <time.h>

#include <chrono>
#include <thread>

namespace plat {

std::uint64_t TickCount64() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::uint32_t TickCount32() {
  return static_cast<std::uint32_t>(TickCount64());
}

bool HasTickCount64() {
  return true;
}

double NowAsOleDate() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  // Seconds of the local wall clock since the Unix epoch, then shifted to
  // the OLE epoch (25569 days earlier).
  double localSeconds = static_cast<double>(now.tv_sec) + static_cast<double>(local.tm_gmtoff) +
                        static_cast<double>(now.tv_nsec) / 1e9;
  return 25569.0 + localSeconds / 86400.0;
}

void SleepMs(unsigned ms) {
  if (ms == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace plat
