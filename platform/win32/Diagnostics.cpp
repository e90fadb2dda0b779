#include "platform/Diagnostics.h"

#include <windows.h>

namespace plat {

// ReadProcessMemory on our own process fails instead of faulting.
bool ReadMemory(const void* address, void* out, std::size_t size) {
  if (!address) return false;
  SIZE_T done = 0;
  return ReadProcessMemory(GetCurrentProcess(), address, out, size, &done) && done == size;
}

}  // namespace plat
