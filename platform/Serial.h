// Serial ports: open a device for M-Bus (8 data bits, even parity, one stop
// bit), write bytes, and read with a silence time-out.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

namespace plat {

struct SerialError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One open port. Used by one thread at a time; the destructor closes it.
class SerialPort {
 public:
  // Opens `device` ("COM3" on Windows, "/dev/ttyUSB0" on posix) at `baudrate`
  // (300 to 38400); throws SerialError.
  static std::unique_ptr<SerialPort> Open(const std::string& device, int baudrate);
  virtual ~SerialPort() = default;

  virtual void SetBaudrate(int baudrate) = 0;
  // Writes every byte or throws SerialError.
  virtual void Write(const unsigned char* bytes, std::size_t count) = 0;
  // Waits until `count` bytes are read or `silence_ms` pass without a new
  // byte; returns how many were read. Throws SerialError on a line failure.
  virtual std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) = 0;
  // Drops whatever was received and not read yet.
  virtual void DiscardInput() = 0;
};

// The other end of a pseudo terminal, for tests of serial code: a device
// path that SerialPort::Open accepts, and the bytes on the far side of it.
// Used by one thread at a time.
class PseudoTerminal {
 public:
  // Null where the system has none (Windows).
  static std::unique_ptr<PseudoTerminal> Open();
  virtual ~PseudoTerminal() = default;
  virtual std::string DevicePath() const = 0;
  virtual void Write(const unsigned char* bytes, std::size_t count) = 0;
  // As SerialPort::Read.
  virtual std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) = 0;
};

// True for the speeds an M-Bus line uses.
inline bool IsMbusBaudrate(int baudrate) {
  switch (baudrate) {
    case 300:
    case 600:
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 38400:
      return true;
    default:
      return false;
  }
}

}  // namespace plat
