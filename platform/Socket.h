// TCP client connections (an M-Bus gateway) and, for tests, a loopback
// listener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace plat {

struct SocketError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One connected stream. Used by one thread at a time; the destructor closes it.
class TcpStream {
 public:
  // Connects to host:port, giving up after timeout_ms; throws SocketError.
  static std::unique_ptr<TcpStream> Connect(const std::string& host, std::uint16_t port,
                                            int timeout_ms);
  virtual ~TcpStream() = default;

  // Writes every byte or throws SocketError.
  virtual void Write(const unsigned char* bytes, std::size_t count) = 0;
  // Waits until `count` bytes are read or `silence_ms` pass without a new
  // byte; returns how many were read (fewer also when the peer closed).
  virtual std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) = 0;
  // Drops whatever was received and not read yet.
  virtual void DiscardInput() = 0;
  // Ends the stream; a blocked Read of another thread returns.
  virtual void Shutdown() = 0;
  // True once a Read found the stream ended by the peer (or by Shutdown).
  virtual bool PeerClosed() const = 0;
};

// A listening socket on 127.0.0.1 with a port the system picks.
class TcpListener {
 public:
  static std::unique_ptr<TcpListener> OpenLoopback();
  virtual ~TcpListener() = default;
  virtual std::uint16_t Port() const = 0;
  // Waits up to timeout_ms for one client; null when none came.
  virtual std::unique_ptr<TcpStream> Accept(int timeout_ms) = 0;
};

}  // namespace plat
