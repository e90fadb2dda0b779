#include "params/SharedFiles.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/Files.h"
#include "platform/NamedLock.h"

namespace {

// The in-process lock of one path. The named lock alone serialises threads
// too on both platforms, but only as a side effect of one handle per lock
// object; this one makes the rule explicit and keeps threads of this process
// from queueing on the operating system's lock.
std::mutex& PathLock(const std::string& name) {
  static std::mutex tableLock;
  static std::map<std::string, std::unique_ptr<std::mutex>> table;  // never shrinks
  std::lock_guard<std::mutex> guard(tableLock);
  std::unique_ptr<std::mutex>& lock = table[name];
  if (!lock) lock = std::make_unique<std::mutex>();
  return *lock;
}

}  // namespace

std::string SharedFileLockName(std::string_view path) {
  std::string name(path);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) c = '_';
  }
  return name;
}

void UpdateSharedFile(const std::string& path, std::uint64_t maxSize, std::string_view what,
                      const std::function<bool(std::string& text)>& action) {
  const std::string name = SharedFileLockName(path);
  const std::string file = std::string(what) + " " + path + ": ";
  std::lock_guard<std::mutex> threads(PathLock(name));
  plat::TNamedLock processes(name);
  std::string error;
  if (!processes.Lock(&error)) throw ESharedFileError("Cannot lock the " + file + error);
  std::string text;
  if (plat::FileExists(path) && !plat::ReadWholeFile(path, text, maxSize, &error))
    throw ESharedFileError("Cannot read the " + file + error);
  if (!action(text)) return;
  if (!plat::ReplaceFileAtomically(path, text, &error))
    throw ESharedFileError("Cannot write the " + file + error);
}
