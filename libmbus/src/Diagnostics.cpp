// Reporting of failures to the handle's error text, and the debug switch
// that prints every frame the parser reads.
#include <atomic>
#include <cstdio>

#include "Guard.h"
#include "Internal.h"
#include "mbus/mbus-io.h"

namespace mbus {
namespace {
std::atomic<int> debug_frames{0};
}

void ReportError(mbus_handle* handle, const char* text) noexcept {
  try {
    mbus_error_str_set_ex(handle, text);
  } catch (...) {
    // Nothing is left to report to.
  }
}

void DebugPrintFrame(const mbus_frame& frame) {
  if (debug_frames.load(std::memory_order_relaxed))
    mbus_frame_print(const_cast<mbus_frame*>(&frame));
}

}  // namespace mbus

extern "C" void mbus_parse_set_debug(int debug) {
  mbus::debug_frames.store(debug);
}
