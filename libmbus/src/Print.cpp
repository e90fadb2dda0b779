// Human-readable dumps of frames and parsed data to standard output.
#include <cstdio>
#include <cstdlib>

#include "Guard.h"
#include "Internal.h"
#include "Tables.h"
#include "Values.h"
#include "Xml.h"

using namespace mbus;

namespace {

void HexLine(const char* label, const unsigned char* bytes, size_t count) {
  std::printf("%s", label);
  for (size_t i = 0; i < count; ++i) std::printf(" %02X", bytes[i]);
  std::printf("\n");
}

void PrintRecord(const mbus_data_record& r, size_t index) {
  std::printf("record %zu: %s, storage %ld, tariff %ld, device %d: %s = %s\n", index,
              FunctionText(r), StorageNumber(r), Tariff(r), Device(r),
              IsManufacturerRecord(r) ? "" : PlainUnit(r).c_str(), PlainValueText(r).c_str());
}

}  // namespace

extern "C" {

int mbus_frame_print(mbus_frame* frame) {
  return Guarded(nullptr, -1, [&] {
    for (mbus_frame* f = frame; f; f = f->next) {
      unsigned char bytes[MBUS_FRAME_DATA_LENGTH + MBUS_FRAME_LONG_BASE_SIZE];
      const size_t n = PackFrame(*f, bytes, sizeof bytes);
      std::printf("frame type %d:", f->type);
      HexLine("", bytes, n);
    }
    return frame ? 0 : -1;
  });
}

int mbus_data_variable_header_print(mbus_data_variable_header* header) {
  if (!header) return -1;
  char manufacturer[4];
  mbus_decode_manufacturer(header->manufacturer[0], header->manufacturer[1], manufacturer);
  std::printf("id %s, manufacturer %s, version %u, medium %s, access %u, status %02X\n",
              HexText(header->id_bcd, 4, true).c_str(), manufacturer, header->version,
              VariableMediumText(header->medium), header->access_no, header->status);
  return 0;
}

int mbus_data_variable_print(mbus_data_variable* data) {
  return Guarded(nullptr, -1, [&] {
    if (!data) return -1;
    mbus_data_variable_header_print(&data->header);
    size_t index = 0;
    for (const mbus_data_record* r = data->record; r; r = r->next) PrintRecord(*r, index++);
    return 0;
  });
}

int mbus_data_fixed_print(mbus_data_fixed* data) {
  if (!data) return -1;
  std::printf("id %s, medium %s, access %u, status %02X\n", HexText(data->id_bcd, 4, true).c_str(),
              mbus_data_fixed_medium(data), data->tx_cnt, data->status);
  HexLine(mbus_data_fixed_unit(data->cnt1_type), data->cnt1_val, 4);
  HexLine(mbus_data_fixed_unit(data->cnt2_type), data->cnt2_val, 4);
  return 0;
}

int mbus_data_error_print(int error) {
  std::printf("error %d: %s\n", error, ErrorText(error));
  return 0;
}

int mbus_frame_data_print(mbus_frame_data* data) {
  if (!data) return -1;
  switch (data->type) {
    case MBUS_DATA_TYPE_VARIABLE:
      return mbus_data_variable_print(&data->data_var);
    case MBUS_DATA_TYPE_FIXED:
      return mbus_data_fixed_print(&data->data_fix);
    case MBUS_DATA_TYPE_ERROR:
      return mbus_data_error_print(data->error);
    default:
      return -1;
  }
}

void mbus_hex_dump(const char* label, const char* buff, size_t len) {
  if (!buff) return;
  HexLine(label ? label : "", reinterpret_cast<const unsigned char*>(buff), len);
}

void mbus_dump_recv_event(unsigned char src_type, const char* buff, size_t len) {
  (void)src_type;
  mbus_hex_dump("[RECV]", buff, len);
}

void mbus_dump_send_event(unsigned char src_type, const char* buff, size_t len) {
  (void)src_type;
  mbus_hex_dump("[SEND]", buff, len);
}

}  // extern "C"
