// Feeds untrusted bytes to every reader of the protocol core: the frame
// parser, the frame-data parser (also without the checksum barrier, by
// wrapping the input as a reply's record area), record normalisation, both
// XML writers, the packer and the hex-text decoder. Nothing may crash, leak
// or read outside a buffer, whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "libmbus/src/Decode.h"
#include "mbus/mbus.h"

namespace {

void Normalise(const mbus_data_variable& v) {
  for (mbus_data_record* r = v.record; r; r = r->next) {
    mbus_record_free(mbus_parse_variable_record(nullptr, r));
    mbus_str_free(mbus_data_record_value(r));
    (void)mbus_data_record_unit(r);
    double real = 0;
    char* text = nullptr;
    int size = 0;
    if (mbus_variable_value_decode(r, &real, &text, &size) == 0) mbus_str_free(text);
  }
}

void Digest(mbus_frame& frame) {
  mbus_frame_data data{};
  if (mbus_frame_data_parse(nullptr, &frame, &data) != 0) return;
  mbus_str_free(mbus_frame_data_xml(&data));
  mbus_str_free(mbus_frame_data_xml_normalized(&data));
  if (data.type == MBUS_DATA_TYPE_VARIABLE) Normalise(data.data_var);
  if (data.type == MBUS_DATA_TYPE_FIXED) {
    mbus_record_free(mbus_parse_fixed_record(nullptr, static_cast<char>(data.data_fix.status),
                                             static_cast<char>(data.data_fix.cnt1_type),
                                             data.data_fix.cnt1_val));
  }
  mbus_frame packed{};
  mbus_frame_internal_pack(&packed, &data);
  mbus_data_record_free(data.data_var.record);
  char address[17];
  mbus_frame_get_secondary_address(nullptr, &frame, address);
  mbus_str_free(mbus_frame_xml(&frame));
}

void Frames(const std::uint8_t* bytes, std::size_t size) {
  std::vector<unsigned char> copy(bytes, bytes + size);
  mbus_frame frame{};
  if (mbus_parse(&frame, copy.data(), copy.size()) == 0) {
    mbus_frame_verify(&frame);
    unsigned char out[300];
    mbus_frame_pack(&frame, out, sizeof out);
    Digest(frame);
  }
}

void RecordArea(const std::uint8_t* bytes, std::size_t size, unsigned char ci) {
  mbus_frame frame{};
  frame.type = MBUS_FRAME_TYPE_LONG;
  frame.control_information = ci;
  frame.data_size = size < MBUS_FRAME_DATA_LENGTH ? size : MBUS_FRAME_DATA_LENGTH;
  std::memcpy(frame.data, bytes, frame.data_size);
  Digest(frame);
}

void Telegrams(const std::vector<unsigned char>& bytes) {
  for (bool normalised : {false, true}) {
    try {
      mbus::DecodeTelegrams(bytes, normalised);
    } catch (const std::exception&) {
      // Refusing the input is a valid outcome.
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Frames(data, size);
  if (size > 0) RecordArea(data + 1, size - 1, (data[0] & 1) ? 0x72 : 0x73);
  Telegrams(std::vector<unsigned char>(data, data + size));
  Telegrams(mbus::HexTextBytes(std::string(reinterpret_cast<const char*>(data), size)));
  return 0;
}
