// Library-private state of a handle and the line it talks through.
// A handle is used by one thread at a time (its owner); nothing here locks.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "../Guard.h"
#include "mbus/mbus-io.h"

namespace mbus::io {

// A failure of the line itself (a hook that failed, a port that broke):
// conversations end at once, a scan included.
struct LineError : Error {
  using Error::Error;
};

// The bytes of one line. Receive waits until `count` bytes arrived or the line
// stayed silent for its time-out and returns how many it got; failures throw
// LineError.
class Transport {
 public:
  virtual ~Transport() = default;
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void Send(const unsigned char* bytes, std::size_t count) = 0;
  virtual std::size_t Receive(unsigned char* buffer, std::size_t count) = 0;
  virtual void SetBaudrate(int baudrate) = 0;
};

// Frame count bits per slave: the bit of the next REQ_UD2 to each address
// (primary numbers, or the secondary address selected for 253). It flips after
// each answered request and is set again by SND_NKE. A slave's link is known
// once a SND_NKE or selection reset it; it is unknown again after an exchange
// that failed, since the master cannot tell whether the slave took the
// request (and would repeat its old telegram for the same bit) or not.
class FcbMemory {
 public:
  bool Next(const std::string& key) const { return Get(key) != Link::Zero; }
  bool Known(const std::string& key) const { return Get(key) != Link::Unknown; }
  void Advance(const std::string& key) { links_[key] = Next(key) ? Link::Zero : Link::One; }
  void Reset(const std::string& key) { links_[key] = Link::One; }
  void Forget(const std::string& key) { links_[key] = Link::Unknown; }
  // A broadcast SND_NKE: every slave's link starts again.
  void ResetAll() {
    links_.clear();
    others_ = Link::One;
  }

 private:
  enum class Link : unsigned char { Unknown, One, Zero };  // One, Zero: the next bit
  Link Get(const std::string& key) const {
    const auto it = links_.find(key);
    return it == links_.end() ? others_ : it->second;
  }

  std::map<std::string, Link> links_;
  Link others_ = Link::Unknown;  // slaves not in links_
};

}  // namespace mbus::io

struct mbus_handle_state {
  std::string error;
  std::string device;                        // serial device, or the gateway's host name
  std::unique_ptr<mbus::io::Transport> own;  // the library's own port, when connected
  std::unique_ptr<mbus::io::Transport> hooks;
  bool hooks_open = false;  // connected through the open hook
  mbus::io::FcbMemory fcb;
  std::string selected;    // secondary address (or mask) last selected
  std::string error_copy;  // the text mbus_error_str handed out
};

namespace mbus::io {

// The handle's state; throws for a handle the library did not make.
mbus_handle_state& State(mbus_handle* handle);
// The line bytes go through: the hooks when installed, else the own port.
Transport& Line(mbus_handle* handle);
// Key of an address for the FCB memory.
std::string FcbKey(mbus_handle* handle, int address);

std::unique_ptr<Transport> MakeHookTransport(mbus_handle* handle);
std::unique_ptr<Transport> MakeSerialTransport(mbus_handle* handle);
std::unique_ptr<Transport> MakeTcpTransport(mbus_handle* handle);

}  // namespace mbus::io
