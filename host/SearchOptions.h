// `mbus-host search`: its arguments, the arguments of the plug-in's search
// events, and the readers of the plug-in's answers (the running status, the
// result list) with the table they print as. Pure functions of their
// arguments; any thread.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "host/SessionOptions.h"

namespace host {

// The search modes, numbered as "SearchDevices" takes them (P0).
enum class TSearchMode { Primary = 1, Secondary = 2, Id = 3 };

// How the progress goes to stderr: one line rewritten in place (for a
// terminal), plain lines now and then (default; fine in a log file), or
// nothing.
enum class TProgressStyle { Plain, Line, None };

struct TSearchOptions : TSessionOptions {
  TSearchMode Mode = TSearchMode::Secondary;
  // Primary: the first and last address (0-250). Id: the identification
  // number (8 hexadecimal digits as in a secondary address, F a wildcard
  // digit) in both. Secondary: both 0.
  std::uint32_t First = 0;
  std::uint32_t Last = 0;
  bool Xml = false;                  // print the request document, not the table
  std::uint32_t IntervalMs = 10000;  // its poll interval
  TProgressStyle Progress = TProgressStyle::Plain;
  // How long the plug-in waits for a reply to each probe (its module
  // parameter "Custom_SearchIdleMs"); 0: the plug-in's own wait.
  std::uint32_t ReplyWaitMs = 0;
};

// Reads the arguments after "search"; raises EUsageError.
TSearchOptions ParseSearchArguments(const std::vector<std::string>& args);
// The usage text of `mbus-host search`.
std::string SearchUsage();

// The end of the options dialog's progress bar: the last address of a
// primary search, 40959 (9FFF: the first four digits of the mask) for the
// secondary ones.
std::uint32_t ProgressMaximum(const TSearchOptions& o);
// The poll interval as "SearchDevicesGetXml" takes it: the value in the
// largest unit that holds it whole, and the units index (0 milliseconds,
// 1 seconds, 2 minutes, 3 hours).
std::pair<std::uint32_t, int> IntervalArguments(std::uint32_t ms);

// An answer of "SearchDevicesStatus".
struct TSearchStatus {
  enum TKind { Running, Failed, Done };
  TKind Kind = Done;
  std::uint32_t Position = 0;      // Running: where the search is (0 when unreadable)
  std::vector<std::string> Lines;  // Running: the three progress lines (some empty)
  std::string Error;               // Failed: the key after "!"
  std::string Results;             // Done: the result list (empty: nothing found)
};
// "*" + position "||" line "||" line "||" line while running; "!" + key
// for a failure; anything else is the final result list.
TSearchStatus ParseSearchStatus(const std::string& text);

// The progress as one line: "position/maximum" and the non-empty lines.
std::string ProgressText(const TSearchStatus& status, std::uint32_t maximum);

// One line of the result list: the columns of the dialog's device list.
struct TFoundDevice {
  std::string Address, Secondary, SerialNo, Manufacturer, Version, Medium;
};
// The result list: lines ended by CR LF (or LF), fields separated by "||";
// missing fields are empty, blank lines are skipped.
std::vector<TFoundDevice> ParseResultList(const std::string& text);
// The devices as an aligned table with a heading line.
void WriteDeviceTable(std::ostream& out, const std::vector<TFoundDevice>& devices);

// The selected indexes for "SearchDevicesGetXml": every device line of the
// result list (0-based line numbers, blank lines skipped), one per line.
std::string AllIndexes(const std::string& results);
// The plug-in's request fragment as a document `read --config` takes: the
// fragment's three flags carry the attribute "checked", which the request
// reader does not know (it reads "check", as the options dialog stores
// them); without the change the request would read as not enabled.
std::string UsableRequestDocument(const std::string& fragment);

// What a "!" answer of the plug-in means, for the error line.
std::string SearchErrorText(const std::string& key);

}  // namespace host
