#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/CallClock.h"

namespace host {
namespace {

// The soak fails a run on each over-limit line, so a line must come exactly
// once per slow call, and the summary must put the longest kind first.
TEST(CallClock, ReportsEachSlowCallOnceAndTheLongestCallOfEachKind) {
  TCallClock clock(50);
  clock.Record("ProcessData", 1200);
  clock.Record("ExecutePluginCommand UNLOAD", 50000);  // at the limit: not over it
  clock.Record("ProcessData", 50001);
  clock.Record("ExecutePluginCommand UNLOAD", 1500000);
  EXPECT_EQ(
      clock.DrainOverLimit(),
      (std::vector<std::string>{
          "a call into the plug-in took 50 ms (limit 50 ms): ProcessData",
          "a call into the plug-in took 1500 ms (limit 50 ms): ExecutePluginCommand UNLOAD"}));
  EXPECT_TRUE(clock.DrainOverLimit().empty());
  EXPECT_EQ(clock.Summary(),
            "ExecutePluginCommand UNLOAD 1500.0 ms (2 calls), ProcessData 50.0 ms (2 calls)");

  TCallClock unlimited;
  EXPECT_EQ(unlimited.Summary(), "none");
  unlimited.Record("GetLogEx", 9000000);
  EXPECT_TRUE(unlimited.DrainOverLimit().empty());
  EXPECT_EQ(unlimited.Summary(), "GetLogEx 9000.0 ms (1 call)");
}

}  // namespace
}  // namespace host
