// What a data record says: its function, storage number, tariff and device
// (from DIF/DIFE), its unit text and its value (from VIF/VIFE and data).
#include "Values.h"

#include <cstdio>
#include <cstring>

#include "Combinable.h"
#include "Guard.h"
#include "Internal.h"
#include "Tables.h"

namespace mbus {
namespace {

unsigned DataField(const mbus_data_record& r) {
  return r.dib.dif & MBUS_DATA_RECORD_DIF_MASK_DATA;
}
unsigned VifCode(const mbus_data_record& r) {
  return r.vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION;
}

bool IsBcdField(unsigned field) {
  return field == 0x09 || field == 0x0A || field == 0x0B || field == 0x0C || field == 0x0E;
}

bool ValidBcd(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const unsigned high = bytes[i] >> 4;
    const bool sign = i == count - 1 && high == 0x0F;
    if ((high > 9 && !sign) || (bytes[i] & 0x0F) > 9) return false;
  }
  return true;
}

// Hex pairs separated by blanks ("0A 1B").
std::string Spaced(const unsigned char* bytes, size_t count, bool reverse) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(3 * count);
  for (size_t i = 0; i < count; ++i) {
    if (i) text += ' ';
    const unsigned char b = reverse ? bytes[count - 1 - i] : bytes[i];
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string Reversed(const unsigned char* bytes, size_t count) {
  std::string text;
  for (size_t i = count; i-- > 0;) text += static_cast<char>(bytes[i]);
  return text;
}

// Appends value with at least `width` digits, zero-padded, as "%0*d" does.
void AppendPadded(std::string& out, int value, int width) {
  char digits[16];
  int n = 0;
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) {
    out += '-';
    --width;
  }
  for (int pad = width - n; pad > 0; --pad) out += '0';
  while (n) out += digits[--n];
}

// "YYYY-MM-DD", with the time "YYYY-MM-DDTHH:MM:SS" and a "Z" when zulu.
std::string DateText(const struct tm& t, bool with_time, bool zulu) {
  std::string text;
  text.reserve(24);
  AppendPadded(text, t.tm_year + 1900, 4);
  text += '-';
  AppendPadded(text, t.tm_mon + 1, 2);
  text += '-';
  AppendPadded(text, t.tm_mday, 2);
  if (!with_time) return text;
  text += 'T';
  AppendPadded(text, t.tm_hour, 2);
  text += ':';
  AppendPadded(text, t.tm_min, 2);
  text += ':';
  AppendPadded(text, t.tm_sec, 2);
  if (zulu) text += 'Z';
  return text;
}

std::string Decimal(long long value) {
  return std::to_string(value);
}

// Variable-length data: data[0] is the LVAR byte.
Value VariableValue(const mbus_data_record& r) {
  if (r.data_len == 0) return Value{};
  const unsigned lvar = r.data[0];
  const unsigned char* bytes = r.data + 1;
  const size_t count = r.data_len - 1;
  if (lvar < 0xC0) return Value::Text(Reversed(bytes, count));
  if (lvar < 0xE0 && count > 0 && count <= 8 && ValidBcd(bytes, count)) {
    const long long magnitude = BcdDecode(bytes, count);
    return Value::Integer(lvar >= 0xD0 ? -magnitude : magnitude);
  }
  return Value::Text(Spaced(bytes, count, true));
}

// BCD for normalised values: a high nibble above 9 counts as 0, a low one
// with its face value, and 0xF as top nibble makes the number negative.
long long LenientBcd(const unsigned char* bytes, size_t count) {
  long long value = 0;
  bool negative = false;
  for (size_t i = count; i-- > 0;) {
    unsigned high = bytes[i] >> 4;
    if (i == count - 1 && high == 0x0F) negative = true;
    if (high > 9) high = 0;
    value = (value * 10 + high) * 10 + (bytes[i] & 0x0F);
  }
  return negative ? -value : value;
}

}  // namespace

// A date or date-time: the decoded calendar fields, all zero when invalid.
Value DateValue(const mbus_data_record& r, DateKind kind) {
  Value v = Value::Text("");
  v.date = kind;
  DecodeTime(v.time, r.data, r.data_len);
  return v;
}

Value Value::Number(double number) {
  Value v;
  v.kind = kNumber;
  v.number = number;
  return v;
}

Value Value::Integer(long long integer) {
  Value v = Number(static_cast<double>(integer));
  v.integer = integer;
  v.exact = true;
  return v;
}

Value Value::Text(std::string text) {
  Value v;
  v.kind = kText;
  v.text = std::move(text);
  return v;
}

bool IsManufacturerRecord(const mbus_data_record& r) {
  return r.dib.dif == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC ||
         r.dib.dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW;
}

DateKind RecordDateKind(const mbus_data_record& r) {
  const unsigned field = DataField(r);
  if (IsManufacturerRecord(r)) return DateKind::kNone;
  if (field == 0x02 && VifCode(r) == 0x6C) return DateKind::kDate;
  if (field != 0x04 && field != 0x06) return DateKind::kNone;
  if (VifCode(r) == 0x6D) return DateKind::kDateTime;
  if (r.vib.vif == 0xFD && r.vib.nvife > 0) {
    const unsigned ext = r.vib.vife[0] & MBUS_DIB_VIF_WITHOUT_EXTENSION;
    if (ext == 0x30 || ext == 0x70) return DateKind::kDateTime;
  }
  return DateKind::kNone;
}

const char* FunctionText(const mbus_data_record& r) {
  if (r.dib.dif == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC) return "Manufacturer specific";
  if (r.dib.dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW) return "More records follow";
  switch (r.dib.dif & MBUS_DATA_RECORD_DIF_MASK_FUNCTION) {
    case 0x00:
      return "Instantaneous value";
    case 0x10:
      return "Maximum value";
    case 0x20:
      return "Minimum value";
    default:
      return "Value during error state";
  }
}

long StorageNumber(const mbus_data_record& r) {
  if (IsManufacturerRecord(r)) return 0;
  unsigned long storage = (r.dib.dif & MBUS_DATA_RECORD_DIF_MASK_STORAGE_NO) >> 6;
  for (size_t i = 0; i < r.dib.ndife && i < 8; ++i)
    storage |= static_cast<unsigned long>(r.dib.dife[i] & MBUS_DATA_RECORD_DIFE_MASK_STORAGE_NO)
               << (1 + 4 * i);
  return static_cast<long>(storage);
}

long Tariff(const mbus_data_record& r) {
  unsigned long tariff = 0;
  for (size_t i = 0; i < r.dib.ndife && i < 8; ++i)
    tariff |= static_cast<unsigned long>((r.dib.dife[i] & MBUS_DATA_RECORD_DIFE_MASK_TARIFF) >> 4)
              << (2 * i);
  return static_cast<long>(tariff);
}

int Device(const mbus_data_record& r) {
  int device = 0;
  for (size_t i = 0; i < r.dib.ndife; ++i)
    device |= ((r.dib.dife[i] & MBUS_DATA_RECORD_DIFE_MASK_DEVICE) >> 6) << i;
  return device;
}

std::string PlainUnit(const mbus_data_record& r) {
  const unsigned vif = r.vib.vif;
  if ((vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7C) {
    std::string text(reinterpret_cast<const char*>(r.vib.custom_vif));
    const VifeMeaning meaning = ReadCombinable(r.vib);
    if (meaning.corrected) return std::string(UnitPrefix(meaning.exponent)) + " " + text;
    return text;
  }
  if (vif == 0xFD || vif == 0xFB) {
    if (r.vib.nvife == 0) return "Reserved";
    return PlainExtensionText(vif == 0xFD ? NormTable::kExtensionFD : NormTable::kExtensionFB,
                              r.vib.vife[0]);
  }
  return PlainPrimaryText(vif);
}

Value RawValue(const mbus_data_record& r) {
  if (IsManufacturerRecord(r)) return Value::Text(Spaced(r.data, r.data_len, false));
  const DateKind date = RecordDateKind(r);
  if (date != DateKind::kNone) return DateValue(r, date);
  const unsigned field = DataField(r);
  const size_t count = r.data_len;
  if (field == 0x0D) return VariableValue(r);
  if (count == 0) return Value{};
  if (field == 0x05)
    return Value::Number(mbus_data_float_decode(const_cast<unsigned char*>(r.data)));
  if (IsBcdField(field)) {
    Value v = Value::Integer(LenientBcd(r.data, count));
    if (!ValidBcd(r.data, count)) v.text = HexText(r.data, count, true);
    v.bcd = true;
    return v;
  }
  return Value::Integer(IntDecode(r.data, count));
}

std::string PlainValueText(const mbus_data_record& r) {
  const Value v = RawValue(r);
  if (v.date != DateKind::kNone) return DateText(v.time, v.date == DateKind::kDateTime, false);
  if (v.kind == Value::kText) return v.text;
  if (v.kind == Value::kNone) return "";
  if (v.bcd && !v.text.empty()) return v.text;
  if (v.exact) return Decimal(v.integer);
  char text[64];
  std::snprintf(text, sizeof text, "%f", v.number);
  return text;
}

std::string NormalisedDateText(const Value& v) {
  return DateText(v.time, v.date == DateKind::kDateTime, true);
}

}  // namespace mbus
