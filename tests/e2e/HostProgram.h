// Running mbus-host (the program beside the test) with its arguments, its
// output and error text kept: what every end-to-end suite shares.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Modules.h"
#include "platform/Process.h"

namespace e2e {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

inline bool OnWindows() {
  return plat::kPathDelimiter == '\\';
}

// A program in this test's folder.
inline std::string Beside(const std::string& name) {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  auto slash = self.find_last_of(plat::kPathDelimiter);
  return self.substr(0, slash + 1) + name + (OnWindows() ? ".exe" : "");
}

inline std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The non-empty lines, without CR.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// One JSON line's text value of an item ("" when missing).
inline std::string JsonText(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const auto at = line.find(key);
  if (at == std::string::npos) return {};
  const auto end = line.find('"', at + key.size());
  return line.substr(at + key.size(), end - at - key.size());
}

// A folder of one test, removed afterwards; Run starts mbus-host.
class HostProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() /
          ("mbus-e2e-" + std::string(info->name()) + "-" +
           std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  int Run(const Args& args) { return RunFile(Beside("mbus-host"), args); }

  // Another program (a shell) with the same capture of its output.
  int RunFile(const std::string& program, const Args& args) {
    out.clear();
    err.clear();
    const int status = plat::RunProgram(program, args, OutFile(), ErrFile());
    out = ReadText(OutFile());
    err = ReadText(ErrFile());
    return status;
  }
  std::string OutFile() const { return (dir / "out.txt").string(); }
  std::string ErrFile() const { return (dir / "err.txt").string(); }

  // Whether the plug-in beside mbus-host is the M-Bus module.
  bool NeedModule() {
    EXPECT_EQ(Run({"info"}), 0) << err;
    return out.find("Description: M-Bus") != std::string::npos;
  }

  fs::path dir;
  std::string out, err;
};

}  // namespace e2e

#define REQUIRE_MBUS_MODULE()                                                                 \
  do {                                                                                        \
    if (!NeedModule())                                                                        \
      GTEST_SKIP() << "the plug-in beside mbus-host is not the M-Bus module (mbus-host info " \
                      "shows another Description); these tests run once it is";               \
  } while (0)
