// The options that every mbus-host command running the plug-in shares
// (`read`, `search`): which plug-in, which ports, the data folder, the
// settings file and the simulated line. Pure functions of their arguments;
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

// A command line that cannot be run: the message says why (exit status 2).
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TSessionOptions {
  std::string Plugin;              // empty: the plug-in beside mbus-host
  std::vector<std::string> Ports;  // default {"sim"}
  std::string DataDir;             // the plug-in's data folder; empty: a temporary one
  std::string IniFile;             // the settings file; empty: a temporary one
  bool Timing = true;              // sim: the timing model of the line
  int Baudrate = 2400;             // sim and serial: the first speed
  std::uint32_t Soak = 0;          // read --soak: the faults' seed; 0 none
};

// When args[i] is one of the shared options, reads it (and its value,
// moving i past it) and answers true; otherwise false. Raises EUsageError.
bool ParseSessionOption(const std::vector<std::string>& args, std::size_t& i, TSessionOptions& o);
// The defaults that depend on the whole line (no port: "sim") and the
// checks across options. Raises EUsageError.
void CheckSessionOptions(TSessionOptions& o);
// The usage lines of the shared options, for a command's usage text.
const char* SessionUsage();

// The value after args[i] (i moves to it); raises EUsageError when missing.
std::string OptionValue(const std::vector<std::string>& args, std::size_t& i);
// A whole number of 1 or more; raises EUsageError naming the option.
int PositiveInt(const std::string& option, const std::string& text);

}  // namespace host
