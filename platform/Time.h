// Time: the millisecond tick counters, local time as an OLE date, sleeping.
#pragma once

#include <cstdint>

namespace plat {

// Milliseconds since an arbitrary start (system start on Windows); never goes
// back. Only meaningful when HasTickCount64.
std::uint64_t TickCount64();

// The low 32 bits of the tick; wraps after about 49.7 days.
std::uint32_t TickCount32();

// True when the system has a 64-bit tick counter (Windows looks up
// GetTickCount64 once; posix always has one).
bool HasTickCount64();

// Local time now as an OLE date: days since 1899-12-30 00:00, the fraction
// being the time of day.
double NowAsOleDate();

// Sleeps ms milliseconds; 0 gives the rest of the time slice to other threads.
void SleepMs(unsigned ms);

}  // namespace plat
