// Link-layer frames: packing, parsing in pieces, verification and bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "TestFiles.h"
#include "mbus/mbus.h"

using mbus_test::Bytes;

namespace {

struct FrameDeleter {
  void operator()(mbus_frame* f) const { mbus_frame_free(f); }
};
using Frame = std::unique_ptr<mbus_frame, FrameDeleter>;

Frame NewFrame(int type) {
  return Frame(mbus_frame_new(type));
}

// A long reply: 68 L L 68 08 05 72 + 12-byte header + one record.
const char* const kReply =
    "68 15 15 68 08 05 72 78 56 34 12 24 40 01 07 55 00 00 00 04 13 2A 00 00 00 95 16";

}  // namespace

TEST(MbusFrame, ShortFramePacksWithChecksum) {
  Frame f = NewFrame(MBUS_FRAME_TYPE_SHORT);
  f->control = MBUS_CONTROL_MASK_REQ_UD2;
  f->address = 5;
  unsigned char out[8];
  ASSERT_EQ(mbus_frame_pack(f.get(), out, sizeof out), 5);
  const unsigned char expected[] = {0x10, 0x5B, 0x05, 0x60, 0x16};
  EXPECT_EQ(0, std::memcmp(out, expected, 5));
  EXPECT_EQ(mbus_frame_verify(f.get()), 0);
  EXPECT_EQ(mbus_frame_direction(f.get()), MBUS_CONTROL_MASK_DIR_M2S);
}

TEST(MbusFrame, LongFrameRoundTripsThroughParse) {
  auto bytes = Bytes(kReply);
  Frame f = NewFrame(MBUS_FRAME_TYPE_ANY);
  ASSERT_EQ(mbus_parse(f.get(), bytes.data(), bytes.size()), 0);
  EXPECT_EQ(mbus_frame_type(f.get()), MBUS_FRAME_TYPE_LONG);
  EXPECT_EQ(f->control_information, 0x72);
  EXPECT_EQ(f->data_size, 0x15u - 3);
  EXPECT_EQ(mbus_frame_verify(f.get()), 0);
  EXPECT_EQ(mbus_frame_direction(f.get()), MBUS_CONTROL_MASK_DIR_S2M);
  unsigned char out[64];
  ASSERT_EQ(mbus_frame_pack(f.get(), out, sizeof out), static_cast<int>(bytes.size()));
  EXPECT_EQ(0, std::memcmp(out, bytes.data(), bytes.size()));
  EXPECT_EQ(mbus_frame_pack(f.get(), out, bytes.size() - 1), -1);
}

TEST(MbusFrame, AcknowledgementIsOneByte) {
  unsigned char ack = 0xE5;
  Frame f = NewFrame(MBUS_FRAME_TYPE_ANY);
  ASSERT_EQ(mbus_parse(f.get(), &ack, 1), 0);
  EXPECT_EQ(mbus_frame_type(f.get()), MBUS_FRAME_TYPE_ACK);
}

// A receiver reads the start byte, then the header, then what the length
// field says: mbus_parse tells how many bytes are still missing.
TEST(MbusFrame, ParseTellsHowManyBytesAreMissing) {
  auto bytes = Bytes(kReply);
  Frame f = NewFrame(MBUS_FRAME_TYPE_ANY);
  EXPECT_EQ(mbus_parse(f.get(), bytes.data(), 0), 1);
  EXPECT_EQ(mbus_parse(f.get(), bytes.data(), 1), 3);
  EXPECT_EQ(mbus_parse(f.get(), bytes.data(), 4), static_cast<int>(bytes.size() - 4));
  EXPECT_EQ(mbus_parse(f.get(), bytes.data(), bytes.size() - 1), 1);
  unsigned char short_start[] = {0x10, 0x5B};
  EXPECT_EQ(mbus_parse(f.get(), short_start, 1), 4);
  EXPECT_EQ(mbus_parse(f.get(), short_start, 2), 3);
  EXPECT_EQ(f->type, MBUS_FRAME_TYPE_ANY);  // untouched until a frame is whole
}

TEST(MbusFrame, BadBytesAreRefused) {
  Frame f = NewFrame(MBUS_FRAME_TYPE_ANY);
  auto checksum = Bytes(kReply);
  checksum[checksum.size() - 2] ^= 1;
  EXPECT_EQ(mbus_parse(f.get(), checksum.data(), checksum.size()), -1);
  auto stop = Bytes(kReply);
  stop.back() = 0x17;
  EXPECT_EQ(mbus_parse(f.get(), stop.data(), stop.size()), -1);
  auto lengths = Bytes(kReply);
  lengths[2] = 0x14;
  EXPECT_EQ(mbus_parse(f.get(), lengths.data(), lengths.size()), -1);
  auto too_short = Bytes("68 02 02 68 08 05");
  EXPECT_EQ(mbus_parse(f.get(), too_short.data(), too_short.size()), -1);
  auto garbage = Bytes("42 00");
  EXPECT_EQ(mbus_parse(f.get(), garbage.data(), garbage.size()), -1);
  EXPECT_EQ(mbus_parse(nullptr, garbage.data(), garbage.size()), -1);
  EXPECT_NE(mbus_error_str(nullptr), nullptr);
}

TEST(MbusFrame, VerifyFindsInconsistentFields) {
  auto bytes = Bytes(kReply);
  Frame f = NewFrame(MBUS_FRAME_TYPE_ANY);
  ASSERT_EQ(mbus_parse(f.get(), bytes.data(), bytes.size()), 0);
  f->checksum ^= 0xFF;
  EXPECT_EQ(mbus_frame_verify(f.get()), -1);
  ASSERT_EQ(mbus_frame_calc_checksum(f.get()), 0);
  EXPECT_EQ(mbus_frame_verify(f.get()), 0);
  f->data_size = 300;
  EXPECT_EQ(mbus_frame_verify(f.get()), -1);
  EXPECT_EQ(mbus_frame_calc_length(f.get()), -1);
  f->data_size = 4;
  EXPECT_EQ(mbus_frame_verify(f.get()), -1);
  ASSERT_EQ(mbus_frame_calc_length(f.get()), 0);
  ASSERT_EQ(mbus_frame_calc_checksum(f.get()), 0);
  EXPECT_EQ(mbus_frame_verify(f.get()), 0);
  f->type = 99;
  EXPECT_EQ(mbus_frame_verify(f.get()), -1);
  EXPECT_EQ(mbus_frame_free(nullptr), -1);
}

TEST(MbusFrame, SelectionFrameCarriesTheMaskWithWildcards) {
  Frame f = NewFrame(MBUS_FRAME_TYPE_LONG);
  char mask[] = "12345678FFFFFFFF";
  ASSERT_EQ(mbus_frame_select_secondary_pack(f.get(), mask), 0);
  EXPECT_EQ(f->control, MBUS_CONTROL_MASK_SND_UD);
  EXPECT_EQ(f->address, MBUS_ADDRESS_NETWORK_LAYER);
  EXPECT_EQ(f->control_information, MBUS_CONTROL_INFO_SELECT_SLAVE);
  const unsigned char data[] = {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(f->data_size, 8u);
  EXPECT_EQ(0, std::memcmp(f->data, data, 8));
  EXPECT_EQ(mbus_frame_verify(f.get()), 0);
  char partial[] = "1F3456782D2C0107";
  ASSERT_EQ(mbus_frame_select_secondary_pack(f.get(), partial), 0);
  EXPECT_EQ(f->data[3], 0x1F);
  EXPECT_EQ(f->data[4], 0x2C);
  EXPECT_EQ(f->data[5], 0x2D);
  char bad[] = "12345678FFFFFFF";
  EXPECT_EQ(mbus_frame_select_secondary_pack(f.get(), bad), -1);
}

TEST(MbusFrame, SecondaryAddressOfAReply) {
  auto bytes = Bytes(kReply);
  Frame f = NewFrame(MBUS_FRAME_TYPE_ANY);
  ASSERT_EQ(mbus_parse(f.get(), bytes.data(), bytes.size()), 0);
  char buffer[32];
  ASSERT_EQ(mbus_frame_get_secondary_address(nullptr, f.get(), buffer), buffer);
  EXPECT_STREQ(buffer, "1234567840240107");
  EXPECT_EQ(mbus_is_secondary_address(buffer), 1);
  Frame ack = NewFrame(MBUS_FRAME_TYPE_ACK);
  EXPECT_EQ(mbus_frame_get_secondary_address(nullptr, ack.get(), buffer), nullptr);
}

TEST(MbusFrame, AddressChecks) {
  EXPECT_EQ(mbus_is_primary_address(0), 1);
  EXPECT_EQ(mbus_is_primary_address(250), 1);
  EXPECT_EQ(mbus_is_primary_address(251), 0);
  EXPECT_EQ(mbus_is_primary_address(-1), 0);
  EXPECT_EQ(mbus_is_secondary_address("00BC614EFFFFFFFF"), 1);
  EXPECT_EQ(mbus_is_secondary_address("12345678ffffffff"), 1);
  EXPECT_EQ(mbus_is_secondary_address("12345678FFFFFFF"), 0);
  EXPECT_EQ(mbus_is_secondary_address("12345678FFFFFFFG"), 0);
  EXPECT_EQ(mbus_is_secondary_address(nullptr), 0);
}
