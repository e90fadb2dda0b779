// Selection by secondary address, probing, and reading one slave.
#include "Selection.h"

#include <cstring>

#include "../Internal.h"
#include "Link.h"

namespace mbus::io {

void CheckMask(const char* mask) {
  if (!mbus_is_secondary_address(mask)) throw Error("invalid secondary address mask");
}

int Select(mbus_handle* handle, const std::string& mask) {
  mbus_frame frame;
  if (mbus_frame_select_secondary_pack(&frame, const_cast<char*>(mask.c_str())) != 0)
    throw Error("invalid secondary address mask");
  const int tries = 1 + (handle->max_search_retry > 0 ? handle->max_search_retry : 0);
  int result = MBUS_RECV_RESULT_TIMEOUT;
  for (int i = 0; i < tries && result == MBUS_RECV_RESULT_TIMEOUT; ++i) {
    SendFrame(handle, frame);
    result = ReceiveAck(handle);
  }
  if (result == MBUS_RECV_RESULT_TIMEOUT) return MBUS_PROBE_NOTHING;
  if (result != 0) return MBUS_PROBE_COLLISION;
  // Optionally make sure no second acknowledgement trails the first.
  if (handle->purge_first_frame && PurgeLine(handle)) return MBUS_PROBE_COLLISION;
  // A freshly selected slave takes the next request as a new one.
  State(handle).selected = mask;
  State(handle).fcb.Reset(FcbKey(handle, MBUS_ADDRESS_NETWORK_LAYER));
  return MBUS_PROBE_SINGLE;
}

int Probe(mbus_handle* handle, const std::string& mask, mbus_frame& reply, std::string& address) {
  const int selected = Select(handle, mask);
  if (selected != MBUS_PROBE_SINGLE) return selected;
  InitFrame(reply, MBUS_FRAME_TYPE_ANY);
  const int result = RequestData(handle, MBUS_ADDRESS_NETWORK_LAYER, reply);
  if (result == MBUS_RECV_RESULT_TIMEOUT) return MBUS_PROBE_NOTHING;
  if (result != MBUS_RECV_RESULT_OK) return MBUS_PROBE_COLLISION;
  // A reply without a secondary address (an acknowledgement that came late,
  // a fixed-structure telegram) does not name the selected slave: the line
  // is cleared and the mask counts as a collision, so the search narrows it
  // instead of giving up the whole scan.
  char text[32] = {};
  // No handle: a missing address is expected here and must not become the
  // handle's error text, which names the groups the scan cannot resolve.
  if (!mbus_frame_get_secondary_address(nullptr, &reply, text)) {
    PurgeLine(handle);
    return MBUS_PROBE_COLLISION;
  }
  address = text;
  return MBUS_PROBE_SINGLE;
}

}  // namespace mbus::io

using namespace mbus;
using namespace mbus::io;

extern "C" {

int mbus_send_select_frame(mbus_handle* handle, const char* secondary_addr_str) {
  return Guarded(handle, -1, [&] {
    CheckMask(secondary_addr_str);
    mbus_frame frame;
    mbus_frame_select_secondary_pack(&frame, const_cast<char*>(secondary_addr_str));
    SendFrame(handle, frame);
    return 0;
  });
}

int mbus_select_secondary_address(mbus_handle* handle, const char* mask) {
  return Guarded(handle, MBUS_PROBE_ERROR, [&] {
    CheckMask(mask);
    const int result = Select(handle, mask);
    if (result == MBUS_PROBE_NOTHING) mbus_error_str_set_ex(handle, "no slave matches the mask");
    if (result == MBUS_PROBE_COLLISION)
      mbus_error_str_set_ex(handle, "the mask matches more than one slave");
    return result;
  });
}

int mbus_probe_secondary_address(mbus_handle* handle, const char* mask, char* matching_addr) {
  return Guarded(handle, MBUS_PROBE_ERROR, [&] {
    CheckMask(mask);
    if (!matching_addr) throw Error("no buffer for the matching address");
    mbus_frame reply;
    std::string address;
    const int result = Probe(handle, mask, reply, address);
    if (result == MBUS_PROBE_SINGLE)
      std::memcpy(matching_addr, address.c_str(), address.size() + 1);
    return result;
  });
}

int mbus_read_slave(mbus_handle* handle, mbus_address* address, mbus_frame* reply) {
  return Guarded(handle, -1, [&] {
    if (!address || !reply) throw Error("no address or reply frame");
    int primary = address->primary;
    if (!address->is_primary) {
      CheckMask(address->secondary);
      const int selected = Select(handle, address->secondary);
      if (selected == MBUS_PROBE_NOTHING) throw Error("no slave matches the secondary address");
      if (selected == MBUS_PROBE_COLLISION)
        throw Error("the secondary address matches more than one slave");
      primary = MBUS_ADDRESS_NETWORK_LAYER;
    }
    const int result = RequestData(handle, primary, *reply);
    if (result == MBUS_RECV_RESULT_TIMEOUT) throw Error("no reply from the slave");
    if (result != MBUS_RECV_RESULT_OK) throw Error("invalid reply from the slave");
    return 0;
  });
}

}  // extern "C"
