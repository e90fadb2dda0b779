// THostSession: one run of the plug-in as the data-logging host runs it,
// shared by the commands that talk to meters (`read`, `search`). It owns a
// temporary folder for the run, points the plug-in's data folder at the
// given or a temporary one, keeps the settings file the plug-in loads, one
// data source per port, and the plug-in host: Start creates the instance,
// sends LOAD, opens the ports and activates the data sources; Finish (or
// the destructor) stops the ports and unloads the plug-in.
//
// Threads: the main thread only (it owns the plug-in's message window and
// pumps it); the data sources run their own reading threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/HostDataSources.h"
#include "host/PluginHost.h"
#include "host/SessionOptions.h"

namespace host {

// A folder for one run, removed at the end.
class TRunFolder {
 public:
  TRunFolder();  // raises EPluginHostError when none can be made
  ~TRunFolder();
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  std::filesystem::path FPath;
};

// The plug-in's log lines ("level character, text") as "[log N] text",
// those of levels up to maxLevel.
void PrintLog(std::ostream& err, const std::string& log, int maxLevel = 9);
// The texts of the log lines of level 0 (the plug-in's errors).
std::vector<std::string> ErrorLines(const std::string& log);

class THostSession {
 public:
  // Makes the folders and sets the plug-in's data folder; raises
  // EUsageError for a data folder that cannot be made.
  THostSession(const TSessionOptions& options, std::ostream& err);
  // Stops the ports before the plug-in instance goes.
  ~THostSession();
  THostSession(const THostSession&) = delete;
  THostSession& operator=(const THostSession&) = delete;

  // The settings file given to LOAD ("Parser config" holds the requests).
  const std::string& IniFile() const { return FIniFile; }
  // A data source for every port (EUsageError for a port text that names
  // none): identifiers and port texts in the order given. Once, before Start.
  // faultSeed (soak ports): port i injects faults from faultSeed + i; 0 none.
  std::vector<std::pair<std::int32_t, std::string>> AddPorts(std::uint32_t faultSeed = 0);
  THostDataSources& Sources() { return FSources; }
  // Before Start: times every call into the plug-in (must outlive Finish).
  void SetCallClock(TCallClock* clock) { FCallClock = clock; }
  // Loads the plug-in, creates the instance, LOAD, opens the ports, then
  // SET-STATE; raises EPluginHostError when the plug-in refuses to be
  // created or loaded (a refused SET-STATE is told on err and kept).
  void Start();
  // Whether SET-STATE was accepted (valid after Start).
  bool Activated() const { return FActivated; }
  // The plug-in's error lines (level 0) among the lines fetched so far.
  const std::vector<std::string>& PluginErrors() const { return FPluginErrors; }
  // Valid after Start.
  TPluginHost& Host() { return *FHost; }
  // The plug-in's new log lines up to maxLevel, as PrintLog writes them.
  std::string NewLog(int maxLevel = 9);
  // The plug-in's new log lines to err.
  void ShowLog() { FErr << NewLog(); }
  // Stops the ports, unloads the plug-in, shows the rest of the log (up
  // to maxLevel).
  void Finish(int maxLevel = 9);

 private:
  const TSessionOptions& FOptions;
  std::ostream& FErr;
  TRunFolder FFolder;
  std::string FIniFile;
  std::size_t FLogShown = 0;
  bool FActivated = false;
  TCallClock* FCallClock = nullptr;
  std::vector<std::string> FPluginErrors;
  THostDataSources FSources;           // outlives the plug-in instance
  std::unique_ptr<TPluginHost> FHost;  // destroyed before FSources
};

}  // namespace host
