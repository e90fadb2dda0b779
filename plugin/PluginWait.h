// Waiting on flags while the calling thread keeps handling its window
// messages. Any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>

namespace kor {

// Option bit: do not handle window messages between passes.
inline constexpr unsigned kWaitNoMessages = 2;

// Waits while every flag is set: true as soon as one flag is found clear,
// false when the time-out (ms, 0: none) passed with all of them set or when
// a flag address is nil. Between passes (not before the first) it handles
// the thread's pending messages, unless kWaitNoMessages is given, and
// sleeps 50 ms.
bool WaitWhileAllSet(std::uint32_t timeoutMs, std::initializer_list<const std::atomic<bool>*> flags,
                     unsigned options = 0);

}  // namespace kor
