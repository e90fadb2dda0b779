// Test support for the settings store: a scratch folder per test and whole
// files read and written as bytes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace settingstest {

// A fresh folder below the system's temporary folder, removed afterwards.
class TScratchDir {
 public:
  TScratchDir() {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    Path = std::filesystem::temp_directory_path() /
           ("kor-settings-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(Path);
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(Path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(Path, ec);
  }
  std::string File(const std::string& name) const { return (Path / name).string(); }
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Path),
                                                  std::filesystem::directory_iterator()));
  }

  std::filesystem::path Path;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace settingstest
