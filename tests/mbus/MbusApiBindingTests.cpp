// The run-time binding of the protocol library: the library built beside
// this test program binds all 109 names; a folder without it, and a library
// that lacks names, leave the binding failed with a reason per name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "mbus/mbus_api.h"
#include "platform/Files.h"
#include "platform/Modules.h"

namespace {

std::string ProgramFolder() {
  return plat::ExtractFileDir(plat::OwnModuleFileName()) + plat::kPathDelimiter;
}

int BoundCount(const TMbusApi& api) {
  int count = 0;
#define KOR_MBUS_API_COUNT(name) count += api.name != nullptr;
  KOR_MBUS_API_NAMES(KOR_MBUS_API_COUNT)
#undef KOR_MBUS_API_COUNT
  return count;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(MbusApiBinding, TheBuiltLibraryBindsEveryName) {
  ASSERT_EQ(MbusApiAcquire(ProgramFolder()), TMbusApiState::Loaded)
      << (MbusApiLoadErrors().empty() ? "" : MbusApiLoadErrors().front());
  EXPECT_EQ(BoundCount(MbusApi()), kMbusApiNameCount);
  EXPECT_TRUE(MbusApiLoadErrors().empty());
  EXPECT_EQ(MbusApiLibraryPath(), ProgramFolder() + MbusLibraryFileName());
  char code[] = "KAM";
  EXPECT_EQ(MbusApi().mbus_manufacturer_id(code), 0x2C2Du);  // a call through the binding
  // a second reference shares the load
  EXPECT_EQ(MbusApiAcquire(ProgramFolder()), TMbusApiState::Loaded);
  MbusApiRelease();
  EXPECT_EQ(BoundCount(MbusApi()), kMbusApiNameCount);
  MbusApiRelease();
  EXPECT_EQ(MbusApiState(), TMbusApiState::NotTried);
  EXPECT_EQ(BoundCount(MbusApi()), 0);
}

TEST(MbusApiBinding, AFolderWithoutTheLibraryFails) {
  const std::string folder = ProgramFolder() + "no-such-folder" + plat::kPathDelimiter;
  ASSERT_FALSE(plat::DirectoryExists(folder));
  EXPECT_EQ(MbusApiAcquire(folder), TMbusApiState::Failed);
  const std::vector<std::string> errors = MbusApiLoadErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_FALSE(errors.front().empty());
  EXPECT_EQ(BoundCount(MbusApi()), 0);
  MbusApiRelease();
  EXPECT_EQ(MbusApiState(), TMbusApiState::NotTried);
}

TEST(MbusApiBinding, ALibraryLackingNamesFailsNameByName) {
  const std::string folder = ProgramFolder() + "incomplete-mbus" + plat::kPathDelimiter;
  ASSERT_TRUE(plat::FileExists(folder + MbusLibraryFileName())) << folder;
  EXPECT_EQ(MbusApiAcquire(folder), TMbusApiState::Failed);
  const std::vector<std::string> errors = MbusApiLoadErrors();
  EXPECT_EQ(errors.size(), static_cast<std::size_t>(kMbusApiNameCount - 1));
  EXPECT_TRUE(HasLine(errors, "Unable to load mbus_dump_recv_event"));
  EXPECT_TRUE(HasLine(errors, "Unable to load mbus_hex2bin"));
  EXPECT_FALSE(HasLine(errors, "Unable to load mbus_manufacturer_id"));  // the one it has
  EXPECT_EQ(BoundCount(MbusApi()), 0);                                   // nothing half-bound
  MbusApiRelease();
}
