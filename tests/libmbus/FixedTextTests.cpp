// The XML writers' "%f" without printf must give printf's text for every
// double: the values meters send (raw numbers times powers of ten), ties,
// tiny and huge magnitudes, and random bit patterns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "libmbus/src/FixedText.h"

namespace {

std::string Printf(double value) {
  char text[mbus::kFixedTextSize];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

std::string Fixed(double value) {
  char text[mbus::kFixedTextSize];
  const size_t size = mbus::FixedText(value, text);
  EXPECT_EQ(size, std::strlen(text));
  return std::string(text, size);
}

double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

TEST(MbusFixedText, MatchesPrintfOnMeterValues) {
  std::mt19937_64 random(21);
  std::uniform_int_distribution<long long> raw(-99999999, 99999999);
  for (int exponent = -12; exponent <= 12; ++exponent) {
    const double multiplier = std::pow(10.0, exponent);
    for (int i = 0; i < 400; ++i) {
      const double value = static_cast<double>(raw(random)) * multiplier;
      ASSERT_EQ(Fixed(value), Printf(value)) << value;
    }
  }
}

TEST(MbusFixedText, MatchesPrintfOnEdgesAndRandomBits) {
  const double edges[] = {0.0,
                          -0.0,
                          0.5e-6,
                          1.5e-6,
                          0.0078125,  // an exact tie at the sixth decimal
                          -0.0078125,
                          2.5,
                          0.9999995,
                          0.99999949999999,
                          9007199254740991.0,
                          9007199254740993.0,
                          1e300,
                          -1e-300,
                          std::numeric_limits<double>::denorm_min(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::max()};
  for (double value : edges) EXPECT_EQ(Fixed(value), Printf(value)) << value;
  std::mt19937_64 random(13757);
  for (int i = 0; i < 20000; ++i) {
    const double value = FromBits(random());
    ASSERT_EQ(Fixed(value), Printf(value));
  }
  // random doubles between 2^-12 and 2^56: the direct path and its borders
  std::uniform_real_distribution<double> exponent(-12.0, 56.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = std::pow(2.0, exponent(random)) * ((i & 1) ? -1 : 1);
    ASSERT_EQ(Fixed(value), Printf(value)) << value;
  }
}
