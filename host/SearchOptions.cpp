#include "host/SearchOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ostream>

#include "host/ReadOptions.h"

namespace host {

namespace {

constexpr std::uint32_t kLastPrimary = 250;
constexpr std::uint32_t kSecondaryMaximum = 0x9FFF;
const char* const kFieldSeparator = "||";
constexpr int kMaxReplyWaitMs = 60000;

std::uint32_t PrimaryAddress(const std::string& which, const std::string& text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value > kLastPrimary)
    throw EUsageError(which + " address \"" + text + "\" is not a primary address (0-250)");
  return value;
}

std::uint32_t IdentificationNumber(const std::string& text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
  const bool hex = std::all_of(text.begin(), text.end(),
                               [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  if (text.empty() || text.size() > 8 || !hex || ec != std::errc() || ptr != end)
    throw EUsageError("id: \"" + text +
                      "\" is not an identification number (up to 8 hexadecimal digits)");
  return value;
}

TProgressStyle ProgressStyle(const std::string& text) {
  if (text == "plain") return TProgressStyle::Plain;
  if (text == "line") return TProgressStyle::Line;
  if (text == "none") return TProgressStyle::None;
  throw EUsageError("--progress: \"" + text + "\" is not plain, line or none");
}

void SetMode(TSearchOptions& o, const std::vector<std::string>& words) {
  if (words.empty()) throw EUsageError("which search: primary FIRST LAST, secondary or id NUMBER");
  const std::string& mode = words[0];
  const std::size_t wanted = mode == "primary" ? 3 : mode == "id" ? 2 : 1;
  if (mode != "primary" && mode != "secondary" && mode != "id")
    throw EUsageError("unknown search \"" + mode + "\" (primary, secondary or id)");
  if (words.size() != wanted)
    throw EUsageError(mode == "primary" ? "primary takes the first and the last address"
                      : mode == "id"    ? "id takes one identification number"
                                        : "secondary takes no more arguments");
  if (mode == "primary") {
    o.Mode = TSearchMode::Primary;
    o.First = PrimaryAddress("first", words[1]);
    o.Last = PrimaryAddress("last", words[2]);
    if (o.First > o.Last)
      throw EUsageError("the first address (" + words[1] + ") is above the last (" + words[2] +
                        ")");
  } else if (mode == "id") {
    o.Mode = TSearchMode::Id;
    o.First = o.Last = IdentificationNumber(words[1]);
  } else {
    o.Mode = TSearchMode::Secondary;
  }
}

// Splits at "||".
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = line.find(kFieldSeparator, from);
    fields.push_back(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return fields;
    from = at + 2;
  }
}

}  // namespace

TSearchOptions ParseSearchArguments(const std::vector<std::string>& args) {
  TSearchOptions o;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ParseSessionOption(args, i, o)) continue;
    if (a == "--xml") {
      o.Xml = true;
    } else if (a == "--interval") {
      o.IntervalMs = ParseInterval(OptionValue(args, i), "--interval");
    } else if (a == "--progress") {
      o.Progress = ProgressStyle(OptionValue(args, i));
    } else if (a == "--wait") {
      const int ms = PositiveInt(a, OptionValue(args, i));
      if (ms > kMaxReplyWaitMs) throw EUsageError("--wait: at most 60000 ms");
      o.ReplyWaitMs = static_cast<std::uint32_t>(ms);
    } else if (a.size() > 1 && a[0] == '-') {
      throw EUsageError("unknown argument \"" + a + "\"");
    } else {
      words.push_back(a);
    }
  }
  SetMode(o, words);
  CheckSessionOptions(o);
  // The plug-in searches on its last data source: one port says which.
  if (o.Ports.size() > 1) throw EUsageError("--port: a search runs on one port");
  return o;
}

std::string SearchUsage() {
  return std::string(
             "usage: mbus-host search primary FIRST LAST | secondary | id NUMBER [OPTION]...\n"
             "  primary FIRST LAST  ping the primary addresses FIRST to LAST (0-250)\n"
             "  secondary           scan every secondary address\n"
             "  id NUMBER           scan for one identification number: up to 8 hexadecimal\n"
             "                      digits as in a secondary address (e.g. 42000606), F matching\n"
             "                      any digit (4200FFFF)\n"
             "  --xml               instead of the table, print the request document for every\n"
             "                      meter found: a whole <MBUS> document (the plug-in's request\n"
             "                      fragment with its flags as the options dialog stores them),\n"
             "                      ready for \"mbus-host read --config FILE\"\n"
             "  --interval INTERVAL its poll interval: 500ms, 10s, 1m, 2h (default 10s)\n"
             "  --progress STYLE    progress on stderr: plain (a line every few seconds and when\n"
             "                      a meter is found, default), line (one line rewritten in\n"
             "                      place, for a terminal) or none\n"
             "  --wait MS           how long the plug-in waits for a reply to each probe\n"
             "                      (default: the plug-in's own wait, 2 seconds); a short wait\n"
             "                      speeds up a search where meters answer at once (sim with\n"
             "                      --no-timing), too short a one misses meters (at 2400 baud\n"
             "                      keep it at 400 ms or more)\n") +
         SessionUsage() +
         "exit status: 0 meters found, 3 nothing found, 130 cancelled by Ctrl-C (what was\n"
         "found so far is printed), 1 the plug-in failed, 2 bad arguments\n";
}

std::uint32_t ProgressMaximum(const TSearchOptions& o) {
  return o.Mode == TSearchMode::Primary ? o.Last : kSecondaryMaximum;
}

std::pair<std::uint32_t, int> IntervalArguments(std::uint32_t ms) {
  if (ms % 3600000 == 0) return {ms / 3600000, 3};
  if (ms % 60000 == 0) return {ms / 60000, 2};
  if (ms % 1000 == 0) return {ms / 1000, 1};
  return {ms, 0};
}

TSearchStatus ParseSearchStatus(const std::string& text) {
  TSearchStatus status;
  if (!text.empty() && text[0] == '*') {
    status.Kind = TSearchStatus::Running;
    const std::vector<std::string> fields = Fields(text.substr(1));
    const std::string& position = fields[0];
    std::uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(position.data(), position.data() + position.size(), value);
    if (!position.empty() && ec == std::errc() && ptr == position.data() + position.size())
      status.Position = value;
    status.Lines.assign(3, std::string());
    for (std::size_t i = 1; i < fields.size() && i <= 3; ++i) status.Lines[i - 1] = fields[i];
  } else if (!text.empty() && text[0] == '!') {
    status.Kind = TSearchStatus::Failed;
    status.Error = text.substr(1);
  } else {
    status.Results = text;
  }
  return status;
}

std::string ProgressText(const TSearchStatus& status, std::uint32_t maximum) {
  std::string text =
      std::to_string(std::min(status.Position, maximum)) + "/" + std::to_string(maximum);
  for (const auto& line : status.Lines)
    if (!line.empty()) text += "  " + line;
  return text;
}

std::vector<TFoundDevice> ParseResultList(const std::string& text) {
  std::vector<TFoundDevice> devices;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    from = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::vector<std::string> fields = Fields(line);
    fields.resize(6);
    devices.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]});
  }
  return devices;
}

void WriteDeviceTable(std::ostream& out, const std::vector<TFoundDevice>& devices) {
  using TField = std::string TFoundDevice::*;
  static const struct {
    const char* Heading;
    TField Field;
  } kColumns[] = {
      {"Address", &TFoundDevice::Address},    {"Secondary address", &TFoundDevice::Secondary},
      {"Serial No", &TFoundDevice::SerialNo}, {"Manufacturer", &TFoundDevice::Manufacturer},
      {"Version", &TFoundDevice::Version},    {"Medium", &TFoundDevice::Medium}};
  std::vector<std::size_t> widths;
  for (const auto& column : kColumns) {
    std::size_t width = std::string(column.Heading).size();
    for (const auto& d : devices) width = std::max(width, (d.*column.Field).size());
    widths.push_back(width);
  }
  auto writeLine = [&](auto cell) {
    std::string line;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const std::string text = cell(c);
      line += text + (c + 1 < widths.size() ? std::string(widths[c] - text.size() + 2, ' ') : "");
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  };
  writeLine([&](std::size_t c) { return std::string(kColumns[c].Heading); });
  for (const auto& d : devices) writeLine([&](std::size_t c) { return d.*kColumns[c].Field; });
}

std::string AllIndexes(const std::string& results) {
  std::string text;
  std::size_t from = 0;
  for (std::size_t index = 0; from < results.size(); ++index) {
    std::size_t end = results.find('\n', from);
    if (end == std::string::npos) end = results.size();
    const std::string line = results.substr(from, end - from);
    from = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    text += (text.empty() ? "" : "\r\n") + std::to_string(index);
  }
  return text;
}

std::string UsableRequestDocument(const std::string& fragment) {
  const std::string from = " checked=\"";
  const std::string to = " check=\"";
  std::string document;
  std::size_t at = 0;
  for (;;) {
    const std::size_t next = fragment.find(from, at);
    document += fragment.substr(at, next == std::string::npos ? std::string::npos : next - at);
    if (next == std::string::npos) return document;
    document += to;
    at = next + from.size();
  }
}

std::string SearchErrorText(const std::string& key) {
  if (key == "MsgFailed") return "the plug-in refused the search (Failed)";
  if (key == "MsgNoDsCfg") return "the plug-in has no data source to search on";
  if (key == "MsgNoComm") return "data communication is not configured";
  if (key == "MsgReqTimeout") return "request timeout";
  if (key == "MsgNotCompat") return "device is incompatible";
  return "the plug-in answered \"!" + key + "\"";
}

}  // namespace host
