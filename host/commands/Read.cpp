// mbus-host read: reads meters through the plug-in as the data-logging host
// does. It writes the request document into the settings file the plug-in
// loads ("Parser config"), gives the module one data source per port, pumps
// the plug-in's messages on this thread, prints every delivered row and the
// plug-in's log, and ends after --count rows, after --for seconds or on
// Ctrl-C, unloading the plug-in cleanly each time. Its exit status tells
// whether rows were read, and if not, why (host/ReadOutcome.h).
#include <chrono>
#include <ostream>

#include "host/CommandRegistry.h"
#include "host/HostSession.h"
#include "host/ReadOptions.h"
#include "host/ReadOutcome.h"
#include "host/RequestCheck.h"
#include "host/RowOutput.h"
#include "host/bus/Meters.h"
#include "platform/Files.h"
#include "platform/Interrupt.h"

namespace host {

namespace {

constexpr unsigned kPumpMs = 20;
constexpr std::uint64_t kMaxConfigBytes = 1 << 20;

std::string RequestDocument(const TReadOptions& o, const std::string& iniFile) {
  if (!o.ConfigFile.empty()) {
    std::string text, error;
    if (!plat::ReadWholeFile(o.ConfigFile, text, kMaxConfigBytes, &error))
      throw EUsageError("--config: cannot read " + o.ConfigFile +
                        (error.empty() ? "" : ": " + error));
    return text;
  }
  if (!o.Devices.empty()) return BuildRequestDocument(o.Devices, o.PollMs);
  // A settings file of the user's keeps its own requests.
  if (!o.IniFile.empty() && plat::FileExists(o.IniFile) && !o.PollGiven) {
    std::string kept = ReadParserConfig(iniFile, "");
    if (!kept.empty()) return kept;
  }
  return BuildRequestDocument(bus::DefaultMeterAddresses(), o.PollMs);
}

struct TRun {
  const TReadOptions& Options;
  std::ostream& Out;
  std::ostream& Err;
};

int Run(const TRun& run) {
  const TReadOptions& o = run.Options;
  THostSession session(o, run.Err);
  const std::string document = RequestDocument(o, session.IniFile());
  const TRequestCheck check = CheckRequestDocument(document);
  if (check.Requests == 0) {
    run.Err << "mbus-host read: the request document yields no request: " << check.NoRequestReason
            << "\n";
    return kReadNoRequest;
  }
  if (!check.Fault.empty())
    run.Err << "mbus-host read: the request document: " << check.Fault
            << " (the plug-in reads what it can)\n";
  WriteParserConfig(session.IniFile(), "", document);
  TRowWriter writer(run.Out, o.Format);
  for (const auto& [id, name] : session.AddPorts()) writer.SetSourceName(id, name);
  TDeviceTally tally(check.Devices);
  bool done = false;
  session.Sources().SetRowHandler([&](const TReceivedData& row) {
    if (done) return;
    writer.Write(row);
    tally.Note(row);
    if (o.Count > 0 && writer.Rows() >= o.Count) done = true;
  });
  session.Start();
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<double>(o.ForSeconds);
  while (!done && !plat::InterruptRequested()) {
    session.Host().Pump(kPumpMs);
    session.Sources().Poll();
    session.ShowLog();
    if (o.ForSeconds > 0 && std::chrono::steady_clock::now() - start >= limit) break;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  session.Finish();
  const auto counters = session.Sources().Counters();
  run.Err << "mbus-host: " << writer.Rows() << " rows, " << counters.BytesOut << " bytes out, "
          << counters.BytesIn << " bytes in\n";
  TReadFacts facts;
  facts.Rows = writer.Rows();
  facts.Seconds = elapsed.count();
  facts.Activated = session.Activated();
  facts.Ports = session.Sources().PortReports();
  facts.PluginErrors = session.PluginErrors();
  // A run cut short by --count has not given every device its turn.
  if (!done) facts.SilentDevices = tally.Silent();
  const TReadVerdict verdict = JudgeRead(facts);
  for (const auto& note : verdict.Notes) run.Err << "mbus-host read: " << note << "\n";
  if (verdict.Status != kReadRows) run.Err << "mbus-host read: " << verdict.Reason << "\n";
  return verdict.Status;
}

int RunRead(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << ReadUsage();
    return kReadRows;
  }
  try {
    const TReadOptions options = ParseReadArguments(args);
    plat::WatchInterrupt();
    return Run(TRun{options, out, err});
  } catch (const EUsageError& e) {
    err << "mbus-host read: " << e.what() << "\n" << ReadUsage();
    return kReadUsage;
  }
}

// Registration runs before main(); a failure there ends the program.
const TCommandRegistration kRead(  // NOLINT(cert-err58-cpp)
    {"read", "read [--port PORT]... [--device ADDR]... [--poll INTERVAL] [--config FILE] ...",
     "Reads meters through the plug-in and prints every row (default: the built-in "
     "simulated meters; \"mbus-host read --help\" for every option).",
     &RunRead});

}  // namespace

}  // namespace host
