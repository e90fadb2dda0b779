// The bytes a line delivers, fed through the receive hook: frames, purges,
// multi-telegram reads and a short scan must end cleanly on any input.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mbus/mbus.h"

namespace {

struct Line {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at;
};

int MBUS_CALL Send(mbus_handle*, const unsigned char*, int length, int* sent) {
  *sent = length;
  return MBUS_HOOK_OK;
}

int MBUS_CALL Receive(mbus_handle* handle, unsigned char* buffer, int capacity, int* received) {
  Line& line = *static_cast<Line*>(handle->auxdata);
  if (line.at >= line.size) return MBUS_HOOK_FAILED;  // ends the scan like a cancel
  std::size_t n = line.size - line.at;
  if (n > static_cast<std::size_t>(capacity)) n = static_cast<std::size_t>(capacity);
  std::memcpy(buffer, line.data + line.at, n);
  line.at += n;
  *received = static_cast<int>(n);
  return MBUS_HOOK_OK;
}

int MBUS_CALL Open(mbus_handle*) {
  return MBUS_HOOK_OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Line line{data, size, 0};
  mbus_handle* handle = mbus_context_serial("COM1");
  handle->auxdata = &line;
  handle->io_mode = MBUS_IO_HOOKS;
  handle->send_hook = &Send;
  handle->recv_hook = &Receive;
  handle->open_hook = &Open;
  handle->close_hook = &Open;
  handle->max_search_retry = 0;
  mbus_connect(handle);
  mbus_frame* frame = mbus_frame_new(MBUS_FRAME_TYPE_ANY);
  for (int i = 0; i < 4 && line.at < size; ++i) mbus_recv_frame(handle, frame);
  if (mbus_sendrecv_request(handle, 1, frame, 8) == 0) mbus_frame_free(frame->next);
  frame->next = nullptr;
  mbus_purge_frames(handle);
  line.at = 0;
  mbus_scan_2nd_address_range(handle, 0, "12345678FFFFFFFF");
  mbus_frame_free(frame);
  mbus_context_free(handle);
  return 0;
}
