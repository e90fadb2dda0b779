#include "host/commands/Schedule.h"

#include <exception>
#include <ostream>

#include "framework/DateUtils.h"
#include "framework/Scheduler.h"
#include "host/CommandRegistry.h"

namespace host {

namespace {

const char kUsage[] = "schedule \"CRON\" [--from \"YYYY-MM-DD HH:MM:SS\"] [--count N]";
constexpr long kMaxCount = 100000;

struct TScheduleArgs {
  std::string Cron;
  std::string From;  // empty: now
  long Count = 10;
};

bool ParseCount(const std::string& text, long& count) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  count = std::stol(text);
  return count >= 1 && count <= kMaxCount;
}

// False for anything but one cron string and known options with values.
bool ParseArgs(const std::vector<std::string>& args, TScheduleArgs& parsed) {
  bool haveCron = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--from" && hasValue) {
      parsed.From = args[++i];
    } else if (arg == "--count" && hasValue) {
      if (!ParseCount(args[++i], parsed.Count)) return false;
    } else if (arg.rfind("--", 0) == 0 || haveCron) {
      return false;
    } else {
      parsed.Cron = arg;
      haveCron = true;
    }
  }
  return haveCron;
}

int PrintRuns(const TScheduleArgs& a, std::ostream& out, std::ostream& err) {
  const TCronFields fields = ParseCronText(a.Cron);
  TDateTime at = a.From.empty() ? SystemScheduleClock().Now() : ParseIsoDateTime(a.From);
  for (long i = 0; i < a.Count; ++i) {
    const TDateTime next = FindNextRun(fields, at);
    if (next == 0) {
      err << (i == 0 ? "The schedule has no run after " : "No further run after ")
          << FormatIsoDateTime(at) << "\n";
      return i == 0 ? 1 : 0;
    }
    out << FormatIsoDateTime(next) << "\n";
    at = next;
  }
  return 0;
}

}  // namespace

int RunScheduleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TScheduleArgs parsed;
  if (!ParseArgs(args, parsed)) {
    err << "usage: mbus-host " << kUsage << "\n";
    return 2;
  }
  try {
    return PrintRuns(parsed, out, err);
  } catch (const std::exception& e) {
    err << e.what() << "\n";
    return 1;
  }
}

namespace {

const TCommandRegistration kRegistration({"schedule", kUsage,
                                          "Prints the next run times of a seven-field cron "
                                          "string (seconds to year, Monday = 1).",
                                          RunScheduleCommand});

}  // namespace

}  // namespace host
