// "%f" without printf for the values meters send: a double is M x 2^-k with
// a 53-bit M; for 0 <= k <= 63 the whole part and the six decimals follow
// exactly from integer arithmetic (the decimals need M's fraction bits times
// 10^6, at most 73 bits, kept in two 64-bit halves). Exact ties, larger or
// smaller magnitudes, infinities and NaN go to snprintf, so the text is
// always the one printf gives.
#include "FixedText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace mbus {
namespace {

constexpr std::uint64_t kMillion = 1000000;

size_t Fallback(double value, char* out) {
  const int n = std::snprintf(out, kFixedTextSize, "%f", value);
  return n < 0                                     ? 0
         : static_cast<size_t>(n) < kFixedTextSize ? static_cast<size_t>(n)
                                                   : kFixedTextSize - 1;
}

// The six decimals of fraction / 2^k (0 < fraction < 2^k, 1 <= k <= 63),
// rounded to nearest; false on an exact tie.
bool Decimals(std::uint64_t fraction, int k, std::uint64_t& decimals) {
  const std::uint64_t low = (fraction & 0xFFFFFFFFu) * kMillion;  // below 2^52
  const std::uint64_t high = (fraction >> 32) * kMillion;         // below 2^41
  const std::uint64_t t_low = ((high & 0xFFFFFFFFu) << 32) + low;
  const std::uint64_t t_high = (high >> 32) + (t_low < low ? 1 : 0);
  decimals = (t_high << (64 - k)) | (t_low >> k);
  const std::uint64_t rest = t_low & ((std::uint64_t{1} << k) - 1);
  const std::uint64_t half = std::uint64_t{1} << (k - 1);
  if (rest == half) return false;
  if (rest > half) ++decimals;
  return true;
}

// Digits are taken in 32-bit steps: a 64-bit division is a library call on
// 32-bit targets, and meter values mostly fit 32 bits.
size_t Write(bool negative, std::uint64_t whole, std::uint32_t decimals, char* out) {
  char digits[24];
  size_t n = 0;
  while (whole > 0xFFFFFFFFu) {
    digits[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  }
  auto small = static_cast<std::uint32_t>(whole);
  do {
    digits[n++] = static_cast<char>('0' + small % 10);
    small /= 10;
  } while (small);
  char* p = out;
  if (negative) *p++ = '-';
  while (n) *p++ = digits[--n];
  *p++ = '.';
  for (int i = 5; i >= 0; --i) {
    p[i] = static_cast<char>('0' + decimals % 10);
    decimals /= 10;
  }
  p += 6;
  *p = 0;
  return static_cast<size_t>(p - out);
}

}  // namespace

size_t FixedText(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = bits >> 63;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0 && mantissa == 0) return Write(negative, 0, 0, out);
  if (biased == 0 || biased == 0x7FF) return Fallback(value, out);
  const int k = 1075 - biased;  // value = M x 2^-k
  if (k < 0 || k > 63) return Fallback(value, out);
  const std::uint64_t m = mantissa | (std::uint64_t{1} << 52);
  std::uint64_t whole = m >> k;
  const std::uint64_t fraction = k == 0 ? 0 : m & ((std::uint64_t{1} << k) - 1);
  std::uint64_t decimals = 0;
  if (fraction != 0 && !Decimals(fraction, k, decimals)) return Fallback(value, out);
  if (decimals == kMillion) {
    ++whole;
    decimals = 0;
  }
  return Write(negative, whole, static_cast<std::uint32_t>(decimals), out);
}

}  // namespace mbus
