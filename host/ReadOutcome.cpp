#include "host/ReadOutcome.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace host {

namespace {

// Primary addresses 254 and 255 reach whichever meter is there.
constexpr int kAnyMeterAddress = 254;
constexpr std::uint8_t kLongFrameStart = 0x68;
constexpr std::uint8_t kAcknowledge = 0xE5;
// The plug-in's error lines quoted in a reason, at most.
constexpr std::size_t kQuotedErrors = 2;

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

std::string PluginSaid(const std::vector<std::string>& errors) {
  if (errors.empty()) return {};
  const std::vector<std::string> first(
      errors.begin(),
      errors.begin() + static_cast<std::ptrdiff_t>(std::min(errors.size(), kQuotedErrors)));
  return " (the plug-in: " + Joined(first, "; ") + ")";
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g s", seconds);
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool Digits(const std::string& text) {
  for (unsigned char c : text)
    if (!std::isdigit(c)) return false;
  return !text.empty();
}

bool HexDigits(const std::string& text) {
  for (unsigned char c : text)
    if (!std::isxdigit(c)) return false;
  return !text.empty();
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string PadTo8(const std::string& digits) {
  return std::string(8 - digits.size(), '0') + digits;
}

// An identification number pattern (F: any digit) against a DEVICE_ID.
bool IdMatches(const std::string& pattern, const std::string& id) {
  if (id.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < id.size(); ++i)
    if (pattern[i] != 'F' && pattern[i] != std::toupper(static_cast<unsigned char>(id[i])))
      return false;
  return true;
}

// The address field of the first long frame of a reply (after the
// acknowledgement of a selection); -1 when there is none.
int ReplyAddress(const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size() && static_cast<std::uint8_t>(bytes[at]) == kAcknowledge) ++at;
  if (bytes.size() < at + 6 || static_cast<std::uint8_t>(bytes[at]) != kLongFrameStart ||
      static_cast<std::uint8_t>(bytes[at + 3]) != kLongFrameStart)
    return -1;
  return static_cast<std::uint8_t>(bytes[at + 5]);
}

// " (why)" for a port that never opened, without the port's name the
// error may start with.
std::string OpenErrorText(const TPortReport& port) {
  std::string why = port.OpenError;
  if (why.compare(0, port.Name.size() + 2, port.Name + ": ") == 0)
    why.erase(0, port.Name.size() + 2);
  return why.empty() ? std::string() : " (" + why + ")";
}

}  // namespace

TReadVerdict JudgeRead(const TReadFacts& facts) {
  TReadVerdict verdict;
  std::vector<std::string> closed;
  std::uint64_t out = 0, in = 0;
  for (const auto& port : facts.Ports) {
    out += port.BytesOut;
    in += port.BytesIn;
    if (!port.Opened) closed.push_back(port.Name + OpenErrorText(port));
  }
  if (facts.Rows > 0) {
    const auto& silent = facts.SilentDevices;
    if (!silent.empty())
      verdict.Notes.push_back(std::string(silent.size() > 1 ? "devices " : "device ") +
                              Joined(silent, ", ") + " never answered");
    if (!closed.empty()) verdict.Notes.push_back("never opened: " + Joined(closed, ", "));
    return verdict;
  }
  if (!facts.Activated) {
    verdict.Status = kReadCannotRead;
    verdict.Reason = "the plug-in refused to start its data sources (SET-STATE)" +
                     PluginSaid(facts.PluginErrors);
  } else if (!facts.Ports.empty() && closed.size() == facts.Ports.size()) {
    verdict.Status = kReadNoAnswer;
    const TPortReport& only = facts.Ports.front();
    verdict.Reason = closed.size() > 1
                         ? "no port opened during the run: " + Joined(closed, ", ")
                         : only.Name + " never opened during the run" + OpenErrorText(only);
  } else if (out == 0) {
    verdict.Status = kReadCannotRead;
    verdict.Reason =
        "the plug-in sent no request in " + Seconds(facts.Seconds) + PluginSaid(facts.PluginErrors);
  } else if (in == 0) {
    verdict.Status = kReadNoAnswer;
    verdict.Reason = "no meter answered in " + Seconds(facts.Seconds) + ": " + std::to_string(out) +
                     " bytes sent, none received" +
                     (closed.empty() ? "" : "; never opened: " + Joined(closed, ", "));
  } else {
    verdict.Status = kReadNoAnswer;
    verdict.Reason = "meters answered (" + std::to_string(in) +
                     " bytes received) but the plug-in delivered no row" +
                     PluginSaid(facts.PluginErrors);
  }
  return verdict;
}

TDeviceTally::TDeviceTally(const std::vector<std::string>& devices) {
  for (const auto& text : devices) {
    TDevice device;
    device.Text = Trimmed(text);
    const std::string bare = Trimmed(device.Text.substr(0, device.Text.find('(')));
    if (bare.size() <= 3 && Digits(bare)) {
      device.Primary = std::stoi(bare);
    } else if (bare.size() > 1 && bare.size() <= 9 && bare[0] == 's' && Digits(bare.substr(1))) {
      device.Id = PadTo8(bare.substr(1));
    } else if (bare.size() == 16 && HexDigits(bare)) {
      device.Id = Upper(bare.substr(0, 8));
    } else if (bare.size() <= 8 && HexDigits(bare)) {
      device.Id = PadTo8(Upper(bare));
    }
    FDevices.push_back(std::move(device));
  }
}

void TDeviceTally::Note(const TReceivedData& row) {
  std::string id;
  int address = -1;
  for (std::size_t i = 0; i < row.Values.size(); ++i) {
    const std::string& name = row.Values[i].first;
    if (name == "DEVICE_ID") id = row.Values[i].second;
    if (name == "FULL_DATA_PACKET" && i < row.Items.size()) {
      try {
        address = ReplyAddress(row.Items[i].AsAnsiString());
      } catch (const std::exception&) {
        // A packet that is no text names no address.
      }
    }
  }
  for (auto& device : FDevices) {
    if (device.Answered) continue;
    if (!device.Id.empty())
      device.Answered = IdMatches(device.Id, id);
    else if (device.Primary >= kAnyMeterAddress)
      device.Answered = true;
    else if (device.Primary >= 0)
      device.Answered = device.Primary == address;
  }
}

std::vector<std::string> TDeviceTally::Silent() const {
  std::vector<std::string> silent;
  for (const auto& device : FDevices)
    if (!device.Answered && (device.Primary >= 0 || !device.Id.empty()))
      silent.push_back(device.Text);
  return silent;
}

}  // namespace host
