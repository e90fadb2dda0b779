#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ModuleTestSupport.h"
#include "params/CfgOptionsProxy.h"
#include "params/IniFiles.h"

namespace {

// The module's persisted properties, as its form resource lists them.
void FillProperties(TStringList& list) {
  for (const char* line : {"Left,Left", "Top,Top", "Height,Height", "Width,Width", ";---short---",
                           "lblParams.Caption,Parser config", "OpenDialog.FileName,Open files dir",
                           "SaveDialog.FileName,Save files dir", "spMinInt.Value,Min interval"})
    list.Add(line);
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("kor-module-settings-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(Dir);
    FillProperties(Module.Properties);
    Module.INIFile = File("host.ini");
    Module.INISectionPrefix = "MBUS";
    Module.ModuleRegistryRoot1 = rrNone;  // keep the registry out of these tests
    Module.ModuleRegistryRoot2 = rrNone;
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string File(const std::string& name) const { return (Dir / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static constexpr std::uint8_t rrNone = 5;
  TFakeHost Host;
  TkorPlugin Module;
  std::filesystem::path Dir;
};

// A proxy that records whether its module was busy with settings when the
// store read or wrote its property.
class TBusyProbe : public TProxyCodeCustomObject {
 public:
  TBusyProbe(TkorPlugin& module) : TProxyCodeCustomObject(nullptr), FModule(module) {}
  const std::vector<TProxyPropertyInfo>& Properties() const override {
    static const std::vector<TProxyPropertyInfo> table = {
        {"Left", TProxyPropertyType::Integer,
         [](const TProxyCodeCustomObject& p) {
           auto& self = const_cast<TBusyProbe&>(static_cast<const TBusyProbe&>(p));
           self.BusySeen = self.FModule.SettingsBusy;
           return OleVariant(static_cast<std::int32_t>(1));
         },
         [](TProxyCodeCustomObject& p, const OleVariant&) {
           auto& self = static_cast<TBusyProbe&>(p);
           self.BusySeen = self.FModule.SettingsBusy;
         }}};
    return table;
  }
  bool BusySeen = false;

 private:
  TkorPlugin& FModule;
};

}  // namespace

TEST_F(SettingsFile, SaveAndLoadThroughTheModule) {
  TDataSourceCfg cfg(nullptr);
  cfg.lblParams_Caption = "<MBUS/>";
  cfg.Width = 600;
  cfg.spMinInt_Value = 250;
  ASSERT_TRUE(Module.SaveSettings(&Module.Properties, &cfg));
  TIniDocument doc(Read(Module.INIFile));
  std::string value;
  ASSERT_TRUE(doc.ReadString("MBUS.Common", "Parser config", value));
  EXPECT_EQ(value, "<MBUS/>");

  TDataSourceCfg loaded(nullptr);
  ASSERT_TRUE(Module.LoadSettings(&Module.Properties, &loaded));
  EXPECT_EQ(loaded.lblParams_Caption, "<MBUS/>");
  EXPECT_EQ(loaded.Width, 600);
  EXPECT_EQ(loaded.spMinInt_Value, 250.0);
  EXPECT_FALSE(Module.SettingsBusy);
}

TEST_F(SettingsFile, AGivenFileWinsOverINIFile) {
  TDataSourceCfg cfg(nullptr);
  const std::string other = File("other.ini");
  ASSERT_TRUE(Module.SaveSettings(&Module.Properties, &cfg, &other));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_FALSE(std::filesystem::exists(Module.INIFile));
  // Loading from a file that does not exist goes to the registry: none here.
  EXPECT_FALSE(Module.LoadSettings(&Module.Properties, &cfg));
  EXPECT_TRUE(Module.LoadSettings(&Module.Properties, &cfg, &other));
}

TEST_F(SettingsFile, NothingWithoutAPropertyList) {
  TDataSourceCfg cfg(nullptr);
  EXPECT_FALSE(Module.SaveSettings(nullptr, &cfg));
  EXPECT_FALSE(Module.LoadSettings(nullptr, &cfg));
  EXPECT_FALSE(std::filesystem::exists(Module.INIFile));
  TStringList empty;
  EXPECT_FALSE(Module.SaveSettings(&empty, &cfg));
}

TEST_F(SettingsFile, BusyWhileTheStoreRunsAndAfterAFailureNoMore) {
  TBusyProbe probe(Module);
  ASSERT_TRUE(Module.SaveSettings(&Module.Properties, &probe));
  EXPECT_TRUE(probe.BusySeen);
  EXPECT_FALSE(Module.SettingsBusy);
  probe.BusySeen = false;
  ASSERT_TRUE(Module.LoadSettings(&Module.Properties, &probe));
  EXPECT_TRUE(probe.BusySeen);
  EXPECT_FALSE(Module.SettingsBusy);

  std::ofstream(Module.INIFile, std::ios::binary) << std::string("[MBUS.Common]\0", 14);
  TDataSourceCfg cfg(nullptr);
  EXPECT_THROW(Module.SaveSettings(&Module.Properties, &cfg), EIniFileError);
  EXPECT_FALSE(Module.SettingsBusy);
}

TEST_F(SettingsFile, NoRegistryRootLeavesEverythingAlone) {
  Module.INIFile.clear();
  TDataSourceCfg cfg(nullptr);
  EXPECT_FALSE(Module.SaveSettings(&Module.Properties, &cfg));
  EXPECT_FALSE(Module.LoadSettings(&Module.Properties, &cfg));
}
