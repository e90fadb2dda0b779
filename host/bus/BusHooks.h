// Connects a libmbus handle to a simulated segment through the handle's
// hooks, the way the plug-in's worker does: the send hook drops what is
// still unread and writes the frame; the receive hook waits until it holds
// the bytes it was asked for or the line stayed silent for `silence`.
//
// Threads: the hooks run in the thread that calls libmbus with the handle;
// Cancel may be set from any thread and makes every hook fail.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <vector>

#include "host/bus/Segment.h"
#include "mbus/mbus.h"

namespace bus {

class BusHooks {
 public:
  explicit BusHooks(BusSegment& segment,
                    std::chrono::milliseconds silence = std::chrono::milliseconds(1500));

  // Writes user pointer, io mode 2 and the five hooks into the handle.
  void Install(mbus_handle* handle);

  // Receive calls take the bytes from the segment in pieces of at most this
  // many (0: as many as asked), as a port hands them over bit by bit.
  void SetPieceSize(std::size_t bytes) { piece_ = bytes; }
  // Fails the hooks after this many more send calls (-1: never).
  void FailSendsAfter(int calls) { sends_left_ = calls; }

  std::atomic<bool> cancel{false};

  // What the library asked of the line (owner thread only).
  std::vector<int> asked;  // capacity of every receive call
  int short_reads = 0;     // receive calls that ended on silence
  int sends = 0, opens = 0, closes = 0;
  std::vector<int> baudrates;  // every baud-rate hook call

 private:
  static BusHooks& Of(mbus_handle* handle);
  static int MBUS_CALL Open(mbus_handle* handle);
  static int MBUS_CALL Close(mbus_handle* handle);
  static int MBUS_CALL Send(mbus_handle* handle, const unsigned char* bytes, int length, int* sent);
  static int MBUS_CALL Receive(mbus_handle* handle, unsigned char* buffer, int capacity,
                               int* received);
  static int MBUS_CALL Baudrate(mbus_handle* handle, int baudrate);

  std::size_t Collect(unsigned char* buffer, std::size_t capacity);

  BusSegment& segment_;
  std::chrono::milliseconds silence_;
  std::size_t piece_ = 0;
  int sends_left_ = -1;
};

}  // namespace bus
