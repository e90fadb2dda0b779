#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/Files.h"
#include "platform/Modules.h"
#include "platform/NamedLock.h"
#include "platform/Registry.h"

namespace {

class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("kor-files-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string Path(const std::string& name) const { return (Dir / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Dir),
                                                  std::filesystem::directory_iterator()));
  }
  std::filesystem::path Dir;
};

using Files = ScratchDir;

}  // namespace

TEST_F(Files, ExistenceAndFolders) {
  const std::string deep = Path("a") + plat::kPathDelimiter + "b" + plat::kPathDelimiter + "c";
  EXPECT_FALSE(plat::DirectoryExists(deep));
  EXPECT_TRUE(plat::ForceDirectories(deep));
  EXPECT_TRUE(plat::DirectoryExists(deep));
  EXPECT_FALSE(plat::FileExists(deep));       // a folder is no file
  EXPECT_TRUE(plat::ForceDirectories(deep));  // already there
  EXPECT_EQ(plat::ExtractFileDir(deep + plat::kPathDelimiter + "x.ini"), deep);
  EXPECT_EQ(plat::ExtractFileDir("x.ini"), "");
  std::string error;
  std::ofstream(Path("file")) << "x";
  EXPECT_FALSE(plat::ForceDirectories(Path("file") + plat::kPathDelimiter + "sub", &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(Files, ReadWholeFileAndItsLimit) {
  const std::string file = Path("data.bin");
  const std::string bytes("a\0b\r\nc", 6);
  std::ofstream(file, std::ios::binary) << bytes;
  std::string contents;
  ASSERT_TRUE(plat::ReadWholeFile(file, contents, 1024));
  EXPECT_EQ(contents, bytes);
  std::string error;
  EXPECT_FALSE(plat::ReadWholeFile(file, contents, 5, &error));
  EXPECT_TRUE(contents.empty());
  EXPECT_NE(error.find("too large"), std::string::npos);
  EXPECT_FALSE(plat::ReadWholeFile(Path("missing"), contents, 1024));
  EXPECT_FALSE(plat::ReadWholeFile(Dir.string(), contents, 1024));
}

TEST_F(Files, ReplaceCreatesAndReplacesLeavingNoTemporaryFile) {
  const std::string file = Path("host.ini");
  ASSERT_TRUE(plat::ReplaceFileAtomically(file, "first"));
  EXPECT_EQ(Read(file), "first");
  ASSERT_TRUE(plat::ReplaceFileAtomically(file, std::string(200000, 'x')));
  EXPECT_EQ(Read(file), std::string(200000, 'x'));
  ASSERT_TRUE(plat::ReplaceFileAtomically(file, ""));
  EXPECT_EQ(Read(file), "");
  EXPECT_EQ(Entries(), 1u);
  std::string error;
  EXPECT_FALSE(plat::ReplaceFileAtomically(Path("no-such-folder") + plat::kPathDelimiter + "f", "x",
                                           &error));
  EXPECT_FALSE(error.empty());
}

namespace {
std::string gTempSeen;
bool Interrupt(const std::string& temp) {
  gTempSeen = temp;
  return false;
}
}  // namespace

TEST_F(Files, InterruptedReplaceKeepsTheOldFile) {
  const std::string file = Path("host.ini");
  ASSERT_TRUE(plat::ReplaceFileAtomically(file, "old contents"));
  plat::SetBeforeRenameHook(&Interrupt);
  std::string error;
  EXPECT_FALSE(plat::ReplaceFileAtomically(file, "new", &error));
  plat::SetBeforeRenameHook(nullptr);
  EXPECT_EQ(plat::ExtractFileDir(gTempSeen), plat::ExtractFileDir(file));  // same folder
  EXPECT_EQ(Read(file), "old contents");
  EXPECT_EQ(Entries(), 1u);
  EXPECT_FALSE(error.empty());
}

TEST(NamedLockConcurrency, SameNameSerialisesHolders) {
  const std::string name = "kor_test_lock_" + std::to_string(plat::CurrentThreadId());
  plat::TNamedLock first(name);
  ASSERT_TRUE(first.Lock());
  std::atomic<bool> taken{false};
  std::thread other([&] {
    plat::TNamedLock second(name);
    ASSERT_TRUE(second.Lock());
    taken = true;
    second.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(taken.load());  // still waiting for the first holder
  first.Unlock();
  other.join();
  EXPECT_TRUE(taken.load());
  // Another name is another lock.
  plat::TNamedLock a(name);
  plat::TNamedLock b(name + "_other");
  ASSERT_TRUE(a.Lock());
  EXPECT_TRUE(b.Lock());
}

TEST(Registry, KeysAndValues) {
  if (!plat::RegistryUsable()) {
    plat::TRegKey key;
    EXPECT_FALSE(key.Open(plat::kHKeyCurrentUser, "Software", true));
    EXPECT_FALSE(plat::RegKeyExists(plat::kHKeyCurrentUser, "Software"));
    return;
  }
  const std::string base = "\\Software\\KorPlatformTests";
  plat::RegDeleteKeyTree(plat::kHKeyCurrentUser, base);
  plat::TRegKey key;
  EXPECT_FALSE(key.Open(plat::kHKeyCurrentUser, base, false));
  ASSERT_TRUE(key.Open(plat::kHKeyCurrentUser, base + "\\Sub\\Deeper", true));
  EXPECT_TRUE(key.WriteInteger("int", 0xFFFFFFFEu));
  EXPECT_TRUE(key.WriteBinary("bin", std::string("\0\1\2", 3)));
  EXPECT_TRUE(key.WriteText("text", "caf\xE9"));
  plat::TRegKey::TValue v;
  ASSERT_TRUE(key.ReadValue("int", v));
  EXPECT_EQ(v.Kind, plat::TRegKey::TKind::Integer);
  EXPECT_EQ(v.Integer, 0xFFFFFFFEu);
  ASSERT_TRUE(key.ReadValue("bin", v));
  EXPECT_EQ(v.Data, std::string("\0\1\2", 3));
  ASSERT_TRUE(key.ReadValue("text", v));
  EXPECT_EQ(v.Kind, plat::TRegKey::TKind::Text);
  EXPECT_EQ(v.Data, "caf\xE9");
  EXPECT_EQ(key.ValueNames().size(), 3u);
  EXPECT_TRUE(key.DeleteValue("int"));
  EXPECT_FALSE(key.ValueExists("int"));
  key.Close();
  plat::TRegKey sub;
  ASSERT_TRUE(sub.Open(plat::kHKeyCurrentUser, base + "\\Sub", false));
  EXPECT_EQ(sub.SubKeyNames(), std::vector<std::string>{"Deeper"});
  sub.Close();
  EXPECT_TRUE(plat::RegDeleteKeyTree(plat::kHKeyCurrentUser, base));
  EXPECT_FALSE(plat::RegKeyExists(plat::kHKeyCurrentUser, base));
  EXPECT_FALSE(key.Open(0, "Software", false));
}
