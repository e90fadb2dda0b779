// Error plumbing of the protocol core: internal code throws mbus::Error, and
// every export runs its body through Guarded(), which turns any exception
// into the export's failure result and keeps the reason as the handle's last
// error (or the calling thread's, without a handle).
#pragma once

#include <stdexcept>
#include <string>

#include "mbus/mbus-protocol.h"

namespace mbus {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Keeps `text` as the last error of `handle`; never throws.
void ReportError(mbus_handle* handle, const char* text) noexcept;

template <class R, class F>
R Guarded(mbus_handle* handle, R failure, F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    ReportError(handle, e.what());
  } catch (...) {
    ReportError(handle, "unexpected internal error");
  }
  return failure;
}

template <class F>
void GuardedVoid(mbus_handle* handle, F&& body) noexcept {
  Guarded(handle, 0, [&] {
    body();
    return 0;
  });
}

}  // namespace mbus
