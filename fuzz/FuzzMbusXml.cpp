// Every XML document the library writes, for arbitrary bytes, is well-formed
// XML: the frame-data and normalised documents of a parsed frame, of the
// input taken as a reply's record area, and of the reply as mbus_frame_xml
// writes it; and no text of a normalised record holds a control character.
// The first byte picks the CI field for the record area, the rest is the
// frame or record area.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mbus/mbus.h"
#include "tests/libmbus/XmlWellFormed.h"

namespace {

void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

void CheckDocument(char* xml) {
  if (!xml) return;  // refusing the input is a valid outcome
  const std::string doc(xml);
  mbus_str_free(xml);
  const std::string fault = mbus_test::XmlFault(doc);
  if (!fault.empty()) Fail("not well-formed", fault + "\n" + doc);
}

bool HasControl(const char* text) {
  for (; text && *text; ++text)
    if (static_cast<unsigned char>(*text) < 0x20) return true;
  return false;
}

void CheckRecords(const mbus_data_variable& v) {
  for (mbus_data_record* r = v.record; r; r = r->next) {
    mbus_record* n = mbus_parse_variable_record(nullptr, r);
    if (!n) continue;
    if (HasControl(n->quantity) || HasControl(n->unit)) Fail("control in texts", n->quantity);
    if (!n->is_numeric && HasControl(n->value.str_val.value)) Fail("control in value", "");
    mbus_record_free(n);
  }
}

void Documents(mbus_frame& frame) {
  mbus_frame_data data{};
  if (mbus_frame_data_parse(nullptr, &frame, &data) != 0) return;
  CheckDocument(mbus_frame_data_xml(&data));
  CheckDocument(mbus_frame_data_xml_normalized(&data));
  if (data.type == MBUS_DATA_TYPE_VARIABLE) CheckRecords(data.data_var);
  mbus_data_record_free(data.data_var.record);
  CheckDocument(mbus_frame_xml(&frame));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<unsigned char> copy(data + 1, data + size);
  mbus_frame frame{};
  if (mbus_parse(&frame, copy.data(), copy.size()) == 0) Documents(frame);
  static const unsigned char kCi[] = {0x72, 0x76, 0x73, 0x70};
  mbus_frame area{};
  area.type = MBUS_FRAME_TYPE_LONG;
  area.control_information = kCi[data[0] & 3];
  area.data_size = copy.size() < MBUS_FRAME_DATA_LENGTH ? copy.size() : MBUS_FRAME_DATA_LENGTH;
  std::memcpy(area.data, copy.data(), area.data_size);
  Documents(area);
  return 0;
}
