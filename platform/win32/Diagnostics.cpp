#include "platform/Diagnostics.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace plat {

// ReadProcessMemory on our own process fails instead of faulting.
bool ReadMemory(const void* address, void* out, std::size_t size) {
  if (!address) return false;
  SIZE_T done = 0;
  return ReadProcessMemory(GetCurrentProcess(), address, out, size, &done) && done == size;
}

bool IsReadablePointer(const void* address, std::size_t size) {
  if (!address || size == 0) return address != nullptr;
  std::string scratch(size, '\0');
  return ReadMemory(address, scratch.data(), size);
}

void DebugOutput(std::string_view text) {
  std::string line(text);
  OutputDebugStringA(line.c_str());
  if (std::getenv(kDebugOutputVariable)) std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace plat
