// The three lines a handle can talk through: the caller's hooks, a serial
// port and a TCP connection to an M-Bus gateway.
#include <string>

#include "HandleState.h"
#include "platform/Serial.h"
#include "platform/Socket.h"

namespace mbus::io {
namespace {

constexpr int kConnectTimeoutMs = 5000;

// Every byte through the handle's hooks; a hook answering 0 failed.
class HookTransport final : public Transport {
 public:
  explicit HookTransport(mbus_handle* handle) : handle_(handle) {}

  void Open() override {
    if (!handle_->open_hook) throw LineError("no open hook installed");
    if (handle_->open_hook(handle_) == MBUS_HOOK_FAILED) throw LineError("open hook failed");
  }

  void Close() override {
    if (!handle_->close_hook) throw LineError("no close hook installed");
    if (handle_->close_hook(handle_) == MBUS_HOOK_FAILED) throw LineError("close hook failed");
  }

  void Send(const unsigned char* bytes, std::size_t count) override {
    if (!handle_->send_hook) throw LineError("no send hook installed");
    int sent = -1;
    if (handle_->send_hook(handle_, bytes, static_cast<int>(count), &sent) == MBUS_HOOK_FAILED)
      throw LineError("send hook failed");
    // A hook that reports nothing sent everything; a short count is a failure.
    if (sent >= 0 && static_cast<std::size_t>(sent) < count)
      throw LineError("send hook wrote " + std::to_string(sent) + " of " + std::to_string(count) +
                      " bytes");
  }

  std::size_t Receive(unsigned char* buffer, std::size_t count) override {
    if (!handle_->recv_hook) throw LineError("no receive hook installed");
    int received = -1;
    if (handle_->recv_hook(handle_, buffer, static_cast<int>(count), &received) == MBUS_HOOK_FAILED)
      throw LineError("receive hook failed");
    if (received <= 0) return 0;
    return static_cast<std::size_t>(received) < count ? static_cast<std::size_t>(received) : count;
  }

  void SetBaudrate(int baudrate) override {
    if (!handle_->baudrate_hook) throw LineError("no baud-rate hook installed");
    if (handle_->baudrate_hook(handle_, baudrate) == MBUS_HOOK_FAILED)
      throw LineError("baud-rate hook failed");
  }

 private:
  mbus_handle* handle_;
};

// Runs a platform call and turns its failure into a line failure.
template <class F>
auto OnLine(F&& call) {
  try {
    return call();
  } catch (const LineError&) {
    throw;
  } catch (const std::exception& e) {
    throw LineError(e.what());
  }
}

class SerialTransport final : public Transport {
 public:
  explicit SerialTransport(mbus_handle* handle) : handle_(handle) {}

  void Open() override {
    port_ =
        OnLine([&] { return plat::SerialPort::Open(State(handle_).device, handle_->baudrate); });
  }
  void Close() override { port_.reset(); }

  void Send(const unsigned char* bytes, std::size_t count) override {
    OnLine([&] {
      port_->DiscardInput();  // what is still arriving belongs to no request of ours
      port_->Write(bytes, count);
      return 0;
    });
  }

  std::size_t Receive(unsigned char* buffer, std::size_t count) override {
    return OnLine([&] { return port_->Read(buffer, count, handle_->timeout_ms); });
  }

  void SetBaudrate(int baudrate) override {
    OnLine([&] {
      port_->SetBaudrate(baudrate);
      return 0;
    });
    handle_->baudrate = baudrate;
  }

 private:
  mbus_handle* handle_;
  std::unique_ptr<plat::SerialPort> port_;
};

class TcpTransport final : public Transport {
 public:
  explicit TcpTransport(mbus_handle* handle) : handle_(handle) {}

  void Open() override {
    stream_ = OnLine([&] {
      return plat::TcpStream::Connect(State(handle_).device,
                                      static_cast<std::uint16_t>(handle_->port), kConnectTimeoutMs);
    });
  }
  void Close() override { stream_.reset(); }

  void Send(const unsigned char* bytes, std::size_t count) override {
    OnLine([&] {
      stream_->DiscardInput();
      stream_->Write(bytes, count);
      return 0;
    });
  }

  std::size_t Receive(unsigned char* buffer, std::size_t count) override {
    return OnLine([&] { return stream_->Read(buffer, count, handle_->timeout_ms); });
  }

  // The gateway's own line speed is configured on the gateway.
  void SetBaudrate(int baudrate) override { handle_->baudrate = baudrate; }

 private:
  mbus_handle* handle_;
  std::unique_ptr<plat::TcpStream> stream_;
};

}  // namespace

std::unique_ptr<Transport> MakeHookTransport(mbus_handle* handle) {
  return std::make_unique<HookTransport>(handle);
}

std::unique_ptr<Transport> MakeSerialTransport(mbus_handle* handle) {
  return std::make_unique<SerialTransport>(handle);
}

std::unique_ptr<Transport> MakeTcpTransport(mbus_handle* handle) {
  return std::make_unique<TcpTransport>(handle);
}

}  // namespace mbus::io
