// mbus-host search end to end: the search events of the plug-in beside
// mbus-host on the built-in simulated segment, whose meters the tests take
// from the segment's own description. Every test but the argument check
// needs the M-Bus module and skips with another one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "HostProgram.h"
#include "host/bus/Meters.h"

namespace {

using e2e::Args;
using e2e::Lines;
using e2e::ReadText;
namespace fs = std::filesystem;

// The sim answers at once (--no-timing), so a short reply wait finds every
// meter and keeps a full secondary scan short; the progress stays off.
const Args kQuick = {"--no-timing", "--wait", "200", "--progress", "none"};

Args With(Args args, const Args& more = kQuick) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::string Hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

// The default segment's meters that a secondary search can find: those
// whose slave answers to a secondary address.
std::vector<bus::MeterSpec> SecondaryMeters() {
  std::vector<bus::MeterSpec> meters;
  for (const auto& meter : bus::DefaultMeters())
    if (bus::MeterSlave(meter, bus::SystemMeterClock()).secondary.has_value())
      meters.push_back(meter);
  return meters;
}

std::set<std::string> Ids(const std::vector<bus::MeterSpec>& meters) {
  std::set<std::string> ids;
  for (const auto& meter : meters) ids.insert(Hex8(meter.id));
  return ids;
}

// The table's rows as words (blank-separated); the heading is checked and
// dropped.
std::vector<std::vector<std::string>> TableRows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  const auto lines = Lines(out);
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return rows;
  std::size_t at = 0;
  for (const char* heading :
       {"Address", "Secondary address", "Serial No", "Manufacturer", "Version", "Medium"}) {
    at = lines[0].find(heading, at);
    EXPECT_NE(at, std::string::npos) << heading << " in " << lines[0];
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream words(lines[i]);
    std::vector<std::string> row;
    for (std::string word; words >> word;) row.push_back(word);
    rows.push_back(row);
  }
  return rows;
}

// Secondary rows start with the secondary address (the Address column is
// empty): the first word of each.
std::set<std::string> FirstWords(const std::vector<std::vector<std::string>>& rows) {
  std::set<std::string> words;
  for (const auto& row : rows)
    if (!row.empty()) words.insert(row[0]);
  return words;
}

class SearchEndToEnd : public e2e::HostProgramTest {
 protected:
  // Runs a search; false (with the reason in skipReason) when the module
  // answers the search events with nothing: it has no device search.
  bool Search(const Args& args, int& status) {
    status = Run(args);
    if (status == 1 && err.find("no answer to SearchDevices") != std::string::npos) {
      skipReason = "the plug-in does not answer SearchDevices yet: " + err;
      return false;
    }
    return true;
  }
  std::string skipReason;
};

#define SEARCH_OR_SKIP(args, status)                       \
  do {                                                     \
    if (!Search(args, status)) GTEST_SKIP() << skipReason; \
  } while (0)

TEST_F(SearchEndToEnd, BadArgumentsEndWithStatusTwo) {
  EXPECT_EQ(Run({"search", "primary", "10", "5"}), 2);
  EXPECT_NE(err.find("above the last"), std::string::npos) << err;
  EXPECT_EQ(Run({"search"}), 2);
  EXPECT_NE(err.find("primary FIRST LAST"), std::string::npos) << err;
  EXPECT_EQ(Run({"search", "id", "1234567890"}), 2);
  EXPECT_EQ(Run({"search", "secondary", "--port", "nowhere"}), 2);
  EXPECT_NE(err.find("unknown port"), std::string::npos) << err;
  EXPECT_EQ(Run({"search", "--help"}), 0);
  EXPECT_NE(out.find("usage: mbus-host search"), std::string::npos);
  EXPECT_NE(out.find("read --config FILE"), std::string::npos);
  EXPECT_EQ(Run({"help"}), 0);
  EXPECT_NE(out.find("search primary FIRST LAST"), std::string::npos) << out;
}

TEST_F(SearchEndToEnd, SecondarySearchListsTheSegmentsSecondaryMeters) {
  REQUIRE_MBUS_MODULE();
  int status = 0;
  SEARCH_OR_SKIP(With({"search", "secondary"}), status);
  ASSERT_EQ(status, 0) << err;
  const auto rows = TableRows(out);
  const auto meters = SecondaryMeters();
  ASSERT_GT(meters.size(), 1u);
  EXPECT_EQ(FirstWords(rows), Ids(meters)) << out;
  EXPECT_EQ(rows.size(), meters.size()) << "each meter once\n" << out;
  for (const auto& meter : meters) {
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) {
      return !r.empty() && r[0] == Hex8(meter.id);
    });
    ASSERT_NE(row, rows.end());
    ASSERT_GE(row->size(), 5u) << out;
    EXPECT_EQ((*row)[2], meter.manufacturer) << out;
    EXPECT_EQ((*row)[3], std::to_string(meter.version)) << out;
  }
  EXPECT_NE(err.find(std::to_string(meters.size()) + " meters found"), std::string::npos) << err;
}

TEST_F(SearchEndToEnd, PrimarySearchListsThePrimaryAddresses) {
  REQUIRE_MBUS_MODULE();
  int status = 0;
  SEARCH_OR_SKIP(With({"search", "primary", "0", "10"}), status);
  ASSERT_EQ(status, 0) << err;
  std::set<std::string> expected;
  for (const auto& meter : bus::DefaultMeters())
    if (meter.primary >= 0 && meter.primary <= 10) expected.insert(std::to_string(meter.primary));
  ASSERT_FALSE(expected.empty());
  const auto rows = TableRows(out);
  EXPECT_EQ(FirstWords(rows), expected) << out;
  for (const auto& row : rows) EXPECT_EQ(row.size(), 1u) << "primary rows fill Address only";
  // A range without meters finds nothing: its own exit status.
  SEARCH_OR_SKIP(With({"search", "primary", "200", "202"}), status);
  EXPECT_EQ(status, 3) << err;
  EXPECT_NE(err.find("nothing found"), std::string::npos) << err;
}

TEST_F(SearchEndToEnd, IdSearchFindsOneMeter) {
  REQUIRE_MBUS_MODULE();
  // A meter on a secondary address only: no other way to find it.
  const auto meters = SecondaryMeters();
  const auto only = std::find_if(meters.begin(), meters.end(),
                                 [](const bus::MeterSpec& m) { return m.primary < 0; });
  ASSERT_NE(only, meters.end());
  int status = 0;
  SEARCH_OR_SKIP(With({"search", "id", Hex8(only->id)}), status);
  ASSERT_EQ(status, 0) << err;
  const auto rows = TableRows(out);
  ASSERT_EQ(rows.size(), 1u) << out;
  EXPECT_EQ(rows[0][0], Hex8(only->id));
  EXPECT_NE(err.find("1 meter found"), std::string::npos) << err;
}

// The request document for the meters found reads them with read --config.
TEST_F(SearchEndToEnd, XmlOutputReadsTheFoundMeters) {
  REQUIRE_MBUS_MODULE();
  // The meters whose identification starts like the first secondary-only
  // one's: a search with F digits as wildcards.
  const auto meters = SecondaryMeters();
  const auto only = std::find_if(meters.begin(), meters.end(),
                                 [](const bus::MeterSpec& m) { return m.primary < 0; });
  ASSERT_NE(only, meters.end());
  const std::string prefix = Hex8(only->id).substr(0, 4);
  std::set<std::string> expected;
  for (const auto& id : Ids(meters))
    if (id.rfind(prefix, 0) == 0) expected.insert(id);
  int status = 0;
  SEARCH_OR_SKIP(With({"search", "id", prefix + "FFFF", "--xml", "--interval", "1s"}), status);
  ASSERT_EQ(status, 0) << err;
  EXPECT_EQ(out.rfind("<MBUS>", 0), 0u) << out;
  EXPECT_NE(out.find("<PollInterval>1</PollInterval><PollUnits>S</PollUnits>"), std::string::npos)
      << out;
  const fs::path config = dir / "found.xml";
  std::ofstream(config, std::ios::binary) << out;

  ASSERT_EQ(Run({"read", "--no-timing", "--format", "json", "--config", config.string(), "--count",
                 "10", "--for", "120"}),
            0)
      << err;
  std::set<std::string> read;
  for (const auto& line : Lines(out)) read.insert(e2e::JsonText(line, "DEVICE_ID"));
  EXPECT_EQ(read, expected) << out;
}

// Ctrl-C during a secondary search: the search is cancelled, what it found
// so far is printed and the program ends with its own status.
TEST_F(SearchEndToEnd, CtrlCCancelsAndPrintsWhatWasFound) {
  if (e2e::OnWindows())
    GTEST_SKIP() << "Ctrl-C reaches only processes of the sender's console "
                    "(GenerateConsoleCtrlEvent); the test's child has none of its own to share";
  REQUIRE_MBUS_MODULE();
  // The shell starts the search, waits for its first meter and interrupts it.
  const std::string script =
      "\"$1\" search secondary --no-timing --wait 200 --progress plain >\"$2\" 2>\"$3\" &\n"
      "pid=$!\n"
      "n=0\n"
      "while ! grep -q 'Found a M-bus device' \"$3\" && [ $n -lt 1200 ]; do\n"
      "  sleep 0.1; n=$((n+1))\n"
      "done\n"
      "kill -INT $pid\n"
      "wait $pid\n";
  const std::string searchOut = (dir / "search-out.txt").string();
  const std::string searchErr = (dir / "search-err.txt").string();
  const int status =
      RunFile("/bin/sh", {"-c", script, "sh", e2e::Beside("mbus-host"), searchOut, searchErr});
  out = ReadText(searchOut);
  err = ReadText(searchErr);
  if (err.find("no answer to SearchDevices") != std::string::npos)
    GTEST_SKIP() << "the plug-in does not answer SearchDevices yet: " << err;
  ASSERT_EQ(status, 130) << err;
  EXPECT_NE(err.find("cancelling the search"), std::string::npos) << err;
  EXPECT_NE(err.find("before the search was cancelled"), std::string::npos) << err;
  const auto found = FirstWords(TableRows(out));
  const auto all = Ids(SecondaryMeters());
  EXPECT_FALSE(found.empty());
  EXPECT_LT(found.size(), all.size()) << "cancelled before the end\n" << out;
  for (const auto& id : found) EXPECT_TRUE(all.count(id)) << id;
}

}  // namespace
