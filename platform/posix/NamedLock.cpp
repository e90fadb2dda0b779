#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace plat {
namespace {

// The lock file: TMPDIR (or /tmp) / kor-NAME.lock. Names longer than a file
// name allows keep their start and get a hash of the whole name.
std::string LockFilePath(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  std::string base = name;
  if (base.size() > 200) {
    char hash[20];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(name));
    base = base.substr(0, 180) + "_" + hash;
  }
  return dir + "/kor-" + base + ".lock";
}

}  // namespace

TNamedLock::TNamedLock(const std::string& name) : FName(name) {}

TNamedLock::~TNamedLock() {
  Unlock();
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
}

bool TNamedLock::Lock(std::string* error) {
  if (FHeld) return true;
  if (FHandle < 0) {
    std::string path = LockFilePath(FName);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (error != nullptr) *error = "open " + path + ": " + std::strerror(errno);
      return false;
    }
    FHandle = fd;
  }
  int rc;
  do {
    rc = ::flock(static_cast<int>(FHandle), LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (error != nullptr) *error = std::string("flock: ") + std::strerror(errno);
    return false;
  }
  FHeld = true;
  return true;
}

void TNamedLock::Unlock() {
  if (!FHeld) return;
  ::flock(static_cast<int>(FHandle), LOCK_UN);
  FHeld = false;
}

}  // namespace plat
