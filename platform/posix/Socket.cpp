// TCP streams and the loopback listener on BSD sockets.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace plat {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw SocketError(what + ": " + std::strerror(errno));
}

// True when fd became ready for `events` within timeout_ms.
bool WaitFor(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) Fail("poll");
    return r > 0;
  }
}

class PosixTcpStream final : public TcpStream {
 public:
  explicit PosixTcpStream(int fd) : fd_(fd) {}
  ~PosixTcpStream() override { ::close(fd_); }

  void Write(const unsigned char* bytes, std::size_t count) override {
    while (count > 0) {
      const ssize_t n = ::send(fd_, bytes, count, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        WaitFor(fd_, POLLOUT, 1000);
        continue;
      }
      if (n <= 0) Fail("send");
      bytes += n;
      count -= static_cast<std::size_t>(n);
    }
  }

  std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) override {
    std::size_t got = 0;
    while (got < count) {
      if (!WaitFor(fd_, POLLIN, silence_ms)) break;
      const ssize_t n = ::recv(fd_, buffer + got, count - got, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) Fail("recv");
      if (n == 0) {
        closed_ = true;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  void DiscardInput() override {
    unsigned char scratch[256];
    while (WaitFor(fd_, POLLIN, 0)) {
      const ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
      if (n <= 0) break;
    }
  }

  void Shutdown() override { ::shutdown(fd_, SHUT_RDWR); }
  bool PeerClosed() const override { return closed_; }

 private:
  int fd_;
  std::atomic<bool> closed_{false};  // a read met the end of the stream
};

void SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

// Connects one resolved address within timeout_ms; -1 when it fails.
int ConnectOne(const addrinfo& ai, int timeout_ms) {
  const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC, ai.ai_protocol);
  if (fd < 0) return -1;
  SetBlocking(fd, false);
  int r = ::connect(fd, ai.ai_addr, ai.ai_addrlen);
  if (r != 0 && errno == EINPROGRESS && WaitFor(fd, POLLOUT, timeout_ms)) {
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    r = err == 0 ? 0 : -1;
  }
  if (r != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

class PosixTcpListener final : public TcpListener {
 public:
  PosixTcpListener(int fd, std::uint16_t port) : fd_(fd), port_(port) {}
  ~PosixTcpListener() override { ::close(fd_); }
  std::uint16_t Port() const override { return port_; }

  std::unique_ptr<TcpStream> Accept(int timeout_ms) override {
    if (!WaitFor(fd_, POLLIN, timeout_ms)) return nullptr;
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) Fail("accept");
    SetBlocking(fd, false);
    return std::make_unique<PosixTcpStream>(fd);
  }

 private:
  int fd_;
  std::uint16_t port_;
};

}  // namespace

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, std::uint16_t port,
                                              int timeout_ms) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list)
    throw SocketError("cannot resolve " + host);
  int fd = -1;
  for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) fd = ConnectOne(*ai, timeout_ms);
  ::freeaddrinfo(list);
  if (fd < 0) throw SocketError("cannot connect to " + host + ":" + service);
  return std::make_unique<PosixTcpStream>(fd);
}

std::unique_ptr<TcpListener> TcpListener::OpenLoopback() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    Fail("listen");
  }
  return std::make_unique<PosixTcpListener>(fd, ntohs(addr.sin_port));
}

}  // namespace plat
