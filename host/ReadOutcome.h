// What a run of `mbus-host read` ends with: its exit status and the line
// that says why, judged from what the host saw (rows, the ports' bytes, the
// plug-in's error lines), and which requested devices never gave a row.
// Pure functions and a plain tally; the main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/PluginHost.h"

namespace host {

// The exit statuses of `mbus-host read` (listed in its usage text).
inline constexpr int kReadRows = 0;        // rows were read
inline constexpr int kReadFailed = 1;      // the plug-in file, LOAD or a serial port failed
inline constexpr int kReadUsage = 2;       // arguments that cannot run
inline constexpr int kReadNoAnswer = 3;    // no port opened, or nothing answered on them
inline constexpr int kReadCannotRead = 4;  // the plug-in sent no request (library, inactive)
inline constexpr int kReadNoRequest = 5;   // the request document yields no request

// One port over the whole run.
struct TPortReport {
  std::string Name;
  bool Opened = false;    // at least once
  std::string OpenError;  // why the first attempt failed; empty when it opened
  std::uint64_t BytesOut = 0, BytesIn = 0;
};

struct TReadFacts {
  int Rows = 0;
  double Seconds = 0;     // how long the run lasted
  bool Activated = true;  // SET-STATE accepted
  std::vector<TPortReport> Ports;
  std::vector<std::string> PluginErrors;   // the plug-in's level-0 log lines
  std::vector<std::string> SilentDevices;  // requested devices without a row
};

struct TReadVerdict {
  int Status = kReadRows;
  std::string Reason;              // one line when Status is not 0
  std::vector<std::string> Notes;  // lines for a run that read rows (silent devices, ports)
};

TReadVerdict JudgeRead(const TReadFacts& facts);

// Which requested devices gave a row. A device is named as in a request
// (primary address 0-250, identification number, "s" + decimal, or a
// 16-character secondary address with F for any digit; a comment in
// parentheses after it is ignored). A row answers a device by its DEVICE_ID
// (the identification number) or, for a primary address, by the address
// field of the reply frame in its FULL_DATA_PACKET.
class TDeviceTally {
 public:
  explicit TDeviceTally(const std::vector<std::string>& devices);
  void Note(const TReceivedData& row);
  // The requested devices no row answered, in request order.
  std::vector<std::string> Silent() const;

 private:
  struct TDevice {
    std::string Text;
    int Primary = -1;  // 0-255 for a primary address
    std::string Id;    // 8 digits (F: any) for an identification number
    bool Answered = false;
  };
  std::vector<TDevice> FDevices;
};

}  // namespace host
