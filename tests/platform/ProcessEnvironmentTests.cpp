// The process services mbus-host uses: environment variables that every
// module sees (the common data folder follows KOR_COMMON_APPDATA on both
// platforms), the interrupt flag, and running a program to its end.
#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "platform/Interrupt.h"
#include "platform/Modules.h"

namespace {

TEST(ProcessEnvironment, ValuesRoundTripAndClear) {
  ASSERT_TRUE(plat::SetEnvironmentValue("KOR_TEST_VALUE", "a b=c"));
  EXPECT_EQ(plat::EnvironmentValue("KOR_TEST_VALUE"), "a b=c");
  ASSERT_TRUE(plat::SetEnvironmentValue("KOR_TEST_VALUE", ""));
  EXPECT_EQ(plat::EnvironmentValue("KOR_TEST_VALUE"), "");
  EXPECT_FALSE(plat::SetEnvironmentValue("", "x"));
}

TEST(ProcessEnvironment, CommonDataFolderFollowsTheOverride) {
  const std::string saved = plat::EnvironmentValue("KOR_COMMON_APPDATA");
  const std::string folder = plat::kPathDelimiter == '\\' ? "C:\\meters\\data" : "/tmp/meters";
  ASSERT_TRUE(plat::SetEnvironmentValue("KOR_COMMON_APPDATA", folder + plat::kPathDelimiter));
  EXPECT_EQ(plat::CommonAppDataFolder(), folder);  // without the trailing separator
  plat::SetEnvironmentValue("KOR_COMMON_APPDATA", saved);
  EXPECT_FALSE(plat::CommonAppDataFolder().empty());
}

TEST(ProcessInterrupt, RequestIsAFlagUntilCleared) {
  plat::WatchInterrupt();
  plat::ClearInterrupt();
  EXPECT_FALSE(plat::InterruptRequested());
  plat::RequestInterrupt();
  EXPECT_TRUE(plat::InterruptRequested());
  plat::ClearInterrupt();
  EXPECT_FALSE(plat::InterruptRequested());
}

}  // namespace
