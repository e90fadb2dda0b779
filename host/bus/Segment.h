// A simulated M-Bus segment: the master's line with its virtual slaves.
//
// The master writes frames (Write) and reads the slaves' bytes (Read blocks
// like a serial port with a silence time-out; TakeAvailable polls). When
// several slaves answer one frame their bytes overlap and arrive garbled, as
// on a real bus. With the timing model on, every byte arrives when it would
// on a line of the current speed (11 bits per byte, 8E1) after the slave's
// reply delay; with it off, replies are there at once and a read that asks
// for more than will come returns without waiting.
//
// Threads: every member may be called from any thread; one mutex guards all
// state (slaves included), and Read waits on a condition of it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "host/bus/Telegrams.h"
#include "host/bus/VirtualSlave.h"

namespace bus {

struct BusTiming {
  bool enabled = true;
  int baudrate = 2400;  // the line's speed until the master switches it
};

// What crossed the line, counted by the kind of master frame.
struct BusStats {
  int frames = 0;           // every master frame
  int pings = 0;            // SND_NKE
  int requests = 0;         // REQ_UD2
  int selections = 0;       // SND_UD with CI 0x52
  int collisions = 0;       // frames that several slaves answered at once
  int invalid = 0;          // bytes from the master that formed no frame
  double wire_seconds = 0;  // modelled line time of all frames and replies
};

class BusSegment {
 public:
  using Clock = std::chrono::steady_clock;

  explicit BusSegment(BusTiming timing = {});

  // Adds a slave; the reference stays valid for the segment's life.
  VirtualSlave& AddSlave(SlaveConfig config);
  std::size_t SlaveCount() const;
  // Calls f(VirtualSlave&) under the lock for inspection by tests.
  template <class F>
  void ForEachSlave(F&& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& s : slaves_) f(*s);
  }

  // Also sets the speed of every slave that has none of its own.
  void SetTiming(BusTiming timing);
  // The master's side switched speed (after a baud-rate switch).
  void SetLineBaudrate(int baudrate);
  int LineBaudrate() const;

  // The master transmits; whole frames are answered, a partial frame waits
  // for the rest.
  void Write(const std::uint8_t* bytes, std::size_t count);
  // Waits until `count` bytes are read or `silence` passes without a new
  // byte; returns how many were read.
  std::size_t Read(std::uint8_t* buffer, std::size_t count, std::chrono::milliseconds silence);
  // Every byte that has arrived by now.
  Bytes TakeAvailable();
  // Drops what the master has not read yet (arrived or still under way).
  void DiscardInput();
  // Bytes under way or unread.
  bool Pending() const;

  BusStats Stats() const;
  void ResetStats();

 private:
  struct TimedByte {
    Clock::time_point due;
    std::uint8_t value;
  };

  void HandleFrame(const MasterFrame& frame, std::size_t wire_bytes);
  void Schedule(const Bytes& reply, double delay_ms, std::size_t master_bytes);
  double ByteSeconds() const;
  std::size_t TakeDue(std::uint8_t* out, std::size_t count, Clock::time_point now);

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  BusTiming timing_;
  int line_baudrate_;
  std::vector<std::unique_ptr<VirtualSlave>> slaves_;
  Bytes from_master_;
  std::deque<TimedByte> to_master_;
  Clock::time_point line_free_;
  BusStats stats_;
};

// The bytes several slaves send at once, as the master receives them: where
// replies overlap the bytes are garbled, beyond the shortest the longer
// replies stay as they are.
Bytes Overlay(const std::vector<Bytes>& replies);

}  // namespace bus
