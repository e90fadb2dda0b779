// Link-layer frames over the line.
#include "Link.h"

#include <cstring>

#include "../Internal.h"

namespace mbus::io {
namespace {

// The longest frame: 0x68 L L 0x68, 255 bytes from C on, checksum, stop.
constexpr std::size_t kMaxFrameBytes = 4 + 255 + 2;

void Notify(mbus_traffic_cb event, mbus_handle* handle, const unsigned char* bytes,
            std::size_t count) {
  if (event && count > 0)
    event(static_cast<unsigned char>(handle->io_mode), reinterpret_cast<const char*>(bytes), count);
}

// Reads `count` more bytes into buffer + have; how many arrived.
std::size_t ReadMore(mbus_handle* handle, unsigned char* buffer, std::size_t have,
                     std::size_t count) {
  const std::size_t got = Line(handle).Receive(buffer + have, count);
  Notify(handle->recv_event, handle, buffer + have, got);
  return got;
}

// 0 when the bytes form a whole frame, n > 0 when n more are needed, -1 when
// they are no frame.
int TryParse(mbus_frame& frame, const unsigned char* bytes, std::size_t size) {
  try {
    return ParseFrame(frame, bytes, size);
  } catch (const Error&) {
    return -1;
  }
}

}  // namespace

void CheckAddress(int address) {
  if (address < 0 || address > 255) throw Error("invalid address " + std::to_string(address));
}

void SendFrame(mbus_handle* handle, mbus_frame& frame) {
  unsigned char bytes[kMaxFrameBytes];
  const std::size_t size = PackFrame(frame, bytes, sizeof bytes);
  Line(handle).Send(bytes, size);
  Notify(handle->send_event, handle, bytes, size);
}

void SendShortFrame(mbus_handle* handle, unsigned char control, int address) {
  CheckAddress(address);
  mbus_frame frame;
  InitFrame(frame, MBUS_FRAME_TYPE_SHORT);
  frame.control = control;
  frame.address = static_cast<unsigned char>(address);
  FillLengthAndChecksum(frame);
  SendFrame(handle, frame);
}

void SendLongFrame(mbus_handle* handle, unsigned char control, int address, unsigned char ci,
                   const unsigned char* data, std::size_t size) {
  CheckAddress(address);
  if (size > MBUS_FRAME_DATA_LENGTH) throw Error("user data too long");
  if (size > 0 && !data) throw Error("no user data");
  mbus_frame frame;
  InitFrame(frame, MBUS_FRAME_TYPE_LONG);
  frame.control = control;
  frame.address = static_cast<unsigned char>(address);
  frame.control_information = ci;
  if (size > 0) std::memcpy(frame.data, data, size);
  frame.data_size = size;
  FillLengthAndChecksum(frame);
  SendFrame(handle, frame);
}

int ReceiveFrame(mbus_handle* handle, mbus_frame& frame) {
  unsigned char bytes[kMaxFrameBytes];
  std::size_t have = 0;
  std::size_t need = 1;  // the start byte tells what follows
  mbus_frame parsed;
  InitFrame(parsed, MBUS_FRAME_TYPE_ANY);
  for (;;) {
    if (have + need > sizeof bytes) return MBUS_RECV_RESULT_INVALID;
    const std::size_t got = ReadMore(handle, bytes, have, need);
    have += got;
    if (got < need) return have == 0 ? MBUS_RECV_RESULT_TIMEOUT : MBUS_RECV_RESULT_INVALID;
    const int more = TryParse(parsed, bytes, have);
    if (more < 0) return MBUS_RECV_RESULT_INVALID;
    if (more == 0) break;
    need = static_cast<std::size_t>(more);
  }
  parsed.next = frame.next;
  frame = parsed;
  return MBUS_RECV_RESULT_OK;
}

bool PurgeLine(mbus_handle* handle) {
  unsigned char bytes[kMaxFrameBytes];
  return ReadMore(handle, bytes, 0, sizeof bytes) > 0;
}

void SendPing(mbus_handle* handle, int address) {
  SendShortFrame(handle, MBUS_CONTROL_MASK_SND_NKE, address);
  mbus_handle_state& state = State(handle);
  if (address >= MBUS_ADDRESS_BROADCAST_REPLY)
    state.fcb.ResetAll();
  else
    state.fcb.Reset(FcbKey(handle, address));
}

int RequestData(mbus_handle* handle, int address, mbus_frame& reply) {
  mbus_handle_state& state = State(handle);
  const std::string key = FcbKey(handle, address);
  // A primary slave whose link is unknown is reset first, so that it takes
  // the request as a new one and does not repeat a telegram made for an
  // earlier, failed read. The network layer address is reset by selecting,
  // and broadcasts would reset every slave.
  const bool resettable = mbus_is_primary_address(address) != 0;
  const int tries = 1 + (handle->max_data_retry > 0 ? handle->max_data_retry : 0);
  int result = MBUS_RECV_RESULT_TIMEOUT;
  for (int i = 0; i < tries && result == MBUS_RECV_RESULT_TIMEOUT; ++i) {
    if (resettable && !state.fcb.Known(key)) {
      SendPing(handle, address);
      result = ReceiveAck(handle);
      if (result != MBUS_RECV_RESULT_OK) {
        state.fcb.Forget(key);
        continue;
      }
    }
    const unsigned char control = static_cast<unsigned char>(
        MBUS_CONTROL_MASK_REQ_UD2 | (state.fcb.Next(key) ? MBUS_CONTROL_MASK_FCB : 0));
    SendShortFrame(handle, control, address);
    result = ReceiveFrame(handle, reply);
  }
  if (result == MBUS_RECV_RESULT_OK)
    state.fcb.Advance(key);
  else if (resettable)
    state.fcb.Forget(key);
  return result;
}

int ReceiveAck(mbus_handle* handle) {
  mbus_frame reply;
  reply.next = nullptr;
  const int result = ReceiveFrame(handle, reply);
  if (result != MBUS_RECV_RESULT_OK) return result;
  return reply.type == MBUS_FRAME_TYPE_ACK ? 0 : MBUS_RECV_RESULT_INVALID;
}

}  // namespace mbus::io
