#include "host/ReadOptions.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "host/bus/Meters.h"
#include "params/CfgOptionsProxy.h"
#include "params/TWregistry.h"

namespace host {

namespace {

constexpr std::uint64_t kDayMs = 24ull * 3600 * 1000;
const char* const kParserConfigEntry = "lblParams.Caption,Parser config";

template <class T>
bool ParseNumber(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

// Addresses separated by ";" or ",", blanks trimmed, empty parts dropped.
void AddDevices(const std::string& text, std::vector<std::string>& into) {
  std::string part;
  auto flush = [&] {
    const auto first = part.find_first_not_of(" \t");
    const auto last = part.find_last_not_of(" \t");
    if (first != std::string::npos) into.push_back(part.substr(first, last - first + 1));
    part.clear();
  };
  for (char c : text) {
    if (c == ';' || c == ',')
      flush();
    else
      part += c;
  }
  flush();
}

// An address a request can take: primary 0-250, an identification number
// (up to 8 digits, "s" + decimal), or a 16-character secondary address.
void CheckDevice(const std::string& device) {
  std::string bare = device.substr(0, device.find('('));
  while (!bare.empty() && bare.back() == ' ') bare.pop_back();
  bool ok = !bare.empty() && bare.size() <= 16;
  int primary = 0;
  if (ok && bare.size() <= 3) ok = ParseNumber(bare, primary) && primary >= 0 && primary <= 250;
  for (std::size_t i = 0; i < bare.size(); ++i)
    if (!std::isxdigit(static_cast<unsigned char>(bare[i])) && !(i == 0 && bare[i] == 's'))
      ok = false;
  if (!ok)
    throw EUsageError("--device: \"" + device +
                      "\" is not an M-Bus address (0-250, an identification number or a "
                      "16-digit secondary address)");
}

double PositiveSeconds(const std::string& option, const std::string& text) {
  double value = 0;
  if (!ParseNumber(text, value) || !(value > 0) || !std::isfinite(value) || value > 1e7)
    throw EUsageError(option + ": \"" + text + "\" is not a positive number of seconds");
  return value;
}

TOutputFormat Format(const std::string& text) {
  if (text == "table") return TOutputFormat::Table;
  if (text == "csv") return TOutputFormat::Csv;
  if (text == "json") return TOutputFormat::Json;
  throw EUsageError("--format: \"" + text + "\" is not table, csv or json");
}

void Check(TReadOptions& o) {
  if (!o.ConfigFile.empty() && (!o.Devices.empty() || o.PollGiven))
    throw EUsageError("--config gives the whole request document: no --device or --poll with it");
  CheckSessionOptions(o);
}

std::string UnitsOf(std::uint32_t& interval) {
  if (interval % 3600000 == 0) return interval /= 3600000, "H";
  if (interval % 60000 == 0) return interval /= 60000, "M";
  if (interval % 1000 == 0) return interval /= 1000, "S";
  return "MS";
}

TWreg& Prepare(TWreg& store, const std::string& iniFile, const std::string& sectionPrefix) {
  store.RegistryRoot = rrNone;  // the file only, never the registry
  store.SecondRegistryRoot = rrNone;
  store.INIFile = iniFile;
  store.INIFileSectionPrefix = sectionPrefix;
  store.Components.Add(kParserConfigEntry);
  return store;
}

}  // namespace

const char* ReadUsage() {
  return "usage: mbus-host read [--plugin FILE] [--port PORT]... [--config FILE |\n"
         "                      [--device ADDR[;ADDR...]]... [--poll INTERVAL]]\n"
         "                      [--format table|csv|json] [--count N] [--for SECONDS]\n"
         "                      [--data DIR] [--ini FILE] [--baud RATE] [--no-timing]\n"
         "                      [--soak SEED] [--call-limit MS]\n"
         "  PORT: sim (the built-in simulated meters, default), soak:N (the soak\n"
         "        meters of source N), serial:PORT[:BAUD], tcp:HOST:PORT\n"
         "  --soak SEED: faults from SEED (soak ports' bus faults, refused\n"
         "        deliveries, the plug-in reloaded), each reported on stderr as\n"
         "        \"fault: ...\"; the event SOAK-TICK every 3 s\n"
         "  --call-limit MS: each call into the plug-in that takes longer is\n"
         "        reported on stderr as it returns, and the longest call of each\n"
         "        kind at the end\n"
         "  INTERVAL: 500ms, 10s, 1m, 2h (default 5s)\n"
         "exit status:\n"
         "  0  rows were read (devices that never answered are named on stderr)\n"
         "  1  the plug-in could not be loaded or started, or a serial port did not open\n"
         "  2  bad arguments\n"
         "  3  no row: no port opened during the run, or no meter answered\n"
         "  4  no row: the plug-in sent no request (its protocol library did not load,\n"
         "     or its data sources stayed inactive)\n"
         "  5  the request document yields no request (its faulty line is named)\n"
         "  Every status but 0 comes with a one-line reason on stderr.\n";
}

TReadOptions ParseReadArguments(const std::vector<std::string>& args) {
  TReadOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ParseSessionOption(args, i, o)) {
      continue;
    } else if (a == "--config") {
      o.ConfigFile = OptionValue(args, i);
    } else if (a == "--device") {
      const std::size_t before = o.Devices.size();
      AddDevices(OptionValue(args, i), o.Devices);
      if (o.Devices.size() == before) throw EUsageError("--device: no address given");
      for (std::size_t d = before; d < o.Devices.size(); ++d) CheckDevice(o.Devices[d]);
    } else if (a == "--poll") {
      o.PollMs = ParseInterval(OptionValue(args, i));
      o.PollGiven = true;
    } else if (a == "--format") {
      o.Format = Format(OptionValue(args, i));
    } else if (a == "--count") {
      o.Count = PositiveInt(a, OptionValue(args, i));
    } else if (a == "--soak") {
      o.Soak = static_cast<std::uint32_t>(PositiveInt(a, OptionValue(args, i)));
    } else if (a == "--call-limit") {
      o.CallLimitMs = PositiveInt(a, OptionValue(args, i));
    } else if (a == "--for") {
      o.ForSeconds = PositiveSeconds(a, OptionValue(args, i));
    } else {
      throw EUsageError("unknown argument \"" + a + "\"");
    }
  }
  Check(o);
  return o;
}

std::uint32_t ParseInterval(const std::string& text, const std::string& option) {
  static const struct {
    const char* suffix;
    std::uint64_t factor;
  } kUnits[] = {{"ms", 1}, {"s", 1000}, {"m", 60000}, {"h", 3600000}};
  std::string number = text;
  std::uint64_t factor = 1;
  for (const auto& unit : kUnits) {
    const std::string suffix = unit.suffix;
    if (text.size() > suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        std::isdigit(static_cast<unsigned char>(text[text.size() - suffix.size() - 1]))) {
      number = text.substr(0, text.size() - suffix.size());
      factor = unit.factor;
      break;
    }
  }
  std::uint64_t value = 0;
  if (!ParseNumber(number, value) || value == 0 || value > kDayMs / factor)
    throw EUsageError(option + ": \"" + text +
                      "\" is not an interval from 1ms to 24h (e.g. 500ms, " + "10s, 1m)");
  return static_cast<std::uint32_t>(value * factor);
}

std::string BuildRequestDocument(const std::vector<std::string>& devices, std::uint32_t pollMs) {
  std::string joined;
  for (const auto& d : devices) joined += (joined.empty() ? "" : ";") + d;
  std::uint32_t interval = pollMs;
  const std::string units = UnitsOf(interval);
  return "<MBUS>\r\n<Request caption=\"mbus-host\"><Enabled>1</Enabled><Device>" + joined +
         "</Device><Timeout>5000</Timeout><FirstFrame>0</FirstFrame>"
         "<ReadOnlyNew>1</ReadOnlyNew><RequestMethod><MethodPoll check=\"2\"><PollInterval>" +
         std::to_string(interval) + "</PollInterval><PollUnits>" + units +
         "</PollUnits></MethodPoll></RequestMethod></Request>\r\n</MBUS>";
}

void WriteParserConfig(const std::string& iniFile, const std::string& sectionPrefix,
                       const std::string& document) {
  TWreg store;
  TDataSourceCfg cfg(nullptr);
  cfg.lblParams_Caption = document;
  if (!Prepare(store, iniFile, sectionPrefix).Save(cfg))
    throw std::runtime_error("cannot write the request document into " + iniFile);
}

std::string ReadParserConfig(const std::string& iniFile, const std::string& sectionPrefix) {
  TWreg store;
  TDataSourceCfg cfg(nullptr);
  if (!Prepare(store, iniFile, sectionPrefix).Load(cfg)) return {};
  return cfg.lblParams_Caption;
}

}  // namespace host
