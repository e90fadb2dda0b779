// Several writers of one settings file at once: other processes (the
// settings_saver helper beside this program) and threads of this one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SettingsTestSupport.h"
#include "params/IniFiles.h"
#include "params/TWregistry.h"
#include "params/korParamLst.h"
#include "platform/Files.h"
#include "platform/Modules.h"

using settingstest::ReadBytes;
using settingstest::TScratchDir;
using settingstest::WriteBytes;

namespace {

constexpr int kSaves = 40;

std::string HelperPath() {
  std::string self = plat::OwnModuleFileName();
  std::string dir = plat::ExtractFileDir(self);
  bool exe = self.size() > 4 && self.compare(self.size() - 4, 4, ".exe") == 0;
  return dir + plat::kPathDelimiter + "settings_saver" + (exe ? ".exe" : "");
}

void SaveInThisProcess(const std::string& file, const std::string& name) {
  for (int i = 0; i < kSaves; ++i) {
    TkorParamsList values;
    values.Add("v", OleVariant(static_cast<std::int32_t>(i)));
    TWreg store;
    store.INIFile = file;
    store.INIFileSectionPrefix = "Shared";
    store.Components.Add("v," + name + "\\Key" + std::to_string(i));
    store.Save(values);
  }
}

}  // namespace

TEST(SettingsConcurrency, ProcessesAndThreadsSavingDifferentKeysLoseNone) {
  TScratchDir dir;
  const std::string file = dir.File("host.ini");
  const std::string host = "; host\r\n[Host]\r\nkeep=me\r\n";
  WriteBytes(file, host);
  const std::string helper = HelperPath();
  ASSERT_TRUE(plat::FileExists(helper)) << helper;
  // Plain arguments: no quoting rules of two shells to get right.
  ASSERT_EQ((helper + file).find_first_of(" \"'"), std::string::npos);

  std::vector<int> results(2, -1);
  std::vector<std::thread> workers;
  for (int p = 0; p < 2; ++p)
    workers.emplace_back([&, p] {
      std::string command =
          helper + " " + file + " Proc" + std::to_string(p) + " " + std::to_string(kSaves);
      results[p] = std::system(command.c_str());
    });
  for (int t = 0; t < 2; ++t)
    workers.emplace_back([&, t] { SaveInThisProcess(file, "Thread" + std::to_string(t)); });
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);

  const std::string text = ReadBytes(file);
  EXPECT_EQ(text.substr(0, host.size()), host);
  TIniDocument doc(text);
  for (const char* name : {"Proc0", "Proc1", "Thread0", "Thread1"}) {
    EXPECT_EQ(doc.KeyNames(std::string("Shared.") + name).size(), static_cast<std::size_t>(kSaves))
        << name;
    for (int i = 0; i < kSaves; ++i) {
      std::string value;
      EXPECT_TRUE(doc.ReadString(std::string("Shared.") + name, "Key" + std::to_string(i), value))
          << name << " Key" << i;
      EXPECT_EQ(value, std::to_string(i));
    }
  }
  EXPECT_EQ(dir.EntryCount(), 1u);  // no temporary files left behind
}
