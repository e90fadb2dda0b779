// The M-Bus plug-in as the host meets it: loaded from its file, driven
// through the exports by plugin_host, with libmbus beside it (the build
// folder) or without it (a copy in a folder of its own).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/PluginHost.h"
#include "params/korParamLst.h"
#include "platform/Modules.h"
#include "plugin/PluginRecords.h"

namespace {

std::string BesideProgram(const std::string& name) {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  return self.substr(0, self.find_last_of(plat::kPathDelimiter) + 1) + name;
}

std::string LibraryName(const std::string& name) {
  return name + (plat::kPathDelimiter == '\\' ? ".dll" : ".so");
}

const std::string kPolled =
    "<MBUS><Request><Enabled>1</Enabled><Device>5</Device><Timeout>100</Timeout>"
    "<RequestMethod><MethodPoll check=\"2\"><PollInterval>1</PollInterval>"
    "<PollUnits>H</PollUnits></MethodPoll></RequestMethod></Request></MBUS>";
const std::string kOnEvent =
    "<MBUS><Request><Enabled>1</Enabled><Device>7</Device><Timeout>100</Timeout>"
    "<RequestMethod><MethodEvent check=\"2\"><EventId>Read-Now</EventId></MethodEvent>"
    "</RequestMethod></Request></MBUS>";

class MbusPluginExports : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("mbus-plugin-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder);
    Options.IniFile = (Folder / "host.ini").string();
  }
  void TearDown() override {
    Hosts.clear();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }

  void WriteConfig(const std::string& document) {
    std::ofstream ini(Options.IniFile);
    ini << "[Common]\r\nParser config=" << document << "\r\n";
  }
  host::TPluginHost& Open(const std::string& path, bool load = true) {
    Hosts.push_back(std::make_unique<host::TPluginHost>(path));
    host::TPluginHost& host = *Hosts.back();
    EXPECT_EQ(host.Create(), kor::kResultOk);
    if (load) {
      EXPECT_EQ(host.Load(Options), kor::kResultOk);
    }
    return host;
  }
  host::TPluginHost& OpenBuilt(bool load = true) {
    return Open(BesideProgram(LibraryName("mbusplugin")), load);
  }
  static std::int32_t SetState(host::TPluginHost& host, const std::string& sources) {
    TkorParamsList params;
    params.Add("DATA-SOURCES-IN-CFG", OleVariant(sources));
    params.Add("RESULT", OleVariant(1));
    host.Record().Mode = 0x03;
    std::int32_t result = host.Command("SET-STATE", params);
    host.Record().Mode = 0;
    return result;
  }
  static std::int32_t ProcessData(host::TPluginHost& host, std::int32_t sourceId) {
    kor::TPluginCallRec rec{};
    rec.Size = kor::kCallRecSize;
    rec.ModulePluginHandle = host.Record().ModulePluginHandle;
    rec.ModuleIndex = host.Record().ModuleIndex;
    rec.DataSourceId = sourceId;
    rec.Mode = 0x02;
    TkorParamsList params;
    rec.Params = reinterpret_cast<kor::TPluginPtr>(&params);
    static const char bytes[] = {0x68};
    rec.InData.Value = reinterpret_cast<kor::TPluginPtr>(bytes);
    rec.InData.Size = 1;
    return host.Exports().ProcessData(&rec);
  }
  // Pumps the host's window until the log holds text, at most limitMs.
  static bool WaitForLog(host::TPluginHost& host, const std::string& text,
                         unsigned limitMs = 10000) {
    for (unsigned waited = 0; waited < limitMs; waited += 50) {
      host.FetchLog();
      if (host.LogText().find(text) != std::string::npos) return true;
      host.Pump(50);
    }
    host.FetchLog();
    return host.LogText().find(text) != std::string::npos;
  }

  std::filesystem::path Folder;
  host::TLoadOptions Options;
  std::vector<std::unique_ptr<host::TPluginHost>> Hosts;
};

TEST_F(MbusPluginExports, TheModuleIntroducesItself) {
  host::TPluginHost& host = OpenBuilt();
  host::TModuleInfo info = host.ModuleInfo();
  EXPECT_EQ(info.Description, "M-Bus");
  EXPECT_EQ(info.ModuleType, 3);
  EXPECT_EQ(info.VersionNumber, 5.0F);
  EXPECT_EQ(info.InfoFlag, 1);
  const std::string items = host.Items();
  EXPECT_NE(items.find("Device address|DEVICE_ID|String|"), std::string::npos);
  EXPECT_NE(items.find("Timestamp|TIME_POINT|DateTime|"), std::string::npos);
  TkorParamsList params;
  params.Add("RESULT", OleVariant());
  ASSERT_EQ(host.Command("EVENTS-SUPPORT", params), 0);
  EXPECT_EQ(params.GetValue("RESULT").AsAnsiString(), "PORT-OPEN");
  host.Unload();
}

TEST_F(MbusPluginExports, ProcessDataIsRefusedUntilLoad) {
  host::TPluginHost& host = OpenBuilt(false);
  EXPECT_EQ(ProcessData(host, 1), kor::kResultRefused);
  ASSERT_EQ(host.Load(Options), kor::kResultOk);
  ASSERT_EQ(SetState(host, "1;COM1;Port 1\r\n"), 0);
  EXPECT_EQ(ProcessData(host, 1), 0);
  EXPECT_EQ(ProcessData(host, 2), 0);
  host.Unload();
}

TEST_F(MbusPluginExports, AnUnansweredRequestTimesOutWithItsLine) {
  WriteConfig(kPolled);
  host::TPluginHost& host = OpenBuilt();
  ASSERT_EQ(SetState(host, "3;COM3;Port 3\r\n"), 0);
  EXPECT_TRUE(WaitForLog(host, "Device address: 5. Request #1. Request timeout")) << host.LogText();
  host.Unload();
}

TEST_F(MbusPluginExports, AnEventNamedInOtherLetterCaseFiresItsRequest) {
  WriteConfig(kOnEvent);
  host::TPluginHost& host = OpenBuilt();
  ASSERT_EQ(SetState(host, "3;COM3;Port 3\r\n"), 0);
  host.Pump(200);
  host.FetchLog();
  EXPECT_EQ(host.LogText().find("Request timeout"), std::string::npos) << host.LogText();
  TkorParamsList params;
  params.Add("EVENT-TYPE", OleVariant("READ-NOW"));
  ASSERT_EQ(host.Command("EVENT", params), 0);
  EXPECT_TRUE(WaitForLog(host, "Device address: 7. Request #1. Request timeout")) << host.LogText();
  host.Unload();
}

TEST_F(MbusPluginExports, WithoutLibmbusTheFailureIsLoggedOnceAndSourcesStayInactive) {
  const std::filesystem::path copy = Folder / LibraryName("mbusplugin");
  std::filesystem::copy_file(BesideProgram(LibraryName("mbusplugin")), copy);
  WriteConfig(kPolled);
  host::TPluginHost& first = Open(copy.string());
  const std::string expected =
      "Unable to load API library: " + (Folder / LibraryName("libmbus")).string();
  EXPECT_TRUE(WaitForLog(first, expected, 1000)) << first.LogText();
  host::TPluginHost& second = Open(copy.string());
  second.FetchLog();
  EXPECT_EQ(second.LogText().find("Unable to load API library"), std::string::npos)
      << second.LogText();
  // The sources exist but never send: no request goes out, none times out.
  ASSERT_EQ(SetState(first, "3;COM3;Port 3\r\n"), 0);
  first.Pump(500);
  first.FetchLog();
  EXPECT_EQ(first.LogText().find("Request timeout"), std::string::npos) << first.LogText();
  for (const host::TReceivedData& data : first.Received()) EXPECT_NE(data.Kind, 129);
  second.Unload();
  first.Unload();
}

}  // namespace
