// The simulated meters: their telegrams decode with libmbus, their records
// normalise, readings advance with the clock, history and tariffs land in
// their storage numbers and tariffs, and the multi-telegram meter chains.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "BusFixture.h"
#include "host/bus/Meters.h"
#include "mbus/mbus.h"

namespace {

using bus::Bytes;
using bus::MeterKind;
using bus::MeterTime;

// A telegram parsed into frame and frame data, released together.
struct Parsed {
  mbus_frame frame{};
  mbus_frame_data data{};
  int result = -1;
  ~Parsed() {
    if (data.data_var.record) mbus_data_record_free(data.data_var.record);
  }
};

std::unique_ptr<Parsed> Parse(Bytes telegram) {
  auto p = std::make_unique<Parsed>();
  if (mbus_parse(&p->frame, telegram.data(), telegram.size()) != 0) return p;
  p->result = mbus_frame_data_parse(nullptr, &p->frame, &p->data);
  return p;
}

// A normalised record's place and value.
struct Value {
  std::string quantity;
  std::string unit;
  double number = 0;
  std::string text;
  long storage = 0;
  long tariff = 0;
};

std::vector<Value> Normalise(Parsed& p) {
  std::vector<Value> values;
  for (mbus_data_record* r = p.data.data_var.record; r; r = r->next) {
    if ((r->dib.dif & 0x0F) == 0x0F || (r->dib.dif & 0x0F) == 0) continue;
    mbus_record* n = mbus_parse_variable_record(nullptr, r);
    EXPECT_NE(n, nullptr) << "DIF " << int(r->dib.dif) << " VIF " << int(r->vib.vif);
    if (!n) continue;
    Value v;
    v.quantity = n->quantity ? n->quantity : "";
    v.unit = n->unit ? n->unit : "";
    if (n->is_numeric)
      v.number = n->value.real_val;
    else
      v.text = n->value.str_val.value ? n->value.str_val.value : "";
    v.storage = n->storage_number;
    v.tariff = n->tariff;
    mbus_record_free(n);
    values.push_back(v);
  }
  return values;
}

const MeterTime kNoon = bus::FromCivil({2026, 3, 15, 12, 0, 0});

bus::MeterSpec Find(MeterKind kind, bool multi = false) {
  for (const auto& m : bus::DefaultMeters())
    if (m.kind == kind && (m.per_telegram > 0) == multi) return m;
  ADD_FAILURE() << "no such default meter";
  return {};
}

const Value* First(const std::vector<Value>& values, const std::string& quantity, long storage = 0,
                   long tariff = 0) {
  for (const auto& v : values)
    if (v.quantity == quantity && v.storage == storage && v.tariff == tariff) return &v;
  return nullptr;
}

TEST(MeterCalendar, CivilTimeRoundTripsAndMonthEndsAreLastMinutes) {
  const bus::CivilTime c{2024, 2, 29, 23, 59, 7};
  EXPECT_EQ(bus::ToCivil(bus::FromCivil(c)), c);
  EXPECT_EQ(bus::ToCivil(bus::MonthEnd(kNoon, 1)), (bus::CivilTime{2026, 2, 28, 23, 59, 0}));
  EXPECT_EQ(bus::ToCivil(bus::MonthEnd(kNoon, 3)), (bus::CivilTime{2025, 12, 31, 23, 59, 0}));
  EXPECT_EQ(bus::ToCivil(bus::MonthEnd(kNoon, 15)), (bus::CivilTime{2024, 12, 31, 23, 59, 0}));
}

TEST(MeterCalendar, ManufacturerCodesDecodeBack) {
  const std::uint16_t code = bus::ManufacturerCode("HKQ");
  char text[4] = {};
  ASSERT_NE(mbus_decode_manufacturer(static_cast<unsigned char>(code),
                                     static_cast<unsigned char>(code >> 8), text),
            nullptr);
  EXPECT_STREQ(text, "HKQ");
  EXPECT_THROW(bus::ManufacturerCode("hk"), bus::TelegramError);
  EXPECT_THROW(bus::ManufacturerCode("H1Q"), bus::TelegramError);
}

TEST(MeterTelegrams, EveryDefaultMeterParsesAndNormalises) {
  for (const auto& meter : bus::DefaultMeters()) {
    const auto telegrams = bus::MeterTelegrams(meter, kNoon);
    ASSERT_FALSE(telegrams.empty());
    for (const auto& t : telegrams) {
      auto p = Parse(t);
      ASSERT_EQ(p->result, 0) << "meter " << std::hex << meter.id;
      if (meter.kind == MeterKind::FixedWater) {
        EXPECT_EQ(p->data.type, MBUS_DATA_TYPE_FIXED);
        continue;
      }
      EXPECT_EQ(p->data.type, MBUS_DATA_TYPE_VARIABLE);
      EXPECT_EQ(p->data.data_var.header.medium, meter.Address().medium);
      EXPECT_FALSE(Normalise(*p).empty());
    }
  }
}

TEST(MeterTelegrams, HeatMeterCarriesTypicalRecordsAndHistory) {
  const auto meter = Find(MeterKind::Heat);
  auto p = Parse(bus::MeterTelegrams(meter, kNoon).front());
  ASSERT_EQ(p->result, 0);
  const auto values = Normalise(*p);
  const Value* energy = First(values, "Energy");
  ASSERT_NE(energy, nullptr);
  EXPECT_NEAR(energy->number, bus::MeterReading(meter, kNoon) * 1000, 10.0);  // Wh
  for (const char* q : {"Volume", "Power", "Volume flow", "Flow temperature", "Return temperature",
                        "Temperature difference", "Fabrication No"})
    EXPECT_NE(First(values, q), nullptr) << q;
  for (long n = 1; n <= meter.history; ++n) {
    const Value* stored = First(values, "Energy", n);
    ASSERT_NE(stored, nullptr) << n;
    EXPECT_NEAR(stored->number, bus::MeterReading(meter, bus::MonthEnd(kNoon, n)) * 1000, 10.0);
  }
  EXPECT_EQ(First(values, "Energy", meter.history + 1), nullptr);
}

TEST(MeterTelegrams, HistoryTimePointsAreTheMonthEnds) {
  const auto meter = Find(MeterKind::Heat);
  auto p = Parse(bus::MeterTelegrams(meter, kNoon).front());
  ASSERT_EQ(p->result, 0);
  std::map<long, struct tm> stamps;
  for (mbus_data_record* r = p->data.data_var.record; r; r = r->next) {
    if ((r->vib.vif & 0x7F) != 0x6D) continue;
    struct tm t {};
    mbus_data_tm_decode(&t, r->data, r->data_len);
    stamps[mbus_data_record_storage_number(r)] = t;
  }
  ASSERT_EQ(stamps.size(), static_cast<std::size_t>(meter.history + 1));
  EXPECT_EQ(stamps[0].tm_year + 1900, 2026);
  EXPECT_EQ(stamps[0].tm_hour, 12);
  EXPECT_EQ(stamps[2].tm_mon + 1, 1);
  EXPECT_EQ(stamps[2].tm_mday, 31);
  EXPECT_EQ(stamps[2].tm_min, 59);
}

TEST(MeterTelegrams, ElectricityMeterSplitsTariffs) {
  const auto meter = Find(MeterKind::Electricity);
  auto p = Parse(bus::MeterTelegrams(meter, kNoon).front());
  ASSERT_EQ(p->result, 0);
  const auto values = Normalise(*p);
  const Value* total = First(values, "Energy");
  const Value* t1 = First(values, "Energy", 0, 1);
  const Value* t2 = First(values, "Energy", 0, 2);
  ASSERT_TRUE(total && t1 && t2);
  EXPECT_NEAR(t1->number + t2->number, total->number, 2.0);
  EXPECT_GT(t1->number, t2->number);
  EXPECT_NE(First(values, "Energy", 1, 1), nullptr);
  EXPECT_NE(First(values, "Energy", 3, 2), nullptr);
}

TEST(MeterTelegrams, ReadingsAdvanceWithTheClock) {
  for (const auto& meter : bus::DefaultMeters()) {
    if (meter.kind == MeterKind::FixedWater) continue;
    const auto a = Normalise(*Parse(bus::MeterTelegrams(meter, kNoon).front()));
    const auto b =
        Normalise(*Parse(bus::MeterTelegrams(meter, kNoon + std::chrono::minutes(10)).front()));
    const char* quantity =
        meter.kind == MeterKind::Heat || meter.kind == MeterKind::Electricity ? "Energy" : "Volume";
    ASSERT_TRUE(First(a, quantity) && First(b, quantity));
    EXPECT_GT(First(b, quantity)->number, First(a, quantity)->number) << std::hex << meter.id;
  }
}

TEST(MeterTelegrams, FixedMeterDecodesItsCounters) {
  const auto meter = Find(MeterKind::FixedWater);
  auto p = Parse(bus::MeterTelegrams(meter, kNoon).front());
  ASSERT_EQ(p->result, 0);
  EXPECT_EQ(p->frame.control_information, 0x73);
  const mbus_data_fixed& f = p->data.data_fix;
  mbus_record* r =
      mbus_parse_fixed_record(nullptr, static_cast<char>(f.status), static_cast<char>(f.cnt1_type),
                              const_cast<unsigned char*>(f.cnt1_val));
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->quantity, "Volume");
  EXPECT_NEAR(r->value.real_val, bus::MeterReading(meter, kNoon), 0.002);
  mbus_record_free(r);
  EXPECT_STREQ(mbus_data_fixed_medium(const_cast<mbus_data_fixed*>(&f)),
               mbus_data_variable_medium_lookup(bus::kMediumWater));
}

TEST(MeterTelegrams, MultiTelegramMeterMarksAllButTheLast) {
  const auto meter = Find(MeterKind::Heat, true);
  const auto telegrams = bus::MeterTelegrams(meter, kNoon);
  ASSERT_EQ(telegrams.size(), 3u);
  std::set<long> storages;
  for (std::size_t i = 0; i < telegrams.size(); ++i) {
    auto p = Parse(telegrams[i]);
    ASSERT_EQ(p->result, 0);
    EXPECT_EQ(p->data.data_var.more_records_follow != 0, i + 1 < telegrams.size()) << i;
    for (const auto& v : Normalise(*p))
      if (v.quantity == "Energy") storages.insert(v.storage);
  }
  EXPECT_EQ(storages.size(), static_cast<std::size_t>(meter.history + 1));
}

// Through the segment: the slave's generator runs at reply time, the FCB
// walks the telegrams, and a new read after the last one sees new values.
class MeterOnBus : public bustest::BusFixture {
 protected:
  MeterTime now = kNoon;
  bus::MeterClock Clock() {
    return [this] { return now; };
  }
};

TEST_F(MeterOnBus, ChainedTelegramsFollowTheFrameCountBit) {
  const auto meter = Find(MeterKind::Heat, true);
  segment.AddSlave(bus::MeterSlave(meter, Clock()));
  std::string mask = meter.Address().Text();
  ASSERT_EQ(mbus_select_secondary_address(handle, mask.data()), MBUS_PROBE_SINGLE);
  bustest::FramePtr reply = bustest::NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, MBUS_ADDRESS_NETWORK_LAYER, reply.get(), 16), 0);
  int frames = 0;
  for (mbus_frame* f = reply.get(); f; f = f->next) ++frames;
  EXPECT_EQ(frames, 3);
}

TEST_F(MeterOnBus, ValuesAdvanceBetweenTwoReads) {
  const auto meter = Find(MeterKind::Water);
  segment.AddSlave(bus::MeterSlave(meter, Clock()));
  auto read = [&] {
    bustest::FramePtr reply = bustest::NewFrame();
    EXPECT_EQ(mbus_sendrecv_request(handle, meter.primary, reply.get(), 1), 0);
    mbus_frame_data data{};
    EXPECT_EQ(mbus_frame_data_parse(handle, reply.get(), &data), 0);
    double volume = -1;
    for (mbus_data_record* r = data.data_var.record; r; r = r->next) {
      mbus_record* n = mbus_parse_variable_record(handle, r);
      if (n && volume < 0 && std::string(n->quantity) == "Volume") volume = n->value.real_val;
      mbus_record_free(n);
    }
    mbus_data_record_free(data.data_var.record);
    return volume;
  };
  const double first = read();
  now += std::chrono::hours(2);
  const double second = read();
  EXPECT_GT(first, 0);
  EXPECT_NEAR(second - first, meter.rate * 2, 0.002);
}

TEST(MeterSegment, DefaultSegmentAnswersOnEveryAddress) {
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  bus::AddDefaultMeters(segment);
  EXPECT_EQ(segment.SlaveCount(), bus::DefaultMeters().size());
  const auto addresses = bus::DefaultMeterAddresses();
  ASSERT_EQ(addresses.size(), bus::DefaultMeters().size());
  int secondary = 0;
  for (const auto& a : addresses) {
    if (a.size() == 16) {
      ++secondary;
      EXPECT_EQ(mbus_is_secondary_address(a.c_str()), 1) << a;
    }
  }
  EXPECT_GE(secondary, 2);
}

// REQ_UD2 to primary 3 with the given FCB.
bus::MasterFrame Request(bool fcb) {
  bus::MasterFrame frame;
  frame.control = static_cast<std::uint8_t>(fcb ? 0x7B : 0x5B);
  frame.address = 3;
  return frame;
}

TEST(MeterSlaveConfig, GeneratorRunsForEveryNewReplyButNotForRepeats) {
  int calls = 0;
  bus::SlaveConfig config;
  config.primary = 3;
  config.generate = [&] {
    ++calls;
    const auto a = bustest::Address(0x11223344);
    return std::vector<Bytes>{bus::BuildTelegram(3, a, static_cast<std::uint32_t>(calls), true),
                              bus::BuildTelegram(3, a, 1000u + calls)};
  };
  bus::VirtualSlave slave(config);
  EXPECT_EQ(calls, 1);  // once for the address
  const Bytes first = slave.Answer(Request(true), 2400);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(slave.Answer(Request(true), 2400), first);  // same FCB: the repeat
  EXPECT_EQ(calls, 2);
  const Bytes second = slave.Answer(Request(false), 2400);  // toggled: the second telegram
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(second, slave.Telegrams()[1]);
  const Bytes again = slave.Answer(Request(true), 2400);  // after the last: a new reply
  EXPECT_EQ(calls, 3);
  EXPECT_NE(again, first);  // new readings
  EXPECT_EQ(again, slave.Telegrams()[0]);
}

TEST(MeterSlaveConfig, FixedListSlavesStillAnswerFromTheirTelegrams) {
  bus::SlaveConfig config = bustest::Meter(3, bustest::Address(0x11223344));
  bus::VirtualSlave slave(config);
  EXPECT_EQ(slave.Telegrams(), config.telegrams);
  bus::SlaveConfig empty;
  EXPECT_THROW(bus::VirtualSlave{empty}, bus::TelegramError);
  empty.generate = [] { return std::vector<Bytes>{}; };
  EXPECT_THROW(bus::VirtualSlave{empty}, bus::TelegramError);
}

}  // namespace

// Soak meters store a reading every few seconds: every one of a source's
// meters keeps the newest ones under storage 1.. with time points to the
// second at whole periods, values of its own, and a period later each
// reading has moved one storage number on with its time point and value.
TEST(SoakMeters, StoreAReadingEveryPeriodWithTimePointsToTheSecond) {
  const MeterTime t = bus::FromCivil({2026, 12, 9, 3, 41, 7});
  const auto later = t + std::chrono::seconds(bus::kSoakPeriodSeconds);
  std::set<std::uint32_t> ids;
  std::set<int> primaries;
  for (const auto& m : bus::SoakMeters(13)) {
    ids.insert(m.id);
    if (m.primary >= 0) {
      EXPECT_TRUE(primaries.insert(m.primary).second);
    }
    std::map<long, struct tm> stamps[2];
    std::map<long, double> stored[2];
    const MeterTime at[2] = {t, later};
    for (int k = 0; k < 2; ++k) {
      const auto telegrams = bus::MeterTelegrams(m, at[k]);
      EXPECT_EQ(telegrams.size(), m.per_telegram > 0 ? 3u : 1u);
      for (const Bytes& telegram : telegrams) {
        auto p = Parse(telegram);
        ASSERT_EQ(p->result, 0);
        for (mbus_data_record* r = p->data.data_var.record; r; r = r->next) {
          const long n = mbus_data_record_storage_number(r);
          if (n == 0 || (r->vib.vif & 0x7F) != 0x6D) continue;
          EXPECT_EQ(r->data_len, 6u);
          mbus_data_tm_decode(&stamps[k][n], r->data, r->data_len);
        }
        for (const auto& v : Normalise(*p))
          if (v.storage > 0 && (v.quantity == "Volume" || v.quantity == "Energy"))
            stored[k][v.storage] = v.number;
      }
      ASSERT_EQ(stamps[k].size(), static_cast<std::size_t>(bus::kSoakHistory)) << std::hex << m.id;
      ASSERT_EQ(stored[k].size(), static_cast<std::size_t>(bus::kSoakHistory));
      for (int n = 1; n <= bus::kSoakHistory; ++n) {
        const bus::CivilTime want = bus::ToCivil(bus::StoredTime(m, at[k], n));
        const struct tm& got = stamps[k][n];
        EXPECT_EQ((bus::CivilTime{got.tm_year + 1900, got.tm_mon + 1, got.tm_mday, got.tm_hour,
                                  got.tm_min, got.tm_sec}),
                  want)
            << std::hex << m.id << std::dec << " storage " << n;
        EXPECT_EQ(want.second % bus::kSoakPeriodSeconds, 0);
      }
    }
    EXPECT_EQ(bus::ToCivil(bus::StoredTime(m, t, 1)), (bus::CivilTime{2026, 12, 9, 3, 41, 4}));
    const double unit = m.kind == MeterKind::Heat ? 1000 : 1;  // energy in Wh
    EXPECT_NEAR(stored[0][1], bus::MeterReading(m, bus::StoredTime(m, t, 1)) * unit, 0.02 * unit);
    for (int n = 1; n < bus::kSoakHistory; ++n) {
      EXPECT_EQ(stored[1][n + 1], stored[0][n]) << std::hex << m.id << " storage " << n;
      EXPECT_EQ(stamps[1][n + 1].tm_sec, stamps[0][n].tm_sec);
    }
    EXPECT_GT(stored[1][1], stored[0][1]);
  }
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(bus::kSoakMeters));
  EXPECT_EQ(primaries.size(), static_cast<std::size_t>(bus::kSoakMeters / 2));
}
