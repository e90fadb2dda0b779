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

#ifndef _WIN32
// The version record is found wherever it lies in a large file, across the
// reader's block boundaries too, and a record cut by the file's end is none.
TEST(PlatformModules, EmbeddedVersionIsFoundAnywhereInTheFile) {
  plat::TEmbeddedVersion record{{0x7F, 'K', 'O', 'R', 'V', 'E', 'R', 0x01}, {4, 3, 2, 1}};
  std::string bytes(reinterpret_cast<const char*>(&record), sizeof(record));
  const std::size_t block = std::size_t{64} * 1024;
  const struct {
    std::size_t Before, After;
    const char* Expected;
  } kCases[] = {{0, 0, "4.3.2.1"},
                {block - 3, 100, "4.3.2.1"},   // the mark cut by a block
                {block - 10, 100, "4.3.2.1"},  // the numbers cut by a block
                {3 * block + 7, 3 * block, "4.3.2.1"},
                {2 * block - 5, 0, "4.3.2.1"},                   // ends the file
                {block + 1, static_cast<std::size_t>(-1), ""}};  // cut by the file's end
  const char* name = "modules-test-version.bin";
  for (const auto& c : kCases) {
    std::string content(c.Before, 'x');
    if (c.After == static_cast<std::size_t>(-1))
      content += bytes.substr(0, bytes.size() - 2);
    else
      content += bytes + std::string(c.After, 'y');
    std::ofstream(name, std::ios::binary) << content;
    EXPECT_EQ(plat::FileVersion(name), c.Expected) << c.Before;
  }
  std::remove(name);
}
#endif

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
