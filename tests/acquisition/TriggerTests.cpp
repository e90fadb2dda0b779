// What starts a request, through the exports: once, a poll interval, times
// of day, a cron text, a named event in other letter case, PORT-OPEN with
// and without "PORTSTR", and a closed port pausing the queue until it opens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "AcquisitionRig.h"
#include "platform/Time.h"

namespace acquisition {
namespace {

std::string Poll(int ms) {
  return "<MethodPoll check=\"2\"><PollInterval>" + std::to_string(ms) +
         "</PollInterval><PollUnits>MS</PollUnits></MethodPoll>";
}

// The local times of day 2 to 6 seconds from now, as "HH:MM:SS;...".
std::string SoonTimesOfDay() {
  std::string text;
  const double now = plat::NowAsOleDate();
  for (int ahead = 2; ahead <= 6; ++ahead) {
    const double day = now - std::floor(now);
    long seconds = std::lround(day * 86400.0) + ahead;
    seconds %= 86400;
    char piece[16];
    std::snprintf(piece, sizeof piece, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    text += (text.empty() ? "" : ";") + std::string(piece);
  }
  return text;
}

class AcquisitionTriggers : public AcquisitionTest {
 protected:
  // One source ("segment") with meter 5, configured and started.
  void StartWith(const std::string& method, const std::string& settings = "") {
    Rig.AddSource("segment")->AddSlave(Meter(5, 0x12345678, 10));
    Rig.Configure(Document({Request("5", method, settings)}));
    Rig.Load();
    Rig.Start();
  }
  int Requests(std::size_t source = 0) { return Rig.Segment(source).Stats().requests; }

  TAcquisitionRig Rig{Folder};
};

TEST_F(AcquisitionTriggers, OnceReadsOnceOnly) {
  StartWith(kOnce);
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  Rig.PumpFor(500);
  EXPECT_EQ(Rig.RowCount(), 1u);
  EXPECT_EQ(Requests(), 1);
}

TEST_F(AcquisitionTriggers, PollRepeatsTheRequest) {
  StartWith(Poll(100));
  EXPECT_TRUE(Rig.WaitForRows(3)) << Rig.Log();
}

TEST_F(AcquisitionTriggers, TimesOfDayFireTheRequest) {
  StartWith("<MethodAtTime check=\"2\"><AtTime>" + SoonTimesOfDay() + "</AtTime></MethodAtTime>");
  EXPECT_TRUE(Rig.WaitForRows(1, 20000)) << Rig.Log();
}

TEST_F(AcquisitionTriggers, CronFiresTheRequest) {
  StartWith("<MethodCron check=\"2\"><CronTime>* * * * * *</CronTime></MethodCron>");
  EXPECT_TRUE(Rig.WaitForRows(2, 20000)) << Rig.Log();
}

TEST_F(AcquisitionTriggers, EventInOtherLetterCaseReadsTheMeter) {
  StartWith("<MethodEvent check=\"2\"><EventId>Read-Now</EventId></MethodEvent>");
  Rig.PumpFor(300);
  EXPECT_EQ(Rig.RowCount(), 0u);
  EXPECT_EQ(Requests(), 0);
  EXPECT_EQ(Rig.Event("other"), 0);
  Rig.PumpFor(200);
  EXPECT_EQ(Requests(), 0);
  EXPECT_EQ(Rig.Event("READ-NOW"), 0);
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  EXPECT_EQ(Rig.Event("read-now"), 0);
  EXPECT_TRUE(Rig.WaitForRows(2)) << Rig.Log();
}

// PORT-OPEN clears every poll timer and starts the queue again from the
// top: an hourly request reads again at once, only on the port "PORTSTR"
// names (any letter case), or on every port without it.
TEST_F(AcquisitionTriggers, PortOpenRestartsTheNamedSourceOrEvery) {
  Rig.AddSource("bus-a")->AddSlave(Meter(5, 0x0000000A, 10));
  Rig.AddSource("bus-b")->AddSlave(Meter(5, 0x0000000B, 20));
  Rig.Configure(Document({Request("5", Poll(3600000))}));
  Rig.Load();
  Rig.Start();
  ASSERT_TRUE(Rig.WaitForRows(2)) << Rig.Log();
  EXPECT_EQ(Rig.Event("PORT-OPEN", "BUS-B", true), 0);
  ASSERT_TRUE(Rig.PumpUntil([&] { return Rig.RowsOf("0000000B").size() == 2; })) << Rig.Log();
  Rig.PumpFor(300);
  EXPECT_EQ(Rig.RowsOf("0000000A").size(), 1u);
  EXPECT_EQ(Rig.Event("PORT-OPEN"), 0);
  ASSERT_TRUE(Rig.PumpUntil([&] { return Rig.RowsOf("0000000A").size() == 2; })) << Rig.Log();
  EXPECT_TRUE(Rig.PumpUntil([&] { return Rig.RowsOf("0000000B").size() == 3; })) << Rig.Log();
}

// While the host reports the port closed no request goes out; the reopened
// port resets the queue and reading goes on.
TEST_F(AcquisitionTriggers, ClosedPortPausesTheQueueAndReopeningResetsIt) {
  StartWith(Poll(50));
  ASSERT_TRUE(Rig.WaitForRows(1)) << Rig.Log();
  ASSERT_EQ(Rig.Host().NotifyPortState(1, false), 0);
  Rig.PumpFor(200);  // a request in flight ends
  const int before = Requests();
  Rig.PumpFor(500);
  EXPECT_EQ(Requests(), before);
  const std::size_t rows = Rig.RowCount();
  // As the host reports a reopened port: the event, then the notice.
  EXPECT_EQ(Rig.Event("PORT-OPEN", "segment", true), 0);
  ASSERT_EQ(Rig.Host().NotifyPortState(1, true), 0);
  EXPECT_TRUE(Rig.WaitForRows(rows + 2)) << Rig.Log();
  EXPECT_GT(Requests(), before);
}

}  // namespace
}  // namespace acquisition
