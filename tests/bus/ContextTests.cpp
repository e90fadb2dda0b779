// The library's own lines without hooks: the TCP context against a local
// listener that plays an M-Bus gateway, and (where the system has pseudo
// terminals) the serial context against a simulated segment behind a pty.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "BusFixture.h"
#include "platform/Serial.h"
#include "platform/Socket.h"

namespace bustest {
namespace {

using Clock = std::chrono::steady_clock;

// Moves bytes between a line end and a segment until stopped or 10 s pass.
class Bridge {
 public:
  using ReadFn = std::function<std::size_t(unsigned char*, std::size_t)>;
  using WriteFn = std::function<void(const unsigned char*, std::size_t)>;

  explicit Bridge(bus::BusSegment& segment) : segment_(segment) {}
  ~Bridge() { Stop(); }

  void Start(std::function<bool(ReadFn&, WriteFn&)> open) {
    thread_ = std::thread([this, open] {
      try {
        ReadFn read;
        WriteFn write;
        if (open(read, write)) Pump(read, write);
      } catch (...) {
        failed_ = true;  // the test's exchange then fails visibly
      }
    });
  }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  bool Failed() const { return failed_; }

 private:
  void Pump(ReadFn& read, WriteFn& write) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    unsigned char buffer[300];
    while (!stop_ && Clock::now() < end) {
      const std::size_t n = read(buffer, sizeof buffer);
      if (n > 0) segment_.Write(buffer, n);
      const bus::Bytes out = segment_.TakeAvailable();
      if (!out.empty()) write(out.data(), out.size());
    }
  }

  bus::BusSegment& segment_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> failed_{false};
};

class OwnLine : public ::testing::Test {
 protected:
  OwnLine() : segment(bus::BusTiming{false, 2400}), bridge(segment) {
    segment.AddSlave(Meter(5, Address(0x12345678)));
    segment.AddSlave(Meter(-1, Address(0x87654321)));
  }

  // A read, a silent address and a selection over the handle's own line.
  void Converse(mbus_handle* handle) {
    handle->timeout_ms = 200;  // silence that ends a read on this fast line
    handle->max_data_retry = 0;
    auto frame = NewFrame();
    ASSERT_EQ(mbus_sendrecv_request(handle, 5, frame.get(), 16), 0) << mbus_error_str(handle);
    EXPECT_EQ(SecondaryOf(frame.get()), "123456782C2D0107");
    ASSERT_EQ(mbus_send_request_frame(handle, 6), 0);
    EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -3);
    EXPECT_EQ(mbus_select_secondary_address(handle, "87654321FFFFFFFF"), 1);
    EXPECT_FALSE(bridge.Failed());
  }

  bus::BusSegment segment;
  Bridge bridge;
};

TEST_F(OwnLine, TcpContextTalksToAGateway) {
  auto listener = plat::TcpListener::OpenLoopback();
  ASSERT_NE(listener, nullptr);
  std::shared_ptr<plat::TcpStream> peer;
  bridge.Start([&](Bridge::ReadFn& read, Bridge::WriteFn& write) {
    peer = listener->Accept(5000);
    if (!peer) return false;
    read = [&](unsigned char* b, std::size_t n) { return peer->Read(b, n, 5); };
    write = [&](const unsigned char* b, std::size_t n) { peer->Write(b, n); };
    return true;
  });
  mbus_handle* handle = mbus_context_tcp("127.0.0.1", listener->Port());
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(mbus_connect(handle), 0) << mbus_error_str(handle);
  Converse(handle);
  EXPECT_EQ(mbus_disconnect(handle), 0);
  mbus_context_free(handle);
  bridge.Stop();
}

TEST_F(OwnLine, TcpContextReportsARefusedConnection) {
  std::uint16_t port = 0;
  {
    auto listener = plat::TcpListener::OpenLoopback();
    port = listener->Port();
  }  // closed again: nobody listens there now
  mbus_handle* handle = mbus_context_tcp("127.0.0.1", port);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(mbus_connect(handle), -1);
  EXPECT_NE(mbus_error_str(handle), nullptr);
  EXPECT_EQ(mbus_context_tcp(nullptr, 1), nullptr);
  mbus_context_free(handle);
}

TEST_F(OwnLine, SerialContextTalksThroughAPseudoTerminal) {
  auto pty = plat::PseudoTerminal::Open();
  if (!pty) GTEST_SKIP() << "no pseudo terminals on this system";
  mbus_handle* handle = mbus_context_serial(pty->DevicePath().c_str());
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(mbus_connect(handle), 0) << mbus_error_str(handle);
  bridge.Start([&](Bridge::ReadFn& read, Bridge::WriteFn& write) {
    read = [&](unsigned char* b, std::size_t n) { return pty->Read(b, n, 5); };
    write = [&](const unsigned char* b, std::size_t n) { pty->Write(b, n); };
    return true;
  });
  Converse(handle);
  EXPECT_EQ(mbus_send_switch_baudrate_frame(handle, 5, 9600), 0);
  EXPECT_EQ(handle->baudrate, 9600);
  bridge.Stop();
  EXPECT_EQ(mbus_disconnect(handle), 0);
  mbus_context_free(handle);
}

TEST(OwnLineErrors, SerialContextRefusesAMissingDeviceOrSpeed) {
  mbus_handle* handle = mbus_context_serial("/nonexistent/ttyX");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(mbus_connect(handle), -1);
  handle->baudrate = 1234;
  EXPECT_EQ(mbus_connect(handle), -1);
  mbus_context_free(handle);
}

}  // namespace
}  // namespace bustest
