// Exports of the primary-address conversations: frames in and out, ping,
// data requests (multi-telegram replies included) and the SND_UD commands.
#include <cstring>

#include "../Internal.h"
#include "Link.h"

namespace mbus::io {
namespace {

unsigned char BaudrateCode(long baudrate) {
  static const long kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400};
  for (unsigned i = 0; i < 8; ++i)
    if (kRates[i] == baudrate)
      return static_cast<unsigned char>(MBUS_CONTROL_INFO_SET_BAUDRATE_300 + i);
  throw Error("invalid baud rate " + std::to_string(baudrate));
}

// Whether a reply announces more records in a following telegram. A reply
// that does not parse ends the chain; its reason is not the handle's error.
bool MoreRecordsFollow(mbus_handle* handle, mbus_frame& frame) {
  mbus_frame_data data;
  std::memset(&data, 0, sizeof data);
  const std::string error = State(handle).error;
  const int parsed = mbus_frame_data_parse(handle, &frame, &data);
  State(handle).error = error;
  if (parsed != 0) return false;
  const bool more = data.type == MBUS_DATA_TYPE_VARIABLE && data.data_var.more_records_follow;
  if (data.data_var.record) mbus_data_record_free(data.data_var.record);
  return more;
}

// Fills reply and, while the slave has more, the frames chained behind it.
void RequestChain(mbus_handle* handle, int address, mbus_frame& reply, int max_frames) {
  mbus_frame* current = &reply;
  for (int n = 1;; ++n) {
    const int result = RequestData(handle, address, *current);
    if (result != MBUS_RECV_RESULT_OK)
      throw Error(result == MBUS_RECV_RESULT_TIMEOUT ? "no reply from the slave"
                                                     : "invalid reply from the slave");
    if (n >= max_frames || current->type != MBUS_FRAME_TYPE_LONG ||
        !MoreRecordsFollow(handle, *current))
      return;
    mbus_frame* next = mbus_frame_new(MBUS_FRAME_TYPE_LONG);
    if (!next) throw Error("out of memory");
    current->next = next;
    current = next;
  }
}

void ExpectAck(mbus_handle* handle, const char* what) {
  const int result = ReceiveAck(handle);
  if (result == MBUS_RECV_RESULT_TIMEOUT) throw Error(std::string("no acknowledgement of ") + what);
  if (result != 0) throw Error(std::string("invalid acknowledgement of ") + what);
}

}  // namespace
}  // namespace mbus::io

using namespace mbus;
using namespace mbus::io;

extern "C" {

int mbus_send_frame(mbus_handle* handle, mbus_frame* frame) {
  return Guarded(handle, -1, [&] {
    if (!frame) throw Error("no frame");
    SendFrame(handle, *frame);
    return 0;
  });
}

int mbus_recv_frame(mbus_handle* handle, mbus_frame* frame) {
  return Guarded(handle, MBUS_RECV_RESULT_ERROR, [&] {
    if (!frame) throw Error("no frame");
    const int result = ReceiveFrame(handle, *frame);
    if (result == MBUS_RECV_RESULT_TIMEOUT) mbus_error_str_set_ex(handle, "no reply (time-out)");
    if (result == MBUS_RECV_RESULT_INVALID)
      mbus_error_str_set_ex(handle, "invalid reply (bad frame or collision)");
    return result;
  });
}

int mbus_purge_frames(mbus_handle* handle) {
  return Guarded(handle, -1, [&] { return PurgeLine(handle) ? 1 : 0; });
}

int mbus_send_ping_frame(mbus_handle* handle, int address, char purge_response) {
  return Guarded(handle, -1, [&] {
    SendPing(handle, address);
    // The acknowledgement is read as a frame, so an answering slave costs no
    // silence wait; whatever else arrives is dropped before the next send.
    if (purge_response) {
      mbus_frame reply{};
      ReceiveFrame(handle, reply);
    }
    return 0;
  });
}

int mbus_send_request_frame(mbus_handle* handle, int address) {
  return Guarded(handle, -1, [&] {
    mbus_handle_state& state = State(handle);
    const std::string key = FcbKey(handle, address);
    const bool fcb = state.fcb.Next(key);
    SendShortFrame(handle, MBUS_CONTROL_MASK_REQ_UD2 | (fcb ? MBUS_CONTROL_MASK_FCB : 0), address);
    state.fcb.Advance(key);
    return 0;
  });
}

int mbus_sendrecv_request(mbus_handle* handle, int address, mbus_frame* reply, int max_frames) {
  return Guarded(handle, -1, [&] {
    if (!reply) throw Error("no reply frame");
    if (max_frames < 1) throw Error("max_frames must be at least 1");
    reply->next = nullptr;
    try {
      RequestChain(handle, address, *reply, max_frames);
    } catch (...) {
      mbus_frame_free(reply->next);  // a failed read hands back no partial chain
      reply->next = nullptr;
      throw;
    }
    return 0;
  });
}

int mbus_send_user_data_frame(mbus_handle* handle, int address, const unsigned char* data,
                              size_t data_size) {
  return Guarded(handle, -1, [&] {
    SendLongFrame(handle, MBUS_CONTROL_MASK_SND_UD, address, MBUS_CONTROL_INFO_DATA_SEND, data,
                  data_size);
    return 0;
  });
}

int mbus_send_application_reset_frame(mbus_handle* handle, int address, int subcode) {
  return Guarded(handle, -1, [&] {
    if (subcode > 0xFF) throw Error("invalid application reset subcode");
    const unsigned char code = static_cast<unsigned char>(subcode);
    SendLongFrame(handle, MBUS_CONTROL_MASK_SND_UD, address, MBUS_CONTROL_INFO_APPLICATION_RESET,
                  &code, subcode < 0 ? 0 : 1);
    return 0;
  });
}

int mbus_send_switch_baudrate_frame(mbus_handle* handle, int address, long baudrate) {
  return Guarded(handle, -1, [&] {
    const unsigned char ci = BaudrateCode(baudrate);
    SendLongFrame(handle, MBUS_CONTROL_MASK_SND_UD, address, ci, nullptr, 0);
    ExpectAck(handle, "the baud-rate switch");
    Line(handle).SetBaudrate(static_cast<int>(baudrate));
    return 0;
  });
}

int mbus_set_primary_address(mbus_handle* handle, int old_address, int new_address) {
  return Guarded(handle, -1, [&] {
    if (!mbus_is_primary_address(new_address)) throw Error("invalid new primary address");
    if (old_address == MBUS_ADDRESS_BROADCAST_NOREPLY ||
        old_address == MBUS_ADDRESS_BROADCAST_REPLY)
      throw Error("a broadcast would give every slave the same address");
    // DIF 01 (8-bit integer), VIF 7A (bus address).
    const unsigned char data[] = {0x01, 0x7A, static_cast<unsigned char>(new_address)};
    SendLongFrame(handle, MBUS_CONTROL_MASK_SND_UD, old_address, MBUS_CONTROL_INFO_DATA_SEND, data,
                  sizeof data);
    ExpectAck(handle, "the new address");
    return 0;
  });
}

}  // extern "C"
