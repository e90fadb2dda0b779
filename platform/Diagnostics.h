// Diagnostics: safe reads of memory that may not be readable, and the
// debugger's output channel.
#pragma once

#include <cstddef>
#include <string_view>

namespace plat {

// Copies size bytes from address into out; false (out unchanged or partly
// written) when any of those bytes cannot be read. Never faults.
bool ReadMemory(const void* address, void* out, std::size_t size);

// True when the size bytes at address (4 by default: one 32-bit word) can be
// read; false for nil. Never faults.
bool IsReadablePointer(const void* address, std::size_t size = 4);

// One line for a debugger. Windows: OutputDebugString, and standard error as
// well when the environment variable KOR_DEBUG_OUTPUT is set. posix:
// standard error, only when KOR_DEBUG_OUTPUT is set. Never fails.
inline constexpr const char* kDebugOutputVariable = "KOR_DEBUG_OUTPUT";
void DebugOutput(std::string_view text);

}  // namespace plat
