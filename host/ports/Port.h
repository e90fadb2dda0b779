// The connections behind the host's data sources: the simulated segment
// ("sim"), a serial port ("serial:PORT[:BAUD]") and an M-Bus gateway over
// TCP ("tcp:HOST:PORT").
//
// Threads: a port is opened, read, and closed by its data source's reading
// thread; Write and SetBaudrate come from the plug-in's worker thread while
// a read may be waiting. Each implementation guards its connection itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/bus/Meters.h"

namespace host {

// A port that cannot be opened or whose connection dropped.
class EPortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPort {
 public:
  virtual ~TPort() = default;
  // The text the port was made from, e.g. "tcp:127.0.0.1:10001".
  virtual std::string Name() const = 0;
  // Opens (again after a drop); throws EPortError.
  virtual void Open() = 0;
  virtual void Close() = 0;
  // Writes every byte; throws EPortError when the connection is down.
  virtual void Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // The master's line speed (the plug-in's "<<PORT=baud>>").
  virtual void SetBaudrate(int baudrate) = 0;
  // Waits up to waitMs for bytes and returns what arrived (0 for none);
  // throws EPortError when the connection dropped.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) = 0;
  // Whether a dropped connection is worth opening again (gateways).
  virtual bool Reconnects() const { return false; }
};

struct TPortOptions {
  bool Timing = true;                               // sim: the segment's timing model
  int Baudrate = 2400;                              // serial and sim: the initial speed
  bus::MeterClock Clock = bus::SystemMeterClock();  // sim: the meters' clock
  int ConnectTimeoutMs = 3000;                      // tcp
  std::uint32_t FaultSeed = 0;                      // soak: 0 no faults, else their seed
};

// The port a text names ("sim", "soak:N", "serial:PORT[:BAUD]", "tcp:HOST:PORT"),
// not opened yet; throws EPortError for a text that names none.
std::unique_ptr<TPort> MakePort(const std::string& text, const TPortOptions& options = {});

std::unique_ptr<TPort> MakeSimPort(const TPortOptions& options);
// "soak:N": the soak meters of source N (bus::SoakMeters) on a segment of
// their own; with a fault seed, the bus's faults (SoakPort.cpp).
std::unique_ptr<TPort> MakeSoakPort(int source, const TPortOptions& options);
std::unique_ptr<TPort> MakeSerialPort(const std::string& device, int baudrate,
                                      const std::string& name);
std::unique_ptr<TPort> MakeTcpPort(const std::string& hostName, std::uint16_t port,
                                   int connectTimeoutMs, const std::string& name);

// A port whose line is a given segment (tests drive the segment).
std::unique_ptr<TPort> MakeSegmentPort(std::shared_ptr<bus::BusSegment> segment);

}  // namespace host
