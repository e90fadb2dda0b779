#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

namespace plat {
namespace {

std::atomic<TBeforeRenameHook> gBeforeRename{nullptr};
std::atomic<unsigned> gTempCounter{0};

bool Fail(std::string* error, const std::string& what) {
  if (error != nullptr) *error = what + " (error " + std::to_string(::GetLastError()) + ")";
  return false;
}

DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesA(path.c_str());
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

bool FileExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const std::string& path, std::string* error) {
  if (path.empty()) return false;
  std::string p = path;
  while (p.size() > 3 && IsSeparator(p.back())) p.pop_back();
  if (DirectoryExists(p)) return true;
  std::string parent = ExtractFileDir(p);
  if (!parent.empty() && parent != p && !ForceDirectories(parent, error)) return false;
  if (!::CreateDirectoryA(p.c_str(), nullptr) && !DirectoryExists(p))
    return Fail(error, "cannot create " + p);
  return true;
}

std::string ExtractFileDir(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/:");
  if (slash == std::string::npos) return {};
  // Keep the root's separator ("C:\").
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  if (path[slash] == ':') return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string TempFolder() {
  char buffer[MAX_PATH + 2] = {};
  const DWORD n = ::GetTempPathA(sizeof buffer, buffer);
  std::string dir = n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string(".");
  if (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (::DeleteFileA(path.c_str()) != 0) return true;
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
  return Fail(error, "DeleteFile " + path);
}

bool ReadWholeFile(const std::string& path, std::string& contents, std::uint64_t maxSize,
                   std::string* error) {
  contents.clear();
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail(error, "cannot open " + path);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size) || static_cast<std::uint64_t>(size.QuadPart) > maxSize) {
    ::CloseHandle(h);
    if (error != nullptr) *error = path + " is too large";
    return false;
  }
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
      contents.clear();
      ::CloseHandle(h);
      return Fail(error, "cannot read " + path);
    }
    if (n == 0) break;
    if (contents.size() + n > maxSize) {
      contents.clear();
      ::CloseHandle(h);
      if (error != nullptr) *error = path + " is too large";
      return false;
    }
    contents.append(buffer, n);
  }
  ::CloseHandle(h);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           std::string* error) {
  HANDLE h = INVALID_HANDLE_VALUE;
  std::string temp;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = path + "." + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(gTempCounter.fetch_add(1)) + ".tmp";
    h = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE)
    return Fail(error, "cannot create a temporary file beside " + path);
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < contents.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1u << 20));
    DWORD n = 0;
    ok = ::WriteFile(h, contents.data() + done, chunk, &n, nullptr) && n > 0;
    done += n;
  }
  ok = ok && ::FlushFileBuffers(h);
  if (!ok) Fail(error, "cannot write " + temp);
  ::CloseHandle(h);
  if (!ok) {
    ::DeleteFileA(temp.c_str());
    return false;
  }
  TBeforeRenameHook hook = gBeforeRename.load();
  if (hook != nullptr && !hook(temp)) {
    ::DeleteFileA(temp.c_str());
    if (error != nullptr) *error = "replacing " + path + " was interrupted";
    return false;
  }
  if (!::MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail(error, "cannot rename " + temp + " to " + path);
    ::DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

void SetBeforeRenameHook(TBeforeRenameHook hook) {
  gBeforeRename.store(hook);
}

}  // namespace plat
