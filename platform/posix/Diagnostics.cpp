#include "platform/Diagnostics.h"

#include <sys/uio.h>
#include <unistd.h>

namespace plat {

// process_vm_readv on our own process reports EFAULT instead of faulting.
bool ReadMemory(const void* address, void* out, std::size_t size) {
  if (!address) return false;
  iovec local{out, size};
  iovec remote{const_cast<void*>(address), size};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

}  // namespace plat
