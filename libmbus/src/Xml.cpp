// The frame-data XML and the normalised XML. Both documents share the slave
// information; they differ in how each record is written.
#include "Xml.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FixedText.h"
#include "Guard.h"
#include "Internal.h"
#include "Normalize.h"
#include "Tables.h"
#include "Values.h"

namespace mbus {
namespace {

constexpr char kProlog[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MBusData>\n\n";
constexpr char kEpilog[] = "</MBusData>\n";

// Room the header and one record of a document take, roughly: reserved up
// front so that a document grows without copies.
constexpr size_t kHeaderRoom = 512;
constexpr size_t kRecordRoom = 320;

// A growing text in malloc'd memory, so that the exports hand the document
// over as it is. Appends are a bounds check and a memcpy.
class Buffer {
 public:
  explicit Buffer(size_t capacity) { Grow(capacity); }
  ~Buffer() { std::free(data_); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  void Put(char c) {
    if (size_ == capacity_) Grow(1);
    data_[size_++] = c;
  }
  void Put(const char* text, size_t size) {
    if (capacity_ - size_ < size) Grow(size);
    std::memcpy(data_ + size_, text, size);
    size_ += size;
  }
  // The text with a NUL after it, the caller's to free().
  char* Release() {
    Put('\0');
    char* text = data_;
    data_ = nullptr;
    size_ = capacity_ = 0;
    return text;
  }
  std::string Text() const { return std::string(data_, size_); }

 private:
  void Grow(size_t more) {
    size_t capacity = capacity_ ? capacity_ * 2 : 64;
    while (capacity - size_ < more) capacity *= 2;
    char* grown = static_cast<char*>(std::realloc(data_, capacity));
    if (!grown) throw Error("out of memory");
    data_ = grown;
    capacity_ = capacity;
  }

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// A literal without its NUL.
template <size_t N>
void PutLiteral(Buffer& out, const char (&text)[N]) {
  out.Put(text, N - 1);
}

// Per byte: 0 written as it is, 1 written as a space (below 0x20: no text,
// and mostly no XML 1.0 character), 2 an XML special.
constexpr std::array<unsigned char, 256> kEscapeClass = [] {
  std::array<unsigned char, 256> classes{};
  for (unsigned c = 0; c < 0x20; ++c) classes[c] = 1;
  for (unsigned char c : {'&', '<', '>', '"'}) classes[c] = 2;
  return classes;
}();

const char* Entity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return "&quot;";
  }
}

// Appends text with the XML specials escaped and the characters below 0x20
// as spaces. The document declares ISO-8859-1, in which every other byte is
// a character.
void AppendEscaped(Buffer& out, const char* text, size_t size) {
  size_t run = 0;
  for (size_t i = 0; i < size; ++i) {
    const unsigned kind = kEscapeClass[static_cast<unsigned char>(text[i])];
    if (kind == 0) continue;
    out.Put(text + run, i - run);
    if (kind == 1) {
      out.Put(' ');
    } else {
      const char* entity = Entity(text[i]);
      out.Put(entity, std::strlen(entity));
    }
    run = i + 1;
  }
  out.Put(text + run, size - run);
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex2(Buffer& out, unsigned value) {
  out.Put(kHexDigits[(value >> 4) & 0x0F]);
  out.Put(kHexDigits[value & 0x0F]);
}

// The identification number: its BCD digits as written (non-decimal digits
// stay visible), without leading zeros.
void AppendId(Buffer& out, const unsigned char* id_bcd) {
  unsigned long long digits = BcdDecodeHex(id_bcd, 4);
  char text[20];
  size_t n = 0;
  do {
    text[n++] = kHexDigits[digits & 0x0F];
    digits >>= 4;
  } while (digits);
  while (n) out.Put(text[--n]);
}

// Element names are literals: their lengths are known at compile time.
class Writer {
 public:
  explicit Writer(Buffer& out) : out_(out) {}
  template <size_t N>
  void Element(const char (&name)[N], const char* value, size_t size) {
    Start(name);
    AppendEscaped(out_, value, size);
    End(name);
  }
  template <size_t N>
  void Element(const char (&name)[N], const std::string& value) {
    Element(name, value.data(), value.size());
  }
  template <size_t N>
  void Element(const char (&name)[N], const char* value) {
    Element(name, value, std::strlen(value));
  }
  template <size_t N>
  void Integer(const char (&name)[N], long long value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    Start(name);
    out_.Put(text, static_cast<size_t>(result.ptr - text));
    End(name);
  }
  template <size_t N>
  void Real(const char (&name)[N], double value) {
    char text[kFixedTextSize];
    const size_t size = FixedText(value, text);
    Start(name);
    out_.Put(text, size);
    End(name);
  }
  template <size_t N>
  void Hex(const char (&name)[N], unsigned first, int second = -1) {
    Start(name);
    AppendHex2(out_, first);
    if (second >= 0) AppendHex2(out_, static_cast<unsigned>(second));
    End(name);
  }
  template <size_t N>
  void Id(const char (&name)[N], const unsigned char* id_bcd) {
    Start(name);
    AppendId(out_, id_bcd);
    End(name);
  }
  template <size_t N>
  void Open(const char (&tag)[N]) {
    PutLiteral(out_, "    <");
    PutLiteral(out_, tag);
    PutLiteral(out_, ">\n");
  }
  void OpenRecord(size_t id) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, id);
    PutLiteral(out_, "    <DataRecord id=\"");
    out_.Put(text, static_cast<size_t>(result.ptr - text));
    PutLiteral(out_, "\">\n");
  }
  template <size_t N>
  void Close(const char (&name)[N]) {
    PutLiteral(out_, "    </");
    PutLiteral(out_, name);
    PutLiteral(out_, ">\n\n");
  }

 private:
  template <size_t N>
  void Start(const char (&name)[N]) {
    PutLiteral(out_, "        <");
    PutLiteral(out_, name);
    out_.Put('>');
  }
  template <size_t N>
  void End(const char (&name)[N]) {
    PutLiteral(out_, "</");
    PutLiteral(out_, name);
    PutLiteral(out_, ">\n");
  }

  Buffer& out_;
};

void VariableHeader(Writer& w, const mbus_data_variable_header& h) {
  w.Open("SlaveInformation");
  w.Id("Id", h.id_bcd);
  char manufacturer[4];
  mbus_decode_manufacturer(h.manufacturer[0], h.manufacturer[1], manufacturer);
  w.Element("Manufacturer", manufacturer);
  w.Integer("Version", h.version);
  const char* product = mbus_data_product_name(const_cast<mbus_data_variable_header*>(&h));
  if (product && *product) w.Element("ProductName", product);
  w.Element("Medium", VariableMediumText(h.medium));
  w.Integer("AccessNumber", h.access_no);
  w.Hex("Status", h.status);
  w.Hex("Signature", h.signature[1], h.signature[0]);
  w.Close("SlaveInformation");
}

void RecordPosition(Writer& w, const mbus_data_record& r) {
  w.Integer("StorageNumber", StorageNumber(r));
  if (r.dib.ndife > 0) {
    w.Integer("Tariff", Tariff(r));
    w.Integer("Device", Device(r));
  }
}

void PlainRecord(Writer& w, const mbus_data_record& r, size_t id) {
  w.OpenRecord(id);
  w.Element("Function", FunctionText(r));
  if (!IsManufacturerRecord(r)) {
    RecordPosition(w, r);
    w.Element("Unit", PlainUnit(r));
  }
  w.Element("Value", PlainValueText(r));
  w.Close("DataRecord");
}

// `norm` is the caller's, reused from record to record.
void NormalisedRecord(Writer& w, const mbus_data_record& r, size_t id, Normalised& norm) {
  w.OpenRecord(id);
  if (!Normalise(r, norm)) {  // a record without a normalised form is written empty
    w.Element("Function", FunctionText(r));
    RecordPosition(w, r);
    w.Element("Unit", norm.unit);
    w.Element("Quantity", norm.quantity);
    if (norm.numeric)
      w.Real("Value", norm.number);
    else
      w.Element("Value", norm.text);
  }
  w.Close("DataRecord");
}

void FixedCounter(Writer& w, const mbus_data_fixed& d, unsigned type, const unsigned char* value,
                  size_t id) {
  w.OpenRecord(id);
  w.Element("Function", mbus_data_fixed_function(d.status));
  w.Element("Unit", PlainFixedUnitText(type));
  const bool binary = d.status & 0x80;
  w.Integer("Value", binary ? IntDecode(value, 4) : BcdDecode(value, 4));
  w.Close("DataRecord");
}

void Fixed(Writer& w, const mbus_data_fixed& d) {
  w.Open("SlaveInformation");
  w.Id("Id", d.id_bcd);
  w.Element("Medium", mbus_data_fixed_medium(const_cast<mbus_data_fixed*>(&d)));
  w.Integer("AccessNumber", d.tx_cnt);
  w.Hex("Status", d.status);
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
  Normalised norm;
  for (const mbus_data_record* r = d.record; r; r = r->next, ++id) {
    if (normalised)
      NormalisedRecord(w, *r, id, norm);
    else
      PlainRecord(w, *r, id);
  }
  return id;
}

size_t VariableRoom(const mbus_data_variable& d) {
  return kHeaderRoom + kRecordRoom * d.nrecords;
}

size_t FrameDataRoom(const mbus_frame_data& data) {
  return data.type == MBUS_DATA_TYPE_VARIABLE ? VariableRoom(data.data_var) : kHeaderRoom;
}

void VariableDoc(Buffer& out, const mbus_data_variable& d, bool normalised) {
  PutLiteral(out, kProlog);
  Writer w(out);
  VariableHeader(w, d.header);
  Records(w, d, 0, normalised);
  PutLiteral(out, kEpilog);
}

void FixedDoc(Buffer& out, const mbus_data_fixed& d) {
  PutLiteral(out, kProlog);
  Writer w(out);
  Fixed(w, d);
  PutLiteral(out, kEpilog);
}

void ErrorDoc(Buffer& out, int error) {
  PutLiteral(out, kProlog);
  Writer w(out);
  ErrorBlock(w, error);
  PutLiteral(out, kEpilog);
}

void FrameDataDoc(Buffer& out, const mbus_frame_data& data, bool normalised) {
  switch (data.type) {
    case MBUS_DATA_TYPE_VARIABLE:
      return VariableDoc(out, data.data_var, normalised);
    case MBUS_DATA_TYPE_FIXED:
      return FixedDoc(out, data.data_fix);
    case MBUS_DATA_TYPE_ERROR:
      return ErrorDoc(out, data.error);
    default:
      throw Error("frame data of unknown type");
  }
}

// A reply of several frames: the first frame's slave information, then the
// records of every variable-structure frame, numbered on.
void ReplyDoc(Buffer& out, const mbus_frame& first, bool normalised) {
  mbus_frame_data data{};
  ParseFrameDataInto(first, data);
  if (data.type != MBUS_DATA_TYPE_VARIABLE || !first.next) {
    try {
      FrameDataDoc(out, data, normalised);
    } catch (...) {
      mbus_data_record_free(data.data_var.record);
      throw;
    }
    mbus_data_record_free(data.data_var.record);
    return;
  }
  PutLiteral(out, kProlog);
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
  PutLiteral(out, kEpilog);
}

}  // namespace

std::string XmlEncode(const std::string& text) {
  Buffer out(text.size() + 1);
  AppendEscaped(out, text.data(), text.size());
  return out.Text();
}

std::string VariableXml(const mbus_data_variable& d, bool normalised) {
  Buffer out(VariableRoom(d));
  VariableDoc(out, d, normalised);
  return out.Text();
}

std::string FrameDataXml(const mbus_frame_data& data, bool normalised) {
  Buffer out(FrameDataRoom(data));
  FrameDataDoc(out, data, normalised);
  return out.Text();
}

std::string FixedXml(const mbus_data_fixed& d) {
  Buffer out(kHeaderRoom);
  FixedDoc(out, d);
  return out.Text();
}

std::string ErrorXml(int error) {
  Buffer out(kHeaderRoom);
  ErrorDoc(out, error);
  return out.Text();
}

std::string HeaderXml(const mbus_data_variable_header& h) {
  Buffer out(kHeaderRoom);
  Writer w(out);
  VariableHeader(w, h);
  return out.Text();
}

std::string ReplyXml(const mbus_frame& first, bool normalised) {
  Buffer out(kHeaderRoom);
  ReplyDoc(out, first, normalised);
  return out.Text();
}

}  // namespace mbus

using namespace mbus;

extern "C" {

char* mbus_data_variable_xml(mbus_data_variable* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no data");
    Buffer out(VariableRoom(*data));
    VariableDoc(out, *data, false);
    return out.Release();
  });
}

char* mbus_data_variable_xml_normalized(mbus_data_variable* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no data");
    Buffer out(VariableRoom(*data));
    VariableDoc(out, *data, true);
    return out.Release();
  });
}

char* mbus_data_fixed_xml(mbus_data_fixed* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no data");
    Buffer out(kHeaderRoom);
    FixedDoc(out, *data);
    return out.Release();
  });
}

char* mbus_data_error_xml(int error) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    Buffer out(kHeaderRoom);
    ErrorDoc(out, error);
    return out.Release();
  });
}

char* mbus_frame_data_xml(mbus_frame_data* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no frame data");
    Buffer out(FrameDataRoom(*data));
    FrameDataDoc(out, *data, false);
    return out.Release();
  });
}

char* mbus_frame_data_xml_normalized(mbus_frame_data* data) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!data) throw Error("no frame data");
    Buffer out(FrameDataRoom(*data));
    FrameDataDoc(out, *data, true);
    return out.Release();
  });
}

char* mbus_data_variable_header_xml(mbus_data_variable_header* header) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!header) throw Error("no header");
    Buffer out(kHeaderRoom);
    Writer w(out);
    VariableHeader(w, *header);
    return out.Release();
  });
}

char* mbus_frame_xml(mbus_frame* frame) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&] {
    if (!frame) throw Error("no frame");
    Buffer out(kHeaderRoom);
    ReplyDoc(out, *frame, false);
    return out.Release();
  });
}

void mbus_str_free(char* text) {
  std::free(text);
}

int mbus_str_xml_encode(unsigned char* dst, const unsigned char* src, size_t max_len) {
  if (!dst || !src || max_len == 0) return -1;
  return Guarded(nullptr, -1, [&] {
    const std::string encoded = XmlEncode(reinterpret_cast<const char*>(src));
    const size_t n = encoded.size() < max_len - 1 ? encoded.size() : max_len - 1;
    std::memcpy(dst, encoded.data(), n);
    dst[n] = 0;
    return static_cast<int>(n);
  });
}

}  // extern "C"
