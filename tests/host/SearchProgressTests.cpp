// The progress of "mbus-host search" on stderr: lines for found meters and
// a throttled position (plain), one line rewritten in place (line), none.
// The clock is given, so no test waits.
#include <gtest/gtest.h>

#include <sstream>

#include "host/SearchProgress.h"

namespace {

using host::TProgressStyle;
using host::TSearchProgress;
using std::chrono::milliseconds;

const TSearchProgress::TClock::time_point kStart{};

host::TSearchStatus Running(const std::string& text) {
  return host::ParseSearchStatus(text);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SearchProgressPlain, EachFoundMeterOnceAndThePositionEveryFewSeconds) {
  std::ostringstream err;
  TSearchProgress progress(err, TProgressStyle::Plain, 40959);
  const std::string found = "Found a M-bus device at address: 31000202 (s/n: 1, HKQ, Heat)";
  progress.Show(Running("*0||Checking address: 0FFFFFFF FFFF FF FF||||Found: 0"), kStart);
  progress.Show(Running("*4095||Checking address: 1FFFFFFF FFFF FF FF||||Found: 0"),
                kStart + milliseconds(200));
  progress.Show(Running("*12544||Checking address: 31000FFF FFFF FF FF||" + found + "||Found: 1"),
                kStart + milliseconds(400));
  progress.Show(Running("*12545||Checking address: 3101FFFF FFFF FF FF||" + found + "||Found: 1"),
                kStart + milliseconds(3000));
  const auto lines = Lines(err.str());
  ASSERT_EQ(lines.size(), 3u) << err.str();
  EXPECT_EQ(lines[0], "mbus-host: search 0/40959  Checking address: 0FFFFFFF FFFF FF FF  Found: 0");
  EXPECT_EQ(lines[1], "mbus-host: " + found);
  EXPECT_EQ(lines[2].rfind("mbus-host: search 12545/40959", 0), 0u) << lines[2];
}

TEST(SearchProgressPlain, AnUnchangedPositionIsNotRepeated) {
  std::ostringstream err;
  TSearchProgress progress(err, TProgressStyle::Plain, 10);
  progress.Show(Running("*5||Found a M-bus device at address: 5"), kStart);
  progress.Show(Running("*5||Found a M-bus device at address: 5"), kStart + milliseconds(9000));
  progress.Show(Running("*7||Found a M-bus device at address: 7"), kStart + milliseconds(9200));
  const auto lines = Lines(err.str());
  ASSERT_EQ(lines.size(), 4u) << err.str();
  EXPECT_EQ(lines[0], "mbus-host: Found a M-bus device at address: 5");
  EXPECT_EQ(lines[1], "mbus-host: search 5/10  Found a M-bus device at address: 5");
  EXPECT_EQ(lines[2], "mbus-host: Found a M-bus device at address: 7");
  EXPECT_EQ(lines[3], "mbus-host: search 7/10  Found a M-bus device at address: 7");
}

TEST(SearchProgressLine, RewritesOneLineWithinTheWidth) {
  std::ostringstream err;
  TSearchProgress progress(err, TProgressStyle::Line, 40959);
  progress.Show(Running("*4096||" + std::string(200, 'x')), kStart);
  const std::string first = err.str();
  EXPECT_EQ(first.find('\n'), std::string::npos);
  ASSERT_EQ(first.size(), 1 + TSearchProgress::kLineWidth);
  EXPECT_EQ(first.substr(0, 12), "\r4096/40959 ");
  err.str("");
  // A shorter line covers what is left of the longer one.
  progress.Show(Running("*4097"), kStart + milliseconds(200));
  EXPECT_EQ(err.str(), "\r4097/40959" + std::string(TSearchProgress::kLineWidth - 10, ' '));
  err.str("");
  progress.Clear();
  EXPECT_EQ(err.str(), "\r" + std::string(TSearchProgress::kLineWidth, ' ') + "\r");
  err.str("");
  progress.Clear();
  EXPECT_EQ(err.str(), "") << "nothing left to blank";
}

TEST(SearchProgressNone, PrintsNothing) {
  std::ostringstream err;
  TSearchProgress progress(err, TProgressStyle::None, 250);
  progress.Show(Running("*5||Found a M-bus device at address: 5"), kStart);
  progress.Clear();
  EXPECT_EQ(err.str(), "");
}

}  // namespace
