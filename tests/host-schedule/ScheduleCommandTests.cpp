#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/CommandRegistry.h"
#include "host/commands/Schedule.h"

namespace {

struct TResult {
  int Status;
  std::string Out, Err;
};

TResult Schedule(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = host::RunScheduleCommand(args, out, err);
  return {status, out.str(), err.str()};
}

const char kUsageLine[] =
    "usage: mbus-host schedule \"CRON\" [--from \"YYYY-MM-DD HH:MM:SS\"] [--count N]\n";

}  // namespace

TEST(ScheduleCommand, PrintsTheNextRuns) {
  const TResult r = Schedule({"0 30 8 * * 1-5 *", "--from", "2026-03-13 08:30:00", "--count", "3"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "2026-03-16 08:30:00\n2026-03-17 08:30:00\n2026-03-18 08:30:00\n");
  EXPECT_EQ(r.Err, "");
  // Options may come first.
  EXPECT_EQ(Schedule({"--count", "2", "--from", "2026-01-31 00:00:00", "0 0 0 31"}).Out,
            "2026-03-31 00:00:00\n2026-05-31 00:00:00\n");
}

TEST(ScheduleCommand, DefaultsToTenRunsFromNow) {
  const TResult r = Schedule({"*/15"});
  EXPECT_EQ(r.Status, 0);
  std::istringstream lines(r.Out);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_EQ(line.size(), 19u);
    EXPECT_TRUE(line.substr(17) == "00" || line.substr(17) == "15" || line.substr(17) == "30" ||
                line.substr(17) == "45")
        << line;
  }
  EXPECT_EQ(count, 10);
}

TEST(ScheduleCommand, ScheduleErrors) {
  TResult r = Schedule({"? ? ? ? ? ? ?", "--from", "2026-03-13 08:30:00"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, "Schedule is not in valid CRON format\n");
  r = Schedule({"a"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "'a' is not a valid integer value\n");
  r = Schedule({"0 0 0 31 2,4,6,9,11", "--from", "2026-01-01 00:00:00"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Invalid cron format\n");
  r = Schedule({"0 0 12", "--from", "2026-02-30 00:00:00"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "'2026-02-30 00:00:00' is not a valid date and time\n");
}

TEST(ScheduleCommand, RunningOutOfRuns) {
  TResult r = Schedule({"0 0 0 30 2", "--from", "2026-01-01 00:00:00"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "The schedule has no run after 2026-01-01 00:00:00\n");
  r = Schedule({"0 0 12 1 1 * 2027", "--from", "2026-01-01 00:00:00", "--count", "3"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "2027-01-01 12:00:00\n");
  EXPECT_EQ(r.Err, "No further run after 2027-01-01 12:00:00\n");
}

TEST(ScheduleCommand, BadArgumentsGiveTheUsageLine) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--from", "2026-01-01 00:00:00"},
      {"0 0 12", "0 0 13"},
      {"0 0 12", "--count"},
      {"0 0 12", "--count", "0"},
      {"0 0 12", "--count", "-3"},
      {"0 0 12", "--count", "ten"},
      {"0 0 12", "--count", "9999999"},
      {"0 0 12", "--verbose"},
  };
  for (const auto& args : bad) {
    const TResult r = Schedule(args);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, kUsageLine);
  }
}

TEST(ScheduleCommand, IsRegistered) {
  const host::TCommand* command = host::FindCommand("schedule");
  ASSERT_NE(command, nullptr);
  std::ostringstream out, err;
  EXPECT_EQ(command->Run({"0 0 12", "--from", "2026-03-10 12:00:00", "--count", "1"}, out, err), 0);
  EXPECT_EQ(out.str(), "2026-03-11 12:00:00\n");
}

#ifdef KOR_MBUS_HOST
namespace {

// Runs the built executable; stdout and stderr go to one file.
TResult RunHost(const std::string& args) {
  const std::string file = std::string(KOR_TEST_TMP) + "/schedule-output.txt";
  const int status =
      std::system(("\"" KOR_MBUS_HOST "\" schedule " + args + " >" + file + " 2>&1").c_str());
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return {status, text.str(), ""};
}

}  // namespace

TEST(ScheduleExecutable, PrintsRunsAndExitStatus) {
  TResult r = RunHost("'0 0 12 * * * *' --from '2026-03-10 12:00:00' --count 2");
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "2026-03-11 12:00:00\n2026-03-12 12:00:00\n");
  r = RunHost("'? ? ? ? ? ? ?'");
  EXPECT_NE(r.Status, 0);
  EXPECT_EQ(r.Out, "Schedule is not in valid CRON format\n");
  r = RunHost("");
  EXPECT_NE(r.Status, 0);
  EXPECT_EQ(r.Out, kUsageLine);
}
#endif
