#include <gtest/gtest.h>

#include "ModuleTestSupport.h"
#include "plugin/korCrashReport.h"
#include "plugin/korPluginTranslator.h"

namespace {

const char* kGerman =
    "; module texts\r\n"
    "LANGUAGE=DE\r\n"
    "No data for processing=Keine Daten\r\n"
    "a\\=b=x\\ny\r\n"
    "=no base text\r\n"
    "no separator\r\n";

TEST(LanguageFile, PairsLanguageAndEscapes) {
  TLanguageFile file = ParseLanguageFile(kGerman);
  EXPECT_EQ(file.Language, "DE");
  ASSERT_EQ(file.Pairs.size(), 2u);
  EXPECT_EQ(file.Pairs["No data for processing"], "Keine Daten");
  EXPECT_EQ(file.Pairs["a=b"], "x\ny");
}

TEST(LanguageFile, EmptyAndBrokenTextGiveNothing) {
  EXPECT_TRUE(ParseLanguageFile("").Pairs.empty());
  EXPECT_TRUE(ParseLanguageFile("\\").Pairs.empty());
  EXPECT_EQ(ParseLanguageFile("x=\\").Pairs["x"], "\\");
}

TEST(Translator, WithoutLanguageFileNothingIsTranslated) {
  TFakeHost host;
  TkorPlugin module;
  EXPECT_FALSE(module.Translator->HasLanguageFile());
  EXPECT_EQ(module.Translator->LanguageFiles(), "");
  EXPECT_EQ(module.Language, "EN");
  EXPECT_FALSE(module.Translated);
  TCall call;
  call.Set("LANGUAGE", "DE");
  RunCommand(module, "LOAD", call);
  EXPECT_EQ(module.Language, "DE");
  EXPECT_EQ(module.MsgNoData, "No data for processing");
}

TEST(Translator, OwnLanguageFileTranslatesAtCreation) {
  TFakeHost host;
  host.Files["/opt/host/plugins/mbusplugin.lng"] = kGerman;
  TkorPlugin module;
  EXPECT_TRUE(module.Translator->HasLanguageFile());
  EXPECT_EQ(module.Translator->LanguageFiles(),
            "/opt/host/plugins.lng|/opt/host/plugins/mbusplugin.lng");
  EXPECT_EQ(module.Language, "DE");
  EXPECT_TRUE(module.Translated);
  EXPECT_EQ(module.MsgNoData, "Keine Daten");
  EXPECT_EQ(module.MsgWriteComplete, "Data have been processed successfully");
}

TEST(Translator, SwitchingBackRestoresTheBaseTexts) {
  TFakeHost host;
  host.Files["/opt/host/plugins/mbusplugin.lng"] = kGerman;
  TkorPlugin module;
  TCall call;
  call.Set("LANGUAGE", "EN");
  RunCommand(module, "LOAD", call);
  EXPECT_EQ(module.Language, "EN");
  EXPECT_EQ(module.MsgNoData, "No data for processing");
}

TEST(Translator, HostFileIsOverriddenByTheModulesFile) {
  TFakeHost host;
  host.Files["/opt/host/plugins.lng"] = "LANGUAGE=DE\nNo data for processing=Host\nX=Y\n";
  host.Files["/opt/host/plugins/mbusplugin.lng"] = kGerman;
  TkorPlugin module;
  EXPECT_EQ(module.MsgNoData, "Keine Daten");
}

TEST(CrashReport, ScopesMakeTheStackText) {
  EXPECT_EQ(crash::CurrentStackText(), "");
  {
    crash::TTraceScope outer("ExecutePluginCommand");
    crash::TTraceScope inner("LOAD");
    EXPECT_EQ(crash::CurrentStackText(), "ExecutePluginCommand > LOAD");
    EXPECT_EQ(crash::ReportText("CMD", "failed"), "{CMD} [ExecutePluginCommand > LOAD] failed");
    EXPECT_EQ(crash::TraceProcess(), 2);
  }
  EXPECT_EQ(crash::ReportText("", "failed"), "failed");
  EXPECT_EQ(crash::TraceProcess(), 0);
}

TEST(CrashReport, TraceWritesToTheDebuggerChannel) {
  TFakeHost host;
  crash::TTraceScope scope("ProcessData");
  crash::TraceProcess();
  ASSERT_FALSE(host.DebugLines.empty());
  EXPECT_EQ(host.DebugLines.back(), "trace: ProcessData");
}

TEST(CrashReport, ErrorMessages) {
  EXPECT_EQ(crash::ErrorMessage(std::make_exception_ptr(Exception("boom"))), "boom");
  EXPECT_EQ(crash::ErrorMessage(std::make_exception_ptr(42)), "Unknown error");
  EXPECT_EQ(crash::ErrorMessage(nullptr), "Unknown error");
  std::int32_t before = crash::ReportCount();
  crash::Record("report");
  EXPECT_EQ(crash::ReportCount(), before + 1);
  crash::Shutdown();
  crash::Shutdown();  // idempotent
}

}  // namespace
