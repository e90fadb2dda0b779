// The frame-data XML and the normalised XML. Both documents share the slave
// information; they differ in how each record is written.
#include "Xml.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Guard.h"
#include "Internal.h"
#include "Normalize.h"
#include "Tables.h"
#include "Values.h"

namespace mbus {
namespace {

constexpr const char* kProlog = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MBusData>\n\n";
constexpr const char* kEpilog = "</MBusData>\n";

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

std::string Real(double value) {
  char text[512];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

// The identification number: its BCD digits as written (non-decimal digits
// stay visible), without leading zeros.
std::string IdText(const unsigned char* id_bcd) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX", BcdDecodeHex(id_bcd, 4));
  return text;
}

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  void Element(const char* name, const std::string& value) {
    out_ += "        <";
    out_ += name;
    out_ += '>';
    out_ += XmlEncode(value);
    out_ += "</";
    out_ += name;
    out_ += ">\n";
  }
  void Open(const std::string& tag) { out_ += "    <" + tag + ">\n"; }
  void Close(const char* name) {
    out_ += "    </";
    out_ += name;
    out_ += ">\n\n";
  }

 private:
  std::string& out_;
};

void VariableHeader(Writer& w, const mbus_data_variable_header& h) {
  w.Open("SlaveInformation");
  w.Element("Id", IdText(h.id_bcd));
  char manufacturer[4];
  mbus_decode_manufacturer(h.manufacturer[0], h.manufacturer[1], manufacturer);
  w.Element("Manufacturer", manufacturer);
  w.Element("Version", std::to_string(h.version));
  const char* product = mbus_data_product_name(const_cast<mbus_data_variable_header*>(&h));
  if (product && *product) w.Element("ProductName", product);
  w.Element("Medium", VariableMediumText(h.medium));
  w.Element("AccessNumber", std::to_string(h.access_no));
  w.Element("Status", Hex2(h.status));
  w.Element("Signature", Hex2(h.signature[1]) + Hex2(h.signature[0]));
  w.Close("SlaveInformation");
}

void RecordPosition(Writer& w, const mbus_data_record& r) {
  w.Element("StorageNumber", std::to_string(StorageNumber(r)));
  if (r.dib.ndife > 0) {
    w.Element("Tariff", std::to_string(Tariff(r)));
    w.Element("Device", std::to_string(Device(r)));
  }
}

void PlainRecord(Writer& w, const mbus_data_record& r, size_t id) {
  w.Open("DataRecord id=\"" + std::to_string(id) + "\"");
  w.Element("Function", FunctionText(r));
  if (!IsManufacturerRecord(r)) {
    RecordPosition(w, r);
    w.Element("Unit", PlainUnit(r));
  }
  w.Element("Value", PlainValueText(r));
  w.Close("DataRecord");
}

struct NormDeleter {
  void operator()(mbus_record* record) const { mbus_record_free(record); }
};

void NormalisedRecord(Writer& w, const mbus_data_record& r, size_t id) {
  w.Open("DataRecord id=\"" + std::to_string(id) + "\"");
  std::unique_ptr<mbus_record, NormDeleter> norm;
  try {
    norm.reset(NormaliseVariable(r));
  } catch (const Error&) {
    // A record without a normalised form is written empty.
  }
  if (norm) {
    w.Element("Function", norm->function_medium);
    RecordPosition(w, r);
    w.Element("Unit", norm->unit);
    w.Element("Quantity", norm->quantity);
    w.Element("Value", norm->is_numeric ? Real(norm->value.real_val) : norm->value.str_val.value);
  }
  w.Close("DataRecord");
}

void FixedCounter(Writer& w, const mbus_data_fixed& d, unsigned type, const unsigned char* value,
                  size_t id) {
  w.Open("DataRecord id=\"" + std::to_string(id) + "\"");
  w.Element("Function", mbus_data_fixed_function(d.status));
  w.Element("Unit", PlainFixedUnitText(type));
  const bool binary = d.status & 0x80;
  w.Element("Value", std::to_string(binary ? IntDecode(value, 4) : BcdDecode(value, 4)));
  w.Close("DataRecord");
}

void Fixed(Writer& w, const mbus_data_fixed& d) {
  w.Open("SlaveInformation");
  w.Element("Id", IdText(d.id_bcd));
  w.Element("Medium", mbus_data_fixed_medium(const_cast<mbus_data_fixed*>(&d)));
  w.Element("AccessNumber", std::to_string(d.tx_cnt));
  w.Element("Status", Hex2(d.status));
  w.Close("SlaveInformation");
  FixedCounter(w, d, d.cnt1_type, d.cnt1_val, 0);
  FixedCounter(w, d, d.cnt2_type, d.cnt2_val, 1);
}

void ErrorBlock(Writer& w, int error) {
  w.Open("SlaveInformation");
  w.Element("Error", ErrorText(error));
  w.Close("SlaveInformation");
}

size_t Records(Writer& w, const mbus_data_variable& d, size_t first_id, bool normalised) {
  size_t id = first_id;
  for (const mbus_data_record* r = d.record; r; r = r->next, ++id) {
    if (normalised)
      NormalisedRecord(w, *r, id);
    else
      PlainRecord(w, *r, id);
  }
  return id;
}

}  // namespace

std::string XmlEncode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string VariableXml(const mbus_data_variable& d, bool normalised) {
  std::string out = kProlog;
  Writer w(out);
  VariableHeader(w, d.header);
  Records(w, d, 0, normalised);
  return out + kEpilog;
}

std::string FrameDataXml(const mbus_frame_data& data, bool normalised) {
  switch (data.type) {
    case MBUS_DATA_TYPE_VARIABLE:
      return VariableXml(data.data_var, normalised);
    case MBUS_DATA_TYPE_FIXED:
      return FixedXml(data.data_fix);
    case MBUS_DATA_TYPE_ERROR:
      return ErrorXml(data.error);
    default:
      throw Error("frame data of unknown type");
  }
}

std::string FixedXml(const mbus_data_fixed& d) {
  std::string out = kProlog;
  Writer w(out);
  Fixed(w, d);
  return out + kEpilog;
}

std::string ErrorXml(int error) {
  std::string out = kProlog;
  Writer w(out);
  ErrorBlock(w, error);
  return out + kEpilog;
}

std::string HeaderXml(const mbus_data_variable_header& h) {
  std::string out;
  Writer w(out);
  VariableHeader(w, h);
  return out;
}

// A reply of several frames: the first frame's slave information, then the
// records of every variable-structure frame, numbered on.
std::string ReplyXml(const mbus_frame& first, bool normalised) {
  mbus_frame_data data{};
  ParseFrameDataInto(first, data);
  if (data.type != MBUS_DATA_TYPE_VARIABLE || !first.next) {
    std::string single = FrameDataXml(data, normalised);
    mbus_data_record_free(data.data_var.record);
    return single;
  }
  std::string out = kProlog;
  Writer w(out);
  VariableHeader(w, data.data_var.header);
  size_t id = 0;
  for (const mbus_frame* f = &first; f; f = f->next) {
    mbus_frame_data part{};
    if (f != &first)
      ParseFrameDataInto(*f, part);
    else
      part = data;
    if (part.type == MBUS_DATA_TYPE_VARIABLE) id = Records(w, part.data_var, id, normalised);
    mbus_data_record_free(part.data_var.record);
  }
  return out + kEpilog;
}

char* CopyOut(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) throw Error("out of memory");
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace mbus

using namespace mbus;

extern "C" {

char* mbus_data_variable_xml(mbus_data_variable* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no data");
    return CopyOut(VariableXml(*data, false));
  });
}

char* mbus_data_variable_xml_normalized(mbus_data_variable* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no data");
    return CopyOut(VariableXml(*data, true));
  });
}

char* mbus_data_fixed_xml(mbus_data_fixed* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no data");
    return CopyOut(FixedXml(*data));
  });
}

char* mbus_data_error_xml(int error) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] { return CopyOut(ErrorXml(error)); });
}

char* mbus_frame_data_xml(mbus_frame_data* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no frame data");
    return CopyOut(FrameDataXml(*data, false));
  });
}

char* mbus_frame_data_xml_normalized(mbus_frame_data* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no frame data");
    return CopyOut(FrameDataXml(*data, true));
  });
}

char* mbus_data_variable_header_xml(mbus_data_variable_header* header) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!header) throw Error("no header");
    return CopyOut(HeaderXml(*header));
  });
}

char* mbus_frame_xml(mbus_frame* frame) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!frame) throw Error("no frame");
    return CopyOut(ReplyXml(*frame, false));
  });
}

void mbus_str_free(char* text) {
  std::free(text);
}

int mbus_str_xml_encode(unsigned char* dst, const unsigned char* src, size_t max_len) {
  if (!dst || !src || max_len == 0) return -1;
  const std::string encoded = XmlEncode(reinterpret_cast<const char*>(src));
  const size_t n = encoded.size() < max_len - 1 ? encoded.size() : max_len - 1;
  std::memcpy(dst, encoded.data(), n);
  dst[n] = 0;
  return static_cast<int>(n);
}

}  // extern "C"
