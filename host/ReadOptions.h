// The arguments of `mbus-host read`, the request document it gives the
// plug-in, and where that document goes (the "Parser config" setting of the
// settings INI file the plug-in loads). Pure functions of their arguments,
// except the INI file access; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/SessionOptions.h"

namespace host {

enum class TOutputFormat { Table, Csv, Json };

struct TReadOptions : TSessionOptions {
  std::string ConfigFile;            // an MBUS document, as the options dialog writes it
  std::vector<std::string> Devices;  // addresses for a generated document
  std::uint32_t PollMs = 5000;
  bool PollGiven = false;
  TOutputFormat Format = TOutputFormat::Table;
  int Count = 0;          // stop after this many rows; 0: no limit
  double ForSeconds = 0;  // stop after this long; 0: no limit
  int CallLimitMs = 0;    // report calls into the plug-in longer than this; 0: none
};

// Reads the arguments after "read"; raises EUsageError.
TReadOptions ParseReadArguments(const std::vector<std::string>& args);
// The usage text of `mbus-host read`.
const char* ReadUsage();

// "500ms", "10s", "1m", "2h" or a plain number of milliseconds; at least
// 1 ms and at most 24 hours. Raises EUsageError naming the option.
std::uint32_t ParseInterval(const std::string& text, const std::string& option = "--poll");

// One request for every address, polled every pollMs, as the options
// dialog would store it.
std::string BuildRequestDocument(const std::vector<std::string>& devices, std::uint32_t pollMs);

// "Parser config" in the settings file, section prefix as given to LOAD.
// Write raises std::runtime_error when the file cannot be written; Read
// gives "" when there is none.
void WriteParserConfig(const std::string& iniFile, const std::string& sectionPrefix,
                       const std::string& document);
std::string ReadParserConfig(const std::string& iniFile, const std::string& sectionPrefix);

}  // namespace host
