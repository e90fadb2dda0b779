#include "host/bus/VirtualSlave.h"

namespace bus {
namespace {

constexpr std::uint8_t kAck = 0xE5;
constexpr std::uint8_t kNetworkLayer = 253;
constexpr std::uint8_t kBroadcastReply = 254;
constexpr std::uint8_t kBroadcastNoReply = 255;

// Selection data as on the wire: id (BCD, low byte first), manufacturer (low
// byte first), version, medium.
Bytes WireAddress(const SecondaryAddress& a) {
  return {static_cast<std::uint8_t>(a.id),
          static_cast<std::uint8_t>(a.id >> 8),
          static_cast<std::uint8_t>(a.id >> 16),
          static_cast<std::uint8_t>(a.id >> 24),
          static_cast<std::uint8_t>(a.manufacturer),
          static_cast<std::uint8_t>(a.manufacturer >> 8),
          a.version,
          a.medium};
}

bool NibbleMatches(std::uint8_t mask, std::uint8_t value) {
  return mask == 0xF || mask == value;
}

bool ByteMatches(std::uint8_t mask, std::uint8_t value) {
  return mask == 0xFF || mask == value;
}

int BaudrateOfCi(std::uint8_t ci) {
  static const int kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400};
  return ci >= 0xB8 && ci <= 0xBF ? kRates[ci - 0xB8] : 0;
}

}  // namespace

VirtualSlave::VirtualSlave(SlaveConfig config) : config_(std::move(config)) {
  if (config_.baudrate > 0) baudrate_ = config_.baudrate;
  if (config_.generate) config_.telegrams = config_.generate();
  if (config_.telegrams.empty()) throw TelegramError("a slave needs at least one telegram");
  if (config_.secondary) {
    for (Bytes& t : config_.telegrams) SetTelegramAddress(t, *config_.secondary);
  } else {
    SecondaryAddress address;
    if (AddressOfTelegram(config_.telegrams.front(), address)) config_.secondary = address;
  }
  telegrams_ = config_.telegrams;
}

std::vector<Bytes> VirtualSlave::Generate() const {
  std::vector<Bytes> telegrams = config_.generate();
  if (config_.secondary)
    for (Bytes& t : telegrams) SetTelegramAddress(t, *config_.secondary);
  return telegrams;
}

Bytes VirtualSlave::Answer(const MasterFrame& frame, int baudrate) {
  if (baudrate != baudrate_) return {};  // a frame at another speed is noise to this slave
  Bytes reply;
  if (frame.is_long && frame.address == kNetworkLayer && frame.ci == 0x52) {
    reply = AnswerSelection(frame);
  } else if (Addressed(frame.address)) {
    const std::uint8_t function = frame.control & 0x4F;
    if (!frame.is_long && function == 0x40) {
      ResetLink();
      if (frame.address == kNetworkLayer) selected_ = false;  // SND_NKE to 253 deselects
      reply = {kAck};
    } else if (!frame.is_long && (function == 0x4B || function == 0x4A)) {
      reply = function == 0x4B ? AnswerRequest(frame) : Bytes{kAck};
    } else if (frame.is_long && function == 0x43) {
      reply = AnswerUserData(frame);
    }
  }
  if (frame.address == kBroadcastNoReply) {
    if (!frame.is_long && (frame.control & 0x4F) == 0x40) selected_ = false;
    return {};
  }
  if (reply.empty()) return {};
  if (config_.silent) {
    if (reply.size() > 1) ++withheld_;  // a lost ack may go unnoticed by design
    return {};
  }
  ++answers_;
  return reply;
}

bool VirtualSlave::Addressed(std::uint8_t address) const {
  if (address == kNetworkLayer) return selected_;
  if (address == kBroadcastReply || address == kBroadcastNoReply) return true;
  return config_.primary >= 0 && address == config_.primary;
}

// Identification digits match nibble by nibble (F a wildcard); manufacturer,
// version and medium match byte by byte (FF a wildcard of that byte, and a
// value such as F1 is just a value). A slave that takes the manufacturer
// wildcard only for the whole field needs FF FF or its exact two bytes.
bool VirtualSlave::Matches(const Bytes& mask) const {
  if (!config_.secondary || mask.size() < 8) return false;
  const Bytes mine = WireAddress(*config_.secondary);
  for (std::size_t i = 0; i < 4; ++i) {
    if (!NibbleMatches(mask[i] >> 4, mine[i] >> 4)) return false;
    if (!NibbleMatches(mask[i] & 0xF, mine[i] & 0xF)) return false;
  }
  if (config_.manufacturer_whole_only) {
    const bool whole_wildcard = mask[4] == 0xFF && mask[5] == 0xFF;
    if (!whole_wildcard && (mask[4] != mine[4] || mask[5] != mine[5])) return false;
  }
  for (std::size_t i = 4; i < 8; ++i)
    if (!ByteMatches(mask[i], mine[i])) return false;
  return true;
}

void VirtualSlave::ResetLink() {
  fcb_known_ = false;
  index_ = 0;
}

// REQ_UD2: a toggled FCB (or the first request after a reset) asks for the
// next telegram; the same FCB again repeats the last one, which the master
// evidently missed.
Bytes VirtualSlave::AnswerRequest(const MasterFrame& frame) {
  const bool fcb = (frame.control & 0x20) != 0;
  bool fresh = false;
  if (!fcb_known_) {
    index_ = 0;
    fresh = true;
  } else if (fcb != last_fcb_) {
    index_ = (index_ + 1) % telegrams_.size();
    fresh = index_ == 0;
    ++new_replies_;
  } else {
    ++repeats_;
  }
  if (!fcb_known_) ++new_replies_;
  fcb_known_ = true;
  last_fcb_ = fcb;
  if (fresh && config_.generate) {
    std::vector<Bytes> next = Generate();
    if (next.empty()) return {};  // the meter has nothing to say this time
    telegrams_ = std::move(next);
  }
  return telegrams_[index_];
}

Bytes VirtualSlave::AnswerUserData(const MasterFrame& frame) {
  if (frame.ci == 0x51) {
    // DIF 01 VIF 7A: a new primary address.
    if (frame.data.size() == 3 && frame.data[0] == 0x01 && frame.data[1] == 0x7A) {
      if (frame.data[2] > 250) return {};
      config_.primary = frame.data[2];
    }
    user_data_ = frame.data;
    return {kAck};
  }
  if (frame.ci == 0x50) {
    ResetLink();
    return {kAck};
  }
  if (const int rate = BaudrateOfCi(frame.ci)) {
    baudrate_ = rate;  // the acknowledgement still goes out at the old speed
    return {kAck};
  }
  return {};
}

Bytes VirtualSlave::AnswerSelection(const MasterFrame& frame) {
  selected_ = Matches(frame.data);
  if (!selected_) return {};
  ResetLink();
  return {kAck};
}

}  // namespace bus
