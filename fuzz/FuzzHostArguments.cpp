// Lines as arguments of "mbus-host read" and of "mbus-host search"; each
// line also as a port text, an interval and raw data from the plug-in; the
// whole text as the plug-in's answers to the search events (a status, a
// result list, a request fragment). Refusals are exceptions of the
// documented classes; nothing else may escape.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "host/HostDataSources.h"
#include "host/ReadOptions.h"
#include "host/SearchOptions.h"
#include "host/ports/Port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      args.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  args.push_back(line);
  try {
    host::ParseReadArguments(args);
  } catch (const host::EUsageError&) {
  }
  try {
    const host::TSearchOptions search = host::ParseSearchArguments(args);
    host::ProgressMaximum(search);
    host::IntervalArguments(search.IntervalMs);
  } catch (const host::EUsageError&) {
  }
  const host::TSearchStatus status = host::ParseSearchStatus(text);
  host::ProgressText(status, 40959);
  std::ostringstream table;
  host::WriteDeviceTable(table, host::ParseResultList(text));
  host::UsableRequestDocument(text);
  host::AllIndexes(text);
  for (const auto& a : args) {
    try {
      host::ParseInterval(a);
    } catch (const host::EUsageError&) {
    }
    if (a != "sim") {  // the simulated segment is no parser
      try {
        host::MakePort(a);
      } catch (const host::EPortError&) {
      }
    }
    host::BaudrateSwitch(a);
  }
  return 0;
}
