// Building a reply frame from frame data: the inverse of the frame-data
// parser, for simulated slaves and tests.
#include <cstring>

#include "Guard.h"
#include "Internal.h"
#include "Values.h"

namespace mbus {
namespace {

// Appends bytes to a frame's data, refusing to pass its capacity.
class FrameWriter {
 public:
  explicit FrameWriter(mbus_frame& frame) : frame_(frame) { frame_.data_size = 0; }
  void Put(unsigned char byte) { Put(&byte, 1); }
  void Put(const unsigned char* bytes, size_t count) {
    if (count > MBUS_FRAME_DATA_LENGTH - frame_.data_size) throw Error("frame data too long");
    std::memcpy(frame_.data + frame_.data_size, bytes, count);
    frame_.data_size += count;
  }

 private:
  mbus_frame& frame_;
};

void PutVib(FrameWriter& out, const mbus_value_information_block& vib) {
  out.Put(vib.vif);
  if ((vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7C) {
    const size_t length = strnlen(reinterpret_cast<const char*>(vib.custom_vif),
                                  MBUS_VALUE_INFO_BLOCK_CUSTOM_VIF_SIZE - 1);
    out.Put(static_cast<unsigned char>(length));
    for (size_t i = length; i-- > 0;) out.Put(vib.custom_vif[i]);
  }
  out.Put(vib.vife, vib.nvife < MBUS_VALUE_INFO_BLOCK_VIFE_SIZE ? vib.nvife
                                                                : MBUS_VALUE_INFO_BLOCK_VIFE_SIZE);
}

void PutRecord(FrameWriter& out, const mbus_data_record& r) {
  out.Put(r.dib.dif);
  if (!IsManufacturerRecord(r)) {
    out.Put(r.dib.dife, r.dib.ndife < MBUS_DATA_INFO_BLOCK_DIFE_SIZE
                            ? r.dib.ndife
                            : MBUS_DATA_INFO_BLOCK_DIFE_SIZE);
    PutVib(out, r.vib);
  }
  out.Put(r.data,
          r.data_len < MBUS_DATA_RECORD_DATA_LENGTH ? r.data_len : MBUS_DATA_RECORD_DATA_LENGTH);
}

void PackFrameData(mbus_frame& frame, const mbus_frame_data& data) {
  frame.type = MBUS_FRAME_TYPE_LONG;
  FrameWriter out(frame);
  switch (data.type) {
    case MBUS_DATA_TYPE_ERROR:
      frame.control_information = MBUS_CONTROL_INFO_ERROR_GENERAL;
      out.Put(static_cast<unsigned char>(data.error));
      break;
    case MBUS_DATA_TYPE_FIXED:
      frame.control_information = MBUS_CONTROL_INFO_RESP_FIXED;
      out.Put(reinterpret_cast<const unsigned char*>(&data.data_fix), sizeof data.data_fix);
      break;
    case MBUS_DATA_TYPE_VARIABLE:
      frame.control_information = MBUS_CONTROL_INFO_RESP_VARIABLE;
      out.Put(reinterpret_cast<const unsigned char*>(&data.data_var.header),
              sizeof data.data_var.header);
      for (const mbus_data_record* r = data.data_var.record; r; r = r->next) PutRecord(out, *r);
      break;
    default:
      throw Error("frame data of unknown type");
  }
  FillLengthAndChecksum(frame);
}

}  // namespace
}  // namespace mbus

extern "C" int mbus_frame_internal_pack(mbus_frame* frame, mbus_frame_data* frame_data) {
  return mbus::Guarded(nullptr, -1, [&] {
    if (!frame || !frame_data) throw mbus::Error("no frame or frame data");
    mbus_frame packed = *frame;
    mbus::PackFrameData(packed, *frame_data);
    *frame = packed;
    return 0;
  });
}
