// Secondary-address search: a wildcard tree search that descends only below
// masks whose probe collided.
//
// Identification digits (positions 0-7) are BCD, so 0-9 are probed first;
// A-E only when the digits 0-9 cannot account for the collision. Positions
// 8-15 (manufacturer, version, medium) take all hexadecimal values, so meters
// that share an identification number are still told apart. 'F' is the
// wildcard itself: a slave with an F nibble is reached by keeping the
// wildcard and varying later positions, which is done only when the concrete
// values found fewer than the two slaves the collision proves.
#include <set>
#include <string>

#include "../Internal.h"
#include "Selection.h"

namespace mbus::io {
namespace {

constexpr int kMaskLength = 16;
constexpr int kIdDigits = 8;

class SecondaryScan {
 public:
  explicit SecondaryScan(mbus_handle* handle) : handle_(handle) {}

  // Probes the mask itself, then descends where needed.
  void Run(const std::string& mask, int pos) {
    if (ProbeMask(mask) == MBUS_PROBE_COLLISION) Descend(mask, pos);
  }

 private:
  // Searches below a collided mask from position pos on; returns a lower
  // bound of the slaves found there (an unresolved collision counts two).
  int Descend(const std::string& mask, int pos) {
    const int p = FirstWildcard(mask, pos);
    if (p < 0) {
      mbus_error_str_set_ex(handle_, ("several slaves share the address " + mask).c_str());
      return 2;
    }
    const char last_plain = p < kIdDigits ? '9' : 'E';
    int known = ProbeValues(mask, p, '0', last_plain);
    if (known < 2 && p < kIdDigits) known += ProbeValues(mask, p, 'A', 'E');
    if (known < 2) known += Descend(mask, p + 1);  // slaves with the nibble F here
    return known;
  }

  // Probes values first..last at position p of a collided mask. When every
  // value but the last was empty, the last must hold the collision: it is
  // searched without probing it first.
  int ProbeValues(const std::string& mask, int p, char first, char last) {
    int known = 0;
    bool all_empty = true;
    for (char v = first; v <= last; v = v == '9' ? 'A' : static_cast<char>(v + 1)) {
      std::string child = mask;
      child[static_cast<std::size_t>(p)] = v;
      if (v == last && all_empty && first == '0') return Descend(child, p + 1);
      const int result = ProbeMask(child);
      if (result != MBUS_PROBE_NOTHING) all_empty = false;
      if (result == MBUS_PROBE_SINGLE) known += 1;
      if (result == MBUS_PROBE_COLLISION) {
        const int below = Descend(child, p + 1);
        known += below < 2 ? 2 : below;
      }
    }
    return known;
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

  static int FirstWildcard(const std::string& mask, int pos) {
    for (int i = pos; i < kMaskLength; ++i)
      if (mask[static_cast<std::size_t>(i)] == 'F') return i;
    return -1;
  }

  mbus_handle* handle_;
  std::set<std::string> found_;
};

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
    SecondaryScan(handle).Run(mask, pos);
    return 0;
  });
}

}  // extern "C"
