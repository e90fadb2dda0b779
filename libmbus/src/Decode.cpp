// Splitting a byte stream into frames and writing the reply's XML.
#include "Decode.h"

#include <cstdlib>
#include <memory>

#include "Guard.h"
#include "Internal.h"
#include "Xml.h"

namespace mbus {
namespace {

struct ChainDeleter {
  void operator()(mbus_frame* frame) const { mbus_frame_free(frame); }
};
using FramePtr = std::unique_ptr<mbus_frame, ChainDeleter>;

size_t FrameLength(const mbus_frame& frame) {
  switch (frame.type) {
    case MBUS_FRAME_TYPE_ACK:
      return MBUS_FRAME_ACK_BASE_SIZE;
    case MBUS_FRAME_TYPE_SHORT:
      return MBUS_FRAME_SHORT_BASE_SIZE;
    default:
      return frame.data_size + MBUS_FRAME_LONG_BASE_SIZE;
  }
}

// Parses every frame of `bytes` into a chain linked through `next`.
FramePtr SplitFrames(const std::vector<unsigned char>& bytes) {
  FramePtr first;
  mbus_frame* last = nullptr;
  size_t pos = 0;
  while (pos < bytes.size()) {
    FramePtr frame(mbus_frame_new(MBUS_FRAME_TYPE_ANY));
    if (!frame) throw Error("out of memory");
    const int more = ParseFrame(*frame, bytes.data() + pos, bytes.size() - pos);
    if (more > 0) throw Error("incomplete frame: " + std::to_string(more) + " more bytes needed");
    pos += FrameLength(*frame);
    mbus_frame* raw = frame.release();
    if (last)
      last->next = raw;
    else
      first.reset(raw);
    last = raw;
  }
  if (!first) throw Error("no telegram in the input");
  return first;
}

}  // namespace

std::vector<unsigned char> HexTextBytes(const std::string& text) {
  std::vector<unsigned char> bytes(text.size() / 2 + 1);
  bytes.resize(HexToBin(bytes.data(), bytes.size(),
                        reinterpret_cast<const unsigned char*>(text.data()), text.size()));
  return bytes;
}

std::string DecodeTelegrams(const std::vector<unsigned char>& bytes, bool normalised) {
  const FramePtr frames = SplitFrames(bytes);
  return ReplyXml(*frames, normalised);
}

}  // namespace mbus
