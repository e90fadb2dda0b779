#include "host/HostSession.h"

#include <ostream>
#include <random>
#include <sstream>

#include "platform/Environment.h"
#include "platform/Files.h"

namespace host {

namespace fs = std::filesystem;

TRunFolder::TRunFolder() {
  std::random_device random;
  for (int attempt = 0; attempt < 10 && FPath.empty(); ++attempt) {
    fs::path p = fs::temp_directory_path() / ("mbus-host-" + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) FPath = p;
  }
  if (FPath.empty()) throw EPluginHostError("cannot create a temporary folder");
}

TRunFolder::~TRunFolder() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

namespace {

// Each line of a log text as its level and its text.
template <class TFn>
void ForEachLogLine(const std::string& log, TFn fn) {
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    fn((static_cast<unsigned char>(line[0]) & 0x7F) - 1, line.substr(1));
  }
}

}  // namespace

void PrintLog(std::ostream& err, const std::string& log, int maxLevel) {
  ForEachLogLine(log, [&](int level, const std::string& text) {
    if (level <= maxLevel) err << "[log " << level << "] " << text << "\n";
  });
}

std::vector<std::string> ErrorLines(const std::string& log) {
  std::vector<std::string> errors;
  ForEachLogLine(log, [&](int level, const std::string& text) {
    if (level == 0) errors.push_back(text);
  });
  return errors;
}

THostSession::THostSession(const TSessionOptions& options, std::ostream& err)
    : FOptions(options), FErr(err) {
  const std::string dataDir = options.DataDir.empty() ? FFolder.File("data") : options.DataDir;
  std::string error;
  if (!plat::ForceDirectories(dataDir, &error))
    throw EUsageError("--data: cannot create " + dataDir + ": " + error);
  // The module's data path (lastdate.txt) lies below the common data folder.
  plat::SetEnvironmentValue("KOR_COMMON_APPDATA", fs::absolute(dataDir).string());
  FIniFile = options.IniFile.empty() ? FFolder.File("mbus-host.ini") : options.IniFile;
  FSources.SetNoticeHandler(
      [this](const std::string& text) { FErr << "mbus-host: " << text << "\n"; });
}

THostSession::~THostSession() {
  FSources.Stop();
}

std::vector<std::pair<std::int32_t, std::string>> THostSession::AddPorts(std::uint32_t faultSeed) {
  TPortOptions portOptions;
  portOptions.Timing = FOptions.Timing;
  portOptions.Baudrate = FOptions.Baudrate;
  std::vector<std::pair<std::int32_t, std::string>> added;
  for (const auto& text : FOptions.Ports) {
    portOptions.FaultSeed =
        faultSeed == 0 ? 0 : faultSeed + static_cast<std::uint32_t>(added.size());
    std::unique_ptr<TPort> port;
    try {
      port = MakePort(text, portOptions);
    } catch (const EPortError& e) {
      throw EUsageError(std::string("--port: ") + e.what());
    }
    added.emplace_back(FSources.Add(std::move(port)), text);
  }
  return added;
}

void THostSession::Start() {
  FHost = std::make_unique<TPluginHost>(FOptions.Plugin.empty() ? DefaultPluginPath()
                                                                : FOptions.Plugin);
  FHost->SetCallClock(FCallClock);
  FSources.Attach(*FHost);
  if (FHost->Create() != 0) throw EPluginHostError("CreatePluginInstance refused");
  TLoadOptions load;
  load.IniFile = FIniFile;
  if (FHost->Load(load) != 0) throw EPluginHostError("LOAD failed");
  // Ports first, so the module's first request finds its port open.
  FSources.Start();
  FActivated = FSources.Activate() == 0;
  if (!FActivated) FErr << "mbus-host: SET-STATE was refused\n";
}

std::string THostSession::NewLog(int maxLevel) {
  if (!FHost) return {};
  const std::string log = FHost->LogText();
  std::ostringstream lines;
  if (log.size() > FLogShown) {
    const std::string fresh = log.substr(FLogShown);
    PrintLog(lines, fresh, maxLevel);
    for (auto& error : ErrorLines(fresh)) FPluginErrors.push_back(std::move(error));
  }
  FLogShown = log.size();
  return lines.str();
}

void THostSession::Finish(int maxLevel) {
  FSources.Stop();
  if (!FHost) return;
  FHost->Unload();
  FErr << NewLog(maxLevel);
}

}  // namespace host
