// The ports: which text makes which port, a TCP gateway that drops the
// connection, a serial port through a pseudo terminal, and the simulated
// segment port.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/ports/Port.h"
#include "platform/Serial.h"
#include "platform/Socket.h"

namespace {

using host::EPortError;
using host::MakePort;

std::string ReadSome(host::TPort& port, std::size_t want) {
  std::string got;
  std::uint8_t buffer[256];
  for (int i = 0; i < 200 && got.size() < want; ++i) {
    const std::size_t n = port.Read(buffer, sizeof buffer, 20);
    got.append(reinterpret_cast<const char*>(buffer), n);
  }
  return got;
}

TEST(PortText, NamesThePort) {
  EXPECT_EQ(MakePort("sim")->Name(), "sim");
  EXPECT_EQ(MakePort("tcp:127.0.0.1:10001")->Name(), "tcp:127.0.0.1:10001");
  EXPECT_TRUE(MakePort("tcp:gateway.example:10001")->Reconnects());
  EXPECT_EQ(MakePort("serial:/dev/ttyUSB0")->Name(), "serial:/dev/ttyUSB0");
  EXPECT_EQ(MakePort("serial:COM3:9600")->Name(), "serial:COM3:9600");
  EXPECT_FALSE(MakePort("serial:COM3")->Reconnects());
  EXPECT_EQ(MakePort("soak:7")->Name(), "soak:7");
  EXPECT_FALSE(MakePort("soak:7")->Reconnects());  // without faults it never drops
  host::TPortOptions faults;
  faults.FaultSeed = 5;
  EXPECT_TRUE(MakePort("soak:99", faults)->Reconnects());
}

TEST(PortText, RefusesTextsThatNameNoPort) {
  for (const char* bad : {"", "simulator", "serial:", "serial::2400", "serial:COM3:1000",
                          "tcp:", "tcp:host", "tcp::10001", "tcp:host:0", "tcp:host:70000",
                          "tcp:host:port", "udp:host:1", "soak:", "soak:100", "soak:-1", "soak:x"})
    EXPECT_THROW(MakePort(bad), EPortError) << bad;
}

TEST(SimPort, TheDefaultMetersAnswer) {
  host::TPortOptions options;
  options.Timing = false;
  auto port = MakePort("sim", options);
  port->Open();
  const std::uint8_t nke[] = {0x10, 0x40, 0x01, 0x41, 0x16};  // SND_NKE to primary 1
  port->Write(nke, sizeof nke);
  EXPECT_EQ(ReadSome(*port, 1), "\xE5");
  port->Close();
}

TEST(SimPort, LongRepliesArriveInPieces) {
  auto port = MakePort("sim");  // the line's timing on, 2400 baud
  port->Open();
  const std::uint8_t request[] = {0x10, 0x7B, 0x01, 0x7C, 0x16};  // REQ_UD2 to the heat meter
  port->Write(request, sizeof request);
  std::uint8_t buffer[512];
  const std::size_t first = port->Read(buffer, sizeof buffer, 2000);
  EXPECT_GT(first, 0u);
  EXPECT_LE(first, 64u);
  ASSERT_EQ(buffer[0], 0x68);
  const std::size_t total = buffer[1] + 6u;
  std::size_t got = first;
  for (int i = 0; i < 100 && got < total; ++i) got += port->Read(buffer, sizeof buffer, 200);
  EXPECT_EQ(got, total);
  port->Close();
}

// A gateway on the loopback that answers one frame, then hangs up.
TEST(TcpPort, ADroppedGatewayIsAnErrorAndReconnects) {
  auto listener = plat::TcpListener::OpenLoopback();
  ASSERT_NE(listener, nullptr);
  auto port = MakePort("tcp:127.0.0.1:" + std::to_string(listener->Port()));
  std::thread gateway([&] {
    for (int round = 0; round < 2; ++round) {
      auto client = listener->Accept(5000);
      if (!client) return;
      unsigned char frame[5];
      if (client->Read(frame, 5, 2000) != 5) return;
      const unsigned char ack = 0xE5;
      client->Write(&ack, 1);
      if (round == 1) client->Read(frame, 5, 2000);  // stay until the port leaves
    }
  });
  port->Open();
  const std::uint8_t nke[] = {0x10, 0x40, 0x01, 0x41, 0x16};
  port->Write(nke, sizeof nke);
  EXPECT_EQ(ReadSome(*port, 1), "\xE5");
  std::uint8_t buffer[16];
  bool dropped = false;
  for (int i = 0; i < 200 && !dropped; ++i) {
    try {
      port->Read(buffer, sizeof buffer, 20);
    } catch (const EPortError&) {
      dropped = true;
    }
  }
  EXPECT_TRUE(dropped);
  port->Close();
  EXPECT_THROW(port->Write(nke, sizeof nke), EPortError);
  port->Open();  // the gateway takes the second connection
  port->Write(nke, sizeof nke);
  EXPECT_EQ(ReadSome(*port, 1), "\xE5");
  port->Close();
  gateway.join();
}

TEST(TcpPort, NoGatewayMeansNoConnection) {
  auto listener = plat::TcpListener::OpenLoopback();
  ASSERT_NE(listener, nullptr);
  const std::uint16_t number = listener->Port();
  listener.reset();  // nobody listens there now
  auto port = MakePort("tcp:127.0.0.1:" + std::to_string(number));
  EXPECT_THROW(port->Open(), EPortError);
}

TEST(SerialPort, BytesCrossAPseudoTerminal) {
  auto pty = plat::PseudoTerminal::Open();
  if (!pty) GTEST_SKIP() << "no pseudo terminals on this system";
  auto port = MakePort("serial:" + pty->DevicePath() + ":2400");
  port->Open();
  const std::uint8_t nke[] = {0x10, 0x40, 0x01, 0x41, 0x16};
  port->Write(nke, sizeof nke);
  unsigned char seen[5] = {};
  ASSERT_EQ(pty->Read(seen, 5, 2000), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(seen), 5),
            std::string(reinterpret_cast<const char*>(nke), 5));
  const unsigned char ack = 0xE5;
  pty->Write(&ack, 1);
  EXPECT_EQ(ReadSome(*port, 1), "\xE5");
  port->SetBaudrate(9600);  // a speed switch keeps the port usable
  port->Write(nke, sizeof nke);
  EXPECT_EQ(pty->Read(seen, 5, 2000), 5u);
  port->Close();
  EXPECT_THROW(port->Write(nke, sizeof nke), EPortError);
}

}  // namespace
