// "soak:N": the soak meters of source N on a segment of their own (no
// timing model unless asked), and beside each meter on a primary address a
// second slave on the same address, silent until a collision is injected.
//
// With a fault seed the port injects the bus's faults from it, one every 4
// to 16 s, each reported (ReportFault) as it begins: a meter silent for 2 to
// 8 s, the next reply corrupted (a byte changed), the next reply longer than
// an ack truncated (its second half dropped), a collision on a meter's
// address for 1 to 4 s, and the connection dropped for 1 to 4 s (Read fails,
// Open fails until the time is up; the host reports PORT-CLOSE and, once it
// reopens, PORT-OPEN). Each fault also reports its end with its effect
// (ReportFaultEnd).
//
// Threads: the reading thread calls Open, Read and Close; the plug-in's
// worker calls Write and SetBaudrate. FLock guards the fault state; the
// segment guards itself and never calls back, so FLock may enclose its lock.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "host/SoakFaults.h"
#include "host/ports/Port.h"

namespace host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 64;
constexpr int kIdlePauseMs = 2;
constexpr std::uint32_t kGhostId = 0x99000000;  // the colliding slaves' numbers

class TSoakPort final : public TPort {
 public:
  TSoakPort(int source, const TPortOptions& options)
      : FName("soak:" + std::to_string(source)),
        FSegment(
            std::make_shared<bus::BusSegment>(bus::BusTiming{options.Timing, options.Baudrate})),
        FRandom(options.FaultSeed),
        FFaults(options.FaultSeed != 0) {
    for (const bus::MeterSpec& m : bus::SoakMeters(source)) {
      FSegment->AddSlave(bus::MeterSlave(m, options.Clock));
      FMeters.push_back(m);
    }
    // The ghosts come after the meters: slave index meters + k.
    for (const bus::MeterSpec& m : FMeters) {
      if (m.primary < 0) continue;
      bus::MeterSpec ghost = m;
      ghost.id = kGhostId | (m.id & 0xFFFF);
      bus::SlaveConfig config = bus::MeterSlave(ghost, options.Clock);
      config.silent = true;
      FSegment->AddSlave(std::move(config));
      FGhostOf.push_back(static_cast<int>(&m - FMeters.data()));
    }
    FNextFault = Clock::now() + std::chrono::milliseconds(FRandom.Between(4000, 16000));
  }

  std::string Name() const override { return FName; }
  bool Reconnects() const override { return FFaults; }

  void Open() override {
    std::lock_guard<std::mutex> lock(FLock);
    if (Clock::now() < FDownUntil) throw EPortError("soak: the connection is down");
  }
  void Close() override { FSegment->DiscardInput(); }
  void Write(const std::uint8_t* bytes, std::size_t count) override {
    FSegment->Write(bytes, count);
  }
  void SetBaudrate(int baudrate) override { FSegment->SetLineBaudrate(baudrate); }

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) override {
    if (FFaults) Tick();
    std::size_t got =
        FSegment->Read(buffer, std::min(capacity, kChunk), std::chrono::milliseconds(waitMs));
    if (got == 0) {
      if (waitMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(waitMs, kIdlePauseMs)));
      return 0;
    }
    if (FFaults) got = Damage(buffer, got);
    return got;
  }

 private:
  enum TKind { kSilent, kCorrupt, kTruncate, kCollision, kDrop, kKinds };

  std::string Where(int meter) const {
    char id[16];
    std::snprintf(id, sizeof id, "%08X", FMeters[static_cast<std::size_t>(meter)].id);
    return FName + " meter " + id;
  }

  // What a slave did so far, from which a fault's effect is counted.
  struct TSlaveCounts {
    int Withheld = 0;
    int Answers = 0;
  };

  // Sets a slave silent or not; gives its counts up to then.
  TSlaveCounts SetSilent(std::size_t slave, bool silent) {
    std::size_t index = 0;
    TSlaveCounts counts;
    FSegment->ForEachSlave([&](bus::VirtualSlave& s) {
      if (index++ != slave) return;
      counts = {s.Withheld(), s.Answers()};
      s.SetSilent(silent);
    });
    return counts;
  }

  // Ends the faults whose time is up and begins the next one when due.
  void Tick() {
    std::lock_guard<std::mutex> lock(FLock);
    const auto now = Clock::now();
    if (FSilentSlave >= 0 && now >= FSilentUntil) {
      const int withheld = SetSilent(static_cast<std::size_t>(FSilentSlave), false).Withheld;
      ReportFaultEnd("silent", Where(FSilentSlave), withheld - FEffectFrom);
      FSilentSlave = -1;
    }
    if (FGhost >= 0 && now >= FGhostUntil) {
      const int answers =
          SetSilent(FMeters.size() + static_cast<std::size_t>(FGhost), true).Answers;
      ReportFaultEnd("collision", Where(FGhostOf[static_cast<std::size_t>(FGhost)]),
                     answers - FGhostEffectFrom);
      FGhost = -1;
    }
    if (FDownPending) {
      FDownPending = false;
      ReportFaultEnd("drop", FName, 1);
      throw EPortError("soak: the connection dropped");
    }
    if (now < FNextFault) return;
    FNextFault = now + std::chrono::milliseconds(FRandom.Between(4000, 16000));
    Begin(static_cast<TKind>(FRandom.Between(0, kKinds - 1)), now);
  }

  void Begin(TKind kind, Clock::time_point now) {
    const int meter =
        static_cast<int>(FRandom.Between(0, static_cast<std::uint32_t>(FMeters.size() - 1)));
    switch (kind) {
      // A ghost never answers alone: a collision needs its twin answering
      // too (a lone ghost would be another meter at that address, with
      // rows and time points of its own).
      case kSilent: {
        if (FSilentSlave >= 0 ||
            (FGhost >= 0 && FGhostOf[static_cast<std::size_t>(FGhost)] == meter))
          return;
        const std::uint32_t ms = FRandom.Between(2000, 8000);
        FSilentSlave = meter;
        FSilentUntil = now + std::chrono::milliseconds(ms);
        FEffectFrom = SetSilent(static_cast<std::size_t>(meter), true).Withheld;
        ReportFault("silent", Where(meter), ms);
        break;
      }
      case kCorrupt:
        FCorruptNext = true;
        ReportFault("corrupt", FName, 0);
        break;
      case kTruncate:
        FTruncateNext = true;
        ReportFault("truncate", FName, 0);
        break;
      case kCollision: {
        if (FGhost >= 0) return;
        const auto ghost =
            static_cast<int>(FRandom.Between(0, static_cast<std::uint32_t>(FGhostOf.size() - 1)));
        if (FGhostOf[static_cast<std::size_t>(ghost)] == FSilentSlave) return;
        const std::uint32_t ms = FRandom.Between(1000, 4000);
        FGhost = ghost;
        FGhostUntil = now + std::chrono::milliseconds(ms);
        FGhostEffectFrom =
            SetSilent(FMeters.size() + static_cast<std::size_t>(ghost), false).Answers;
        ReportFault("collision", Where(FGhostOf[static_cast<std::size_t>(ghost)]), ms);
        break;
      }
      default: {
        const std::uint32_t ms = FRandom.Between(1000, 4000);
        FDownUntil = now + std::chrono::milliseconds(ms);
        FDownPending = true;
        ReportFault("drop", FName, ms);
        break;
      }
    }
  }

  // The injected damage to a reply's bytes.
  std::size_t Damage(std::uint8_t* buffer, std::size_t got) {
    std::lock_guard<std::mutex> lock(FLock);
    if (FCorruptNext) {
      FCorruptNext = false;
      buffer[got / 2] ^= 0x5A;
      ReportFaultEnd("corrupt", FName, 1);
    } else if (FTruncateNext && got > 1) {  // a single ack has no second half
      FTruncateNext = false;
      FSegment->DiscardInput();
      ReportFaultEnd("truncate", FName, 1);
      return got / 2;
    }
    return got;
  }

  const std::string FName;
  std::shared_ptr<bus::BusSegment> FSegment;
  std::vector<bus::MeterSpec> FMeters;
  std::vector<int> FGhostOf;  // the meter each ghost shares its address with

  std::mutex FLock;  // guards the fault state below
  TFaultRandom FRandom;
  const bool FFaults;
  Clock::time_point FNextFault;
  int FSilentSlave = -1;
  Clock::time_point FSilentUntil;
  int FEffectFrom = 0;  // the silent slave's withheld replies when it fell silent
  int FGhost = -1;
  Clock::time_point FGhostUntil;
  int FGhostEffectFrom = 0;  // the ghost's answers when the collision began
  Clock::time_point FDownUntil;
  bool FDownPending = false;
  bool FCorruptNext = false;
  bool FTruncateNext = false;
};

}  // namespace

std::unique_ptr<TPort> MakeSoakPort(int source, const TPortOptions& options) {
  return std::make_unique<TSoakPort>(source, options);
}

}  // namespace host
