// Searches of the simulated segment as the plug-in runs them: the secondary
// scan through the library's callbacks, and the primary scan built on ping
// and receive.
#include <random>
#include <set>
#include <string>
#include <vector>

#include "BusFixture.h"

namespace bustest {
namespace {

// What the callbacks saw; reached through the handle's user pointer's peer.
struct ScanLog {
  std::vector<std::string> masks;
  std::vector<std::string> found;
};
ScanLog* current_log = nullptr;

void MBUS_CALL OnProgress(mbus_handle*, const char* mask) {
  current_log->masks.push_back(mask);
}

void MBUS_CALL OnFound(mbus_handle* handle, mbus_frame* frame) {
  char text[32] = {};
  if (const char* s = mbus_frame_get_secondary_address(handle, frame, text))
    current_log->found.push_back(s);
}

class SecondaryScan : public BusFixture {
 protected:
  void SetUp() override {
    BusFixture::SetUp();
    current_log = &log;
    handle->scan_progress = &OnProgress;
    handle->found_event = &OnFound;
  }
  void TearDown() override {
    current_log = nullptr;
    BusFixture::TearDown();
  }

  std::set<std::string> Add(const std::vector<bus::SecondaryAddress>& addresses) {
    std::set<std::string> texts;
    for (const auto& a : addresses) {
      segment.AddSlave(Meter(-1, a));
      texts.insert(a.Text());
    }
    return texts;
  }

  std::set<std::string> Found() const { return {log.found.begin(), log.found.end()}; }

  ScanLog log;
};

TEST_F(SecondaryScan, EmptySegmentProbesTheMaskOnce) {
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(log.masks, std::vector<std::string>{"FFFFFFFFFFFFFFFF"});
  EXPECT_TRUE(log.found.empty());
}

TEST_F(SecondaryScan, SingleMeterIsFoundWithoutDescending) {
  const auto expected = Add({Address(0x12345678)});
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.masks.size(), 1u);
}

TEST_F(SecondaryScan, ThirtyMetersWithCollidingPrefixesAreAllFound) {
  std::vector<bus::SecondaryAddress> addresses;
  // Ten that share six digits, ten that share four, ten that share two.
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12345600 + i * 0x11));
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12340000 + i * 0x1010));
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12000000 + i * 0x101010));
  const auto expected = Add(addresses);
  ASSERT_EQ(expected.size(), 30u);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.found.size(), 30u);  // each reported once
  EXPECT_EQ(static_cast<int>(log.masks.size()), segment.Stats().selections);
}

TEST_F(SecondaryScan, MetersSharingAnIdentificationNumberAreAllFound) {
  const auto expected = Add({
      Address(0x11111111, 0x2C2D, 0x01, 0x07),
      Address(0x11111111, 0x2C2D, 0x01, 0x06),  // other medium
      Address(0x11111111, 0x2C2D, 0x02, 0x07),  // other version
      Address(0x11111111, 0x4024, 0x01, 0x07),  // other manufacturer
      Address(0x11111111, 0x4024, 0xF1, 0x06),  // an F nibble: the wildcard value
      Address(0x11111112, 0x2C2D, 0x01, 0x07),
      Address(0x22222222, 0x2C2D, 0x01, 0x07),
  });
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.found.size(), expected.size());
}

TEST_F(SecondaryScan, HexDigitsInTheIdentificationAreFound) {
  const auto expected = Add({Address(0x1234567A), Address(0x1234567B), Address(0x12345670)});
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(), expected);
}

TEST_F(SecondaryScan, IdenticalAddressesAreReportedAsAnError) {
  Add({Address(0x31313131), Address(0x31313131), Address(0x42424242)});
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(), (std::set<std::string>{Address(0x42424242).Text()}));
  ASSERT_NE(mbus_error_str(handle), nullptr);
}

TEST_F(SecondaryScan, MaskLimitsTheSearch) {
  Add({Address(0x12345678), Address(0x12349999), Address(0x55555555)});
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "1234FFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(),
            (std::set<std::string>{Address(0x12345678).Text(), Address(0x12349999).Text()}));
  for (const auto& m : log.masks) EXPECT_EQ(m.substr(0, 4), "1234");
}

TEST_F(SecondaryScan, InvalidMaskOrPositionFails) {
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFF"), -1);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 16, "FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, nullptr), -1);
  EXPECT_TRUE(log.masks.empty());
}

TEST_F(SecondaryScan, FailingHooksStopTheScanAtOnce) {
  std::vector<bus::SecondaryAddress> addresses;
  for (std::uint32_t i = 0; i < 20; ++i) addresses.push_back(Address(0x10000000 + i * 0x01010101));
  Add(addresses);
  hooks.FailSendsAfter(12);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(hooks.sends, 13);  // the failed one, then nothing
  EXPECT_LT(log.found.size(), addresses.size());
  const int masks_at_failure = static_cast<int>(log.masks.size());
  EXPECT_LE(masks_at_failure, 13);
}

TEST_F(SecondaryScan, RandomSegmentsAreFoundCompletely) {
  std::mt19937 random(4711);
  std::uniform_int_distribution<std::uint32_t> digit(0, 9);
  for (int round = 0; round < 3; ++round) {
    bus::BusSegment seg(bus::BusTiming{false, 2400});
    bus::BusHooks h(seg);
    mbus_handle* handle2 = mbus_context_serial("COM1");
    h.Install(handle2);
    handle2->max_search_retry = 0;
    handle2->found_event = &OnFound;
    ASSERT_EQ(mbus_connect(handle2), 0);
    std::set<std::string> expected;
    while (expected.size() < 40) {
      std::uint32_t id = 0;
      for (int d = 0; d < 8; ++d) id = id << 4 | digit(random);
      const auto a = Address(id);
      if (expected.insert(a.Text()).second) seg.AddSlave(Meter(-1, a));
    }
    log.found.clear();
    EXPECT_EQ(mbus_scan_2nd_address_range(handle2, 0, "FFFFFFFFFFFFFFFF"), 0);
    EXPECT_EQ(Found(), expected) << "round " << round;
    mbus_mem_free(handle2);
  }
}

// The plug-in's primary scan: ping each address, a lone acknowledgement with
// nothing after it is a device.
class PrimaryScan : public BusFixture {
 protected:
  std::vector<int> Scan(int first, int last) {
    std::vector<int> found;
    for (int address = first; address <= last; ++address) {
      auto frame = NewFrame();
      EXPECT_EQ(mbus_send_ping_frame(handle, address, 0), 0);
      const int result = mbus_recv_frame(handle, frame.get());
      if (result == -2) mbus_purge_frames(handle);
      if (result == 0 && mbus_frame_type(frame.get()) == MBUS_FRAME_TYPE_ACK &&
          mbus_purge_frames(handle) < 1)
        found.push_back(address);
    }
    return found;
  }
};

TEST_F(PrimaryScan, FindsEveryAnsweringAddressAndSkipsCollisions) {
  segment.AddSlave(Meter(0, Address(0x10000000)));
  segment.AddSlave(Meter(3, Address(0x10000003)));
  segment.AddSlave(Meter(250, Address(0x10000250)));
  segment.AddSlave(Meter(7, Address(0x10000007)));
  segment.AddSlave(Meter(7, Address(0x20000007)));  // two at one address
  bus::SlaveConfig quiet = Meter(9, Address(0x10000009));
  quiet.silent = true;
  segment.AddSlave(quiet);
  EXPECT_EQ(Scan(0, 250), (std::vector<int>{0, 3, 250}));
  EXPECT_EQ(segment.Stats().pings, 251);
}

}  // namespace
}  // namespace bustest
