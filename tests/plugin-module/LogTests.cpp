#include <gtest/gtest.h>

#include "ModuleTestSupport.h"
#include "plugin/korPluginLog.h"

namespace {

std::string Fetched(TLogDataList& log) {
  std::string buffer(1 << 16, '\0');
  TLogFetch fetch = log.Fetch(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  return buffer.substr(0, static_cast<std::size_t>(fetch.Copied));
}

TEST(LogList, ThreeSameLinesThenAnotherCollapseWithCount) {
  TLogDataList log;
  log.AddLine("same");
  log.AddLine("same");
  log.AddLine("same");
  log.AddLine("other");
  EXPECT_EQ(log.LineCount(), 2);
  EXPECT_EQ(Fetched(log), "same x3\r\nother\r\n");
}

TEST(LogList, PendingRepeatIsWrittenOutOnFetch) {
  TLogDataList log;
  log.AddLine("twice");
  log.AddLine("twice");
  EXPECT_EQ(log.GetLogText(), "twice x2\r\n");
  // The count is written out once, not again.
  EXPECT_EQ(log.GetLogText(), "twice x2\r\n");
}

TEST(LogList, ComparisonIsCaseSensitive) {
  TLogDataList log;
  log.AddLine("Line");
  log.AddLine("line");
  EXPECT_EQ(log.GetLogText(), "Line\r\nline\r\n");
}

TEST(LogList, RepeatAfterWrittenOutCountStartsAgain) {
  TLogDataList log;
  log.AddLine("a");
  log.AddLine("a");
  EXPECT_EQ(log.GetLogText(), "a x2\r\n");
  log.AddLine("a");  // differs now from "a x2"
  EXPECT_EQ(log.GetLogText(), "a x2\r\na\r\n");
}

TEST(LogList, TooSmallBufferKeepsTextAndTellsSize) {
  TLogDataList log;
  log.AddLine("twice");
  log.AddLine("twice");
  char small[4];
  TLogFetch first = log.Fetch(small, sizeof small);
  EXPECT_EQ(first.Copied, 0);
  ASSERT_EQ(first.Length, 10u);
  std::string exact(first.Length, '\0');
  TLogFetch second = log.Fetch(exact.data(), first.Length);
  EXPECT_EQ(second.Copied, 10);
  EXPECT_EQ(exact, "twice x2\r\n");
  EXPECT_EQ(log.LineCount(), 0);
}

TEST(LogList, ExactBufferGetsNoTerminator) {
  TLogDataList log;
  log.AddLine("abc");
  char buffer[6] = {'#', '#', '#', '#', '#', '#'};
  TLogFetch fetch = log.Fetch(buffer, 5);
  EXPECT_EQ(fetch.Copied, 5);
  EXPECT_EQ(std::string(buffer, 6), "abc\r\n#");
}

TEST(LogList, ZeroCapacityDiscardsTheLog) {
  TLogDataList log;
  log.AddLine("gone");
  TLogFetch fetch = log.Fetch(nullptr, 0);
  EXPECT_EQ(fetch.Copied, 0);
  EXPECT_EQ(fetch.Length, 6u);
  EXPECT_EQ(log.LineCount(), 0);
}

TEST(LogList, EmptyLogCopiesNothing) {
  TLogDataList log;
  char buffer[8];
  TLogFetch fetch = log.Fetch(buffer, sizeof buffer);
  EXPECT_EQ(fetch.Copied, 0);
  EXPECT_EQ(fetch.Length, 0u);
}

TEST(LogList, NilBufferWithCapacityKeepsTheLog) {
  TLogDataList log;
  log.AddLine("kept");
  EXPECT_EQ(log.Fetch(nullptr, 100).Copied, 0);
  EXPECT_EQ(log.LineCount(), 1);
}

TEST(LogList, LineBeyondTheLimitPushesOutTheOldest) {
  TLogDataList log;
  for (int i = 0; i < TLogDataList::kDefaultMaxLines; ++i) log.AddLine(std::to_string(i));
  EXPECT_EQ(log.LineCount(), 51200);
  log.AddLine("new");
  EXPECT_EQ(log.LineCount(), 51200);
  std::string text = log.GetLogText();
  EXPECT_EQ(text.substr(0, 3), "1\r\n");
  EXPECT_EQ(text.substr(text.size() - 5), "new\r\n");
}

TEST(LogList, NoTrimKeepsEveryLine) {
  TLogDataList log(3);
  log.NoTrim = 1;
  for (int i = 0; i < 5; ++i) log.AddLine(std::to_string(i));
  EXPECT_EQ(log.LineCount(), 5);
  log.NoTrim = 0;
  log.AddLine("x");
  EXPECT_EQ(log.GetLogText(), "3\r\n4\r\nx\r\n");
}

TEST(LogLine, TitleLevelAndLineBreaks) {
  EXPECT_EQ(TLogDataList::FormatLine(1, "M-Bus", "no reply", false), "\x02M-Bus. no reply");
  EXPECT_EQ(TLogDataList::FormatLine(0, "", "a\r\nb", false), std::string("\x01") + "a  b");
  EXPECT_EQ(TLogDataList::FormatLine(2, "", "ok", true), std::string("\x83") + "ok");
}

TEST(ModuleLog, AddLogUsesTitleAndNotifiesTheWindow) {
  TFakeHost host;
  TkorPlugin module;
  module.SetLogTitle("M-Bus");
  module.MessageWindow = 77;
  module.ModuleIndex = 5;
  module.AddLog(1, "line\none");
  EXPECT_EQ(TakeLog(module), "\x02M-Bus. line one\r\n");
  auto posted = host.MessagesOf(kor::kMsgLogAdded);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].Window, 77u);
  EXPECT_EQ(posted[0].WParam, 5u);
  EXPECT_FALSE(posted[0].Sent);
}

TEST(ModuleLog, FailedPostFallsBackToSendWithTimeLimit) {
  TFakeHost host;
  host.PostWorks = false;
  TkorPlugin module;
  module.MessageWindow = 9;
  module.AddLog(0, "x");
  auto sent = host.MessagesOf(kor::kMsgLogAdded);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].Sent);
  EXPECT_EQ(sent[0].TimeoutMs, 1000u);
}

TEST(ModuleLog, WithoutWindowNothingIsSent) {
  TFakeHost host;
  TkorPlugin module;
  module.AddLog(0, "quiet");
  EXPECT_TRUE(host.MessagesOf(kor::kMsgLogAdded).empty());
  EXPECT_EQ(TakeLog(module), "\x01quiet\r\n");
}

TEST(ModuleLog, ZeroCapacityFetchEmptiesAndNextMessageComesWithNextLine) {
  TFakeHost host;
  TkorPlugin module;
  module.MessageWindow = 3;
  module.AddLog(2, "one");
  EXPECT_EQ(module.FetchLog(nullptr, 0).Copied, 0);
  EXPECT_EQ(host.MessagesOf(kor::kMsgLogAdded).size(), 1u);
  module.AddLog(2, "two");
  EXPECT_EQ(host.MessagesOf(kor::kMsgLogAdded).size(), 2u);
  EXPECT_EQ(TakeLog(module), "\x03two\r\n");
}

TEST(ModuleLog, LogExceptionPutsCommandInBraces) {
  TFakeHost host;
  TkorPlugin module;
  module.LogException("PROCESS", std::runtime_error("broken"));
  EXPECT_EQ(TakeLog(module), "\x01{PROCESS} broken\r\n");
  ASSERT_FALSE(host.DebugLines.empty());
  EXPECT_NE(host.DebugLines.back().find("{PROCESS} broken"), std::string::npos);
}

}  // namespace
