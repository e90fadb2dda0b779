#include "framework/korTimeout.h"

#include <atomic>

#include "platform/Time.h"

namespace {

const TTickSource& PlatformSource() {
  static const TTickSource source{plat::HasTickCount64(), &plat::TickCount64, &plat::TickCount32};
  return source;
}

std::atomic<const TTickSource*> gSource{nullptr};

// The tick when a record starts: the 32-bit counter starts with no wraps.
std::uint64_t StartTick(const TTickSource& source) {
  return source.Has64 ? source.Tick64() : source.Tick32();
}

}  // namespace

const TTickSource& CurrentTickSource() {
  const TTickSource* source = gSource.load(std::memory_order_acquire);
  return source ? *source : PlatformSource();
}

void SetTickSource(const TTickSource* source) {
  gSource.store(source, std::memory_order_release);
}

std::uint64_t TTickTimeout::Now() {
  const TTickSource& source = CurrentTickSource();
  if (source.Has64) return source.Tick64();
  std::uint32_t tick = source.Tick32();
  std::uint64_t wraps = Last >> 32;
  if (tick < static_cast<std::uint32_t>(Last)) ++wraps;
  Last = (wraps << 32) | tick;
  return Last;
}

void TTickTimeout::Clear() {
  *this = TTickTimeout{};
}

void TTickTimeout::StartPlain() {
  Start = Last = StartTick(CurrentTickSource());
  Deadline = 0;
  Armed = false;
}

void TTickTimeout::StartWith(std::uint32_t ms) {
  Start = Last = StartTick(CurrentTickSource());
  Timeout = ms;
  Deadline = Start + ms;
  Armed = true;
}

void TTickTimeout::Restart() {
  if (Armed)
    StartWith(Timeout);
  else
    StartPlain();
}

bool TTickTimeout::Expired() {
  return Now() >= Deadline;
}

bool TTickTimeout::ExpiredAfter(std::uint32_t ms) {
  if (IsNotStarted()) return true;
  if (!Armed) {
    Timeout = ms;
    Deadline = Start + ms;
  }
  return Now() >= Deadline;
}

std::uint64_t TTickTimeout::ElapsedMs() {
  if (IsNotStarted()) return 0;
  std::uint64_t now = Now();
  return now > Start ? now - Start : 0;
}
