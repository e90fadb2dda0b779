// The secondary-address scan (mbus_scan_2nd_address_range) against the
// simulated segment through the handle's hooks, as the plug-in runs it: the
// callbacks it reports through, which slaves it finds, what it names when
// slaves cannot be told apart, and how it ends when the line fails.
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/bus/Meters.h"
#include "tests/bus/BusFixture.h"

namespace bustest {
namespace {

using bus::SecondaryAddress;

// What the callbacks saw; the callbacks reach it through this pointer.
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

  std::set<std::string> Add(const std::vector<SecondaryAddress>& addresses,
                            bool whole_manufacturer_only = false) {
    std::set<std::string> texts;
    for (const auto& a : addresses) {
      bus::SlaveConfig config = Meter(-1, a);
      config.manufacturer_whole_only = whole_manufacturer_only;
      segment.AddSlave(config);
      texts.insert(a.Text());
    }
    return texts;
  }

  int Scan(const char* mask = "FFFFFFFFFFFFFFFF") {
    mbus_error_reset(handle);
    return mbus_scan_2nd_address_range(handle, 0, mask);
  }

  std::set<std::string> Found() const { return {log.found.begin(), log.found.end()}; }
  std::string ErrorText() {
    const char* text = mbus_error_str(handle);
    return text ? text : "";
  }
  bool Probed(const std::string& mask) const {
    for (const auto& m : log.masks)
      if (m == mask) return true;
    return false;
  }

  ScanLog log;
};

TEST_F(SecondaryScan, EmptySegmentProbesTheMaskOnce) {
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(log.masks, std::vector<std::string>{"FFFFFFFFFFFFFFFF"});
  EXPECT_TRUE(log.found.empty());
}

TEST_F(SecondaryScan, SingleMeterIsFoundWithoutDescending) {
  const auto expected = Add({Address(0x12345678)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.masks.size(), 1u);
}

TEST_F(SecondaryScan, ThirtyMetersWithCollidingPrefixesAreAllFoundOnce) {
  std::vector<SecondaryAddress> addresses;
  // Ten that share six digits, ten that share four, ten that share two.
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12345600 + i * 0x11));
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12340000 + i * 0x1010));
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12000000 + i * 0x101010));
  const auto expected = Add(addresses);
  ASSERT_EQ(expected.size(), 30u);
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.found.size(), 30u);  // each reported once
  EXPECT_EQ(static_cast<int>(log.masks.size()), segment.Stats().selections);
  EXPECT_EQ(ErrorText(), "");
}

// A slave that takes a selection but replies without a secondary address
// (a fixed-structure telegram; equally a late acknowledgement) must not end
// the whole scan: the others are still found.
TEST_F(SecondaryScan, AReplyWithoutSecondaryAddressDoesNotEndTheScan) {
  const auto expected = Add({Address(0x12345678), Address(0x55555556)});
  bus::SlaveConfig fixed;
  fixed.secondary = Address(0x55555555);
  fixed.telegrams = {bus::BuildFixedTelegram(0, 0x55555555, 1, 0x80, 0x29, 1234, 0x29, 0)};
  segment.AddSlave(fixed);
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_NE(ErrorText().find("55555555"), std::string::npos) << ErrorText();
}

TEST_F(SecondaryScan, ProgressRunsForwardOverTheIdentificationDigits) {
  std::vector<SecondaryAddress> addresses;
  for (std::uint32_t i = 0; i < 10; ++i) addresses.push_back(Address(0x12345600 + i * 0x11));
  addresses.push_back(Address(0x1234567A));
  addresses.push_back(Address(0x1F345678));
  addresses.push_back(Address(0x1F345679));
  addresses.push_back(Address(0x98765432, 0x2C2D, 1, 7));
  addresses.push_back(Address(0x98765432, 0x2C2D, 1, 6));
  Add(addresses);
  EXPECT_EQ(Scan(), 0);
  ASSERT_GT(log.masks.size(), 2u);
  for (const auto& m : log.masks) ASSERT_EQ(m.size(), 16u);
  // The plug-in's progress bar reads the first four characters as a number.
  // A collided mask's children read lower than the mask itself, but never
  // below the start of its range (its trailing wildcards read as 0).
  auto value = [](const std::string& m) {
    return std::strtoul(m.substr(0, 4).c_str(), nullptr, 16);
  };
  auto start = [](std::string m) {
    m.resize(4);
    for (std::size_t i = 4; i > 0 && m[i - 1] == 'F'; --i) m[i - 1] = '0';
    return std::strtoul(m.c_str(), nullptr, 16);
  };
  for (std::size_t i = 1; i < log.masks.size(); ++i)
    EXPECT_GE(value(log.masks[i]), start(log.masks[i - 1]))
        << log.masks[i - 1] << " then " << log.masks[i];
  EXPECT_TRUE(Probed("98765432FFFFFF06"));  // the byte fields are searched too
}

TEST_F(SecondaryScan, HexDigitsInTheIdentificationAreFound) {
  const auto expected = Add({Address(0x1234567A), Address(0x1234567B), Address(0x12345670)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
}

TEST_F(SecondaryScan, OnlyHexDigitsAtAPositionAreFound) {
  // Digits 0-9 all empty: the collision lies in A-E, not below digit 9.
  const auto expected = Add({Address(0x1234567A), Address(0x1234567B)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(SecondaryScan, FDigitInTheIdentificationIsReachedThroughTheWildcard) {
  // 1234567F answers only while the last digit stays the wildcard, where the
  // other meter answers too; the medium tells them apart.
  const auto expected = Add({Address(0x1234567F, 0x2C2D, 1, 4), Address(0x12345671, 0x2C2D, 1, 7)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
}

// Meters that share an identification number are told apart by whole byte
// values of medium, version and manufacturer.
class SharedIdentification : public SecondaryScan {};

TEST_F(SharedIdentification, MetersDifferingInMediumAreFoundByListedMediumCodes) {
  const auto expected = Add({Address(0x11111111, 0x2C2D, 1, 0x07),
                             Address(0x11111111, 0x2C2D, 1, 0x04), Address(0x22222222)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.found.size(), expected.size());
  EXPECT_TRUE(Probed("11111111FFFFFF07"));
  // Both found among the listed codes: no unlisted medium is tried.
  EXPECT_FALSE(Probed("11111111FFFFFF3F"));
  EXPECT_FALSE(Probed("11111111FFFFFFFE"));
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(SharedIdentification, ThreeMetersOfCommonMediaAreAllFound) {
  const auto expected =
      Add({Address(0x11111111, 0x2C2D, 1, 0x07), Address(0x11111111, 0x2C2D, 1, 0x04),
           Address(0x11111111, 0x2C2D, 1, 0x02)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
}

TEST_F(SharedIdentification, RarerListedMediumIsTriedWhenCommonOnesFoundTooFew) {
  const auto expected =
      Add({Address(0x11111111, 0x2C2D, 1, 0x07), Address(0x11111111, 0x2C2D, 1, 0x1A)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_FALSE(Probed("11111111FFFFFF3F"));  // unlisted codes stay untried
}

TEST_F(SharedIdentification, MetersDifferingInVersionAreFound) {
  const auto expected =
      Add({Address(0x11111111, 0x2C2D, 0x01, 7), Address(0x11111111, 0x2C2D, 0x02, 7)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_TRUE(Probed("11111111FFFF0107"));
  EXPECT_TRUE(Probed("11111111FFFF0207"));
  EXPECT_FALSE(Probed("11111111FFFF8007"));
}

TEST_F(SharedIdentification, UnlikelyValuesAreTriedWhenLikelyOnesFoundTooFew) {
  const auto expected =
      Add({Address(0x11111111, 0x2C2D, 0x80, 7), Address(0x11111111, 0x2C2D, 0xF1, 7)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
}

TEST_F(SharedIdentification, MetersDifferingOnlyInManufacturerAreFoundByOneByteWildcards) {
  const auto expected = Add({Address(0x11111111, 0x2C2D, 1, 7), Address(0x11111111, 0x4024, 1, 7),
                             Address(0x11111111, 0x2C2E, 1, 7)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_TRUE(Probed("111111112CFF0107"));
  EXPECT_TRUE(Probed("111111112C2D0107"));
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(SharedIdentification, WholeFieldManufacturerWildcardCannotBeSingledOut) {
  Add({Address(0x11111111, 0x2C2D, 1, 7), Address(0x11111111, 0x4024, 1, 7)}, true);
  const auto others = Add({Address(0x11111112), Address(0x55555555)}, true);
  EXPECT_EQ(Scan(), 0);  // what could be found is a result
  EXPECT_EQ(Found(), others);
  EXPECT_EQ(ErrorText(), "several slaves share the address 11111111FFFF0107");
}

TEST_F(SharedIdentification, MixedMetersAreFoundAsFarAsMasksReachThem) {
  // Per-byte meters with the same number, and one that takes only FF FF.
  const auto expected = Add({Address(0x11111111, 0x2C2D, 1, 7), Address(0x11111111, 0x4024, 1, 7)});
  Add({Address(0x11111111, 0x5555, 1, 6)}, true);  // its own medium singles it out
  EXPECT_EQ(Scan(), 0);
  auto all = expected;
  all.insert(Address(0x11111111, 0x5555, 1, 6).Text());
  EXPECT_EQ(Found(), all);
}

TEST_F(SharedIdentification, WholeFieldMeterBesideAPerByteOneIsNamed) {
  const auto expected = Add({Address(0x11111111, 0x2C2D, 1, 7)});
  Add({Address(0x11111111, 0x4024, 1, 7)}, true);
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(log.found.size(), 1u);
  EXPECT_EQ(ErrorText(), "several slaves share the address 11111111FFFF0107");
}

TEST_F(SharedIdentification, EqualAddressesAreNamedAndTheRestIsFound) {
  Add({Address(0x31313131), Address(0x31313131)});
  const auto others = Add({Address(0x42424242), Address(0x31313130)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), others);
  EXPECT_EQ(ErrorText(), "several slaves share the address 313131312C2D0107");
}

TEST_F(SharedIdentification, EveryUnresolvedGroupIsNamed) {
  Add({Address(0x31313131), Address(0x31313131), Address(0x42424242, 0x2C2D, 2, 3),
       Address(0x42424242, 0x2C2D, 2, 3)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_TRUE(log.found.empty());
  EXPECT_EQ(ErrorText(),
            "several slaves share the address 313131312C2D0107; several slaves share the "
            "address 424242422C2D0203");
}

TEST_F(SharedIdentification, SlaveWithMediumFFIsReachedThroughTheWildcard) {
  // Medium FF matches only the wildcard: the other meter's version tells it apart.
  const auto expected =
      Add({Address(0x11111111, 0x2C2D, 1, 0xFF), Address(0x11111111, 0x2C2D, 2, 0x07)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
}

TEST_F(SharedIdentification, SlaveWithVersionFFIsReachedThroughTheWildcard) {
  const auto expected =
      Add({Address(0x11111111, 0x2C2D, 0xFF, 7), Address(0x11111111, 0x4024, 0x01, 7)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(SharedIdentification, SlaveWithFFThatOnlyTheWildcardMatchesIsNamed) {
  // Every mask that matches the medium-FF meter also matches the other one.
  const auto expected = Add({Address(0x11111111, 0x2C2D, 1, 0x07)});
  Add({Address(0x11111111, 0x2C2D, 1, 0xFF)});
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(Found(), expected);
  EXPECT_EQ(ErrorText(), "several slaves share the address 111111112C2D01FF");
}

TEST_F(SecondaryScan, ScanOfOneIdentificationNumberStaysBelowIt) {
  const auto expected = Add({Address(0x12345678, 0x2C2D, 1, 7), Address(0x12345678, 0x2C2D, 1, 2)});
  Add({Address(0x12345679), Address(0x55555555)});
  EXPECT_EQ(Scan("12345678FFFFFFFF"), 0);
  EXPECT_EQ(Found(), expected);
  for (const auto& m : log.masks) EXPECT_EQ(m.substr(0, 8), "12345678");
  EXPECT_EQ(log.masks.front(), "12345678FFFFFFFF");
}

TEST_F(SecondaryScan, ConcreteFieldsOfTheMaskAreKept) {
  const auto expected = Add({Address(0x12345678, 0x2C2D, 1, 7), Address(0x12345678, 0x2C2D, 2, 7)});
  Add({Address(0x12345678, 0x2C2D, 1, 6)});
  EXPECT_EQ(Scan("12345678FFFFFF07"), 0);
  EXPECT_EQ(Found(), expected);
  for (const auto& m : log.masks) EXPECT_EQ(m.substr(14), "07");
}

TEST_F(SecondaryScan, MaskLimitsTheSearch) {
  Add({Address(0x12345678), Address(0x12349999), Address(0x55555555)});
  EXPECT_EQ(Scan("1234FFFFFFFFFFFF"), 0);
  EXPECT_EQ(Found(),
            (std::set<std::string>{Address(0x12345678).Text(), Address(0x12349999).Text()}));
  for (const auto& m : log.masks) EXPECT_EQ(m.substr(0, 4), "1234");
}

TEST_F(SecondaryScan, StartPositionSkipsTheDigitsBeforeIt) {
  const auto expected = Add({Address(0x12345678, 0x2C2D, 1, 7), Address(0x12345678, 0x2C2D, 2, 7)});
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 12, "12345678FFFFFFFF"), 0);
  EXPECT_EQ(Found(), expected);
  for (const auto& m : log.masks) EXPECT_EQ(m.substr(8, 4), "FFFF");
}

TEST_F(SecondaryScan, InvalidMaskOrPositionFails) {
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, "FFFF"), -1);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 16, "FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, -1, "FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(mbus_scan_2nd_address_range(handle, 0, nullptr), -1);
  EXPECT_TRUE(log.masks.empty());
}

TEST_F(SecondaryScan, FailingHooksStopTheScanAtOnce) {
  std::vector<SecondaryAddress> addresses;
  for (std::uint32_t i = 0; i < 20; ++i) addresses.push_back(Address(0x10000000 + i * 0x01010101));
  Add(addresses);
  hooks.FailSendsAfter(12);
  EXPECT_EQ(Scan(), -1);
  EXPECT_EQ(hooks.sends, 13);  // the failed one, then nothing
  EXPECT_LT(log.found.size(), addresses.size());
  EXPECT_LE(static_cast<int>(log.masks.size()), 13);
}

TEST_F(SecondaryScan, FailingHooksStopTheByteSearchAtOnce) {
  Add({Address(0x11111111, 0x2C2D, 1, 7), Address(0x11111111, 0x4024, 1, 7)}, true);
  hooks.FailSendsAfter(150);  // inside the manufacturer bytes
  EXPECT_EQ(Scan(), -1);
  EXPECT_EQ(hooks.sends, 151);
  EXPECT_LE(static_cast<int>(log.masks.size()), 151);
}

TEST_F(SecondaryScan, CancelledHooksEndTheScan) {
  Add({Address(0x11111111), Address(0x22222222)});
  hooks.cancel = true;
  EXPECT_EQ(Scan(), -1);
  EXPECT_EQ(hooks.sends, 1);
  EXPECT_TRUE(log.found.empty());
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
      // Every fourth meter gets a twin number with another medium or version.
      const auto a = Address(id);
      if (expected.insert(a.Text()).second) seg.AddSlave(Meter(-1, a));
      if (expected.size() % 4 == 0) {
        const auto twin =
            Address(id, 0x2C2D, expected.size() % 8 ? 1 : 2, expected.size() % 8 ? 4 : 7);
        if (expected.insert(twin.Text()).second) seg.AddSlave(Meter(-1, twin));
      }
    }
    log.found.clear();
    EXPECT_EQ(mbus_scan_2nd_address_range(handle2, 0, "FFFFFFFFFFFFFFFF"), 0);
    EXPECT_EQ(Found(), expected) << "round " << round;
    EXPECT_EQ(log.found.size(), expected.size());
    mbus_mem_free(handle2);
  }
}

}  // namespace
}  // namespace bustest
