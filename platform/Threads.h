// Threads: naming the calling thread for debuggers and profilers.
#pragma once

#include <string>

namespace plat {

// Names the calling thread (8-bit text in the system code page); an empty
// name changes nothing. posix keeps the first 15 bytes. Never fails.
void SetCurrentThreadName(const std::string& name);

}  // namespace plat
