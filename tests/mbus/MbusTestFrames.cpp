#include "MbusTestFrames.h"

namespace mbus_test {

std::vector<unsigned char> HexBytes(const std::string& hex) {
  std::vector<unsigned char> bytes(hex.size() / 2 + 1);
  bytes.resize(mbus_hex2bin(bytes.data(), bytes.size(),
                            reinterpret_cast<const unsigned char*>(hex.data()), hex.size()));
  return bytes;
}

std::vector<unsigned char> LongFrame(const std::vector<unsigned char>& body) {
  const auto length = static_cast<unsigned char>(body.size());
  std::vector<unsigned char> frame;
  frame.reserve(body.size() + 6);
  for (unsigned char b :
       {static_cast<unsigned char>(0x68), length, length, static_cast<unsigned char>(0x68)})
    frame.push_back(b);
  unsigned sum = 0;
  for (unsigned char b : body) {
    sum += b;
    frame.push_back(b);
  }
  frame.push_back(static_cast<unsigned char>(sum));
  frame.push_back(0x16);
  return frame;
}

std::vector<unsigned char> VariableReply(const std::string& records, const std::string& header) {
  return LongFrame(HexBytes("08 05 72 " + header + " " + records));
}

TFrameChain ParseChain(const std::vector<unsigned char>& bytes) {
  TFrameChain first;
  mbus_frame* last = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    TFrameChain frame(mbus_frame_new(MBUS_FRAME_TYPE_ANY));
    std::vector<unsigned char> rest(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
    if (!frame || mbus_parse(frame.get(), rest.data(), rest.size()) != 0) return nullptr;
    switch (frame->type) {
      case MBUS_FRAME_TYPE_ACK:
        pos += MBUS_FRAME_ACK_BASE_SIZE;
        break;
      case MBUS_FRAME_TYPE_SHORT:
        pos += MBUS_FRAME_SHORT_BASE_SIZE;
        break;
      default:
        pos += frame->data_size + MBUS_FRAME_LONG_BASE_SIZE;
    }
    mbus_frame* raw = frame.release();
    if (last)
      last->next = raw;
    else
      first.reset(raw);
    last = raw;
  }
  return first;
}

}  // namespace mbus_test
