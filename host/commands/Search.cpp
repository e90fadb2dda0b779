// mbus-host search: searches the bus for meters through the plug-in, with
// the module events the options dialog uses: "SearchDevices" starts the
// search on the module's data source, "SearchDevicesStatus" is polled for
// the progress and, at the end, the result list, "SearchDevicesCancel"
// stops it on Ctrl-C, and "SearchDevicesGetXml" turns the found meters into
// a request document for `mbus-host read --config`.
#include <chrono>
#include <ostream>

#include "host/CommandRegistry.h"
#include "host/HostSession.h"
#include "host/ReadOptions.h"
#include "host/SearchOptions.h"
#include "host/SearchProgress.h"
#include "params/korParamLst.h"
#include "platform/Interrupt.h"

namespace host {

namespace {

using TClock = std::chrono::steady_clock;

constexpr unsigned kPumpMs = 20;
constexpr auto kPollPeriod = std::chrono::milliseconds(200);
// During a search the plug-in logs every address it checks (level 2): the
// progress shows those; errors and collisions (levels 0 and 1) go through.
constexpr int kSearchLogLevel = 1;
// A document without requests: the data source stays idle for the search.
const char* const kNoRequests = "<MBUS>\r\n</MBUS>";

constexpr int kExitFound = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNothingFound = 3;
constexpr int kExitCancelled = 130;

// A module event with its arguments P0, P1...; its RESULT as text ("" when
// the module wrote none).
std::string CallEvent(TPluginHost& host, const std::string& name,
                      const std::vector<OleVariant>& args) {
  TkorParamsList params;
  params.Add("EVENT-TYPE", OleVariant(name));
  params.Add("RESULT", OleVariant());  // before P0: P1... follow it directly
  for (std::size_t i = 0; i < args.size(); ++i) params.Add("P" + std::to_string(i), args[i]);
  const std::int32_t result = host.Command("EVENT", params);
  if (result != 0) throw EPluginHostError("EVENT " + name + " failed: " + std::to_string(result));
  const OleVariant value = params.GetValue("RESULT");
  return value.IsEmpty() || value.IsNull() ? std::string() : value.AsAnsiString();
}

class TSearch {
 public:
  TSearch(const TSearchOptions& options, std::ostream& out, std::ostream& err)
      : FOptions(options),
        FOut(out),
        FErr(err),
        FSession(options, err),
        FProgress(err, options.Progress, ProgressMaximum(options)) {}

  int Run() {
    // A settings file of the user's keeps its own requests.
    if (FOptions.IniFile.empty()) WriteParserConfig(FSession.IniFile(), "", kNoRequests);
    FSession.AddPorts();
    FSession.Start();
    if (plat::InterruptRequested()) return Finish(kExitCancelled);
    if (FOptions.ReplyWaitMs > 0) SetReplyWait();
    const std::string id = StartSearch();
    const TSearchStatus status = Follow(id);
    if (status.Kind == TSearchStatus::Failed) {
      FErr << "mbus-host search: the search failed: " << SearchErrorText(status.Error) << "\n";
      return Finish(kExitFailed);
    }
    const int found = Report(status.Results);
    return Finish(FCancelled ? kExitCancelled : found > 0 ? kExitFound : kExitNothingFound);
  }

 private:
  void SetReplyWait() {
    TkorParamsList params;
    params.Add("PARAM", OleVariant("Custom_SearchIdleMs"));
    params.Add("VALUE", OleVariant(static_cast<std::int32_t>(FOptions.ReplyWaitMs)));
    params.Add("RESULT", OleVariant());
    if (FSession.Host().Command("SET-MODULE-PARAMETER", params) != 0)
      throw EPluginHostError("the plug-in refused the reply wait (--wait)");
  }

  std::string StartSearch() {
    const OleVariant mode(static_cast<std::int32_t>(FOptions.Mode));
    std::string answer = CallEvent(FSession.Host(), "SearchDevices",
                                   {mode, OleVariant(static_cast<std::int64_t>(FOptions.First)),
                                    OleVariant(static_cast<std::int64_t>(FOptions.Last))});
    if (answer.empty())
      throw EPluginHostError(
          "the plug-in gave no answer to SearchDevices (it has no device search)");
    if (answer[0] == '!') throw EPluginHostError(SearchErrorText(answer.substr(1)));
    return answer;
  }

  // Polls the status until the search ends; Ctrl-C cancels it once.
  TSearchStatus Follow(const std::string& id) {
    for (;;) {
      const auto until = TClock::now() + kPollPeriod;
      while (TClock::now() < until && !(plat::InterruptRequested() && !FCancelled)) {
        FSession.Host().Pump(kPumpMs);
        FSession.Sources().Poll();
      }
      if (plat::InterruptRequested() && !FCancelled) Cancel(id);
      TSearchStatus status =
          ParseSearchStatus(CallEvent(FSession.Host(), "SearchDevicesStatus", {OleVariant(id)}));
      ShowLog();
      if (status.Kind != TSearchStatus::Running) {
        FProgress.Clear();
        return status;
      }
      FProgress.Show(status, TClock::now());
    }
  }

  // Returns when the plug-in has stopped the search.
  void Cancel(const std::string& id) {
    FCancelled = true;
    FProgress.Clear();
    FErr << "mbus-host: cancelling the search\n";
    CallEvent(FSession.Host(), "SearchDevicesCancel", {OleVariant(id)});
  }

  void ShowLog() {
    const std::string log = FSession.NewLog(kSearchLogLevel);
    if (log.empty()) return;
    FProgress.Clear();
    FErr << log;
  }

  // The found meters as the table or the request document; their number.
  int Report(const std::string& results) {
    const std::vector<TFoundDevice> devices = ParseResultList(results);
    if (devices.empty()) {
      FErr << "mbus-host: nothing found\n";
      return 0;
    }
    if (FOptions.Xml) {
      const auto [interval, units] = IntervalArguments(FOptions.IntervalMs);
      const std::string fragment = CallEvent(
          FSession.Host(), "SearchDevicesGetXml",
          {OleVariant(results), OleVariant(AllIndexes(results)),
           OleVariant(static_cast<std::int32_t>(interval)), OleVariant(std::int32_t{units})});
      if (fragment.empty()) throw EPluginHostError("the plug-in gave no request document");
      FOut << UsableRequestDocument(fragment) << "\n";
    } else {
      WriteDeviceTable(FOut, devices);
    }
    FErr << "mbus-host: " << devices.size() << (devices.size() == 1 ? " meter" : " meters")
         << " found" << (FCancelled ? " before the search was cancelled" : "") << "\n";
    return static_cast<int>(devices.size());
  }

  int Finish(int status) {
    FSession.Finish(kSearchLogLevel);
    return status;
  }

  const TSearchOptions& FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  THostSession FSession;
  TSearchProgress FProgress;
  bool FCancelled = false;
};

int RunSearch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << SearchUsage();
    return 0;
  }
  try {
    const TSearchOptions options = ParseSearchArguments(args);
    plat::WatchInterrupt();
    return TSearch(options, out, err).Run();
  } catch (const EUsageError& e) {
    const std::string usage = SearchUsage();
    err << "mbus-host search: " << e.what() << "\n"
        << usage.substr(0, usage.find('\n') + 1)
        << "(\"mbus-host search --help\" for every option)\n";
    return 2;
  }
}

// Registration runs before main(); a failure there ends the program.
const TCommandRegistration kSearch(  // NOLINT(cert-err58-cpp)
    {"search", "search primary FIRST LAST | secondary | id NUMBER [--xml] [--port PORT] ...",
     "Searches the bus for meters through the plug-in and lists them, or prints a request "
     "document for them (\"mbus-host search --help\" for every option).",
     &RunSearch});

}  // namespace

}  // namespace host
