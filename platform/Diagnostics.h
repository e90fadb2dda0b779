// Diagnostics: safe reads of memory that may not be readable.
#pragma once

#include <cstddef>

namespace plat {

// Copies size bytes from address into out; false (out unchanged or partly
// written) when any of those bytes cannot be read. Never faults.
bool ReadMemory(const void* address, void* out, std::size_t size);

}  // namespace plat
