// mbus-host read: reads meters through the plug-in as the data-logging host
// does. It writes the request document into the settings file the plug-in
// loads ("Parser config"), gives the module one data source per port, pumps
// the plug-in's messages on this thread, prints every delivered row and the
// plug-in's log, and ends after --count rows, after --for seconds or on
// Ctrl-C, unloading the plug-in cleanly each time. With --soak SEED it also
// injects the host's faults and unloads and loads the plug-in now and then.
// Its exit status tells whether rows were read, and if not, why
// (host/ReadOutcome.h).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <ostream>

#include "host/CommandRegistry.h"
#include "host/HostSession.h"
#include "host/ReadOptions.h"
#include "host/ReadOutcome.h"
#include "host/RequestCheck.h"
#include "host/RowOutput.h"
#include "host/SoakFaults.h"
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

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t EpochMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// What --soak adds on the main thread: the host refuses deliveries now and
// then, the event "SOAK-TICK" goes to the plug-in every few seconds, and
// the plug-in is unloaded and loaded again now and then (the read loop
// asks ReloadDue). Each fault is reported as it begins.
class TSoakHost {
 public:
  static constexpr std::int64_t kEventEveryMs = 3000;

  explicit TSoakHost(std::uint32_t seed) : FRandom(seed), FActive(seed != 0) {
    const std::int64_t now = SteadyMs();
    FNextRefusal = now + FRandom.Between(5000, 20000);
    FNextEvent = now + kEventEveryMs;
  }
  bool Active() const { return FActive; }
  // Whether a delivery is refused now; counts the refusals.
  bool Refuses() {
    if (!FActive || SteadyMs() >= FRefuseUntil.load()) return false;
    ++FRefused;
    return true;
  }
  // A session begins: its reload is due 20 to 60 s on.
  void SessionStarted() { FReloadAt = SteadyMs() + FRandom.Between(20000, 60000); }
  bool ReloadDue() {
    if (!FActive || SteadyMs() < FReloadAt) return false;
    ReportFault("reload", "host", 0);
    return true;
  }
  void Tick(THostSession& session) {
    if (!FActive) return;
    const std::int64_t now = SteadyMs();
    if (now >= FNextEvent) {
      FNextEvent = now + kEventEveryMs;
      TkorParamsList params;
      params.Add("EVENT-TYPE", OleVariant("SOAK-TICK"));
      session.Host().Command("EVENT", params);
    }
    if (FRefusalOpen && now >= FRefuseUntil.load()) {
      FRefusalOpen = false;
      ReportFaultEnd("refuse", "host", FRefused.exchange(0));
    }
    if (now >= FNextRefusal) {
      const std::uint32_t ms = FRandom.Between(1000, 5000);
      FRefused = 0;
      FRefusalOpen = true;
      FRefuseUntil = now + ms;
      FNextRefusal = now + ms + FRandom.Between(10000, 30000);
      ReportFault("refuse", "host", ms);
    }
  }

 private:
  TFaultRandom FRandom;
  const bool FActive;
  std::atomic<std::int64_t> FRefuseUntil{0};  // read by the delivering threads
  std::atomic<int> FRefused{0};               // counted by the delivering threads
  bool FRefusalOpen = false;
  std::int64_t FNextRefusal = 0;
  std::int64_t FNextEvent = 0;
  std::int64_t FReloadAt = 0;
};

// Rows go to the output as the plug-in hands them over, and the plug-in
// hears they were taken only once they were written: a process killed
// after that point has its rows on the output already.
class TRowSink {
 public:
  TRowSink(const TReadOptions& options, std::ostream& out, const std::vector<std::string>& devices)
      : FOptions(options), FOut(out), FWriter(out, options.Format), FTally(devices) {}
  void SetSourceName(std::int32_t id, const std::string& name) {
    std::lock_guard<std::mutex> lock(FLock);
    FWriter.SetSourceName(id, name);
  }
  bool Take(const std::vector<TReceivedData>& rows) {
    std::lock_guard<std::mutex> lock(FLock);
    // A soak's checker tells a handover that a kill cut by its time.
    if (FOptions.Soak != 0 && FOptions.Format == TOutputFormat::Json)
      FOut << "{\"HANDOVER_MS\":" << EpochMs() << "}\n";
    for (const TReceivedData& row : rows) {
      if (FDone) break;
      FWriter.Write(row);
      FTally.Note(row);
      if (FOptions.Count > 0 && FWriter.Rows() >= FOptions.Count) FDone = true;
    }
    FOut.flush();
    return true;
  }
  bool Done() {
    std::lock_guard<std::mutex> lock(FLock);
    return FDone;
  }
  int Rows() {
    std::lock_guard<std::mutex> lock(FLock);
    return FWriter.Rows();
  }
  std::vector<std::string> SilentDevices() {
    std::lock_guard<std::mutex> lock(FLock);
    return FTally.Silent();
  }

 private:
  const TReadOptions& FOptions;
  std::ostream& FOut;
  std::mutex FLock;  // guards the writer, the tally and FDone; the plug-in's threads deliver
  TRowWriter FWriter;
  TDeviceTally FTally;
  bool FDone = false;
};

// The request document the plug-in will read, checked first: a document that
// yields no request ends the run before the plug-in starts.
int Run(const TRun& run) {
  const TReadOptions& o = run.Options;
  TSoakHost soak(o.Soak);
  TCallClock calls(o.CallLimitMs);
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<double>(o.ForSeconds);
  std::uint64_t bytesOut = 0, bytesIn = 0;
  std::unique_ptr<TRowSink> sink;
  TReadFacts facts;
  for (std::uint32_t load = 0;; ++load) {
    THostSession session(o, run.Err);
    const std::string document = RequestDocument(o, session.IniFile());
    if (!sink) {
      const TRequestCheck check = CheckRequestDocument(document);
      if (check.Requests == 0) {
        run.Err << "mbus-host read: the request document yields no request: "
                << check.NoRequestReason << "\n";
        return kReadNoRequest;
      }
      if (!check.Fault.empty())
        run.Err << "mbus-host read: the request document: " << check.Fault
                << " (the plug-in reads what it can)\n";
      sink = std::make_unique<TRowSink>(o, run.Out, check.Devices);
    }
    WriteParserConfig(session.IniFile(), "", document);
    session.SetCallClock(&calls);
    const std::uint32_t faultSeed = o.Soak == 0 ? 0 : o.Soak * 7919 + load * 101;
    for (const auto& [id, name] : session.AddPorts(faultSeed)) sink->SetSourceName(id, name);
    session.Sources().SetDeliveryHandler([&](const std::vector<TReceivedData>& rows) {
      return !soak.Refuses() && sink->Take(rows);
    });
    session.Start();
    soak.SessionStarted();
    bool ended = false;
    for (;;) {
      if (sink->Done() || plat::InterruptRequested()) {
        ended = true;
        break;
      }
      session.Host().Pump(kPumpMs);
      session.Sources().Poll();
      soak.Tick(session);
      session.ShowLog();
      for (const auto& line : calls.DrainOverLimit()) run.Err << "mbus-host: " << line << "\n";
      if (o.ForSeconds > 0 && std::chrono::steady_clock::now() - start >= limit) {
        ended = true;
        break;
      }
      if (soak.ReloadDue()) {
        run.Err << "mbus-host: unloading the plug-in and loading it again\n";
        break;
      }
    }
    session.Finish();
    const auto counters = session.Sources().Counters();
    bytesOut += counters.BytesOut;
    bytesIn += counters.BytesIn;
    // What the host saw, over every load of the plug-in.
    facts.Activated = load == 0 ? session.Activated() : facts.Activated || session.Activated();
    for (TPortReport port : session.Sources().PortReports()) {
      auto same = std::find_if(facts.Ports.begin(), facts.Ports.end(),
                               [&](const TPortReport& p) { return p.Name == port.Name; });
      if (same == facts.Ports.end()) {
        facts.Ports.push_back(std::move(port));
        continue;
      }
      same->Opened = same->Opened || port.Opened;
      same->BytesOut += port.BytesOut;
      same->BytesIn += port.BytesIn;
    }
    for (auto& line : session.PluginErrors()) facts.PluginErrors.push_back(line);
    if (ended) break;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  for (const auto& line : calls.DrainOverLimit()) run.Err << "mbus-host: " << line << "\n";
  if (o.CallLimitMs > 0) run.Err << "mbus-host: longest calls: " << calls.Summary() << "\n";
  run.Err << "mbus-host: " << sink->Rows() << " rows, " << bytesOut << " bytes out, " << bytesIn
          << " bytes in\n";
  facts.Rows = sink->Rows();
  facts.Seconds = elapsed.count();
  // A run cut short by --count has not given every device its turn.
  if (!sink->Done()) facts.SilentDevices = sink->SilentDevices();
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
