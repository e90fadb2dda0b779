#include "host/bus/Segment.h"

#include <algorithm>

namespace bus {
namespace {

constexpr double kBitsPerByte = 11;  // start, 8 data, parity, stop

std::uint8_t RotateRight(std::uint8_t v, int n) {
  n &= 7;
  return static_cast<std::uint8_t>((v >> n) | (v << (8 - n)));
}

// Parses the frame at the start of `bytes`: its length, 0 when more bytes are
// needed, or -1 when the first byte starts no frame.
long ParseMasterFrame(const Bytes& bytes, MasterFrame& out, bool& valid) {
  if (bytes.empty()) return 0;
  valid = false;
  if (bytes[0] == 0x10) {
    if (bytes.size() < 5) return 0;
    out = MasterFrame{false, bytes[1], bytes[2], 0, {}};
    valid = bytes[3] == static_cast<std::uint8_t>(bytes[1] + bytes[2]) && bytes[4] == 0x16;
    return 5;
  }
  if (bytes[0] != 0x68) return -1;
  if (bytes.size() < 4) return 0;
  if (bytes[1] != bytes[2] || bytes[3] != 0x68 || bytes[1] < 3) return -1;
  const std::size_t length = bytes[1] + 6u;
  if (bytes.size() < length) return 0;
  const auto begin = bytes.begin();
  out = MasterFrame{true, bytes[4], bytes[5], bytes[6],
                    Bytes(begin + 7, begin + static_cast<std::ptrdiff_t>(length - 2))};
  valid = bytes[length - 2] == Checksum(bytes.data() + 4, length - 6) && bytes[length - 1] == 0x16;
  return static_cast<long>(length);
}

}  // namespace

Bytes Overlay(const std::vector<Bytes>& replies) {
  std::size_t length = 0;
  for (const Bytes& r : replies) length = std::max(length, r.size());
  Bytes out(length);
  for (std::size_t i = 0; i < length; ++i) {
    int senders = 0;
    std::uint8_t line = 0xFF;  // idle line; a sending slave pulls bits low
    for (const Bytes& r : replies) {
      if (i >= r.size()) continue;
      // Slaves never start in step: each one's bits land shifted against the first's.
      line &= RotateRight(r[i], senders);
      ++senders;
    }
    out[i] = line;
  }
  return out;
}

BusSegment::BusSegment(BusTiming timing)
    : timing_(timing), line_baudrate_(timing.baudrate), line_free_(Clock::now()) {}

VirtualSlave& BusSegment::AddSlave(SlaveConfig config) {
  const bool own_speed = config.baudrate > 0;
  auto slave = std::make_unique<VirtualSlave>(std::move(config));
  std::lock_guard<std::mutex> lock(mutex_);
  if (!own_speed) slave->SetBaudrate(timing_.baudrate);
  slaves_.push_back(std::move(slave));
  return *slaves_.back();
}

std::size_t BusSegment::SlaveCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slaves_.size();
}

void BusSegment::SetTiming(BusTiming timing) {
  std::lock_guard<std::mutex> lock(mutex_);
  timing_ = timing;
  line_baudrate_ = timing.baudrate;
  for (auto& slave : slaves_)
    if (slave->Config().baudrate <= 0) slave->SetBaudrate(timing.baudrate);
}

void BusSegment::SetLineBaudrate(int baudrate) {
  std::lock_guard<std::mutex> lock(mutex_);
  line_baudrate_ = baudrate;
}

int BusSegment::LineBaudrate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_baudrate_;
}

double BusSegment::ByteSeconds() const {
  return kBitsPerByte / static_cast<double>(line_baudrate_ > 0 ? line_baudrate_ : 2400);
}

void BusSegment::Write(const std::uint8_t* bytes, std::size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  from_master_.insert(from_master_.end(), bytes, bytes + count);
  for (;;) {
    MasterFrame frame;
    bool valid = false;
    const long used = ParseMasterFrame(from_master_, frame, valid);
    if (used == 0) break;
    if (used < 0) {  // resynchronise on the next byte
      ++stats_.invalid;
      from_master_.erase(from_master_.begin());
      continue;
    }
    from_master_.erase(from_master_.begin(), from_master_.begin() + used);
    if (valid)
      HandleFrame(frame, static_cast<std::size_t>(used));
    else
      ++stats_.invalid;
  }
  arrived_.notify_all();
}

void BusSegment::HandleFrame(const MasterFrame& frame, std::size_t wire_bytes) {
  ++stats_.frames;
  const std::uint8_t function = frame.control & 0x4F;
  if (!frame.is_long && function == 0x40) ++stats_.pings;
  if (!frame.is_long && function == 0x4B) ++stats_.requests;
  if (frame.is_long && frame.ci == 0x52) ++stats_.selections;
  std::vector<Bytes> replies;
  double delay_ms = 0;
  for (auto& slave : slaves_) {
    Bytes reply = slave->Answer(frame, line_baudrate_);
    if (reply.empty()) continue;
    delay_ms = replies.empty() ? slave->Config().reply_delay_ms
                               : std::min(delay_ms, slave->Config().reply_delay_ms);
    replies.push_back(std::move(reply));
  }
  if (replies.size() > 1) ++stats_.collisions;
  Schedule(replies.empty() ? Bytes{} : Overlay(replies), delay_ms, wire_bytes);
}

void BusSegment::Schedule(const Bytes& reply, double delay_ms, std::size_t master_bytes) {
  const double byte_s = ByteSeconds();
  stats_.wire_seconds += byte_s * static_cast<double>(master_bytes);
  if (!reply.empty())
    stats_.wire_seconds += delay_ms / 1000 + byte_s * static_cast<double>(reply.size());
  const Clock::time_point now = Clock::now();
  if (!timing_.enabled) {
    for (std::uint8_t b : reply) to_master_.push_back({now, b});
    return;
  }
  auto seconds = [](double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
  };
  Clock::time_point t = std::max(now, line_free_) + seconds(byte_s * master_bytes);
  if (!reply.empty()) t += seconds(delay_ms / 1000);
  for (std::uint8_t b : reply) {
    t += seconds(byte_s);
    to_master_.push_back({t, b});
  }
  line_free_ = t;
}

std::size_t BusSegment::TakeDue(std::uint8_t* out, std::size_t count, Clock::time_point now) {
  std::size_t n = 0;
  while (n < count && !to_master_.empty() && to_master_.front().due <= now) {
    out[n++] = to_master_.front().value;
    to_master_.pop_front();
  }
  return n;
}

std::size_t BusSegment::Read(std::uint8_t* buffer, std::size_t count,
                             std::chrono::milliseconds silence) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::size_t got = 0;
  Clock::time_point last = Clock::now();
  while (got < count) {
    const Clock::time_point now = Clock::now();
    const std::size_t n = TakeDue(buffer + got, count - got, now);
    if (n > 0) {
      got += n;
      last = now;
      continue;
    }
    if (!timing_.enabled && to_master_.empty()) break;  // nothing more will come
    const Clock::time_point deadline = last + silence;
    if (now >= deadline) break;
    const Clock::time_point next = to_master_.empty() ? deadline : to_master_.front().due;
    arrived_.wait_until(lock, std::min(next, deadline));
  }
  return got;
}

Bytes BusSegment::TakeAvailable() {
  std::lock_guard<std::mutex> lock(mutex_);
  Bytes out(to_master_.size());
  out.resize(TakeDue(out.data(), out.size(), Clock::now()));
  return out;
}

void BusSegment::DiscardInput() {
  std::lock_guard<std::mutex> lock(mutex_);
  to_master_.clear();
}

bool BusSegment::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !to_master_.empty();
}

BusStats BusSegment::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

void BusSegment::ResetStats() {
  std::lock_guard<std::mutex> lock(mutex_);
  stats_ = {};
}

}  // namespace bus
