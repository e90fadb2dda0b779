// A lock shared by every process of the machine that uses the same name:
// a named mutex on Windows (so other programs that lock the same name, the
// host among them, are serialised with us); on posix an exclusive lock
// (flock) on a file of that name in the temporary folder. Threads of one
// process are serialised too: each TNamedLock holds its own handle.
//
// A TNamedLock is used by one thread: Lock and Unlock pair on it. Lock
// blocks until the lock is free; Unlock releases it (the destructor does
// when still held).
#pragma once

#include <cstdint>
#include <string>

namespace plat {

class TNamedLock {
 public:
  // name: letters, digits and '_' only (callers build it that way). Throws
  // nothing; a lock that cannot be created makes Lock return false.
  explicit TNamedLock(const std::string& name);
  ~TNamedLock();
  TNamedLock(const TNamedLock&) = delete;
  TNamedLock& operator=(const TNamedLock&) = delete;

  // False (with the system's reason in error) when the lock could not be
  // created or taken.
  bool Lock(std::string* error = nullptr);
  void Unlock();

 private:
  std::string FName;
  std::intptr_t FHandle = -1;  // HANDLE or file descriptor; -1 none
  bool FHeld = false;
};

}  // namespace plat
