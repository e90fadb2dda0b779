// Application layer: the frame data of a reply (variable structure, fixed
// structure, error) and its data records with DIF/DIFE and VIF/VIFE.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "Guard.h"
#include "Internal.h"

namespace mbus {
namespace {

constexpr size_t kHeaderSize = sizeof(mbus_data_variable_header);

// Bounds-checked reading of the record area of a frame.
class Reader {
 public:
  Reader(const unsigned char* bytes, size_t size) : bytes_(bytes), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }
  size_t Position() const { return pos_; }
  size_t Left() const { return size_ - pos_; }
  unsigned char Peek() const { return bytes_[pos_]; }
  unsigned char Next(const char* what) {
    if (AtEnd()) throw Error(what);
    return bytes_[pos_++];
  }
  const unsigned char* Take(size_t count, const char* what) {
    if (count > Left()) throw Error(what);
    const unsigned char* start = bytes_ + pos_;
    pos_ += count;
    return start;
  }

 private:
  const unsigned char* bytes_;
  size_t size_;
  size_t pos_ = 0;
};

struct RecordDeleter {
  void operator()(mbus_data_record* record) const { mbus_data_record_free(record); }
};
using RecordPtr = std::unique_ptr<mbus_data_record, RecordDeleter>;

void ReadDib(Reader& in, mbus_data_information_block& dib) {
  dib.dif = in.Next("premature end of record: no DIF");
  unsigned char last = dib.dif;
  while (last & MBUS_DIB_DIF_EXTENSION_BIT) {
    if (dib.ndife >= MBUS_DATA_INFO_BLOCK_DIFE_SIZE) throw Error("too many DIFE");
    last = in.Next("premature end of record: DIFE missing");
    dib.dife[dib.ndife++] = last;
  }
}

void ReadVifes(Reader& in, mbus_value_information_block& vib, unsigned char last) {
  while (last & MBUS_DIB_VIF_EXTENSION_BIT) {
    if (vib.nvife >= MBUS_VALUE_INFO_BLOCK_VIFE_SIZE) throw Error("too many VIFE");
    last = in.Next("premature end of record: VIFE missing");
    vib.vife[vib.nvife++] = last;
  }
}

// A plain-text VIF carries its unit as text (least significant character
// first) right after the VIF; VIFEs of 0xFC follow the text.
void ReadPlainTextVif(Reader& in, mbus_value_information_block& vib) {
  const size_t length = in.Next("premature end of record: plain-text VIF length missing");
  if (length >= MBUS_VALUE_INFO_BLOCK_CUSTOM_VIF_SIZE) throw Error("plain-text VIF too long");
  const unsigned char* text = in.Take(length, "premature end of record: plain-text VIF");
  for (size_t i = 0; i < length; ++i) vib.custom_vif[i] = text[length - 1 - i];
  vib.custom_vif[length] = 0;
  ReadVifes(in, vib, vib.vif);
}

void ReadVib(Reader& in, mbus_value_information_block& vib) {
  vib.vif = in.Next("premature end of record: no VIF");
  if ((vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7C)
    ReadPlainTextVif(in, vib);
  else
    ReadVifes(in, vib, vib.vif);
}

// Bytes of a variable-length value for its LVAR byte.
size_t VariableLength(unsigned char lvar) {
  if (lvar < 0xC0) return lvar;                         // text
  if (lvar < 0xE0) return lvar & 0x0F;                  // positive or negative BCD
  if (lvar < 0xF0) return lvar - 0xE0u;                 // binary
  if (lvar <= 0xF4) return size_t{4} * (lvar - 0xECu);  // binary, 16 to 64 bytes
  if (lvar == 0xF5) return 48;
  if (lvar == 0xF6) return 64;
  throw Error("reserved LVAR code");
}

// The value bytes; for variable length, data[0] keeps the LVAR byte.
void ReadData(Reader& in, mbus_data_record& record) {
  const unsigned field = record.dib.dif & MBUS_DATA_RECORD_DIF_MASK_DATA;
  size_t length = mbus_dif_datalength_lookup(record.dib.dif);
  size_t offset = 0;
  if (field == 0x0D) {
    record.data[0] = in.Next("premature end of record: LVAR missing");
    length = VariableLength(record.data[0]);
    offset = 1;
  }
  if (offset + length > MBUS_DATA_RECORD_DATA_LENGTH) throw Error("record data too long");
  std::memcpy(record.data + offset, in.Take(length, "premature end of record: data"), length);
  record.data_len = offset + length;
}

// Manufacturer-specific data: the rest of the frame after DIF 0x0F/0x1F.
void ReadManufacturerData(Reader& in, mbus_data_record& record, mbus_data_variable& out) {
  out.mdh = record.dib.dif;
  out.more_records_follow = record.dib.dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW ? 1 : 0;
  out.mfg_data_len = in.Left();
  const unsigned char* rest = in.Take(in.Left(), "");
  out.mfg_data = const_cast<unsigned char*>(rest);
  record.data_len = out.mfg_data_len < MBUS_DATA_RECORD_DATA_LENGTH ? out.mfg_data_len
                                                                    : MBUS_DATA_RECORD_DATA_LENGTH;
  std::memcpy(record.data, rest, record.data_len);
}

RecordPtr ReadRecord(Reader& in, mbus_data_variable& out, std::time_t read_at) {
  RecordPtr record(mbus_data_record_new());
  if (!record) throw Error("out of memory");
  record->timestamp = read_at;
  ReadDib(in, record->dib);
  const unsigned dif = record->dib.dif;
  if (dif == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC || dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW) {
    ReadManufacturerData(in, *record, out);
    return record;
  }
  ReadVib(in, record->vib);
  ReadData(in, *record);
  return record;
}

void ParseVariable(const mbus_frame& frame, mbus_data_variable& out) {
  std::memset(&out, 0, sizeof out);
  if (frame.data_size < kHeaderSize) throw Error("variable data: header incomplete");
  std::memcpy(&out.header, frame.data, kHeaderSize);
  out.data = const_cast<unsigned char*>(frame.data) + kHeaderSize;
  out.data_len = frame.data_size - kHeaderSize;
  Reader in(out.data, out.data_len);
  RecordPtr first;
  mbus_data_record* last = nullptr;
  const std::time_t read_at = ReadingTime();  // one reading time for the frame's records
  while (!in.AtEnd()) {
    if (in.Peek() == MBUS_DIB_DIF_IDLE_FILLER) {
      in.Next("");
      continue;
    }
    RecordPtr record = ReadRecord(in, out, read_at);
    mbus_data_record* raw = record.release();
    if (last)
      last->next = raw;
    else
      first.reset(raw);
    last = raw;
    ++out.nrecords;
  }
  out.record = first.release();
}

void ParseFixed(const mbus_frame& frame, mbus_data_fixed& out) {
  if (frame.data_size < sizeof(mbus_data_fixed)) throw Error("fixed data: too short");
  std::memcpy(&out, frame.data, sizeof out);
}

bool IsVariable(unsigned ci) {
  return ci == MBUS_CONTROL_INFO_RESP_VARIABLE || ci == MBUS_CONTROL_INFO_RESP_VARIABLE_MSB;
}
bool IsFixed(unsigned ci) {
  return ci == MBUS_CONTROL_INFO_RESP_FIXED || ci == MBUS_CONTROL_INFO_RESP_FIXED_MSB;
}

}  // namespace

void ParseFrameDataInto(const mbus_frame& frame, mbus_frame_data& out) {
  std::memset(&out, 0, sizeof out);
  if (frame.type != MBUS_FRAME_TYPE_LONG && frame.type != MBUS_FRAME_TYPE_CONTROL)
    throw Error("frame carries no application data");
  const unsigned ci = frame.control_information;
  if (ci == MBUS_CONTROL_INFO_ERROR_GENERAL) {
    out.type = MBUS_DATA_TYPE_ERROR;
    out.error = frame.data_size > 0 ? frame.data[0] : MBUS_ERROR_DATA_UNSPECIFIED;
  } else if (IsVariable(ci)) {
    out.type = MBUS_DATA_TYPE_VARIABLE;
    ParseVariable(frame, out.data_var);
  } else if (IsFixed(ci)) {
    out.type = MBUS_DATA_TYPE_FIXED;
    ParseFixed(frame, out.data_fix);
  } else {
    throw Error("unsupported control information field");
  }
}

}  // namespace mbus

using namespace mbus;

extern "C" {

mbus_frame_data* mbus_frame_data_new(void) {
  return static_cast<mbus_frame_data*>(std::calloc(1, sizeof(mbus_frame_data)));
}

void mbus_frame_data_free(mbus_frame_data* data) {
  if (!data) return;
  mbus_data_record_free(data->data_var.record);
  std::free(data);
}

mbus_data_record* mbus_data_record_new(void) {
  return static_cast<mbus_data_record*>(std::calloc(1, sizeof(mbus_data_record)));
}

void mbus_data_record_free(mbus_data_record* record) {
  while (record) {
    mbus_data_record* next = record->next;
    std::free(record);
    record = next;
  }
}

void mbus_data_record_append(mbus_data_variable* data, mbus_data_record* record) {
  if (!data || !record) return;
  mbus_data_record** tail = &data->record;
  while (*tail) tail = &(*tail)->next;
  *tail = record;
  data->nrecords++;
}

int mbus_frame_data_parse(mbus_handle* handle, mbus_frame* frame, mbus_frame_data* data) {
  return Guarded(handle, -1, [&] {
    if (!frame || !data) throw Error("no frame or frame data");
    ParseFrameDataInto(*frame, *data);
    return 0;
  });
}

int mbus_data_variable_parse(mbus_frame* frame, mbus_data_variable* data) {
  return Guarded(nullptr, -1, [&] {
    if (!frame || !data) throw Error("no frame or data");
    ParseVariable(*frame, *data);
    return 0;
  });
}

int mbus_data_fixed_parse(mbus_frame* frame, mbus_data_fixed* data) {
  return Guarded(nullptr, -1, [&] {
    if (!frame || !data) throw Error("no frame or data");
    ParseFixed(*frame, *data);
    return 0;
  });
}

unsigned char mbus_dif_datalength_lookup(unsigned char dif) {
  static constexpr unsigned char kLengths[16] = {0, 1, 2, 3, 4, 4, 6, 8, 0, 1, 2, 3, 4, 0, 6, 0};
  return kLengths[dif & MBUS_DATA_RECORD_DIF_MASK_DATA];
}

}  // extern "C"
