// mbus-host read: reads meters through the plug-in as the data-logging host
// does. It writes the request document into the settings file the plug-in
// loads ("Parser config"), gives the module one data source per port, pumps
// the plug-in's messages on this thread, prints every delivered row and the
// plug-in's log, and ends after --count rows, after --for seconds or on
// Ctrl-C, unloading the plug-in cleanly each time.
#include <chrono>
#include <filesystem>
#include <ostream>
#include <random>
#include <sstream>

#include "host/CommandRegistry.h"
#include "host/HostDataSources.h"
#include "host/PluginHost.h"
#include "host/ReadOptions.h"
#include "host/RowOutput.h"
#include "host/bus/Meters.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Interrupt.h"

namespace host {

namespace {

namespace fs = std::filesystem;

constexpr unsigned kPumpMs = 20;
constexpr std::uint64_t kMaxConfigBytes = 1 << 20;

// A folder for one run, removed at the end.
class TRunFolder {
 public:
  TRunFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 10 && FPath.empty(); ++attempt) {
      fs::path p = fs::temp_directory_path() / ("mbus-host-" + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(p, ec)) FPath = p;
    }
    if (FPath.empty()) throw EPluginHostError("cannot create a temporary folder");
  }
  ~TRunFolder() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  fs::path FPath;
};

// The plug-in's log lines ("level character, text") as "[level] text".
void PrintLog(std::ostream& err, const std::string& log) {
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const int level = (static_cast<unsigned char>(line[0]) & 0x7F) - 1;
    err << "[log " << level << "] " << line.substr(1) << "\n";
  }
}

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
  TRunFolder folder;
  const std::string dataDir = o.DataDir.empty() ? folder.File("data") : o.DataDir;
  std::string error;
  if (!plat::ForceDirectories(dataDir, &error))
    throw EUsageError("--data: cannot create " + dataDir + ": " + error);
  // The module's data path (lastdate.txt) lies below the common data folder.
  plat::SetEnvironmentValue("KOR_COMMON_APPDATA", fs::absolute(dataDir).string());
  const std::string iniFile = o.IniFile.empty() ? folder.File("mbus-host.ini") : o.IniFile;
  WriteParserConfig(iniFile, "", RequestDocument(o, iniFile));

  TPortOptions portOptions;
  portOptions.Timing = o.Timing;
  portOptions.Baudrate = o.Baudrate;
  TRowWriter writer(run.Out, o.Format);
  THostDataSources sources;  // outlives the plug-in instance
  for (const auto& text : o.Ports) {
    std::unique_ptr<TPort> port;
    try {
      port = MakePort(text, portOptions);
    } catch (const EPortError& e) {
      throw EUsageError(std::string("--port: ") + e.what());
    }
    writer.SetSourceName(sources.Add(std::move(port)), text);
  }
  bool done = false;
  sources.SetRowHandler([&](const TReceivedData& row) {
    if (done) return;
    writer.Write(row);
    if (o.Count > 0 && writer.Rows() >= o.Count) done = true;
  });
  sources.SetNoticeHandler(
      [&](const std::string& text) { run.Err << "mbus-host: " << text << "\n"; });

  TPluginHost host(o.Plugin.empty() ? DefaultPluginPath() : o.Plugin);
  sources.Attach(host);
  // However the run ends, the readers stop before the instance goes.
  struct TStopGuard {
    THostDataSources& Sources;
    ~TStopGuard() { Sources.Stop(); }
  } stopGuard{sources};
  if (host.Create() != 0) throw EPluginHostError("CreatePluginInstance refused");
  TLoadOptions load;
  load.IniFile = iniFile;
  if (host.Load(load) != 0) throw EPluginHostError("LOAD failed");
  std::size_t logShown = 0;
  auto showLog = [&] {
    const std::string log = host.LogText();
    if (log.size() > logShown) PrintLog(run.Err, log.substr(logShown));
    logShown = log.size();
  };
  // Ports first, so the module's first request finds its port open.
  sources.Start();
  if (sources.Activate() != 0) run.Err << "mbus-host: SET-STATE was refused\n";
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<double>(o.ForSeconds);
  while (!done && !plat::InterruptRequested()) {
    host.Pump(kPumpMs);
    sources.Poll();
    showLog();
    if (o.ForSeconds > 0 && std::chrono::steady_clock::now() - start >= limit) break;
  }
  sources.Stop();
  host.Unload();
  showLog();
  const auto counters = sources.Counters();
  run.Err << "mbus-host: " << writer.Rows() << " rows, " << counters.BytesOut << " bytes out, "
          << counters.BytesIn << " bytes in\n";
  return 0;
}

int RunRead(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << ReadUsage();
    return 0;
  }
  try {
    const TReadOptions options = ParseReadArguments(args);
    plat::WatchInterrupt();
    return Run(TRun{options, out, err});
  } catch (const EUsageError& e) {
    err << "mbus-host read: " << e.what() << "\n" << ReadUsage();
    return 2;
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
