// One read-modify-write of a shared text file: what the action sees and
// answers decides the write; failures name the file and keep it as it was.
#include <gtest/gtest.h>

#include <string>

#include "SettingsTestSupport.h"
#include "params/SharedFiles.h"
#include "platform/Files.h"

using settingstest::ReadBytes;
using settingstest::TScratchDir;
using settingstest::WriteBytes;

TEST(SharedFile, TheActionSeesTheTextAndDecidesTheWrite) {
  TScratchDir dir;
  const std::string file = dir.File("shared.txt");
  std::string seen = "unset";
  UpdateSharedFile(file, 100, "test file", [&](std::string& text) {
    seen = text;
    text = "first";
    return true;
  });
  EXPECT_EQ(seen, "");  // a missing file is empty text
  EXPECT_EQ(ReadBytes(file), "first");
  UpdateSharedFile(file, 100, "test file", [&](std::string& text) {
    seen = text;
    text = "discarded";
    return false;
  });
  EXPECT_EQ(seen, "first");
  EXPECT_EQ(ReadBytes(file), "first");
}

TEST(SharedFile, ActionErrorsPassThroughAndNothingIsWritten) {
  TScratchDir dir;
  const std::string file = dir.File("shared.txt");
  WriteBytes(file, "old");
  EXPECT_THROW(UpdateSharedFile(file, 100, "test file",
                                [](std::string& text) -> bool {
                                  text = "new";
                                  throw Exception("refused");
                                }),
               Exception);
  EXPECT_EQ(ReadBytes(file), "old");
  // the locks are free again
  UpdateSharedFile(file, 100, "test file", [](std::string& text) {
    text += "!";
    return true;
  });
  EXPECT_EQ(ReadBytes(file), "old!");
}

TEST(SharedFile, AFileAboveTheLimitIsAnErrorNamingIt) {
  TScratchDir dir;
  const std::string file = dir.File("big.txt");
  WriteBytes(file, std::string(101, 'x'));
  bool ran = false;
  try {
    UpdateSharedFile(file, 100, "test file", [&](std::string&) { return ran = true; });
    ADD_FAILURE() << "an oversized file was read";
  } catch (const ESharedFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot read the test file " + file + ": ", 0), 0u)
        << e.what();
  }
  EXPECT_FALSE(ran);
  EXPECT_EQ(ReadBytes(file).size(), 101u);
}

TEST(SharedFile, LockNamesAreThePathInLowerCaseLettersAndDigits) {
  EXPECT_EQ(SharedFileLockName("C:\\Data\\Last-Date.TXT"), "c__data_last_date_txt");
  EXPECT_EQ(SharedFileLockName("/tmp/a b/9"), "_tmp_a_b_9");
}
