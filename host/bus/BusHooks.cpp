#include "host/bus/BusHooks.h"

#include <algorithm>

namespace bus {

BusHooks::BusHooks(BusSegment& segment, std::chrono::milliseconds silence)
    : segment_(segment), silence_(silence) {}

void BusHooks::Install(mbus_handle* handle) {
  handle->auxdata = this;
  handle->io_mode = MBUS_IO_HOOKS;
  handle->open_hook = &Open;
  handle->close_hook = &Close;
  handle->send_hook = &Send;
  handle->recv_hook = &Receive;
  handle->baudrate_hook = &Baudrate;
}

BusHooks& BusHooks::Of(mbus_handle* handle) {
  return *static_cast<BusHooks*>(handle->auxdata);
}

int BusHooks::Open(mbus_handle* handle) {
  BusHooks& self = Of(handle);
  ++self.opens;
  handle->fd = 1;
  return self.cancel ? MBUS_HOOK_FAILED : MBUS_HOOK_OK;
}

int BusHooks::Close(mbus_handle* handle) {
  ++Of(handle).closes;
  handle->fd = -1;
  return MBUS_HOOK_OK;
}

int BusHooks::Send(mbus_handle* handle, const unsigned char* bytes, int length, int* sent) {
  *sent = -1;
  BusHooks& self = Of(handle);
  ++self.sends;
  if (self.sends_left_ == 0) self.cancel = true;
  if (self.sends_left_ > 0) --self.sends_left_;
  if (self.cancel) return MBUS_HOOK_FAILED;
  try {
    self.segment_.DiscardInput();
    self.segment_.Write(bytes, static_cast<std::size_t>(length));
  } catch (...) {
    return MBUS_HOOK_FAILED;
  }
  *sent = length;
  return MBUS_HOOK_OK;
}

int BusHooks::Receive(mbus_handle* handle, unsigned char* buffer, int capacity, int* received) {
  *received = -1;
  BusHooks& self = Of(handle);
  if (self.cancel || capacity < 0) return MBUS_HOOK_FAILED;
  self.asked.push_back(capacity);
  try {
    const std::size_t got = self.Collect(buffer, static_cast<std::size_t>(capacity));
    if (self.cancel) return MBUS_HOOK_FAILED;
    if (got < static_cast<std::size_t>(capacity)) ++self.short_reads;
    *received = static_cast<int>(got);
  } catch (...) {
    return MBUS_HOOK_FAILED;
  }
  return MBUS_HOOK_OK;
}

// Gathers the asked bytes piece by piece; one silence ends the wait.
std::size_t BusHooks::Collect(unsigned char* buffer, std::size_t capacity) {
  std::size_t got = 0;
  while (got < capacity && !cancel) {
    const std::size_t want = piece_ ? std::min(piece_, capacity - got) : capacity - got;
    const std::size_t n = segment_.Read(buffer + got, want, silence_);
    got += n;
    if (n < want) break;
  }
  return got;
}

int BusHooks::Baudrate(mbus_handle* handle, int baudrate) {
  BusHooks& self = Of(handle);
  if (self.cancel) return MBUS_HOOK_FAILED;
  self.baudrates.push_back(baudrate);
  self.segment_.SetLineBaudrate(baudrate);
  return MBUS_HOOK_OK;
}

}  // namespace bus
