// "serial:PORT[:BAUD]": a serial port through the platform, 8E1. The
// platform's port serves one thread at a time, so reads take short turns
// under the lock and a write waits at most one turn.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "host/ports/Port.h"
#include "platform/Serial.h"

namespace host {

namespace {

constexpr int kTurnMs = 10;
constexpr std::size_t kChunk = 64;  // a piece of a reply still on the line

// Counts a writer that waits for the port, for the whole of its write.
struct TWriterTurn {
  explicit TWriterTurn(std::atomic<int>& writers) : Writers(writers) { ++Writers; }
  ~TWriterTurn() { --Writers; }
  std::atomic<int>& Writers;
};

class TSerialLink final : public TPort {
 public:
  TSerialLink(std::string device, int baudrate, std::string name)
      : FDevice(std::move(device)), FBaudrate(baudrate), FName(std::move(name)) {}

  std::string Name() const override { return FName; }

  void Open() override {
    std::lock_guard<std::mutex> lock(FLock);
    try {
      FPort = plat::SerialPort::Open(FDevice, FBaudrate);
    } catch (const plat::SerialError& e) {
      throw EPortError(FName + ": " + e.what());
    }
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(FLock);
    FPort.reset();
  }

  void Write(const std::uint8_t* bytes, std::size_t count) override {
    TWriterTurn turn(FWriters);
    std::lock_guard<std::mutex> lock(FLock);
    if (!FPort) throw EPortError(FName + " is closed");
    try {
      FPort->DiscardInput();  // a new request: what is left of an old reply is noise
      FPort->Write(bytes, count);
    } catch (const plat::SerialError& e) {
      throw EPortError(FName + ": " + e.what());
    }
  }

  void SetBaudrate(int baudrate) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (!plat::IsMbusBaudrate(baudrate)) return;
    FBaudrate = baudrate;
    try {
      if (FPort) FPort->SetBaudrate(baudrate);
    } catch (const plat::SerialError& e) {
      throw EPortError(FName + ": " + e.what());
    }
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) override {
    std::size_t got = 0;
    for (int waited = 0; got == 0 && waited < waitMs; waited += kTurnMs) {
      // A waiting writer goes first: the lock promises no order.
      while (FWriters.load() > 0) std::this_thread::yield();
      std::lock_guard<std::mutex> lock(FLock);
      if (!FPort) throw EPortError(FName + " is closed");
      try {
        got = FPort->Read(buffer, std::min(capacity, kChunk), kTurnMs);
      } catch (const plat::SerialError& e) {
        throw EPortError(FName + ": " + e.what());
      }
    }
    return got;
  }

 private:
  const std::string FDevice;
  std::atomic<int> FWriters{0};  // writers waiting for or holding FLock
  std::mutex FLock;              // guards FPort and FBaudrate
  std::unique_ptr<plat::SerialPort> FPort;
  int FBaudrate;
  const std::string FName;
};

}  // namespace

std::unique_ptr<TPort> MakeSerialPort(const std::string& device, int baudrate,
                                      const std::string& name) {
  return std::make_unique<TSerialLink>(device, baudrate, name);
}

}  // namespace host
