// The built mbus-decode, run as a user runs it: exit status and output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../TestFiles.h"

using namespace mbus_test;

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Decode(const std::string& arguments) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto out = dir / "mbus-decode-test.out";
  const auto err = dir / "mbus-decode-test.err";
  const std::string command =
      std::string(MBUS_DECODE_PATH) + " " + arguments + " >" + out.string() + " 2>" + err.string();
  const int status = std::system(command.c_str());
  ToolRun run{status, ReadFile(out), ReadFile(err)};
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return run;
}

}  // namespace

TEST(MbusDecodeTool, PrintsFrameDataAndNormalisedXml) {
  const auto hex = TelegramDir("reference") / "abb_f95.hex";
  const ToolRun plain = Decode(hex.string());
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(CompareBlocks(ReadBlocks(plain.out),
                          ReadBlocks(ReadFile(TelegramDir("reference") / "abb_f95.xml"))),
            "");
  const ToolRun norm = Decode("--normalized " + hex.string());
  EXPECT_EQ(norm.status, 0);
  EXPECT_EQ(CompareBlocks(ReadBlocks(norm.out),
                          ReadBlocks(ReadFile(TelegramDir("reference") / "abb_f95.norm.xml"))),
            "");
  EXPECT_TRUE(norm.err.empty());
}

TEST(MbusDecodeTool, FailsWithOneLineReason) {
  const ToolRun bad = Decode((TelegramDir("error") / "too_many_dife.hex").string());
  EXPECT_NE(bad.status, 0);
  EXPECT_TRUE(bad.out.empty());
  ASSERT_FALSE(bad.err.empty());
  EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1);
  const ToolRun missing = Decode("/nonexistent/telegram.hex");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
  EXPECT_NE(Decode("").status, 0);
}
