// Value coding of the application layer: BCD, little-endian integers, IEEE
// reals, dates, texts, manufacturer codes and hex text.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "Guard.h"
#include "Internal.h"

namespace mbus {
namespace {

constexpr size_t kMaxIntBytes = 8;

void RequireBytes(const unsigned char* bytes, size_t count, size_t max) {
  if (!bytes || count == 0 || count > max) throw Error("invalid value length");
}

// Two-digit years from this one on belong to the 1900s, earlier ones to the
// 2000s: meters in the field carry dates of both centuries.
constexpr int kFirstYearOf1900s = 81;

// Date fields shared by the date (G) and date-time (F, 6-byte) forms: day,
// month and the 7-bit year split over the high bits of two bytes.
void DecodeDate(struct tm& t, unsigned char day_byte, unsigned char month_byte) {
  t.tm_mday = day_byte & 0x1F;
  t.tm_mon = (month_byte & 0x0F) - 1;
  const int year = ((day_byte & 0xE0) >> 5) | ((month_byte & 0xF0) >> 1);
  t.tm_year = year >= kFirstYearOf1900s ? year : year + 100;  // tm_year counts from 1900
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// Most significant byte last; a nibble above 9 counts with its face value,
// and a top nibble of 0xF marks a negative number.
long long BcdDecode(const unsigned char* bytes, size_t count) {
  RequireBytes(bytes, count, kMaxIntBytes);
  long long value = 0;
  bool negative = false;
  for (size_t i = count; i-- > 0;) {
    unsigned high = bytes[i] >> 4;
    if (i == count - 1 && high == 0x0F) {
      negative = true;
      high = 0;
    }
    value = value * 10 + high;
    value = value * 10 + (bytes[i] & 0x0F);
  }
  return negative ? -value : value;
}

unsigned long long BcdDecodeHex(const unsigned char* bytes, size_t count) {
  RequireBytes(bytes, count, kMaxIntBytes);
  unsigned long long value = 0;
  for (size_t i = count; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

long long IntDecode(const unsigned char* bytes, size_t count) {
  RequireBytes(bytes, count, kMaxIntBytes);
  unsigned long long raw = 0;
  for (size_t i = count; i-- > 0;) raw = raw << 8 | bytes[i];
  if (count < kMaxIntBytes && (bytes[count - 1] & 0x80)) raw |= ~0ull << (8 * count);
  return static_cast<long long>(raw);
}

std::string ManufacturerText(unsigned char low, unsigned char high) {
  const unsigned id = static_cast<unsigned>(high) << 8 | low;
  const char text[] = {static_cast<char>(((id >> 10) & 0x1F) + 64),
                       static_cast<char>(((id >> 5) & 0x1F) + 64),
                       static_cast<char>((id & 0x1F) + 64), 0};
  return text;
}

std::string HexText(const unsigned char* bytes, size_t count, bool reverse) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * count);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char b = reverse ? bytes[count - 1 - i] : bytes[i];
    text += digits[b >> 4];
    text += digits[b & 0x0F];
  }
  return text;
}

void DecodeTime(struct tm& t, const unsigned char* b, size_t count) {
  std::memset(&t, 0, sizeof t);
  if (!b) return;
  if (count == 2) {
    DecodeDate(t, b[0], b[1]);
  } else if (count == 4) {
    if (b[0] & 0x80) return;  // the time-invalid flag
    t.tm_min = b[0] & 0x3F;
    t.tm_hour = b[1] & 0x1F;
    DecodeDate(t, b[2], b[3]);
    t.tm_isdst = (b[1] & 0x80) ? 1 : 0;
  } else if (count == 6) {
    t.tm_sec = b[0] & 0x3F;
    t.tm_min = b[1] & 0x3F;
    t.tm_hour = b[2] & 0x1F;
    DecodeDate(t, b[3], b[4]);
  }
}

size_t HexToBin(unsigned char* dst, size_t dst_len, const unsigned char* src, size_t src_len) {
  size_t written = 0;
  int pending = -1;
  for (size_t i = 0; i < src_len && src[i] && written < dst_len; ++i) {
    const int v = HexValue(src[i]);
    if (v < 0) {
      pending = -1;  // a separator ends a half-read pair
      continue;
    }
    if (pending < 0) {
      pending = v;
    } else {
      dst[written++] = static_cast<unsigned char>(pending << 4 | v);
      pending = -1;
    }
  }
  return written;
}

}  // namespace mbus

using namespace mbus;

extern "C" {

unsigned int mbus_manufacturer_id(char* manufacturer) {
  if (!manufacturer || std::strlen(manufacturer) != 3) return 0;
  unsigned id = 0;
  for (int i = 0; i < 3; ++i) {
    const int c = std::toupper(static_cast<unsigned char>(manufacturer[i]));
    if (c < 'A' || c > 'Z') return 0;
    id = id << 5 | static_cast<unsigned>(c - 64);
  }
  return id;
}

int mbus_data_manufacturer_encode(unsigned char* m_data, unsigned char* m_code) {
  if (!m_data || !m_code) return -1;
  const unsigned id = mbus_manufacturer_id(reinterpret_cast<char*>(m_code));
  if (id == 0) return -1;
  m_data[0] = static_cast<unsigned char>(id & 0xFF);
  m_data[1] = static_cast<unsigned char>(id >> 8);
  return 0;
}

const char* mbus_decode_manufacturer(unsigned char byte1, unsigned char byte2, char* buffer) {
  if (!buffer) return nullptr;
  std::memcpy(buffer, ManufacturerText(byte1, byte2).c_str(), 4);
  return buffer;
}

int mbus_data_bcd_encode(unsigned char* bcd_data, size_t bcd_data_size, int value) {
  if (!bcd_data || value < 0) return -1;
  for (size_t i = 0; i < bcd_data_size; ++i) {
    const int low = value % 10;
    value /= 10;
    const int high = value % 10;
    value /= 10;
    bcd_data[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return 0;
}

int mbus_data_int_encode(unsigned char* int_data, size_t int_data_size, int value) {
  if (!int_data) return -1;
  unsigned long long raw = static_cast<unsigned long long>(static_cast<long long>(value));
  for (size_t i = 0; i < int_data_size; ++i) {
    int_data[i] = static_cast<unsigned char>(raw & 0xFF);
    raw >>= 8;
  }
  return 0;
}

long long mbus_data_bcd_decode(unsigned char* bcd_data, size_t bcd_data_size) {
  return Guarded(nullptr, -1ll, [&] { return BcdDecode(bcd_data, bcd_data_size); });
}

long long mbus_data_bcd_decode_hex(unsigned char* bcd_data, size_t bcd_data_size) {
  return Guarded(nullptr, -1ll,
                 [&] { return static_cast<long long>(BcdDecodeHex(bcd_data, bcd_data_size)); });
}

int mbus_data_int_decode(unsigned char* int_data, size_t int_data_size, int* value) {
  return Guarded(nullptr, -1, [&] {
    if (!value || int_data_size > sizeof(int)) throw Error("invalid integer length");
    *value = static_cast<int>(IntDecode(int_data, int_data_size));
    return 0;
  });
}

int mbus_data_long_decode(unsigned char* int_data, size_t int_data_size, long* value) {
  return Guarded(nullptr, -1, [&] {
    if (!value || int_data_size > sizeof(long)) throw Error("invalid integer length");
    *value = static_cast<long>(IntDecode(int_data, int_data_size));
    return 0;
  });
}

int mbus_data_long_long_decode(unsigned char* int_data, size_t int_data_size, long long* value) {
  return Guarded(nullptr, -1, [&] {
    if (!value) throw Error("no result");
    *value = IntDecode(int_data, int_data_size);
    return 0;
  });
}

float mbus_data_float_decode(unsigned char* float_data) {
  if (!float_data) return 0.0f;
  const uint32_t raw =
      static_cast<uint32_t>(float_data[0]) | static_cast<uint32_t>(float_data[1]) << 8 |
      static_cast<uint32_t>(float_data[2]) << 16 | static_cast<uint32_t>(float_data[3]) << 24;
  float value;
  std::memcpy(&value, &raw, sizeof value);
  return value;
}

void mbus_data_tm_decode(struct tm* t, unsigned char* t_data, size_t t_data_size) {
  if (t) DecodeTime(*t, t_data, t_data_size);
}

void mbus_data_str_decode(unsigned char* dst, const unsigned char* src, size_t len) {
  if (!dst) return;
  for (size_t i = 0; src && i < len; ++i) dst[i] = src[len - 1 - i];
  dst[src ? len : 0] = 0;
}

void mbus_data_bin_decode(unsigned char* dst, const unsigned char* src, size_t len,
                          size_t max_len) {
  if (!dst || max_len == 0) return;
  size_t pos = 0;
  dst[0] = 0;
  for (size_t i = 0; src && i < len && pos + 3 < max_len; ++i)
    pos += static_cast<size_t>(std::snprintf(reinterpret_cast<char*>(dst) + pos, max_len - pos,
                                             i ? " %02X" : "%02X", src[i]));
}

size_t mbus_hex2bin(unsigned char* dst, size_t dst_len, const unsigned char* src, size_t src_len) {
  if (!dst || !src) return 0;
  return HexToBin(dst, dst_len, src, src_len);
}

}  // extern "C"
