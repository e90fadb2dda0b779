// Primary and secondary addresses: validity, the secondary address of a
// reply and the selection frame for a mask.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "Guard.h"
#include "Internal.h"

namespace mbus {
namespace {

bool IsSecondaryMask(const char* text) {
  if (!text || std::strlen(text) != 16) return false;
  for (int i = 0; i < 16; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

unsigned char Nibble(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
  return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
}

unsigned char HexByte(const char* two) {
  return static_cast<unsigned char>(Nibble(two[0]) << 4 | Nibble(two[1]));
}

bool HasVariableHeader(const mbus_frame& frame) {
  const unsigned ci = frame.control_information;
  return frame.type == MBUS_FRAME_TYPE_LONG &&
         (ci == MBUS_CONTROL_INFO_RESP_VARIABLE || ci == MBUS_CONTROL_INFO_RESP_VARIABLE_MSB) &&
         frame.data_size >= sizeof(mbus_data_variable_header);
}

// Selection data: identification (BCD, least significant byte first),
// manufacturer (16-bit, low byte first), version, medium.
void PackSelection(mbus_frame& frame, const char* mask) {
  InitFrame(frame, MBUS_FRAME_TYPE_LONG);
  frame.control = MBUS_CONTROL_MASK_SND_UD;
  frame.address = MBUS_ADDRESS_NETWORK_LAYER;
  frame.control_information = MBUS_CONTROL_INFO_SELECT_SLAVE;
  for (size_t i = 0; i < 4; ++i) frame.data[3 - i] = HexByte(mask + 2 * i);
  frame.data[5] = HexByte(mask + 8);
  frame.data[4] = HexByte(mask + 10);
  frame.data[6] = HexByte(mask + 12);
  frame.data[7] = HexByte(mask + 14);
  frame.data_size = 8;
  FillLengthAndChecksum(frame);
}

}  // namespace
}  // namespace mbus

using namespace mbus;

extern "C" {

int mbus_is_primary_address(int value) {
  return value >= 0 && value <= 250 ? 1 : 0;
}

int mbus_is_secondary_address(const char* value) {
  return IsSecondaryMask(value) ? 1 : 0;
}

int mbus_frame_select_secondary_pack(mbus_frame* frame, char* address) {
  return Guarded(nullptr, -1, [&] {
    if (!frame) throw Error("no frame");
    if (!IsSecondaryMask(address)) throw Error("invalid secondary address mask");
    PackSelection(*frame, address);
    return 0;
  });
}

char* mbus_frame_get_secondary_address(mbus_handle* handle, mbus_frame* frame, char* buffer) {
  return Guarded(handle, static_cast<char*>(nullptr), [&]() -> char* {
    if (!frame || !buffer) throw Error("no frame or buffer");
    if (!HasVariableHeader(*frame)) throw Error("frame has no variable-structure header");
    const unsigned char* d = frame->data;
    std::snprintf(buffer, 17, "%02X%02X%02X%02X%02X%02X%02X%02X", d[3], d[2], d[1], d[0], d[5],
                  d[4], d[6], d[7]);
    return buffer;
  });
}

}  // extern "C"
