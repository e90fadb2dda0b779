// The module, diagnostics and resource services the plug-in boundary uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/Diagnostics.h"
#include "platform/Modules.h"
#include "platform/Resources.h"

namespace {

std::string FileNamePart(const std::string& path) {
  auto slash = path.find_last_of(plat::kPathDelimiter);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TEST(PlatformModules, ExecutableIsFoundByItsNameAndPath) {
  const plat::ModuleHandle exe = plat::ExecutableModule();
  ASSERT_NE(exe, 0u);
  const std::string path = plat::ModuleFileName(exe);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(plat::FindLoadedModule(path), exe);
  EXPECT_EQ(plat::FindLoadedModule(FileNamePart(path)), exe);
  EXPECT_EQ(plat::OwnModuleFileName(), path) << "this code is linked into the program";
  EXPECT_EQ(plat::FindLoadedModule("no-such-module-here.bin"), 0u);
  EXPECT_EQ(plat::FindLoadedModule(""), 0u);
}

TEST(PlatformModules, SymbolsOfForeignHandlesAreNotLookedUp) {
  unsigned char notAModule[256] = {};
  EXPECT_EQ(plat::FindSymbol(reinterpret_cast<plat::ModuleHandle>(notAModule), "main"), nullptr);
  EXPECT_EQ(plat::FindSymbol(0, "main"), nullptr);
  EXPECT_EQ(plat::FindSymbol(plat::ExecutableModule(), nullptr), nullptr);
  EXPECT_EQ(plat::FindSymbol(plat::ExecutableModule(), "no_such_symbol_anywhere"), nullptr);
}

TEST(PlatformModules, LoadingAMissingLibraryTellsWhy) {
  std::string error;
  EXPECT_EQ(plat::LoadModule("/no/such/library.bin", &error), 0u);
  EXPECT_FALSE(error.empty());
}

TEST(PlatformModules, FileWithoutVersionHasNone) {
  const char* name = "modules-test-no-version.bin";
  std::ofstream(name, std::ios::binary) << "just some bytes, no version record";
  EXPECT_EQ(plat::FileVersion(name), "");
  EXPECT_EQ(plat::FileVersion("no-such-file.bin"), "");
  std::remove(name);
}

TEST(PlatformModules, CommandLineStartsWithTheProgram) {
  std::vector<std::string> args = plat::CommandLineArguments();
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("platform_tests"), std::string::npos) << args[0];
}

TEST(PlatformModules, SharedDataFolderHasNoTrailingSeparator) {
  std::string folder = plat::CommonAppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), plat::kPathDelimiter);
}

TEST(PlatformDiagnostics, ReadablePointerCheck) {
  int local = 5;
  EXPECT_TRUE(plat::IsReadablePointer(&local));
  EXPECT_FALSE(plat::IsReadablePointer(nullptr));
  EXPECT_FALSE(plat::IsReadablePointer(reinterpret_cast<const void*>(0x10)));
  plat::DebugOutput("a line for the debugger");  // never fails
}

TEST(PlatformResources, MissingResourceIsEmpty) {
  EXPECT_EQ(plat::LoadDataResource("NO_SUCH_RESOURCE"), "");
}

TEST(PlatformResources, RegisteredResourcesAreFoundWithoutRegardToCase) {
  if (plat::kPathDelimiter == '\\') GTEST_SKIP() << "Windows resources come from the .rc file";
  plat::RegisterDataResource("Test_Form", "form bytes");
  EXPECT_EQ(plat::LoadDataResource("TEST_FORM"), "form bytes");
  plat::RegisterDataResource("TEST_FORM", std::string("a\0b", 3));
  EXPECT_EQ(plat::LoadDataResource("test_form"), std::string("a\0b", 3));
}
