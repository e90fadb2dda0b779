// The libmbus binding: the protocol library is loaded at run time from the
// plug-in's own folder ("libmbus.dll"; "libmbus.so" on posix) and bound by
// name, function by function. One load per process, reference counted:
// every plug-in module takes a reference while it lives (TMbusApiRef), the
// first opens the library, the last releases it and clears every pointer.
//
// The types are the library's published ones (libmbus/include); nothing of
// the library is linked in.
//
// Threads: Acquire and Release run on the host's calling threads (module
// creation and destruction) under the binding's own lock; the pointers are
// written only there, while no worker exists, and read by the workers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mbus/mbus.h"

// The 109 names, in the order they are bound.
#define KOR_MBUS_API_NAMES(X)          \
  X(mbus_manufacturer_id)              \
  X(mbus_dump_recv_event)              \
  X(mbus_dump_send_event)              \
  X(mbus_data_record_new)              \
  X(mbus_data_record_free)             \
  X(mbus_data_record_append)           \
  X(mbus_frame_new)                    \
  X(mbus_frame_free)                   \
  X(mbus_frame_data_new)               \
  X(mbus_frame_data_free)              \
  X(mbus_frame_calc_checksum)          \
  X(mbus_frame_calc_length)            \
  X(mbus_parse)                        \
  X(mbus_data_fixed_parse)             \
  X(mbus_data_variable_parse)          \
  X(mbus_frame_data_parse)             \
  X(mbus_frame_pack)                   \
  X(mbus_frame_verify)                 \
  X(mbus_frame_internal_pack)          \
  X(mbus_data_record_function)         \
  X(mbus_data_fixed_function)          \
  X(mbus_data_record_storage_number)   \
  X(mbus_data_record_tariff)           \
  X(mbus_data_record_device)           \
  X(mbus_data_record_unit)             \
  X(mbus_data_record_value)            \
  X(mbus_frame_type)                   \
  X(mbus_frame_direction)              \
  X(mbus_str_xml_encode)               \
  X(mbus_data_variable_xml)            \
  X(mbus_data_fixed_xml)               \
  X(mbus_data_error_xml)               \
  X(mbus_frame_data_xml)               \
  X(mbus_data_variable_header_xml)     \
  X(mbus_frame_xml)                    \
  X(mbus_frame_print)                  \
  X(mbus_frame_data_print)             \
  X(mbus_data_fixed_print)             \
  X(mbus_data_error_print)             \
  X(mbus_data_variable_header_print)   \
  X(mbus_data_variable_print)          \
  X(mbus_error_str)                    \
  X(mbus_error_str_set)                \
  X(mbus_error_str_set_ex)             \
  X(mbus_error_reset)                  \
  X(mbus_parse_set_debug)              \
  X(mbus_hex_dump)                     \
  X(mbus_data_manufacturer_encode)     \
  X(mbus_decode_manufacturer)          \
  X(mbus_data_product_name)            \
  X(mbus_data_bcd_encode)              \
  X(mbus_data_int_encode)              \
  X(mbus_data_bcd_decode)              \
  X(mbus_data_bcd_decode_hex)          \
  X(mbus_data_int_decode)              \
  X(mbus_data_long_decode)             \
  X(mbus_data_long_long_decode)        \
  X(mbus_data_float_decode)            \
  X(mbus_data_tm_decode)               \
  X(mbus_data_str_decode)              \
  X(mbus_data_bin_decode)              \
  X(mbus_data_fixed_medium)            \
  X(mbus_data_fixed_unit)              \
  X(mbus_data_variable_medium_lookup)  \
  X(mbus_unit_prefix)                  \
  X(mbus_data_error_lookup)            \
  X(mbus_vib_unit_lookup)              \
  X(mbus_vif_unit_lookup)              \
  X(mbus_dif_datalength_lookup)        \
  X(mbus_frame_get_secondary_address)  \
  X(mbus_frame_select_secondary_pack)  \
  X(mbus_is_primary_address)           \
  X(mbus_is_secondary_address)         \
  X(mbus_register_recv_event)          \
  X(mbus_register_send_event)          \
  X(mbus_register_scan_progress)       \
  X(mbus_register_found_event)         \
  X(mbus_context_serial)               \
  X(mbus_context_tcp)                  \
  X(mbus_context_free)                 \
  X(mbus_connect)                      \
  X(mbus_disconnect)                   \
  X(mbus_context_set_option)           \
  X(mbus_recv_frame)                   \
  X(mbus_purge_frames)                 \
  X(mbus_send_frame)                   \
  X(mbus_send_select_frame)            \
  X(mbus_send_application_reset_frame) \
  X(mbus_send_switch_baudrate_frame)   \
  X(mbus_send_request_frame)           \
  X(mbus_send_user_data_frame)         \
  X(mbus_set_primary_address)          \
  X(mbus_sendrecv_request)             \
  X(mbus_send_ping_frame)              \
  X(mbus_select_secondary_address)     \
  X(mbus_probe_secondary_address)      \
  X(mbus_read_slave)                   \
  X(mbus_record_new)                   \
  X(mbus_record_free)                  \
  X(mbus_mem_free)                     \
  X(mbus_parse_fixed_record)           \
  X(mbus_parse_variable_record)        \
  X(mbus_variable_value_decode)        \
  X(mbus_vif_unit_normalize)           \
  X(mbus_vib_unit_normalize)           \
  X(mbus_data_variable_xml_normalized) \
  X(mbus_frame_data_xml_normalized)    \
  X(mbus_scan_2nd_address_range)       \
  X(mbus_hex2bin)

// One pointer per bound name, typed after the library's declaration; all
// nil while the library is not loaded.
struct TMbusApi {
// NOLINTNEXTLINE(bugprone-macro-parentheses): name is a declarator here
#define KOR_MBUS_API_FIELD(name) decltype(&::name) name = nullptr;
  KOR_MBUS_API_NAMES(KOR_MBUS_API_FIELD)
#undef KOR_MBUS_API_FIELD
};

inline constexpr int kMbusApiNameCount = 109;

enum class TMbusApiState { NotTried, Loaded, Failed };

// The bound functions (every pointer nil unless the state is Loaded).
const TMbusApi& MbusApi();
TMbusApiState MbusApiState();
// The full path the library was (or will be) loaded from.
std::string MbusApiLibraryPath();
// What went wrong at the last failed load: one "Unable to load " + name
// line per missing name, or the loader's reason; empty after a good load.
std::vector<std::string> MbusApiLoadErrors();

// Takes one reference: the first loads the library from folder (with a
// trailing separator; empty: the folder of this code's own module) and binds
// every name. A library that lacks a name is released again and the state
// is Failed. Never raises. Returns the state.
TMbusApiState MbusApiAcquire(const std::string& folder = {});
// Drops one reference; the last releases the library and clears every
// pointer (the state is NotTried again).
void MbusApiRelease() noexcept;

// Once per process: true for the first caller after a failed load, so the
// first module that loads reports the failure and later ones stay silent.
bool MbusApiTakeFailureReport() noexcept;

// Holds one reference for its lifetime.
class TMbusApiRef {
 public:
  explicit TMbusApiRef(const std::string& folder = {}) { MbusApiAcquire(folder); }
  ~TMbusApiRef() { MbusApiRelease(); }
  TMbusApiRef(const TMbusApiRef&) = delete;
  TMbusApiRef& operator=(const TMbusApiRef&) = delete;
};

// The library's file name on this platform.
const char* MbusLibraryFileName();
