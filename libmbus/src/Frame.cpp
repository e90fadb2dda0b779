// Link-layer frames: creation, checksums, parsing from bytes, packing into
// bytes and consistency checks.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "Guard.h"
#include "Internal.h"

namespace mbus {
namespace {

unsigned char Sum(const unsigned char* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<unsigned char>(sum);
}

void Require(bool condition, const char* reason) {
  if (!condition) throw Error(reason);
}

int ParseShort(mbus_frame& frame, const unsigned char* data, size_t size) {
  if (size < MBUS_FRAME_SHORT_BASE_SIZE) return static_cast<int>(MBUS_FRAME_SHORT_BASE_SIZE - size);
  Require(data[4] == MBUS_FRAME_STOP, "invalid frame: no stop byte");
  Require(Sum(data + 1, 2) == data[3], "invalid frame: checksum mismatch");
  frame.start1 = data[0];
  frame.control = data[1];
  frame.address = data[2];
  frame.checksum = data[3];
  frame.stop = data[4];
  frame.type = MBUS_FRAME_TYPE_SHORT;
  return 0;
}

// Header: 68 L L 68; the length counts C, A, CI and the user data.
int ParseLong(mbus_frame& frame, const unsigned char* data, size_t size) {
  if (size < 4) return static_cast<int>(4 - size);
  Require(data[1] == data[2], "invalid frame: length fields differ");
  Require(data[3] == MBUS_FRAME_CONTROL_START, "invalid frame: second start byte");
  Require(data[1] >= 3, "invalid frame: length below 3");
  const size_t total = data[1] + 6u;
  if (size < total) return static_cast<int>(total - size);
  const size_t length = data[1];
  Require(Sum(data + 4, length) == data[4 + length], "invalid frame: checksum mismatch");
  Require(data[5 + length] == MBUS_FRAME_STOP, "invalid frame: no stop byte");
  frame.start1 = data[0];
  frame.length1 = data[1];
  frame.length2 = data[2];
  frame.start2 = data[3];
  frame.control = data[4];
  frame.address = data[5];
  frame.control_information = data[6];
  frame.data_size = length - 3;
  std::memcpy(frame.data, data + 7, frame.data_size);
  frame.checksum = data[4 + length];
  frame.stop = data[5 + length];
  frame.type = length == 3 ? MBUS_FRAME_TYPE_CONTROL : MBUS_FRAME_TYPE_LONG;
  return 0;
}

}  // namespace

unsigned char FrameChecksum(const mbus_frame& frame) {
  switch (frame.type) {
    case MBUS_FRAME_TYPE_SHORT:
      return static_cast<unsigned char>(frame.control + frame.address);
    case MBUS_FRAME_TYPE_CONTROL:
    case MBUS_FRAME_TYPE_LONG:
      return static_cast<unsigned char>(frame.control + frame.address + frame.control_information +
                                        Sum(frame.data, frame.data_size));
    default:
      throw Error("frame has no checksum");
  }
}

int ParseFrame(mbus_frame& frame, const unsigned char* data, size_t size) {
  if (size == 0) return 1;
  switch (data[0]) {
    case MBUS_FRAME_ACK_START:
      frame.start1 = data[0];
      frame.type = MBUS_FRAME_TYPE_ACK;
      return 0;
    case MBUS_FRAME_SHORT_START:
      return ParseShort(frame, data, size);
    case MBUS_FRAME_CONTROL_START:
      return ParseLong(frame, data, size);
    default:
      throw Error("invalid frame: unknown start byte");
  }
}

void VerifyFrame(const mbus_frame& frame) {
  switch (frame.type) {
    case MBUS_FRAME_TYPE_ACK:
      Require(frame.start1 == MBUS_FRAME_ACK_START, "acknowledgement: wrong start byte");
      return;
    case MBUS_FRAME_TYPE_SHORT:
      Require(frame.start1 == MBUS_FRAME_SHORT_START, "short frame: wrong start byte");
      break;
    case MBUS_FRAME_TYPE_CONTROL:
    case MBUS_FRAME_TYPE_LONG:
      Require(frame.start1 == MBUS_FRAME_CONTROL_START && frame.start2 == MBUS_FRAME_CONTROL_START,
              "long frame: wrong start bytes");
      Require(frame.data_size <= MBUS_FRAME_DATA_LENGTH, "long frame: too much data");
      Require(frame.length1 == frame.length2 && frame.length1 == frame.data_size + 3,
              "long frame: wrong length fields");
      Require((frame.type == MBUS_FRAME_TYPE_CONTROL) == (frame.data_size == 0),
              "frame kind does not match its data size");
      break;
    default:
      throw Error("unknown frame type");
  }
  Require(frame.stop == MBUS_FRAME_STOP, "frame: wrong stop byte");
  Require(frame.checksum == FrameChecksum(frame), "frame: checksum mismatch");
}

// Writes the frame with freshly computed length and checksum.
size_t PackFrame(mbus_frame& frame, unsigned char* out, size_t capacity) {
  if (frame.type == MBUS_FRAME_TYPE_ACK) {
    Require(capacity >= 1, "buffer too small for the frame");
    out[0] = MBUS_FRAME_ACK_START;
    return 1;
  }
  FillLengthAndChecksum(frame);
  if (frame.type == MBUS_FRAME_TYPE_SHORT) {
    Require(capacity >= MBUS_FRAME_SHORT_BASE_SIZE, "buffer too small for the frame");
    const unsigned char bytes[] = {MBUS_FRAME_SHORT_START, frame.control, frame.address,
                                   frame.checksum, MBUS_FRAME_STOP};
    std::memcpy(out, bytes, sizeof bytes);
    return sizeof bytes;
  }
  const size_t total = frame.data_size + MBUS_FRAME_LONG_BASE_SIZE;
  Require(capacity >= total, "buffer too small for the frame");
  const unsigned char head[] = {MBUS_FRAME_CONTROL_START, frame.length1, frame.length1,
                                MBUS_FRAME_CONTROL_START, frame.control, frame.address,
                                frame.control_information};
  std::memcpy(out, head, sizeof head);
  std::memcpy(out + sizeof head, frame.data, frame.data_size);
  out[total - 2] = frame.checksum;
  out[total - 1] = MBUS_FRAME_STOP;
  return total;
}

void FillLengthAndChecksum(mbus_frame& frame) {
  if (frame.type == MBUS_FRAME_TYPE_CONTROL || frame.type == MBUS_FRAME_TYPE_LONG) {
    Require(frame.data_size <= MBUS_FRAME_DATA_LENGTH, "long frame: too much data");
    frame.length1 = frame.length2 = static_cast<unsigned char>(frame.data_size + 3);
    frame.start1 = frame.start2 = MBUS_FRAME_CONTROL_START;
  } else if (frame.type == MBUS_FRAME_TYPE_SHORT) {
    frame.start1 = MBUS_FRAME_SHORT_START;
  }
  frame.checksum = FrameChecksum(frame);
  frame.stop = MBUS_FRAME_STOP;
}

void InitFrame(mbus_frame& frame, int type) {
  std::memset(&frame, 0, sizeof frame);
  frame.type = type;
  switch (type) {
    case MBUS_FRAME_TYPE_ACK:
      frame.start1 = MBUS_FRAME_ACK_START;
      break;
    case MBUS_FRAME_TYPE_SHORT:
      frame.start1 = MBUS_FRAME_SHORT_START;
      frame.stop = MBUS_FRAME_STOP;
      break;
    case MBUS_FRAME_TYPE_CONTROL:
    case MBUS_FRAME_TYPE_LONG:
      frame.start1 = frame.start2 = MBUS_FRAME_CONTROL_START;
      frame.length1 = frame.length2 = 3;
      frame.stop = MBUS_FRAME_STOP;
      break;
    default:
      break;
  }
}

std::time_t ReadingTime() {
  return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
}

}  // namespace mbus

using namespace mbus;

extern "C" {

mbus_frame* mbus_frame_new(int frame_type) {
  return Guarded(nullptr, static_cast<mbus_frame*>(nullptr), [&] {
    auto* frame = static_cast<mbus_frame*>(std::malloc(sizeof(mbus_frame)));
    if (frame) InitFrame(*frame, frame_type);
    return frame;
  });
}

int mbus_frame_free(mbus_frame* frame) {
  if (!frame) return -1;
  while (frame) {
    mbus_frame* next = frame->next;
    std::free(frame);
    frame = next;
  }
  return 0;
}

int mbus_frame_calc_checksum(mbus_frame* frame) {
  return Guarded(nullptr, -1, [&] {
    Require(frame != nullptr, "no frame");
    frame->checksum = FrameChecksum(*frame);
    return 0;
  });
}

int mbus_frame_calc_length(mbus_frame* frame) {
  return Guarded(nullptr, -1, [&] {
    Require(frame != nullptr, "no frame");
    Require(frame->data_size <= MBUS_FRAME_DATA_LENGTH, "long frame: too much data");
    frame->length1 = frame->length2 = static_cast<unsigned char>(frame->data_size + 3);
    return 0;
  });
}

int mbus_parse(mbus_frame* frame, unsigned char* data, size_t data_size) {
  return Guarded(nullptr, -1, [&] {
    Require(frame != nullptr && (data != nullptr || data_size == 0), "no frame or data");
    mbus_frame parsed;
    InitFrame(parsed, MBUS_FRAME_TYPE_ANY);
    const int more = ParseFrame(parsed, data, data_size);
    if (more == 0) {
      parsed.next = frame->next;
      parsed.timestamp = ReadingTime();
      *frame = parsed;
      DebugPrintFrame(*frame);
    }
    return more;
  });
}

int mbus_frame_pack(mbus_frame* frame, unsigned char* data, size_t data_size) {
  return Guarded(nullptr, -1, [&] {
    Require(frame != nullptr && data != nullptr, "no frame or buffer");
    return static_cast<int>(PackFrame(*frame, data, data_size));
  });
}

int mbus_frame_verify(mbus_frame* frame) {
  return Guarded(nullptr, -1, [&] {
    Require(frame != nullptr, "no frame");
    VerifyFrame(*frame);
    return 0;
  });
}

int mbus_frame_type(mbus_frame* frame) {
  return frame ? frame->type : -1;
}

int mbus_frame_direction(mbus_frame* frame) {
  if (!frame) return -1;
  if (frame->type == MBUS_FRAME_TYPE_ACK) return MBUS_CONTROL_MASK_DIR_S2M;
  return frame->control & MBUS_CONTROL_MASK_DIR;
}

}  // extern "C"
