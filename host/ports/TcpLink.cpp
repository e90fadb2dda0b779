// "tcp:HOST:PORT": an M-Bus gateway. Reads take short turns under the lock
// (the platform's stream serves one thread at a time); a read that finds
// the stream ended, or a failed write, drops the connection, and the data
// source opens it again.
#include <atomic>
#include <mutex>
#include <thread>

#include "host/ports/Port.h"
#include "platform/Socket.h"

namespace host {

namespace {

constexpr int kTurnMs = 10;

// Counts a writer that waits for the port, for the whole of its write.
struct TWriterTurn {
  explicit TWriterTurn(std::atomic<int>& writers) : Writers(writers) { ++Writers; }
  ~TWriterTurn() { --Writers; }
  std::atomic<int>& Writers;
};

class TTcpLink final : public TPort {
 public:
  TTcpLink(std::string hostName, std::uint16_t port, int timeoutMs, std::string name)
      : FHost(std::move(hostName)),
        FPortNumber(port),
        FTimeoutMs(timeoutMs),
        FName(std::move(name)) {}

  std::string Name() const override { return FName; }
  bool Reconnects() const override { return true; }

  void Open() override {
    std::unique_ptr<plat::TcpStream> stream;
    try {
      stream = plat::TcpStream::Connect(FHost, FPortNumber, FTimeoutMs);
    } catch (const plat::SocketError& e) {
      throw EPortError(FName + ": " + e.what());
    }
    std::lock_guard<std::mutex> lock(FLock);
    FStream = std::move(stream);
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(FLock);
    FStream.reset();
  }

  void Write(const std::uint8_t* bytes, std::size_t count) override {
    TWriterTurn turn(FWriters);
    std::lock_guard<std::mutex> lock(FLock);
    if (!FStream) throw EPortError(FName + " is not connected");
    try {
      FStream->Write(bytes, count);
    } catch (const plat::SocketError& e) {
      FStream->Shutdown();  // the reading thread sees the drop
      throw EPortError(FName + ": " + e.what());
    }
  }

  void SetBaudrate(int) override {}  // the gateway's line speed is its own

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) override {
    std::size_t got = 0;
    for (int waited = 0; got == 0 && waited < waitMs; waited += kTurnMs) {
      // A waiting writer goes first: the lock promises no order.
      while (FWriters.load() > 0) std::this_thread::yield();
      std::lock_guard<std::mutex> lock(FLock);
      if (!FStream) throw EPortError(FName + " is not connected");
      try {
        got = FStream->Read(buffer, capacity, kTurnMs);
      } catch (const plat::SocketError& e) {
        throw EPortError(FName + ": " + e.what());
      }
      if (got == 0 && FStream->PeerClosed()) throw EPortError(FName + ": connection closed");
    }
    return got;
  }

 private:
  const std::string FHost;
  const std::uint16_t FPortNumber;
  const int FTimeoutMs;
  const std::string FName;
  std::atomic<int> FWriters{0};  // writers waiting for or holding FLock
  std::mutex FLock;              // guards FStream
  std::unique_ptr<plat::TcpStream> FStream;
};

}  // namespace

std::unique_ptr<TPort> MakeTcpPort(const std::string& hostName, std::uint16_t port,
                                   int connectTimeoutMs, const std::string& name) {
  return std::make_unique<TTcpLink>(hostName, port, connectTimeoutMs, name);
}

}  // namespace host
