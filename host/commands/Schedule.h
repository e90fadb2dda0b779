// mbus-host schedule: prints the next run times of a cron string.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace host {

// args: "CRON" [--from "YYYY-MM-DD HH:MM:SS"] [--count N]. Prints one run a
// line, the first strictly after --from (default: now); 0 on success, 1 for a
// schedule error or a schedule without runs, 2 for bad arguments.
int RunScheduleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace host
