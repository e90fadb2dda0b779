#include <charconv>

#include "host/ports/Port.h"
#include "platform/Serial.h"

namespace host {

namespace {

bool ParseInt(const std::string& text, long& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

std::unique_ptr<TPort> MakePort(const std::string& text, const TPortOptions& options) {
  if (text == "sim") return MakeSimPort(options);
  if (text.rfind("soak:", 0) == 0) {
    long source = 0;
    if (!ParseInt(text.substr(5), source) || source < 0 || source > 99)
      throw EPortError("\"" + text + "\" is not soak:N (N from 0 to 99)");
    return MakeSoakPort(static_cast<int>(source), options);
  }
  if (text.rfind("serial:", 0) == 0) {
    std::string device = text.substr(7);
    int baudrate = options.Baudrate;
    // A trailing ":digits" is the speed; a device path may hold ":" itself.
    const auto colon = device.rfind(':');
    long value = 0;
    if (colon != std::string::npos && ParseInt(device.substr(colon + 1), value)) {
      if (!plat::IsMbusBaudrate(static_cast<int>(value)))
        throw EPortError("\"" + text + "\": " + device.substr(colon + 1) +
                         " is not an M-Bus speed (300 to 38400)");
      baudrate = static_cast<int>(value);
      device.resize(colon);
    }
    if (device.empty()) throw EPortError("\"" + text + "\" names no serial port");
    return MakeSerialPort(device, baudrate, text);
  }
  if (text.rfind("tcp:", 0) == 0) {
    const std::string rest = text.substr(4);
    const auto colon = rest.rfind(':');
    long port = 0;
    if (colon == std::string::npos || colon == 0 || !ParseInt(rest.substr(colon + 1), port) ||
        port < 1 || port > 65535)
      throw EPortError("\"" + text + "\" is not tcp:HOST:PORT");
    return MakeTcpPort(rest.substr(0, colon), static_cast<std::uint16_t>(port),
                       options.ConnectTimeoutMs, text);
  }
  throw EPortError("unknown port \"" + text +
                   "\" (sim, soak:N, serial:PORT[:BAUD] or tcp:HOST:PORT)");
}

}  // namespace host
