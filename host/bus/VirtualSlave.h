// One simulated M-Bus slave: answers the master's frames from its telegrams,
// with selection by secondary address and frame-count-bit handling.
// Not thread-safe: its BusSegment calls it under the segment's lock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "host/bus/Telegrams.h"

namespace bus {

// A frame the master sent, as the slaves see it.
struct MasterFrame {
  bool is_long = false;
  std::uint8_t control = 0;
  std::uint8_t address = 0;
  std::uint8_t ci = 0;
  Bytes data;  // after the CI field
};

struct SlaveConfig {
  int primary = -1;  // 0-250, or -1 for none
  // Taken from the first telegram when not given; when given, it is also
  // written into the telegrams' headers.
  std::optional<SecondaryAddress> secondary;
  std::vector<Bytes> telegrams;  // the reply to REQ_UD2, one per frame of a multi-telegram reply
  // When set, the telegrams come from here instead: called at reply time for
  // every new reply (the first frame of a multi-telegram reply, and again
  // after its last frame), so readings can change between reads. Called
  // under the segment's lock; must not call back into the segment.
  std::function<std::vector<Bytes>()> generate;
  bool silent = false;  // hears everything, answers nothing
  // Selection matching after the identification number (whose digits match
  // one by one, nibble F a wildcard): manufacturer, version and medium match
  // byte by byte, FF a wildcard for one byte. Some meters take FF only for
  // the whole manufacturer field (both bytes FF): set this for those.
  bool manufacturer_whole_only = false;
  double reply_delay_ms = 15;  // from the master's last byte to the first reply byte
  int baudrate = 0;            // the slave's line speed; 0: the segment's
};

class VirtualSlave {
 public:
  explicit VirtualSlave(SlaveConfig config);

  // The slave's reply to one frame at line speed `baudrate`; empty for none.
  Bytes Answer(const MasterFrame& frame, int baudrate);

  const SlaveConfig& Config() const { return config_; }
  // A slave that falls silent hears everything and answers nothing.
  void SetSilent(bool silent) { config_.silent = silent; }
  int Primary() const { return config_.primary; }
  bool HasSecondary() const { return config_.secondary.has_value(); }
  const SecondaryAddress& Secondary() const { return *config_.secondary; }
  bool Selected() const { return selected_; }
  int Baudrate() const { return baudrate_; }
  void SetBaudrate(int baudrate) { baudrate_ = baudrate; }
  // Requests answered with a new telegram (not a repeat).
  int NewReplies() const { return new_replies_; }
  int Repeats() const { return repeats_; }
  // Frames of every kind answered, and the telegrams (replies longer than
  // an ack) that a silent slave withheld.
  int Answers() const { return answers_; }
  int Withheld() const { return withheld_; }
  const Bytes& LastUserData() const { return user_data_; }
  // The telegrams of the current (or, before any request, a fresh) reply.
  const std::vector<Bytes>& Telegrams() const { return telegrams_; }

 private:
  bool Addressed(std::uint8_t address) const;
  bool Matches(const Bytes& mask) const;
  void ResetLink();
  Bytes AnswerRequest(const MasterFrame& frame);
  Bytes AnswerUserData(const MasterFrame& frame);
  Bytes AnswerSelection(const MasterFrame& frame);
  // The generator's telegrams, addressed like the configured ones.
  std::vector<Bytes> Generate() const;

  SlaveConfig config_;
  int baudrate_ = 2400;
  bool selected_ = false;
  bool fcb_known_ = false;  // false after a reset: the next request counts as new
  bool last_fcb_ = false;
  std::size_t index_ = 0;
  int new_replies_ = 0;
  int repeats_ = 0;
  int answers_ = 0;
  int withheld_ = 0;
  Bytes user_data_;
  std::vector<Bytes> telegrams_;  // the reply being sent
};

}  // namespace bus
