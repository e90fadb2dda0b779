#include "platform/Diagnostics.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace plat {

// process_vm_readv on our own process reports EFAULT instead of faulting.
bool ReadMemory(const void* address, void* out, std::size_t size) {
  if (!address) return false;
  iovec local{out, size};
  iovec remote{const_cast<void*>(address), size};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool IsReadablePointer(const void* address, std::size_t size) {
  if (!address || size == 0) return address != nullptr;
  std::string scratch(size, '\0');
  return ReadMemory(address, scratch.data(), size);
}

void DebugOutput(std::string_view text) {
  if (!std::getenv(kDebugOutputVariable)) return;
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace plat
