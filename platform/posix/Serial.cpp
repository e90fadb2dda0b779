// Serial ports on posix ttys: raw mode, 8E1, reads bounded by poll().
#include "platform/Serial.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

speed_t SpeedOf(int baudrate) {
  switch (baudrate) {
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    default:
      throw SerialError("unsupported baud rate " + std::to_string(baudrate));
  }
}

[[noreturn]] void Fail(const std::string& what) {
  throw SerialError(what + ": " + std::strerror(errno));
}

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { ::close(fd_); }

  void SetBaudrate(int baudrate) override {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) Fail("tcgetattr");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | PARENB;  // even parity
    tio.c_cflag &= ~(PARODD | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = SpeedOf(baudrate);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) Fail("tcsetattr");
  }

  void Write(const unsigned char* bytes, std::size_t count) override {
    while (count > 0) {
      const ssize_t n = ::write(fd_, bytes, count);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        WaitFor(POLLOUT, 1000);
        continue;
      }
      if (n <= 0) Fail("write");
      bytes += n;
      count -= static_cast<std::size_t>(n);
    }
  }

  std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) override {
    std::size_t got = 0;
    while (got < count) {
      if (!WaitFor(POLLIN, silence_ms)) break;
      const ssize_t n = ::read(fd_, buffer + got, count - got);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) Fail("read");
      if (n == 0) break;  // the other side of a pty went away
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  void DiscardInput() override { ::tcflush(fd_, TCIFLUSH); }

 private:
  // True when the descriptor became ready within timeout_ms.
  bool WaitFor(short events, int timeout_ms) {
    pollfd p{fd_, events, 0};
    for (;;) {
      const int r = ::poll(&p, 1, timeout_ms);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) Fail("poll");
      if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) throw SerialError("serial line failed");
      return r > 0;
    }
  }

  int fd_;
};

class PosixPseudoTerminal final : public PseudoTerminal {
 public:
  PosixPseudoTerminal(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixPseudoTerminal() override { ::close(fd_); }
  std::string DevicePath() const override { return path_; }

  void Write(const unsigned char* bytes, std::size_t count) override {
    while (count > 0) {
      const ssize_t n = ::write(fd_, bytes, count);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) Fail("write");
      bytes += n;
      count -= static_cast<std::size_t>(n);
    }
  }

  std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) override {
    std::size_t got = 0;
    while (got < count) {
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, silence_ms);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0 || !(p.revents & POLLIN)) break;  // silence, or the port side is closed
      const ssize_t n = ::read(fd_, buffer + got, count - got);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open() {
  const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  char* name = nullptr;
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || !(name = ::ptsname(fd))) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixPseudoTerminal>(fd, name);
}

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& device, int baudrate) {
  SpeedOf(baudrate);
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + device);
  auto port = std::make_unique<PosixSerialPort>(fd);
  port->SetBaudrate(baudrate);
  port->DiscardInput();
  return port;
}

}  // namespace plat
