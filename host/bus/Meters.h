// Simulated meters: heat, water, gas and electricity meters whose readings
// advance with a clock, with variable-structure telegrams (current values,
// month-end history under storage numbers 1.., tariffs, several telegrams
// linked by DIF 0x1F) or a fixed-structure telegram, and the default segment
// that `mbus-host read` uses for "sim".
//
// Everything here is a pure function of the meter's description and the
// clock's time, except the slaves' generators, which read the clock when the
// segment asks them for a reply (under the segment's lock).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/bus/Segment.h"
#include "host/bus/Telegrams.h"
#include "host/bus/VirtualSlave.h"

namespace bus {

using MeterTime = std::chrono::system_clock::time_point;
// The meters' clock; tests inject their own. Called from any thread.
using MeterClock = std::function<MeterTime()>;
MeterClock SystemMeterClock();

// A calendar time (UTC, as the simulated meters keep it).
struct CivilTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  bool operator==(const CivilTime&) const = default;
};
CivilTime ToCivil(MeterTime t);
MeterTime FromCivil(const CivilTime& c);
// The last minute of the month `back` months before t's month (back >= 1).
MeterTime MonthEnd(MeterTime t, int back);
// The start of the period `back` periods before the one t lies in: the time
// of the back-th newest stored reading of a meter that stores one every
// `period` seconds (back >= 1; back 1 is the period t lies in).
MeterTime PeriodStart(MeterTime t, int periodSeconds, int back);

// Medium codes of the meters.
inline constexpr std::uint8_t kMediumElectricity = 0x02;
inline constexpr std::uint8_t kMediumGas = 0x03;
inline constexpr std::uint8_t kMediumHeat = 0x04;
inline constexpr std::uint8_t kMediumWater = 0x07;

// The 16-bit manufacturer field of a three-letter code ("ABC").
std::uint16_t ManufacturerCode(const std::string& letters);

// Writes one variable-structure RSP_UD (CI 0x72) record by record.
class TelegramWriter {
 public:
  TelegramWriter(std::uint8_t primary, const SecondaryAddress& address, std::uint8_t access,
                 std::uint8_t status);

  // One record: data field (low DIF nibble), function (0 instantaneous,
  // 1 maximum, 2 minimum, 3 error), storage number and tariff (DIF/DIFE
  // bits), the VIF bytes and the data bytes.
  TelegramWriter& Record(std::uint8_t field, std::uint8_t function, unsigned storage,
                         unsigned tariff, const Bytes& vif, const Bytes& data);
  // Binary integer of 1, 2, 3, 4, 6 or 8 bytes (field 1, 2, 3, 4, 6, 7).
  TelegramWriter& Integer(const Bytes& vif, std::int64_t value, int bytes, unsigned storage = 0,
                          unsigned tariff = 0, std::uint8_t function = 0);
  // BCD of 2, 4, 6, 8 or 12 digits (field 9, 10, 11, 12, 14).
  TelegramWriter& Bcd(const Bytes& vif, std::uint64_t value, int digits, unsigned storage = 0,
                      unsigned tariff = 0);
  // Date and time (type F, VIF 0x6D) and date (type G, VIF 0x6C).
  TelegramWriter& DateTime(const CivilTime& time, unsigned storage = 0);
  // Date and time to the second (type I, 6 bytes, VIF 0x6D).
  TelegramWriter& DateTimeSeconds(const CivilTime& time, unsigned storage = 0);
  TelegramWriter& Date(const CivilTime& time, unsigned storage = 0);
  // DIF 0x1F: more records follow in the next telegram.
  TelegramWriter& MoreFollow();

  Bytes Frame() const;

 private:
  Bytes body_;
};

// A fixed-structure RSP_UD (CI 0x73): identification, access number, status
// (bit 7 set: binary counters), two counters with their type bytes (medium
// bits 6-7, unit code bits 0-5).
Bytes BuildFixedTelegram(std::uint8_t primary, std::uint32_t id_bcd, std::uint8_t access,
                         std::uint8_t status, std::uint8_t type1, std::uint32_t counter1,
                         std::uint8_t type2, std::uint32_t counter2);

enum class MeterKind { Heat, Water, Gas, Electricity, FixedWater };

// One simulated meter. Readings grow linearly from `base` at 2024-01-01
// 00:00 UTC by `rate` units an hour (heat: kWh, water and gas: m^3,
// electricity: kWh).
struct MeterSpec {
  MeterKind kind = MeterKind::Water;
  int primary = -1;                  // 0-250, or -1: secondary address only
  std::uint32_t id = 0;              // identification number, 8 BCD digits
  std::string manufacturer = "QQQ";  // three letters
  std::uint8_t version = 1;
  double base = 0;
  double rate = 1;
  int history = 0;       // stored values kept (storage 1..history, 1 the newest)
  int per_telegram = 0;  // history entries per telegram; 0: all in one
  std::uint32_t fabrication = 0;
  // 0: a stored value at every month end (time points to the minute or
  // day); else one every period_seconds of the meter's clock, at whole
  // multiples of it since 1970, with time points to the second.
  int period_seconds = 0;

  SecondaryAddress Address() const;
};

// The meter's reading at t (units as above).
double MeterReading(const MeterSpec& meter, MeterTime t);
// The time of the meter's stored value under storage number n >= 1 at t.
MeterTime StoredTime(const MeterSpec& meter, MeterTime t, int n);
// The reply telegrams of the meter at time t; access is the access number of
// the first one (each following one counts up).
std::vector<Bytes> MeterTelegrams(const MeterSpec& meter, MeterTime t, std::uint8_t access = 0);
// A slave answering with the meter's telegrams at the clock's time.
SlaveConfig MeterSlave(const MeterSpec& meter, MeterClock clock);

// The meters of the default segment: heat, water, gas and electricity
// meters on primary and secondary addresses, one answering with several
// telegrams, one of fixed structure.
std::vector<MeterSpec> DefaultMeters();
// The meters of soak segment `source` (0-99): kSoakMeters meters that store
// a reading every kSoakPeriodSeconds and keep the newest kSoakHistory.
// Meter j: identification 90SS00JJ (SS the source, JJ the meter, decimal
// digits), on primary 8 * (SS % 31) + j / 2 + 1 when j is even (so sources
// 0-30 of one process share no primary address), on its secondary address
// only when odd; water (j % 4 == 0), gas (1), heat (2), water answering in
// three telegrams (3). Its reading is 100 * (16 * SS + JJ) + 10 at
// 2026-11-07 16:00 UTC and grows by `rate` an hour (water and gas
// 2.5 + 0.01 * JJ m^3, heat 90 + JJ kWh), so every meter's values are its own.
inline constexpr int kSoakMeters = 16;
inline constexpr int kSoakPeriodSeconds = 4;
inline constexpr int kSoakHistory = 5;
std::vector<MeterSpec> SoakMeters(int source);
// Adds the default meters to a segment.
void AddDefaultMeters(BusSegment& segment, MeterClock clock = SystemMeterClock());
// The address texts of the default meters as a request configuration's
// Device element takes them: primary numbers, secondary ones as 16-digit
// addresses.
std::vector<std::string> DefaultMeterAddresses();

}  // namespace bus
