// The arguments of "mbus-host read", the request document it builds and the
// "Parser config" setting it writes for the plug-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/ReadOptions.h"
#include "host/bus/Meters.h"
#include "params/IniFiles.h"
#include "params/janXMLTree.h"

namespace {

using host::EUsageError;
using host::ParseReadArguments;
using Args = std::vector<std::string>;

TEST(ReadArguments, DefaultsReadTheSimulatedSegment) {
  const auto o = ParseReadArguments({});
  EXPECT_EQ(o.Ports, Args{"sim"});
  EXPECT_EQ(o.Format, host::TOutputFormat::Table);
  EXPECT_EQ(o.Count, 0);
  EXPECT_EQ(o.ForSeconds, 0);
  EXPECT_TRUE(o.Devices.empty());
  EXPECT_TRUE(o.Timing);
}

TEST(ReadArguments, TakesEveryOption) {
  const auto o = ParseReadArguments({"--port",      "sim",
                                     "--port",      "tcp:gw:10001",
                                     "--device",    "1; 5,7",
                                     "--device",    "4200050521C7AB07",
                                     "--poll",      "10s",
                                     "--format",    "json",
                                     "--count",     "3",
                                     "--for",       "2.5",
                                     "--data",      "d",
                                     "--ini",       "x.ini",
                                     "--no-timing", "--plugin",
                                     "p.so",        "--soak",
                                     "42",          "--call-limit",
                                     "2000"});
  EXPECT_EQ(o.Ports, (Args{"sim", "tcp:gw:10001"}));
  EXPECT_EQ(o.Devices, (Args{"1", "5", "7", "4200050521C7AB07"}));
  EXPECT_EQ(o.PollMs, 10000u);
  EXPECT_EQ(o.Format, host::TOutputFormat::Json);
  EXPECT_EQ(o.Count, 3);
  EXPECT_DOUBLE_EQ(o.ForSeconds, 2.5);
  EXPECT_EQ(o.DataDir, "d");
  EXPECT_EQ(o.IniFile, "x.ini");
  EXPECT_FALSE(o.Timing);
  EXPECT_EQ(o.Plugin, "p.so");
  EXPECT_EQ(o.Soak, 42u);
  EXPECT_EQ(o.CallLimitMs, 2000);
}

TEST(ReadArguments, RefusesWhatCannotRun) {
  const Args bad[] = {{"--count"},
                      {"--count", "0"},
                      {"--count", "x"},
                      {"--for", "-1"},
                      {"--for", "nan"},
                      {"--format", "xml"},
                      {"--poll", "0"},
                      {"--poll", "5x"},
                      {"--poll", "25h"},
                      {"--device", " ; "},
                      {"--device", "251"},
                      {"--device", "12345678901234567"},
                      {"--device", "zz"},
                      {"--config", "a.xml", "--device", "1"},
                      {"--config", "a.xml", "--poll", "1s"},
                      {"--baud", "1000"},
                      {"--soak", "0"},
                      {"--soak"},
                      {"--call-limit", "0"},
                      {"--verbose"}};
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_THROW(ParseReadArguments(args), EUsageError) << joined;
  }
}

TEST(ReadArguments, ErrorsNameTheOption) {
  try {
    ParseReadArguments({"--format", "xml"});
    FAIL();
  } catch (const EUsageError& e) {
    EXPECT_NE(std::string(e.what()).find("--format"), std::string::npos);
  }
}

TEST(ReadArguments, DevicesKeepTheirComments) {
  const auto o = ParseReadArguments({"--device", "5 (boiler room);s12345678"});
  EXPECT_EQ(o.Devices, (Args{"5 (boiler room)", "s12345678"}));
}

TEST(ReadIntervals, UnitsScaleToMilliseconds) {
  EXPECT_EQ(host::ParseInterval("500ms"), 500u);
  EXPECT_EQ(host::ParseInterval("10s"), 10000u);
  EXPECT_EQ(host::ParseInterval("1m"), 60000u);
  EXPECT_EQ(host::ParseInterval("2h"), 7200000u);
  EXPECT_EQ(host::ParseInterval("1500"), 1500u);
  EXPECT_EQ(host::ParseInterval("24h"), 86400000u);
  EXPECT_THROW(host::ParseInterval("ms"), EUsageError);
  EXPECT_THROW(host::ParseInterval("1.5s"), EUsageError);
  EXPECT_THROW(host::ParseInterval("-1s"), EUsageError);
}

// The document reads back as the module's reader would: MBUS, one request,
// enabled, polled, its devices and interval.
TEST(RequestDocument, HasTheShapeTheReaderExpects) {
  const std::string doc = host::BuildRequestDocument({"1", "4200050521C7AB07"}, 90000);
  TjanXMLTree tree;
  tree.SetText(doc);
  TjanXMLNode* mbus = tree.FindNode("MBUS");
  ASSERT_NE(mbus, nullptr);
  ASSERT_EQ(mbus->ChildCount(), 1);
  const TjanXMLNode* request = mbus->Children(0);
  ASSERT_TRUE(request->FindNode("Enabled"));
  EXPECT_EQ(request->FindNode("Enabled")->Text(), "1");
  ASSERT_TRUE(request->FindNode("Device"));
  EXPECT_EQ(request->FindNode("Device")->Text(), "1;4200050521C7AB07");
  ASSERT_TRUE(request->FindNode("MethodPoll"));
  EXPECT_EQ(request->FindNode("MethodPoll")->GetAttribute("check"), "2");
  ASSERT_TRUE(request->FindNode("PollInterval") && request->FindNode("PollUnits"));
  EXPECT_EQ(request->FindNode("PollInterval")->Text(), "90");
  EXPECT_EQ(request->FindNode("PollUnits")->Text(), "S");
  for (const char* other : {"MethodOnce", "MethodAtTime", "MethodCron", "MethodEvent"})
    EXPECT_EQ(request->FindNode(other), nullptr) << other;
  EXPECT_NE(host::BuildRequestDocument({"1"}, 1500)
                .find("<PollInterval>1500</PollInterval>"
                      "<PollUnits>MS</PollUnits>"),
            std::string::npos);
  EXPECT_NE(host::BuildRequestDocument({"1"}, 120000).find("<PollUnits>M</PollUnits>"),
            std::string::npos);
}

class ParserConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("host-tests-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    file = (dir / "settings.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Contents() const {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::filesystem::path dir;
  std::string file;
};

TEST_F(ParserConfigFile, IsStoredAsTheModuleReadsIt) {
  const std::string doc = host::BuildRequestDocument(bus::DefaultMeterAddresses(), 5000);
  host::WriteParserConfig(file, "", doc);
  const std::string text = Contents();
  EXPECT_NE(text.find("[Common]"), std::string::npos);
  EXPECT_NE(text.find("Parser config=[[Text]]<MBUS>%0D%0A"), std::string::npos);  // escaped
  TIniDocument ini(text);
  std::string stored;
  ASSERT_TRUE(ini.ReadString("Common", "Parser config", stored));
  EXPECT_EQ(stored, doc);
  EXPECT_EQ(host::ReadParserConfig(file, ""), doc);
}

TEST_F(ParserConfigFile, KeepsTheUsersOtherSettings) {
  {
    std::ofstream out(file, std::ios::binary);
    out << "[Common]\r\nLeft=10\r\n[Other]\r\nKey=Value\r\n";
  }
  host::WriteParserConfig(file, "MBUS", "<MBUS/>");
  const std::string text = Contents();
  EXPECT_NE(text.find("Left=10"), std::string::npos);
  EXPECT_NE(text.find("Key=Value"), std::string::npos);
  EXPECT_EQ(host::ReadParserConfig(file, "MBUS"), "<MBUS/>");
  EXPECT_EQ(host::ReadParserConfig(file, ""), "");
  EXPECT_EQ(host::ReadParserConfig((dir / "missing.ini").string(), ""), "");
}

TEST_F(ParserConfigFile, AnUnwritableFileIsAnError) {
  EXPECT_THROW(host::WriteParserConfig((dir / "no" / "such" / "dir" / "x.ini").string(), "", "x"),
               std::runtime_error);
}

}  // namespace
