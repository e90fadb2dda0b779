// Handles: creation and release, connecting through hooks or the library's
// own ports, options, callbacks and the error texts.
#include <cstddef>
#include <cstring>
#include <string>

#include "HandleState.h"

// The plug-in writes these fields at fixed offsets of the 32-bit build.
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, fd) == 0);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, max_search_retry) == 8);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, io_mode) == 13);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, scan_progress) == 44);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, found_event) == 48);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, auxdata) == 72);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, send_hook) == 76);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, recv_hook) == 80);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, open_hook) == 84);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, close_hook) == 88);
static_assert(sizeof(void*) != 4 || offsetof(mbus_handle, baudrate_hook) == 92);

namespace mbus::io {
namespace {

// The error text of code that runs without a handle. Plain arrays on
// purpose: a thread_local with a destructor makes the Windows C++ runtime
// register thread-exit clean-up, which pins this library and can hang the
// host's exit (docs/libmbus-io.md).
constexpr std::size_t kThreadErrorSize = 256;
thread_local char thread_error[kThreadErrorSize];
thread_local char thread_error_copy[kThreadErrorSize];

// Longer texts are cut; the terminator always fits.
void SetThreadError(const char* text) {
  std::size_t length = text ? std::strlen(text) : 0;
  if (length >= kThreadErrorSize) length = kThreadErrorSize - 1;
  if (length) std::memcpy(thread_error, text, length);
  thread_error[length] = '\0';
}

constexpr int kDefaultSilenceMs = 1500;

mbus_handle* NewHandle(char io_mode, const char* device, int port) {
  auto* handle = new mbus_handle{};
  handle->state = new mbus_handle_state{};
  handle->fd = -1;
  handle->max_data_retry = 1;
  handle->max_search_retry = 1;
  handle->io_mode = io_mode;
  handle->baudrate = 2400;
  handle->timeout_ms = kDefaultSilenceMs;
  handle->port = port;
  handle->state->device = device;
  return handle;
}

void Release(mbus_handle* handle) {
  delete handle->state;
  handle->state = nullptr;
  delete handle;
}

bool HooksInstalled(const mbus_handle* handle) {
  return handle->io_mode == MBUS_IO_HOOKS;
}

void Connect(mbus_handle* handle) {
  mbus_handle_state& state = State(handle);
  if (HooksInstalled(handle)) {
    Line(handle).Open();
    state.hooks_open = true;
    return;
  }
  if (state.own) throw Error("already connected");
  auto line =
      handle->io_mode == MBUS_IO_TCP ? MakeTcpTransport(handle) : MakeSerialTransport(handle);
  line->Open();
  state.own = std::move(line);
}

void Disconnect(mbus_handle* handle) {
  mbus_handle_state& state = State(handle);
  if (HooksInstalled(handle)) {
    state.hooks_open = false;
    Line(handle).Close();
    return;
  }
  if (!state.own) throw Error("not connected");
  state.own->Close();
  state.own.reset();
}

// Answers a copy so a later error on the same handle does not change a text
// the caller is still reading.
char* ErrorText(std::string& copy, const std::string& text) {
  if (text.empty()) return nullptr;
  copy = text;
  return copy.data();
}

}  // namespace

mbus_handle_state& State(mbus_handle* handle) {
  if (!handle || !handle->state) throw Error("invalid handle");
  return *handle->state;
}

Transport& Line(mbus_handle* handle) {
  mbus_handle_state& state = State(handle);
  if (HooksInstalled(handle)) {
    if (!state.hooks) state.hooks = MakeHookTransport(handle);
    return *state.hooks;
  }
  if (!state.own) throw LineError("not connected");
  return *state.own;
}

std::string FcbKey(mbus_handle* handle, int address) {
  if (address == MBUS_ADDRESS_NETWORK_LAYER) return "S" + State(handle).selected;
  return "P" + std::to_string(address);
}

}  // namespace mbus::io

using namespace mbus;
using namespace mbus::io;

extern "C" {

mbus_handle* mbus_context_serial(const char* device) {
  return Guarded(nullptr, static_cast<mbus_handle*>(nullptr), [&] {
    if (!device || !*device) throw Error("no serial device");
    return NewHandle(MBUS_IO_SERIAL, device, 0);
  });
}

mbus_handle* mbus_context_tcp(const char* host, uint16_t port) {
  return Guarded(nullptr, static_cast<mbus_handle*>(nullptr), [&] {
    if (!host || !*host) throw Error("no gateway host");
    return NewHandle(MBUS_IO_TCP, host, port);
  });
}

void mbus_context_free(mbus_handle* handle) {
  GuardedVoid(nullptr, [&] {
    if (!handle || !handle->state) return;
    if (handle->state->hooks_open || handle->state->own) {
      try {
        Disconnect(handle);
      } catch (const std::exception&) {
        // Released all the same.
      }
    }
    Release(handle);
  });
}

void mbus_mem_free(mbus_handle* handle) {
  GuardedVoid(nullptr, [&] {
    if (!handle || !handle->state) return;
    Release(handle);  // an own port closes with its transport; hooks are not called
  });
}

int mbus_connect(mbus_handle* handle) {
  return Guarded(handle, -1, [&] {
    Connect(handle);
    return 0;
  });
}

int mbus_disconnect(mbus_handle* handle) {
  return Guarded(handle, -1, [&] {
    Disconnect(handle);
    return 0;
  });
}

int mbus_context_set_option(mbus_handle* handle, mbus_context_option option, long value) {
  return Guarded(handle, -1, [&] {
    State(handle);
    if (value < 0 || value > 100000) throw Error("option value out of range");
    switch (option) {
      case MBUS_OPTION_MAX_DATA_RETRY:
        handle->max_data_retry = static_cast<int32_t>(value);
        break;
      case MBUS_OPTION_MAX_SEARCH_RETRY:
        handle->max_search_retry = static_cast<int32_t>(value);
        break;
      case MBUS_OPTION_PURGE_FIRST_FRAME:
        handle->purge_first_frame = value ? 1 : 0;
        break;
      default:
        throw Error("unknown option");
    }
    return 0;
  });
}

void mbus_register_recv_event(mbus_handle* handle, mbus_traffic_cb event) {
  if (handle) handle->recv_event = event;
}

void mbus_register_send_event(mbus_handle* handle, mbus_traffic_cb event) {
  if (handle) handle->send_event = event;
}

void mbus_register_scan_progress(mbus_handle* handle, mbus_scan_progress_cb event) {
  if (handle) handle->scan_progress = event;
}

void mbus_register_found_event(mbus_handle* handle, mbus_found_cb event) {
  if (handle) handle->found_event = event;
}

char* mbus_error_str(mbus_handle* handle) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&]() -> char* {
    if (handle && handle->state && !handle->state->error.empty())
      return ErrorText(handle->state->error_copy, handle->state->error);
    if (thread_error[0] == '\0') return static_cast<char*>(nullptr);
    std::memcpy(thread_error_copy, thread_error, kThreadErrorSize);
    return thread_error_copy;
  });
}

void mbus_error_str_set(char* message) {
  SetThreadError(message);
}

// The error reporter of every export: must not report its own failure.
void mbus_error_str_set_ex(mbus_handle* handle, const char* text) {
  try {
    if (handle && handle->state)
      handle->state->error = text ? text : "";
    else
      SetThreadError(text);
  } catch (...) {
    // Out of memory: the previous text stays.
  }
}

void mbus_error_reset(mbus_handle* handle) {
  GuardedVoid(nullptr, [&] {
    thread_error[0] = '\0';
    if (handle && handle->state) handle->state->error.clear();
  });
}

}  // extern "C"
