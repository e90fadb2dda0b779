#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

std::atomic<TBeforeRenameHook> gBeforeRename{nullptr};

bool Fail(std::string* error, const std::string& what) {
  if (error != nullptr) *error = what + ": " + std::strerror(errno);
  return false;
}

bool WriteAll(int fd, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path, std::string* error) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string parent = ExtractFileDir(path);
  if (!parent.empty() && parent != path && !ForceDirectories(parent, error)) return false;
  if (::mkdir(path.c_str(), 0777) != 0 && !(errno == EEXIST && DirectoryExists(path)))
    return Fail(error, "mkdir " + path);
  return true;
}

std::string ExtractFileDir(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  return Fail(error, "unlink " + path);
}

bool ReadWholeFile(const std::string& path, std::string& contents, std::uint64_t maxSize,
                   std::string* error) {
  contents.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(error, "open " + path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error != nullptr) *error = path + " is not a file";
    return false;
  }
  if (static_cast<std::uint64_t>(st.st_size) > maxSize) {
    ::close(fd);
    if (error != nullptr) *error = path + " is too large";
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      contents.clear();
      ::close(fd);
      return Fail(error, "read " + path);
    }
    if (n == 0) break;
    if (contents.size() + static_cast<std::size_t>(n) > maxSize) {  // grew meanwhile
      contents.clear();
      ::close(fd);
      if (error != nullptr) *error = path + " is too large";
      return false;
    }
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           std::string* error) {
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return Fail(error, "create a temporary file beside " + path);
  // Keep the old file's permissions; a new file gets the usual ones.
  struct stat st {};
  mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  ::fchmod(fd, mode);
  bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
  int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    errno = savedErrno;
    Fail(error, "write " + temp);
    ::unlink(temp.c_str());
    return false;
  }
  TBeforeRenameHook hook = gBeforeRename.load();
  if (hook != nullptr && !hook(temp)) {
    ::unlink(temp.c_str());
    if (error != nullptr) *error = "replacing " + path + " was interrupted";
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    Fail(error, "rename " + temp + " to " + path);
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  std::string dir = ExtractFileDir(path);
  int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

void SetBeforeRenameHook(TBeforeRenameHook hook) {
  gBeforeRename.store(hook);
}

}  // namespace plat
