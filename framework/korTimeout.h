// A millisecond timeout on the 64-bit tick: a plain value record (no heap
// use), so it can sit inside other records and be restarted often. A record
// belongs to whoever holds it; it is not guarded.
//
// Ticks come from the 64-bit counter when the system has one. Otherwise the
// 32-bit counter is read and each record counts the wrap-arounds it sees:
// every reading lower than the last one adds one to the high half.
#pragma once

#include <cstdint>

// The clock the records read; replaceable so tests can stand at any tick.
struct TTickSource {
  bool Has64;
  std::uint64_t (*Tick64)();
  std::uint32_t (*Tick32)();
};

// The platform's tick (looked up once). SetTickSource(nullptr) goes back to it.
const TTickSource& CurrentTickSource();
void SetTickSource(const TTickSource* source);

struct TTickTimeout {
  std::uint64_t Start = 0;     // tick when started; 0: not started
  std::uint64_t Deadline = 0;  // tick at which it expires
  std::uint64_t Last = 0;      // 32-bit counter only: wraps (high half), last tick (low half)
  std::uint32_t Timeout = 0;   // length in ms
  bool Armed = false;          // started with a length

  void Clear();
  // Started without a length.
  void StartPlain();
  void StartWith(std::uint32_t ms);
  // Again with the same length when armed, else plain.
  void Restart();
  bool IsNotStarted() const { return Start == 0; }
  // Now at or past the deadline (a plain or cleared record is expired).
  bool Expired();
  // True when not started; an unarmed record takes ms as its length first.
  bool ExpiredAfter(std::uint32_t ms);
  // Milliseconds since Start (0 when not started).
  std::uint64_t ElapsedMs();

  // The tick now, read through this record (counts 32-bit wraps).
  std::uint64_t Now();
};
