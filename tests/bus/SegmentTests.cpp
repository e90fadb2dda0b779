// The simulated segment on its own: what its slaves answer to raw frames.
#include <gtest/gtest.h>

#include <chrono>

#include "host/bus/Segment.h"

namespace {

using bus::Bytes;
using namespace std::chrono_literals;

Bytes Short(std::uint8_t c, std::uint8_t a) {
  return {0x10, c, a, static_cast<std::uint8_t>(c + a), 0x16};
}

Bytes Long(std::uint8_t c, std::uint8_t a, std::uint8_t ci, const Bytes& data) {
  const auto length = static_cast<std::uint8_t>(data.size() + 3);
  Bytes f;
  for (std::uint8_t b : {std::uint8_t{0x68}, length, length, std::uint8_t{0x68}, c, a, ci})
    f.push_back(b);
  for (std::uint8_t b : data) f.push_back(b);
  f.push_back(bus::Checksum(f.data() + 4, f.size() - 4));
  f.push_back(0x16);
  return f;
}

Bytes Select(const Bytes& mask) {
  return Long(0x53, 253, 0x52, mask);
}

class SegmentTest : public ::testing::Test {
 protected:
  SegmentTest() : segment(bus::BusTiming{false, 2400}) {}

  bus::VirtualSlave& Add(int primary, std::uint32_t id, int telegrams = 1) {
    bus::SlaveConfig c;
    c.primary = primary;
    const bus::SecondaryAddress a{id, 0x2C2D, 1, 7};
    for (int i = 0; i < telegrams; ++i)
      c.telegrams.push_back(bus::BuildTelegram(static_cast<std::uint8_t>(primary), a,
                                               static_cast<std::uint32_t>(i), i + 1 < telegrams));
    return segment.AddSlave(c);
  }

  Bytes Exchange(const Bytes& frame) {
    segment.Write(frame.data(), frame.size());
    return segment.TakeAvailable();
  }

  bus::BusSegment segment;
};

TEST_F(SegmentTest, PingIsAcknowledgedOnlyByTheAddressedSlave) {
  Add(5, 0x11111111);
  EXPECT_EQ(Exchange(Short(0x40, 5)), Bytes{0xE5});
  EXPECT_TRUE(Exchange(Short(0x40, 6)).empty());
  EXPECT_TRUE(Exchange(Short(0x40, 255)).empty());  // broadcast without reply
  EXPECT_EQ(segment.Stats().pings, 3);
}

TEST_F(SegmentTest, FrameWithBadChecksumIsIgnored) {
  Add(5, 0x11111111);
  Bytes ping = Short(0x40, 5);
  ping[3] ^= 1;
  EXPECT_TRUE(Exchange(ping).empty());
  EXPECT_EQ(segment.Stats().invalid, 1);
}

TEST_F(SegmentTest, FrameSplitAcrossWritesIsAnsweredWhenComplete) {
  Add(5, 0x11111111);
  const Bytes ping = Short(0x40, 5);
  segment.Write(ping.data(), 2);
  EXPECT_TRUE(segment.TakeAvailable().empty());
  segment.Write(ping.data() + 2, 3);
  EXPECT_EQ(segment.TakeAvailable(), Bytes{0xE5});
}

TEST_F(SegmentTest, RequestFollowsTheFrameCountBit) {
  bus::VirtualSlave& slave = Add(7, 0x22222222, 3);
  const Bytes first = Exchange(Short(0x7B, 7));
  const Bytes second = Exchange(Short(0x5B, 7));
  const Bytes again = Exchange(Short(0x5B, 7));  // same bit: the master missed it
  const Bytes third = Exchange(Short(0x7B, 7));
  const Bytes wrapped = Exchange(Short(0x5B, 7));
  EXPECT_NE(first, second);
  EXPECT_EQ(second, again);
  EXPECT_NE(third, second);
  EXPECT_EQ(wrapped, first);
  EXPECT_EQ(slave.Repeats(), 1);
  EXPECT_EQ(slave.NewReplies(), 4);
  // SND_NKE starts the telegrams over, whatever the next bit.
  Exchange(Short(0x40, 7));
  EXPECT_EQ(Exchange(Short(0x7B, 7)), first);
}

TEST_F(SegmentTest, SelectionMatchesWildcardNibbles) {
  Add(1, 0x12345678);
  Add(2, 0x12349999);
  // id 12345678 low byte first, manufacturer 2D2C, version, medium.
  EXPECT_EQ(Exchange(Select({0x78, 0x56, 0x34, 0x12, 0x2D, 0x2C, 0x01, 0x07})), Bytes{0xE5});
  EXPECT_EQ(Exchange(Select({0xFF, 0xFF, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF})),
            bus::Overlay({{0xE5}, {0xE5}}));
  EXPECT_NE(bus::Overlay({{0xE5}, {0xE5}}), Bytes{0xE5});
  EXPECT_EQ(Exchange(Select({0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})), Bytes{0xE5});
  EXPECT_TRUE(Exchange(Select({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})).empty());
  EXPECT_EQ(segment.Stats().collisions, 1);
}

TEST_F(SegmentTest, SelectionMatchesManufacturerVersionAndMediumByteByByte) {
  Add(1, 0x12345678);  // manufacturer 2C2D (wire 2D 2C), version 01, medium 07
  const Bytes ack{0xE5};
  auto select = [&](std::uint8_t m0, std::uint8_t m1, std::uint8_t version, std::uint8_t medium) {
    return Exchange(Select({0x78, 0x56, 0x34, 0x12, m0, m1, version, medium}));
  };
  EXPECT_EQ(select(0xFF, 0xFF, 0xFF, 0xFF), ack);
  EXPECT_EQ(select(0x2D, 0xFF, 0xFF, 0x07), ack);  // one manufacturer byte a wildcard
  EXPECT_EQ(select(0xFF, 0x2C, 0x01, 0xFF), ack);
  EXPECT_TRUE(select(0x2E, 0xFF, 0xFF, 0xFF).empty());
  // A nibble F inside these fields is a value, not a wildcard.
  EXPECT_TRUE(select(0xFD, 0xFF, 0xFF, 0xFF).empty());
  EXPECT_TRUE(select(0xFF, 0xFF, 0xF1, 0xFF).empty());
  EXPECT_TRUE(select(0xFF, 0xFF, 0xFF, 0x0F).empty());
  EXPECT_TRUE(select(0xFF, 0xFF, 0x02, 0xFF).empty());
  EXPECT_TRUE(select(0xFF, 0xFF, 0xFF, 0x06).empty());
}

TEST_F(SegmentTest, SlaveWithByteValueFFIsReachedOnlyByTheWildcard) {
  bus::SlaveConfig c;
  c.primary = 1;
  c.telegrams = {bus::BuildTelegram(1, bus::SecondaryAddress{0x12345678, 0x2C2D, 0xFF, 0xF1}, 0)};
  segment.AddSlave(c);
  auto select = [&](std::uint8_t version, std::uint8_t medium) {
    return Exchange(Select({0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, version, medium}));
  };
  EXPECT_EQ(select(0xFF, 0xF1), Bytes{0xE5});
  EXPECT_TRUE(select(0xF0, 0xF1).empty());
  EXPECT_EQ(select(0xFF, 0xFF), Bytes{0xE5});
  EXPECT_TRUE(select(0xFF, 0xF0).empty());
}

TEST_F(SegmentTest, WholeFieldManufacturerWildcardOnly) {
  bus::SlaveConfig c;
  c.primary = 1;
  c.manufacturer_whole_only = true;
  c.telegrams = {bus::BuildTelegram(1, bus::SecondaryAddress{0x12345678, 0x2C2D, 1, 7}, 0)};
  segment.AddSlave(c);
  auto select = [&](std::uint8_t m0, std::uint8_t m1) {
    return Exchange(Select({0x78, 0x56, 0x34, 0x12, m0, m1, 0xFF, 0xFF}));
  };
  EXPECT_EQ(select(0xFF, 0xFF), Bytes{0xE5});
  EXPECT_EQ(select(0x2D, 0x2C), Bytes{0xE5});
  EXPECT_TRUE(select(0x2D, 0xFF).empty());
  EXPECT_TRUE(select(0xFF, 0x2C).empty());
  EXPECT_TRUE(select(0x2D, 0x2D).empty());
}

TEST_F(SegmentTest, SelectedSlaveAnswersAt253UntilDeselected) {
  Add(1, 0x12345678);
  Add(2, 0x87654321);
  Exchange(Select({0x21, 0x43, 0x65, 0x87, 0xFF, 0xFF, 0xFF, 0xFF}));
  const Bytes reply = Exchange(Short(0x7B, 253));
  ASSERT_GT(reply.size(), 10u);
  EXPECT_EQ(reply[7], 0x21);
  EXPECT_EQ(Exchange(Short(0x40, 253)), Bytes{0xE5});
  EXPECT_TRUE(Exchange(Short(0x7B, 253)).empty());
}

TEST_F(SegmentTest, OverlayGarblesOnlyWhereRepliesOverlap) {
  const Bytes a = {0x68, 0x10, 0x20, 0x30};
  const Bytes b = {0x68, 0x10};
  const Bytes both = bus::Overlay({a, b});
  ASSERT_EQ(both.size(), 4u);
  EXPECT_NE(both[0], 0x68);
  EXPECT_EQ(both[2], 0x20);
  EXPECT_EQ(both[3], 0x30);
  EXPECT_EQ(bus::Overlay({a}), a);
}

TEST_F(SegmentTest, SetPrimaryAddressAndSilentSlaves) {
  bus::VirtualSlave& slave = Add(3, 0x33333333);
  EXPECT_EQ(Exchange(Long(0x53, 3, 0x51, {0x01, 0x7A, 42})), Bytes{0xE5});
  EXPECT_EQ(slave.Primary(), 42);
  EXPECT_EQ(Exchange(Short(0x40, 42)), Bytes{0xE5});
  bus::SlaveConfig quiet;
  quiet.primary = 9;
  quiet.silent = true;
  quiet.telegrams = {Bytes{0xE5}};
  segment.AddSlave(quiet);
  EXPECT_TRUE(Exchange(Short(0x40, 9)).empty());
  // What a fault did: the answers given, and the telegrams a silent slave
  // withheld (not its acks, not frames to other addresses).
  slave.SetSilent(true);
  EXPECT_TRUE(Exchange(Short(0x40, 42)).empty());
  EXPECT_TRUE(Exchange(Short(0x5B, 42)).empty());
  EXPECT_TRUE(Exchange(Short(0x5B, 41)).empty());
  EXPECT_EQ(slave.Answers(), 2);
  EXPECT_EQ(slave.Withheld(), 1);
}

TEST_F(SegmentTest, BaudRateSwitchLeavesTheSlaveDeafAtTheOldSpeed) {
  bus::VirtualSlave& slave = Add(4, 0x44444444);
  EXPECT_EQ(Exchange(Long(0x53, 4, 0xBD, {})), Bytes{0xE5});  // 9600
  EXPECT_EQ(slave.Baudrate(), 9600);
  EXPECT_TRUE(Exchange(Short(0x40, 4)).empty());
  segment.SetLineBaudrate(9600);
  EXPECT_EQ(Exchange(Short(0x40, 4)), Bytes{0xE5});
}

TEST(SegmentTiming, BytesArriveOverTimeAndReadCollectsThem) {
  bus::BusSegment segment(bus::BusTiming{true, 38400});
  bus::SlaveConfig c;
  c.primary = 1;
  c.reply_delay_ms = 2;
  c.telegrams = {bus::BuildTelegram(1, {0x10203040, 0x2C2D, 1, 7}, 1)};
  const std::size_t length = c.telegrams[0].size();
  segment.AddSlave(c);
  const Bytes request = Short(0x5B, 1);
  segment.Write(request.data(), request.size());
  EXPECT_TRUE(segment.Pending());
  Bytes got(length + 10);
  // Asks for more than comes: the read ends on silence with the whole reply.
  EXPECT_EQ(segment.Read(got.data(), got.size(), 50ms), length);
  EXPECT_FALSE(segment.Pending());
  EXPECT_GT(segment.Stats().wire_seconds, 0.0);
}

}  // namespace
