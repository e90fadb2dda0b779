#include "host/SessionOptions.h"

#include <charconv>

#include "platform/Serial.h"

namespace host {

bool ParseSessionOption(const std::vector<std::string>& args, std::size_t& i, TSessionOptions& o) {
  const std::string& a = args[i];
  if (a == "--plugin") {
    o.Plugin = OptionValue(args, i);
  } else if (a == "--port") {
    o.Ports.push_back(OptionValue(args, i));
  } else if (a == "--data") {
    o.DataDir = OptionValue(args, i);
  } else if (a == "--ini") {
    o.IniFile = OptionValue(args, i);
  } else if (a == "--baud") {
    o.Baudrate = PositiveInt(a, OptionValue(args, i));
  } else if (a == "--no-timing") {
    o.Timing = false;
  } else {
    return false;
  }
  return true;
}

void CheckSessionOptions(TSessionOptions& o) {
  if (o.Ports.empty()) o.Ports.push_back("sim");
  if (!plat::IsMbusBaudrate(o.Baudrate))
    throw EUsageError("--baud: " + std::to_string(o.Baudrate) + " is not an M-Bus speed");
}

const char* SessionUsage() {
  return "  --plugin FILE       the plug-in library (default: the one beside mbus-host)\n"
         "  --port PORT         sim (the built-in simulated meters, default),\n"
         "                      serial:PORT[:BAUD] or tcp:HOST:PORT\n"
         "  --data DIR          the plug-in's data folder (default: a temporary one)\n"
         "  --ini FILE          the plug-in's settings file (default: a temporary one)\n"
         "  --baud RATE         first line speed of sim and serial ports (default 2400)\n"
         "  --no-timing         sim: answer at once instead of at the line's speed\n";
}

std::string OptionValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw EUsageError(args[i] + " needs a value");
  return args[++i];
}

int PositiveInt(const std::string& option, const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < 1)
    throw EUsageError(option + ": \"" + text + "\" is not a positive whole number");
  return value;
}

}  // namespace host
