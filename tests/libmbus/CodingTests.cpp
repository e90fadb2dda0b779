// Value coding: BCD, integers, reals, dates, manufacturer codes, hex text.
#include <gtest/gtest.h>

#include <cstring>

#include "mbus/mbus.h"

TEST(MbusCoding, BcdEncodesAndDecodes) {
  unsigned char bcd[4];
  ASSERT_EQ(mbus_data_bcd_encode(bcd, 4, 12345678), 0);
  const unsigned char expected[] = {0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(0, std::memcmp(bcd, expected, 4));
  EXPECT_EQ(mbus_data_bcd_decode(bcd, 4), 12345678);
  EXPECT_EQ(mbus_data_bcd_decode_hex(bcd, 4), 0x12345678);
  unsigned char negative[] = {0x34, 0xF2};
  EXPECT_EQ(mbus_data_bcd_decode(negative, 2), -234);
  EXPECT_EQ(mbus_data_bcd_encode(bcd, 4, -1), -1);
  EXPECT_EQ(mbus_data_bcd_decode(bcd, 9), -1);
}

TEST(MbusCoding, IntegersAreLittleEndianAndSigned) {
  unsigned char bytes[4];
  ASSERT_EQ(mbus_data_int_encode(bytes, 4, -2), 0);
  int value = 0;
  ASSERT_EQ(mbus_data_int_decode(bytes, 4, &value), 0);
  EXPECT_EQ(value, -2);
  unsigned char three[] = {0x01, 0x02, 0x83};
  ASSERT_EQ(mbus_data_int_decode(three, 3, &value), 0);
  EXPECT_EQ(value, -(0x800000 - 0x030201));
  unsigned char six[] = {0x0A, 0x00, 0x01, 0x00, 0xFA, 0x01};
  long long wide = 0;
  ASSERT_EQ(mbus_data_long_long_decode(six, 6, &wide), 0);
  EXPECT_EQ(wide, 2173253517322LL);
  EXPECT_EQ(mbus_data_int_decode(six, 6, &value), -1);
  EXPECT_EQ(mbus_data_int_decode(six, 0, &value), -1);
}

TEST(MbusCoding, RealIsIeeeSinglePrecision) {
  unsigned char bytes[] = {0x00, 0x00, 0xC0, 0x3F};
  EXPECT_FLOAT_EQ(mbus_data_float_decode(bytes), 1.5f);
}

TEST(MbusCoding, DatesOfTypesGAndFAndTheSixByteForm) {
  struct tm t;
  unsigned char date[] = {0x5F, 0x1C};
  mbus_data_tm_decode(&t, date, 2);
  EXPECT_EQ(t.tm_year + 1900, 2010);
  EXPECT_EQ(t.tm_mon + 1, 12);
  EXPECT_EQ(t.tm_mday, 31);
  unsigned char datetime[] = {0x0B, 0x0B, 0xCD, 0x13};
  mbus_data_tm_decode(&t, datetime, 4);
  EXPECT_EQ(t.tm_year + 1900, 2014);
  EXPECT_EQ(t.tm_mon + 1, 3);
  EXPECT_EQ(t.tm_mday, 13);
  EXPECT_EQ(t.tm_hour, 11);
  EXPECT_EQ(t.tm_min, 11);
  unsigned char six[] = {0x1E, 0x0B, 0x0B, 0xCD, 0x13, 0x00};
  mbus_data_tm_decode(&t, six, 6);
  EXPECT_EQ(t.tm_sec, 30);
  EXPECT_EQ(t.tm_min, 11);
  EXPECT_EQ(t.tm_mday, 13);
  unsigned char invalid[] = {0xA1, 0x15, 0xE9, 0x17};
  mbus_data_tm_decode(&t, invalid, 4);
  EXPECT_EQ(t.tm_year, 0);
  EXPECT_EQ(t.tm_mday, 0);
  mbus_data_tm_decode(&t, datetime, 3);
  EXPECT_EQ(t.tm_mday, 0);
}

TEST(MbusCoding, ManufacturerCodes) {
  char code[] = "KAM";
  EXPECT_EQ(mbus_manufacturer_id(code), 0x2C2Du);
  unsigned char bytes[2];
  ASSERT_EQ(mbus_data_manufacturer_encode(bytes, reinterpret_cast<unsigned char*>(code)), 0);
  EXPECT_EQ(bytes[0], 0x2D);
  EXPECT_EQ(bytes[1], 0x2C);
  char text[4];
  EXPECT_STREQ(mbus_decode_manufacturer(0x2D, 0x2C, text), "KAM");
  EXPECT_EQ(mbus_decode_manufacturer(0x2D, 0x2C, nullptr), nullptr);
  char bad[] = "K1M";
  EXPECT_EQ(mbus_manufacturer_id(bad), 0u);
}

TEST(MbusCoding, HexTextSkipsSeparatorsAndStopsAtTheBuffer) {
  const unsigned char text[] = "68 0a\n0B,ff";
  unsigned char out[3];
  EXPECT_EQ(mbus_hex2bin(out, sizeof out, text, sizeof text - 1), 3u);
  EXPECT_EQ(out[0], 0x68);
  EXPECT_EQ(out[1], 0x0A);
  EXPECT_EQ(out[2], 0x0B);
  const unsigned char odd[] = "6 8";
  EXPECT_EQ(mbus_hex2bin(out, sizeof out, odd, 3), 0u);
}

TEST(MbusCoding, TextAndBinaryHelpers) {
  unsigned char text[8];
  const unsigned char reversed[] = {'1', '2', 'H'};
  mbus_data_str_decode(text, reversed, 3);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "H21");
  unsigned char hex[8];
  const unsigned char bytes[] = {0x01, 0xAB, 0xFF};
  mbus_data_bin_decode(hex, bytes, 3, sizeof hex);
  EXPECT_STREQ(reinterpret_cast<char*>(hex), "01 AB");
  unsigned char xml[32];
  EXPECT_GT(mbus_str_xml_encode(xml, reinterpret_cast<const unsigned char*>("a<b&c"), sizeof xml),
            0);
  EXPECT_STREQ(reinterpret_cast<char*>(xml), "a&lt;b&amp;c");
}
