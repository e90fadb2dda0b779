// Secondary-address search: a wildcard tree search that descends only below
// masks whose probe collided.
//
// Slaves match the identification number (mask characters 0-7) digit by
// digit, F a wildcard; manufacturer, version and medium match byte by byte,
// FF the wildcard of a byte (some meters take it for the manufacturer only
// as FF FF). So the search walks the identification digits as nibbles (BCD
// 0-9 first, A-E only when 0-9 cannot account for the collision) and, when
// a collision remains with every digit fixed, whole byte values: medium,
// version, then each manufacturer byte with the other one left FF. Likely
// values of a byte come first; the rest only when the likely ones found
// fewer than the two slaves the collision proves.
//
// A slave whose digit or byte is itself the wildcard value (F, FF) is reached
// only by keeping the wildcard and going on with the next position, which is
// done when the concrete values found fewer than two slaves. Slaves that no
// mask can tell apart are named in the handle's error text; the scan still
// finds everything else and ends with 0.
#include <array>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "../Internal.h"
#include "../Tables.h"
#include "Selection.h"

namespace mbus::io {
namespace {

constexpr int kMaskLength = 16;
constexpr int kIdDigits = 8;

// The byte fields after the identification, in the order they are searched.
enum ByteField { kMedium, kVersion, kManufacturerHigh, kManufacturerLow, kByteFields };
// Offset of each field's two characters in the mask text (the manufacturer is
// written high byte first).
constexpr int kFieldOffset[kByteFields] = {14, 12, 8, 10};

// The 255 concrete values of a byte field (FF is the wildcard) by tier:
// likely values first, rarer tiers after them. A rarer tier is probed only
// when the ones before it found fewer than the two slaves a collision proves.
constexpr int kTiers = 3;
struct ValueOrder {
  std::array<std::uint8_t, 255> values{};
  std::array<int, kTiers> tier_start{};
};

// `tier(v)` gives each value its tier, 0 the likeliest.
template <class Tier>
ValueOrder MakeOrder(Tier tier) {
  ValueOrder order;
  int n = 0;
  for (int t = 0; t < kTiers; ++t) {
    order.tier_start[static_cast<std::size_t>(t)] = n;
    for (int v = 0; v < 255; ++v)
      if (tier(v) == t) order.values[static_cast<std::size_t>(n++)] = static_cast<std::uint8_t>(v);
  }
  return order;
}

// Media of wired meters (other, electricity, gas, heat, warm water, water,
// heat cost allocator, cooling, heat/cooling, hot water, cold water); then
// the rest of the medium table; then unlisted codes.
int MediumTier(int v) {
  static constexpr int kCommon[] = {0x00, 0x02, 0x03, 0x04, 0x06, 0x07, 0x08,
                                    0x0A, 0x0B, 0x0C, 0x0D, 0x15, 0x16};
  for (int c : kCommon)
    if (c == v) return 0;
  return FindMedium(static_cast<unsigned>(v)) ? 1 : 2;
}

// Versions are mostly small counters.
int VersionTier(int v) {
  return v < 0x10 ? 0 : v < 0x40 ? 1 : 2;
}

// Manufacturer codes are three letters A-Z of 5 bits each (1-26): the high
// byte holds the first letter and two bits of the second, the low byte three
// bits of the second and the third letter.
int ManufacturerHighTier(int v) {
  return v >= (1 << 2) && v <= (26 << 2 | 3) ? 0 : 2;
}

int ManufacturerLowTier(int v) {
  return (v & 0x1F) >= 1 && (v & 0x1F) <= 26 ? 0 : 2;
}

const ValueOrder& OrderOf(ByteField field) {
  static const ValueOrder kOrders[kByteFields] = {MakeOrder(MediumTier), MakeOrder(VersionTier),
                                                  MakeOrder(ManufacturerHighTier),
                                                  MakeOrder(ManufacturerLowTier)};
  return kOrders[field];
}

bool IsTierStart(const ValueOrder& order, int i) {
  for (int start : order.tier_start)
    if (start == i) return true;
  return false;
}

std::string WithByte(const std::string& mask, ByteField field, std::uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  std::string child = mask;
  child.replace(static_cast<std::size_t>(kFieldOffset[field]), 2, text);
  return child;
}

class SecondaryScan {
 public:
  // Searches the byte fields that end at or after mask character `pos`.
  SecondaryScan(mbus_handle* handle, int pos) : handle_(handle), first_char_(pos) {}

  // Probes the mask itself, then descends where needed.
  void Run(const std::string& mask) {
    if (ProbeMask(mask) == MBUS_PROBE_COLLISION)
      Descend(mask, first_char_ < kIdDigits ? first_char_ : kIdDigits);
  }

  // The masks below which several slaves could not be told apart.
  const std::vector<std::string>& Unresolved() const { return unresolved_; }

 private:
  // Searches below a collided mask from step `step` on (0-7: identification
  // digit, 8 + field: byte field); returns a lower bound of the slaves found
  // there (an unresolved collision counts two).
  int Descend(const std::string& mask, int step) {
    if (step < kIdDigits) {
      const int p = FirstDigitWildcard(mask, step);
      if (p >= 0) return DescendDigit(mask, p);
      step = kIdDigits;
    }
    const int field = NextByteWildcard(mask, step - kIdDigits);
    if (field < 0) {
      unresolved_.push_back(mask);
      return 2;
    }
    return DescendByte(mask, static_cast<ByteField>(field));
  }

  int DescendDigit(const std::string& mask, int p) {
    int known = 0;
    for (char v = '0'; v <= '9'; ++v) known += ProbeDigit(mask, p, v);
    if (known < 2)
      for (char v = 'A'; v <= 'E'; ++v) known += ProbeDigit(mask, p, v);
    if (known < 2) known += Descend(mask, p + 1);  // slaves with the digit F here
    return known;
  }

  int ProbeDigit(const std::string& mask, int p, char value) {
    std::string child = mask;
    child[static_cast<std::size_t>(p)] = value;
    bool answered = false;
    return ProbeChild(child, p + 1, answered);
  }

  int DescendByte(const std::string& mask, ByteField field) {
    const ValueOrder& order = OrderOf(field);
    const int next = kIdDigits + field + 1;
    int known = 0;
    bool answered = false;
    for (int i = 0; i < 255; ++i) {
      if (known >= 2 && IsTierStart(order, i)) break;  // the collision is accounted for
      known += ProbeChild(WithByte(mask, field, order.values[static_cast<std::size_t>(i)]), next,
                          answered);
    }
    if (known >= 2) return known;
    // No slave answered any one-byte manufacturer value: they all take the
    // wildcard only for the whole field (a code with high byte FF would have
    // a first letter beyond Z), so the low byte cannot tell them apart either.
    if (field == kManufacturerHigh && !answered)
      return known + Descend(mask, kIdDigits + kManufacturerLow + 1);
    return known + Descend(mask, next);  // slaves with the value FF here
  }

  // Probes a child mask and searches below it when it collided; returns a
  // lower bound of the slaves under it. Sets `answered` when any answered.
  int ProbeChild(const std::string& child, int next, bool& answered) {
    const int result = ProbeMask(child);
    if (result == MBUS_PROBE_NOTHING) return 0;
    answered = true;
    if (result == MBUS_PROBE_SINGLE) return 1;
    const int below = Descend(child, next);
    return below < 2 ? 2 : below;
  }

  int ProbeMask(const std::string& mask) {
    if (handle_->scan_progress) handle_->scan_progress(handle_, mask.c_str());
    mbus_frame reply;
    std::string address;
    const int result = Probe(handle_, mask, reply, address);
    if (result == MBUS_PROBE_SINGLE && found_.insert(address).second && handle_->found_event)
      handle_->found_event(handle_, &reply);
    return result;
  }

  static int FirstDigitWildcard(const std::string& mask, int pos) {
    for (int i = pos; i < kIdDigits; ++i)
      if (mask[static_cast<std::size_t>(i)] == 'F') return i;
    return -1;
  }

  // The first byte field from `field` on that is still the wildcard and lies
  // in the searched part of the mask; -1 for none.
  int NextByteWildcard(const std::string& mask, int field) const {
    for (int f = field; f < kByteFields; ++f) {
      const auto offset = static_cast<std::size_t>(kFieldOffset[f]);
      if (kFieldOffset[f] + 1 < first_char_) continue;
      if (mask[offset] == 'F' && mask[offset + 1] == 'F') return f;
    }
    return -1;
  }

  mbus_handle* handle_;
  int first_char_;
  std::set<std::string> found_;
  std::vector<std::string> unresolved_;
};

std::string UnresolvedText(const std::vector<std::string>& masks) {
  std::string text;
  for (const std::string& mask : masks)
    text += (text.empty() ? "" : "; ") + std::string("several slaves share the address ") + mask;
  return text;
}

}  // namespace
}  // namespace mbus::io

using namespace mbus;
using namespace mbus::io;

extern "C" {

int mbus_scan_2nd_address_range(mbus_handle* handle, int pos, const char* addr_mask) {
  return Guarded(handle, -1, [&] {
    CheckMask(addr_mask);
    if (pos < 0 || pos >= kMaskLength) throw Error("invalid start position of the scan");
    std::string mask(addr_mask);
    for (char& c : mask) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    State(handle);
    SecondaryScan scan(handle, pos);
    scan.Run(mask);
    if (!scan.Unresolved().empty())
      mbus_error_str_set_ex(handle, UnresolvedText(scan.Unresolved()).c_str());
    return 0;
  });
}

}  // extern "C"
