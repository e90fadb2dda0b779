// TCP streams and the loopback listener on Winsock.
#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>

namespace plat {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw SocketError(what + " (error " + std::to_string(::WSAGetLastError()) + ")");
}

// Winsock is started once per process and left running.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw SocketError("Winsock could not be started");
}

bool WaitFor(SOCKET s, bool write, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int r = ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv);
  if (r == SOCKET_ERROR) Fail("select");
  return r > 0;
}

void SetBlocking(SOCKET s, bool blocking) {
  u_long mode = blocking ? 0 : 1;
  ::ioctlsocket(s, FIONBIO, &mode);
}

class WinTcpStream final : public TcpStream {
 public:
  explicit WinTcpStream(SOCKET s) : s_(s) {}
  ~WinTcpStream() override { ::closesocket(s_); }

  void Write(const unsigned char* bytes, std::size_t count) override {
    while (count > 0) {
      const int n = ::send(s_, reinterpret_cast<const char*>(bytes), static_cast<int>(count), 0);
      if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        WaitFor(s_, true, 1000);
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
      if (!WaitFor(s_, false, silence_ms)) break;
      const int n =
          ::recv(s_, reinterpret_cast<char*>(buffer + got), static_cast<int>(count - got), 0);
      if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
      if (n == SOCKET_ERROR) Fail("recv");
      if (n == 0) {
        closed_ = true;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  void DiscardInput() override {
    char scratch[256];
    while (WaitFor(s_, false, 0)) {
      if (::recv(s_, scratch, sizeof scratch, 0) <= 0) break;
    }
  }

  void Shutdown() override { ::shutdown(s_, SD_BOTH); }
  bool PeerClosed() const override { return closed_; }

 private:
  SOCKET s_;
  std::atomic<bool> closed_{false};  // a read met the end of the stream
};

SOCKET ConnectOne(const addrinfo& ai, int timeout_ms) {
  SOCKET s = ::socket(ai.ai_family, ai.ai_socktype, ai.ai_protocol);
  if (s == INVALID_SOCKET) return s;
  SetBlocking(s, false);
  int r = ::connect(s, ai.ai_addr, static_cast<int>(ai.ai_addrlen));
  if (r != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK && WaitFor(s, true, timeout_ms)) {
    int err = 0;
    int len = sizeof err;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
    r = err == 0 ? 0 : -1;
  }
  if (r != 0) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return s;
}

class WinTcpListener final : public TcpListener {
 public:
  WinTcpListener(SOCKET s, std::uint16_t port) : s_(s), port_(port) {}
  ~WinTcpListener() override { ::closesocket(s_); }
  std::uint16_t Port() const override { return port_; }

  std::unique_ptr<TcpStream> Accept(int timeout_ms) override {
    if (!WaitFor(s_, false, timeout_ms)) return nullptr;
    SOCKET c = ::accept(s_, nullptr, nullptr);
    if (c == INVALID_SOCKET) Fail("accept");
    SetBlocking(c, false);
    return std::make_unique<WinTcpStream>(c);
  }

 private:
  SOCKET s_;
  std::uint16_t port_;
};

}  // namespace

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, std::uint16_t port,
                                              int timeout_ms) {
  StartWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list)
    throw SocketError("cannot resolve " + host);
  SOCKET s = INVALID_SOCKET;
  for (addrinfo* ai = list; ai && s == INVALID_SOCKET; ai = ai->ai_next)
    s = ConnectOne(*ai, timeout_ms);
  ::freeaddrinfo(list);
  if (s == INVALID_SOCKET) throw SocketError("cannot connect to " + host + ":" + service);
  return std::make_unique<WinTcpStream>(s);
}

std::unique_ptr<TcpListener> TcpListener::OpenLoopback() {
  StartWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Fail("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 4) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::closesocket(s);
    Fail("listen");
  }
  return std::make_unique<WinTcpListener>(s, ntohs(addr.sin_port));
}

}  // namespace plat
