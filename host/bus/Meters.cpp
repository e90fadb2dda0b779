#include "host/bus/Meters.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

namespace bus {
namespace {

using std::chrono::duration_cast;
using std::chrono::seconds;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = static_cast<int>(y - era * 400);
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = static_cast<int>(z - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400) + (m <= 2 ? 1 : 0);
}

// Field codes of the DIF by data length.
std::uint8_t IntegerField(int bytes) {
  switch (bytes) {
    case 1:
      return 0x1;
    case 2:
      return 0x2;
    case 3:
      return 0x3;
    case 4:
      return 0x4;
    case 6:
      return 0x6;
    case 8:
      return 0x7;
    default:
      throw TelegramError("no integer record of " + std::to_string(bytes) + " bytes");
  }
}

std::uint8_t BcdField(int digits) {
  switch (digits) {
    case 2:
      return 0x9;
    case 4:
      return 0xA;
    case 6:
      return 0xB;
    case 8:
      return 0xC;
    case 12:
      return 0xE;
    default:
      throw TelegramError("no BCD record of " + std::to_string(digits) + " digits");
  }
}

Bytes Little(std::uint64_t value, int bytes) {
  Bytes out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}

Bytes BcdBytes(std::uint64_t value, int digits) {
  Bytes out;
  for (int i = 0; i < digits / 2; ++i) {
    const unsigned two = static_cast<unsigned>(value % 100);
    out.push_back(static_cast<std::uint8_t>((two / 10) << 4 | two % 10));
    value /= 100;
  }
  return out;
}

Bytes LongFrame(const Bytes& body) {
  const auto length = static_cast<std::uint8_t>(body.size());
  Bytes frame = {0x68, length, length, 0x68};
  frame.insert(frame.end(), body.begin(), body.end());
  frame.push_back(Checksum(body.data(), body.size()));
  frame.push_back(0x16);
  return frame;
}

const MeterTime kEpoch = FromCivil(CivilTime{2024, 1, 1, 0, 0, 0});

double Hours(MeterTime t) {
  return static_cast<double>(duration_cast<seconds>(t - kEpoch).count()) / 3600.0;
}

std::uint64_t Scaled(double value, double unit) {
  const double scaled = std::floor(value / unit);
  return scaled < 0 ? 0 : static_cast<std::uint64_t>(scaled);
}

// A flow/return temperature pair that swings slowly over the day (0.01 degC).
void Temperatures(MeterTime t, int& flow, int& back) {
  const double phase = std::sin(Hours(t) * 0.2618);  // one swing a day
  flow = static_cast<int>(7000 + 450 * phase);
  back = static_cast<int>(4500 + 200 * phase);
}

// The storage numbers of one telegram: history entries from..to inclusive.
struct Slice {
  int from = 1, to = 0;
};

std::vector<Slice> HistorySlices(const MeterSpec& m) {
  std::vector<Slice> slices;
  if (m.history <= 0 || m.per_telegram <= 0) {
    slices.push_back({1, m.history});
    return slices;
  }
  for (int from = 1; from <= m.history; from += m.per_telegram)
    slices.push_back({from, std::min(m.history, from + m.per_telegram - 1)});
  return slices;
}

// The current records of each kind; then the history of the slice.
void HeatRecords(TelegramWriter& w, const MeterSpec& m, MeterTime t) {
  const double kwh = MeterReading(m, t);
  int flow = 0, back = 0;
  Temperatures(t, flow, back);
  w.Bcd({0x04}, Scaled(kwh, 0.01), 8);                                      // energy, 10 Wh
  w.Bcd({0x14}, Scaled(kwh / 45.0, 0.01), 8);                               // volume, 0.01 m^3
  w.Integer({0x2B}, static_cast<std::int64_t>(m.rate * 1000), 4);           // power, W
  w.Integer({0x2B}, static_cast<std::int64_t>(m.rate * 1450), 4, 0, 0, 1);  // maximum power
  w.Integer({0x3B}, static_cast<std::int64_t>(m.rate * 22), 4);             // flow, l/h
  w.Integer({0x59}, flow, 2);                                 // flow temperature, 0.01 degC
  w.Integer({0x5D}, back, 2);                                 // return temperature
  w.Integer({0x61}, flow - back, 2);                          // difference, 0.01 K
  w.Integer({0x22}, static_cast<std::int64_t>(Hours(t)), 4);  // operating time, hours
}

// A stored value's time point: to the second for meters with a period.
void StoredTimePoint(TelegramWriter& w, const MeterSpec& m, MeterTime end, unsigned n,
                     bool dateOnly) {
  if (m.period_seconds > 0) {
    w.DateTimeSeconds(ToCivil(end), n);
  } else if (dateOnly) {
    w.Date(ToCivil(end), n);
  } else {
    w.DateTime(ToCivil(end), n);
  }
}

void HeatHistory(TelegramWriter& w, const MeterSpec& m, MeterTime t, const Slice& s) {
  for (int n = s.from; n <= s.to; ++n) {
    const MeterTime end = StoredTime(m, t, n);
    StoredTimePoint(w, m, end, static_cast<unsigned>(n), false);
    w.Bcd({0x04}, Scaled(MeterReading(m, end), 0.01), 8, static_cast<unsigned>(n));
  }
}

void VolumeRecords(TelegramWriter& w, const MeterSpec& m, MeterTime t) {
  const double m3 = MeterReading(m, t);
  w.Bcd({0x13}, Scaled(m3, 0.001), 8);                             // volume, l
  w.Integer({0x3B}, static_cast<std::int64_t>(m.rate * 1000), 2);  // flow, l/h
  if (m.kind == MeterKind::Water) w.Integer({0x65}, 1150, 2);      // external temp 0.01
}

void VolumeHistory(TelegramWriter& w, const MeterSpec& m, MeterTime t, const Slice& s) {
  for (int n = s.from; n <= s.to; ++n) {
    const MeterTime end = StoredTime(m, t, n);
    StoredTimePoint(w, m, end, static_cast<unsigned>(n), true);
    w.Bcd({0x13}, Scaled(MeterReading(m, end), 0.001), 8, static_cast<unsigned>(n));
  }
}

// Tariff 1 is the day rate (06:00-22:00), tariff 2 the night rate; the
// split of the total is fixed so both advance.
void ElectricityRecords(TelegramWriter& w, const MeterSpec& m, MeterTime t) {
  const double kwh = MeterReading(m, t);
  w.Integer({0x03}, static_cast<std::int64_t>(kwh * 1000), 6);       // total, Wh
  w.Integer({0x03}, static_cast<std::int64_t>(kwh * 700), 6, 0, 1);  // tariff 1
  w.Integer({0x03}, static_cast<std::int64_t>(kwh * 300), 6, 0, 2);  // tariff 2
  const CivilTime c = ToCivil(t);
  const int watts = static_cast<int>(m.rate * 1000 * ((c.hour >= 6 && c.hour < 22) ? 1.2 : 0.6));
  w.Integer({0x2B}, watts, 4);                    // power, W
  w.Integer({0xFD, 0x48}, 2301, 2);               // voltage, 0.1 V
  w.Integer({0xFD, 0x5A}, watts * 100 / 230, 2);  // current, 0.01 A
}

void ElectricityHistory(TelegramWriter& w, const MeterSpec& m, MeterTime t, const Slice& s) {
  for (int n = s.from; n <= s.to; ++n) {
    const MeterTime end = StoredTime(m, t, n);
    const double kwh = MeterReading(m, end);
    StoredTimePoint(w, m, end, static_cast<unsigned>(n), false);
    w.Integer({0x03}, static_cast<std::int64_t>(kwh * 700), 6, static_cast<unsigned>(n), 1);
    w.Integer({0x03}, static_cast<std::int64_t>(kwh * 300), 6, static_cast<unsigned>(n), 2);
  }
}

std::uint8_t MediumOf(MeterKind kind) {
  switch (kind) {
    case MeterKind::Heat:
      return kMediumHeat;
    case MeterKind::Gas:
      return kMediumGas;
    case MeterKind::Electricity:
      return kMediumElectricity;
    case MeterKind::Water:
    case MeterKind::FixedWater:
      return kMediumWater;
  }
  return 0;
}

// Fixed structure: counter 1 the volume in litres (unit code 0x29), counter
// 2 the flow in l/h (0x32); medium water (7) split over the type bytes' top
// bits: 0b11 in counter 1, 0b01 in counter 2. Binary counters (status bit 7).
std::vector<Bytes> FixedTelegram(const MeterSpec& m, MeterTime t, std::uint8_t access) {
  const auto litres = static_cast<std::uint32_t>(Scaled(MeterReading(m, t), 0.001));
  const auto flow = static_cast<std::uint32_t>(m.rate * 1000);
  return {BuildFixedTelegram(static_cast<std::uint8_t>(std::max(m.primary, 0)), m.id, access, 0x80,
                             0xC0 | 0x29, litres, 0x40 | 0x32, flow)};
}

}  // namespace

MeterClock SystemMeterClock() {
  return [] { return std::chrono::system_clock::now(); };
}

CivilTime ToCivil(MeterTime t) {
  const std::int64_t total = duration_cast<seconds>(t.time_since_epoch()).count();
  std::int64_t days = total / 86400;
  std::int64_t rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilTime c;
  CivilFromDays(days, c.year, c.month, c.day);
  c.hour = static_cast<int>(rest / 3600);
  c.minute = static_cast<int>(rest / 60 % 60);
  c.second = static_cast<int>(rest % 60);
  return c;
}

MeterTime FromCivil(const CivilTime& c) {
  const std::int64_t s =
      DaysFromCivil(c.year, c.month, c.day) * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
  return MeterTime(duration_cast<MeterTime::duration>(seconds(s)));
}

MeterTime MonthEnd(MeterTime t, int back) {
  CivilTime c = ToCivil(t);
  // The first day of the month back - 1 months before: its previous minute.
  int month = c.month - (back - 1);
  int year = c.year;
  while (month < 1) {
    month += 12;
    --year;
  }
  return FromCivil(CivilTime{year, month, 1, 0, 0, 0}) - std::chrono::minutes(1);
}

MeterTime PeriodStart(MeterTime t, int periodSeconds, int back) {
  const std::int64_t total = duration_cast<seconds>(t.time_since_epoch()).count();
  std::int64_t start = total - total % periodSeconds;
  if (total % periodSeconds < 0) start -= periodSeconds;
  start -= static_cast<std::int64_t>(back - 1) * periodSeconds;
  return MeterTime(duration_cast<MeterTime::duration>(seconds(start)));
}

std::uint16_t ManufacturerCode(const std::string& letters) {
  if (letters.size() != 3) throw TelegramError("a manufacturer code has three letters");
  unsigned code = 0;
  for (char c : letters) {
    if (c < 'A' || c > 'Z') throw TelegramError("a manufacturer code is A-Z");
    code = code << 5 | static_cast<unsigned>(c - 64);
  }
  return static_cast<std::uint16_t>(code);
}

TelegramWriter::TelegramWriter(std::uint8_t primary, const SecondaryAddress& a, std::uint8_t access,
                               std::uint8_t status) {
  body_ = {0x08, primary, 0x72};
  for (int i = 0; i < 4; ++i) body_.push_back(static_cast<std::uint8_t>(a.id >> (8 * i)));
  body_.push_back(static_cast<std::uint8_t>(a.manufacturer));
  body_.push_back(static_cast<std::uint8_t>(a.manufacturer >> 8));
  body_.insert(body_.end(), {a.version, a.medium, access, status, 0x00, 0x00});
}

TelegramWriter& TelegramWriter::Record(std::uint8_t field, std::uint8_t function, unsigned storage,
                                       unsigned tariff, const Bytes& vif, const Bytes& data) {
  // DIF: field, function, storage bit 0; DIFEs: 4 storage bits and 2 tariff
  // bits each, as many as the numbers need.
  Bytes dib = {
      static_cast<std::uint8_t>((field & 0x0F) | (function & 3) << 4 | (storage & 1) << 6)};
  storage >>= 1;
  while (storage != 0 || tariff != 0) {
    dib.back() |= 0x80;
    dib.push_back(static_cast<std::uint8_t>((storage & 0x0F) | (tariff & 3) << 4));
    storage >>= 4;
    tariff >>= 2;
  }
  body_.insert(body_.end(), dib.begin(), dib.end());
  body_.insert(body_.end(), vif.begin(), vif.end());
  body_.insert(body_.end(), data.begin(), data.end());
  return *this;
}

TelegramWriter& TelegramWriter::Integer(const Bytes& vif, std::int64_t value, int bytes,
                                        unsigned storage, unsigned tariff, std::uint8_t function) {
  return Record(IntegerField(bytes), function, storage, tariff, vif,
                Little(static_cast<std::uint64_t>(value), bytes));
}

TelegramWriter& TelegramWriter::Bcd(const Bytes& vif, std::uint64_t value, int digits,
                                    unsigned storage, unsigned tariff) {
  return Record(BcdField(digits), 0, storage, tariff, vif, BcdBytes(value, digits));
}

TelegramWriter& TelegramWriter::DateTime(const CivilTime& c, unsigned storage) {
  const int y = c.year % 100;
  const Bytes data = {static_cast<std::uint8_t>(c.minute & 0x3F),
                      static_cast<std::uint8_t>(c.hour & 0x1F),
                      static_cast<std::uint8_t>((c.day & 0x1F) | (y & 7) << 5),
                      static_cast<std::uint8_t>((c.month & 0x0F) | (y >> 3) << 4)};
  return Record(0x4, 0, storage, 0, {0x6D}, data);
}

TelegramWriter& TelegramWriter::DateTimeSeconds(const CivilTime& c, unsigned storage) {
  const int y = c.year % 100;
  const Bytes data = {static_cast<std::uint8_t>(c.second & 0x3F),
                      static_cast<std::uint8_t>(c.minute & 0x3F),
                      static_cast<std::uint8_t>(c.hour & 0x1F),
                      static_cast<std::uint8_t>((c.day & 0x1F) | (y & 7) << 5),
                      static_cast<std::uint8_t>((c.month & 0x0F) | (y >> 3) << 4),
                      0x00};
  return Record(0x6, 0, storage, 0, {0x6D}, data);
}

TelegramWriter& TelegramWriter::Date(const CivilTime& c, unsigned storage) {
  const int y = c.year % 100;
  const Bytes data = {static_cast<std::uint8_t>((c.day & 0x1F) | (y & 7) << 5),
                      static_cast<std::uint8_t>((c.month & 0x0F) | (y >> 3) << 4)};
  return Record(0x2, 0, storage, 0, {0x6C}, data);
}

TelegramWriter& TelegramWriter::MoreFollow() {
  body_.push_back(0x1F);
  return *this;
}

Bytes TelegramWriter::Frame() const {
  if (body_.size() > 255) throw TelegramError("telegram longer than 255 bytes");
  return LongFrame(body_);
}

Bytes BuildFixedTelegram(std::uint8_t primary, std::uint32_t id_bcd, std::uint8_t access,
                         std::uint8_t status, std::uint8_t type1, std::uint32_t counter1,
                         std::uint8_t type2, std::uint32_t counter2) {
  Bytes body = {0x08, primary, 0x73};
  const Bytes id = Little(id_bcd, 4);
  body.insert(body.end(), id.begin(), id.end());
  body.insert(body.end(), {access, status, type1, type2});
  const bool binary = (status & 0x80) != 0;
  const Bytes c1 = binary ? Little(counter1, 4) : BcdBytes(counter1, 8);
  const Bytes c2 = binary ? Little(counter2, 4) : BcdBytes(counter2, 8);
  body.insert(body.end(), c1.begin(), c1.end());
  body.insert(body.end(), c2.begin(), c2.end());
  return LongFrame(body);
}

SecondaryAddress MeterSpec::Address() const {
  return SecondaryAddress{id, ManufacturerCode(manufacturer), version, MediumOf(kind)};
}

double MeterReading(const MeterSpec& meter, MeterTime t) {
  return meter.base + meter.rate * std::max(0.0, Hours(t));
}

MeterTime StoredTime(const MeterSpec& meter, MeterTime t, int n) {
  return meter.period_seconds > 0 ? PeriodStart(t, meter.period_seconds, n) : MonthEnd(t, n);
}

std::vector<Bytes> MeterTelegrams(const MeterSpec& m, MeterTime t, std::uint8_t access) {
  if (m.kind == MeterKind::FixedWater) return FixedTelegram(m, t, access);
  const auto primary = static_cast<std::uint8_t>(m.primary < 0 ? 0 : m.primary);
  const std::vector<Slice> slices = HistorySlices(m);
  std::vector<Bytes> telegrams;
  for (std::size_t i = 0; i < slices.size(); ++i) {
    TelegramWriter w(primary, m.Address(), static_cast<std::uint8_t>(access + i), 0x00);
    if (i == 0) {
      w.DateTime(ToCivil(t));
      if (m.fabrication != 0) w.Bcd({0x78}, m.fabrication, 8);
      if (m.kind == MeterKind::Heat) HeatRecords(w, m, t);
      if (m.kind == MeterKind::Water || m.kind == MeterKind::Gas) VolumeRecords(w, m, t);
      if (m.kind == MeterKind::Electricity) ElectricityRecords(w, m, t);
    }
    if (m.kind == MeterKind::Heat) HeatHistory(w, m, t, slices[i]);
    if (m.kind == MeterKind::Water || m.kind == MeterKind::Gas) VolumeHistory(w, m, t, slices[i]);
    if (m.kind == MeterKind::Electricity) ElectricityHistory(w, m, t, slices[i]);
    if (i + 1 < slices.size()) w.MoreFollow();
    telegrams.push_back(w.Frame());
  }
  return telegrams;
}

SlaveConfig MeterSlave(const MeterSpec& meter, MeterClock clock) {
  SlaveConfig config;
  config.primary = meter.primary;
  if (meter.kind != MeterKind::FixedWater) config.secondary = meter.Address();
  // The access number counts the meter's replies.
  auto access = std::make_shared<std::atomic<unsigned>>(0);
  config.generate = [meter, clock = std::move(clock), access] {
    return MeterTelegrams(meter, clock(), static_cast<std::uint8_t>(access->fetch_add(1)));
  };
  return config;
}

std::vector<MeterSpec> DefaultMeters() {
  std::vector<MeterSpec> m(7);
  // Heat meter on primary 1, six months of history.
  m[0] = {MeterKind::Heat, 1, 0x31000101, "HKQ", 0x1A, 18250.0, 36.0, 6, 0, 31000101};
  // Heat meter on secondary address only, 15 months of history in telegrams
  // of five: three telegrams linked by DIF 0x1F.
  m[1] = {MeterKind::Heat, -1, 0x31000202, "HKQ", 0x1A, 7420.5, 24.0, 15, 5, 31000202};
  // Water meters: one on primary 5, one on secondary only.
  m[2] = {MeterKind::Water, 5, 0x42000505, "WZV", 0x21, 512.25, 1.8, 3, 0, 42000505};
  m[3] = {MeterKind::Water, -1, 0x42000606, "WZV", 0x21, 88.1, 0.9, 0, 0, 42000606};
  // Gas meter on primary 7.
  m[4] = {MeterKind::Gas, 7, 0x53000707, "GQX", 0x05, 2311.0, 3.6, 2, 0, 53000707};
  // Electricity meter with two tariffs on primary 9 and its own secondary.
  m[5] = {MeterKind::Electricity, 9, 0x64000909, "EVY", 0x02, 15400.0, 7.2, 3, 0, 64000909};
  // A fixed-structure water meter on primary 11.
  m[6] = {MeterKind::FixedWater, 11, 0x75001111, "FXQ", 0x01, 301.5, 1.8, 0, 0, 0};
  return m;
}

namespace {
constexpr double kSoakOffsetHours = 25000;  // 2026-11-07 16:00 UTC
}  // namespace

std::vector<MeterSpec> SoakMeters(int source) {
  std::vector<MeterSpec> meters;
  for (int j = 0; j < kSoakMeters; ++j) {
    MeterSpec m;
    const MeterKind kinds[] = {MeterKind::Water, MeterKind::Gas, MeterKind::Heat, MeterKind::Water};
    m.kind = kinds[j % 4];
    m.primary = j % 2 == 0 ? 8 * (source % 31) + j / 2 + 1 : -1;
    m.id = 0x90000000u | static_cast<std::uint32_t>(source / 10 << 20 | source % 10 << 16) |
           static_cast<std::uint32_t>(j / 10 << 4 | j % 10);
    m.manufacturer = "SQK";
    m.version = 0x30;
    // Fast enough that each stored reading differs from the one before,
    // counted from late 2026 so 8 BCD digits last for years.
    m.rate = m.kind == MeterKind::Heat ? 90.0 + j : 2.5 + 0.01 * j;
    m.base = 100.0 * (16 * source + j) + 10 - m.rate * kSoakOffsetHours;
    m.history = kSoakHistory;
    m.per_telegram = j % 4 == 3 ? 2 : 0;
    m.period_seconds = kSoakPeriodSeconds;
    meters.push_back(m);
  }
  return meters;
}

void AddDefaultMeters(BusSegment& segment, MeterClock clock) {
  for (const MeterSpec& meter : DefaultMeters()) segment.AddSlave(MeterSlave(meter, clock));
}

std::vector<std::string> DefaultMeterAddresses() {
  std::vector<std::string> addresses;
  for (const MeterSpec& meter : DefaultMeters())
    addresses.push_back(meter.primary >= 0 ? std::to_string(meter.primary)
                                           : meter.Address().Text());
  return addresses;
}

}  // namespace bus
