// The calling convention across the plug-in's binding of the protocol
// library: every one of the 109 bound names is called through its pointer
// in the binding (the library's declared type) into the built library, with
// the stack pointer watched (tests/abi/StackProbe.h); the library's I/O
// hooks and callbacks are this test's own functions of the library's hook
// types, called by the library, and the worker's hooks are called through
// the handle fields' types as the library calls them. A mismatch moves the
// stack pointer only in the 32-bit build, where these probes see it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "mbus/MbusThread.h"
#include "mbus/mbus_api.h"
#include "platform/Files.h"
#include "platform/Modules.h"
#include "tests/abi/StackProbe.h"
#include "tests/mbus/MbusTestFrames.h"

namespace {

constexpr int kCalls = 16;

std::string ProgramFolder() {
  return plat::ExtractFileDir(plat::OwnModuleFileName()) + plat::kPathDelimiter;
}

// What the library handed to this test's hooks and callbacks.
struct THookLog {
  mbus_handle* Handle = nullptr;
  int Opened = 0;
  int Sent = 0;
  int Received = 0;
  int Progress = 0;
  int Traffic = 0;
  int BadArguments = 0;
};
THookLog gLog;

int MBUS_CALL Open(mbus_handle* handle) {
  gLog.BadArguments += handle != gLog.Handle;
  ++gLog.Opened;
  return MBUS_HOOK_OK;
}
int MBUS_CALL Close(mbus_handle* handle) {
  gLog.BadArguments += handle != gLog.Handle;
  return MBUS_HOOK_OK;
}
// Takes every byte.
int MBUS_CALL Send(mbus_handle* handle, const unsigned char* bytes, int length, int* sent) {
  gLog.BadArguments += handle != gLog.Handle || bytes == nullptr || length <= 0 || sent == nullptr;
  ++gLog.Sent;
  if (sent != nullptr) *sent = length;
  return MBUS_HOOK_OK;
}
// The line stays silent.
int MBUS_CALL Receive(mbus_handle* handle, unsigned char* buffer, int capacity, int* received) {
  gLog.BadArguments +=
      handle != gLog.Handle || buffer == nullptr || capacity <= 0 || received == nullptr;
  ++gLog.Received;
  if (received != nullptr) *received = 0;
  return MBUS_HOOK_OK;
}
int MBUS_CALL Baudrate(mbus_handle* handle, int) {
  gLog.BadArguments += handle != gLog.Handle;
  return MBUS_HOOK_OK;
}
void MBUS_CALL Progress(mbus_handle* handle, const char* mask) {
  gLog.BadArguments += handle != gLog.Handle || mask == nullptr || std::strlen(mask) != 16;
  ++gLog.Progress;
}
void MBUS_CALL Found(mbus_handle* handle, mbus_frame*) {
  gLog.BadArguments += handle != gLog.Handle;
}
void MBUS_CALL Traffic(unsigned char, const char* bytes, size_t length) {
  gLog.BadArguments += bytes == nullptr || length == 0;
  ++gLog.Traffic;
}

}  // namespace

TEST(MbusApiConvention, EveryBoundNameThroughTheBindingIntoTheLibrary) {
  ASSERT_EQ(MbusApiAcquire(ProgramFolder()), TMbusApiState::Loaded);
  const TMbusApi& api = MbusApi();
  std::set<std::string> called;
  // One name, called `times` times (at least twice: a call that allocates
  // or frees is probed with arguments that do neither, or its results are
  // all freed).
#define KOR_PROBE(times, name, ...)                                                      \
  do {                                                                                   \
    called.insert(#name);                                                                \
    EXPECT_EQ(callprobe::Drift(times, api.name __VA_OPT__(, ) __VA_ARGS__), 0) << #name; \
  } while (0)
  // Twice, with every result.
#define KOR_PROBE_ALL(name, ...)                                                \
  [&] {                                                                         \
    called.insert(#name);                                                       \
    const auto probe = callprobe::Call(2, api.name __VA_OPT__(, ) __VA_ARGS__); \
    EXPECT_EQ(probe.Drift, 0) << #name;                                         \
    return probe.Results;                                                       \
  }()
  // Twice, the last result (the other one is not allocated).
#define KOR_PROBE_RESULT(name, ...) KOR_PROBE_ALL(name __VA_OPT__(, ) __VA_ARGS__).back()
  const auto freeAll = [](const auto& texts) {
    for (char* text : texts) std::free(text);
  };

  // Frames and records: a variable-structure reply of two records.
  std::vector<unsigned char> bytes = mbus_test::VariableReply("04 13 39 30 00 00 02 FD 17 00 00");
  const std::vector<mbus_frame*> frames = KOR_PROBE_ALL(mbus_frame_new, MBUS_FRAME_TYPE_ANY);
  mbus_frame* frame = frames.front();
  ASSERT_NE(frame, nullptr);
  api.mbus_frame_free(frames.back());
  KOR_PROBE(kCalls, mbus_parse, frame, bytes.data(), bytes.size());
  ASSERT_EQ(api.mbus_parse(frame, bytes.data(), bytes.size()), 0);
  KOR_PROBE(kCalls, mbus_frame_calc_checksum, frame);
  KOR_PROBE(kCalls, mbus_frame_calc_length, frame);
  KOR_PROBE(kCalls, mbus_frame_verify, frame);
  KOR_PROBE(kCalls, mbus_frame_type, frame);
  KOR_PROBE(kCalls, mbus_frame_direction, frame);
  unsigned char packed[300] = {};
  KOR_PROBE(kCalls, mbus_frame_pack, frame, packed, sizeof packed);
  EXPECT_EQ(std::memcmp(packed, bytes.data(), bytes.size()), 0);
  const std::vector<mbus_frame_data*> datas = KOR_PROBE_ALL(mbus_frame_data_new);
  mbus_frame_data* data = datas.front();
  ASSERT_NE(data, nullptr);
  api.mbus_frame_data_free(datas.back());
  // Parsing an acknowledgement fails before it allocates anything.
  mbus_frame ack{};
  ack.type = MBUS_FRAME_TYPE_ACK;
  mbus_frame_data scratchData{};
  EXPECT_EQ(KOR_PROBE_RESULT(mbus_frame_data_parse, nullptr, &ack, &scratchData), -1);
  ASSERT_EQ(api.mbus_frame_data_parse(nullptr, frame, data), 0);
  ASSERT_NE(data->data_var.record, nullptr);
  mbus_data_record* record = data->data_var.record;
  mbus_frame scratch{};
  KOR_PROBE(kCalls, mbus_frame_internal_pack, &scratch, data);
  mbus_data_fixed fixed{};
  KOR_PROBE(kCalls, mbus_data_fixed_parse, frame, &fixed);
  mbus_data_variable variable{};
  EXPECT_EQ(KOR_PROBE_RESULT(mbus_data_variable_parse, &ack, &variable), -1);
  ASSERT_EQ(api.mbus_data_variable_parse(frame, &variable), 0);
  const std::vector<mbus_data_record*> extras = KOR_PROBE_ALL(mbus_data_record_new);
  KOR_PROBE(kCalls, mbus_data_record_append, &variable, static_cast<mbus_data_record*>(nullptr));
  for (mbus_data_record* extra : extras) api.mbus_data_record_append(&variable, extra);
  EXPECT_EQ(variable.nrecords, 4u);

  KOR_PROBE(kCalls, mbus_data_record_function, record);
  KOR_PROBE(kCalls, mbus_data_fixed_function, 0);
  KOR_PROBE(kCalls, mbus_data_record_storage_number, record);
  KOR_PROBE(kCalls, mbus_data_record_tariff, record);
  KOR_PROBE(kCalls, mbus_data_record_device, record);
  KOR_PROBE(kCalls, mbus_data_record_unit, record);
  freeAll(KOR_PROBE_ALL(mbus_data_record_value, record));
  KOR_PROBE(kCalls, mbus_data_fixed_medium, &fixed);
  KOR_PROBE(kCalls, mbus_data_fixed_unit, 0x12);
  KOR_PROBE(kCalls, mbus_data_variable_medium_lookup, static_cast<unsigned char>(7));
  KOR_PROBE(kCalls, mbus_unit_prefix, 3);
  KOR_PROBE(kCalls, mbus_data_error_lookup, 1);
  KOR_PROBE(kCalls, mbus_vib_unit_lookup, &record->vib);
  KOR_PROBE(kCalls, mbus_vif_unit_lookup, static_cast<unsigned char>(0x13));
  EXPECT_EQ(
      callprobe::Call(kCalls, api.mbus_dif_datalength_lookup, static_cast<unsigned char>(4)).Result,
      4);
  called.insert("mbus_dif_datalength_lookup");
  KOR_PROBE(kCalls, mbus_data_product_name, &data->data_var.header);

  // Values and their coding.
  char kam[] = "KAM";
  EXPECT_EQ(callprobe::Call(kCalls, api.mbus_manufacturer_id, kam).Result, 0x2C2Du);
  called.insert("mbus_manufacturer_id");
  unsigned char code[2] = {};
  KOR_PROBE(kCalls, mbus_data_manufacturer_encode, code, reinterpret_cast<unsigned char*>(kam));
  char text[64] = {};
  KOR_PROBE(kCalls, mbus_decode_manufacturer, code[0], code[1], text);
  EXPECT_STREQ(text, "KAM");
  unsigned char number[8] = {};
  KOR_PROBE(kCalls, mbus_data_bcd_encode, number, std::size_t{4}, 12345678);
  EXPECT_EQ(callprobe::Call(kCalls, api.mbus_data_bcd_decode, number, std::size_t{4}).Result,
            12345678);
  called.insert("mbus_data_bcd_decode");
  KOR_PROBE(kCalls, mbus_data_bcd_decode_hex, number, std::size_t{4});
  KOR_PROBE(kCalls, mbus_data_int_encode, number, std::size_t{4}, -2);
  int intValue = 0;
  long longValue = 0;
  long long longLongValue = 0;
  KOR_PROBE(kCalls, mbus_data_int_decode, number, std::size_t{4}, &intValue);
  KOR_PROBE(kCalls, mbus_data_long_decode, number, std::size_t{4}, &longValue);
  KOR_PROBE(kCalls, mbus_data_long_long_decode, number, std::size_t{8}, &longLongValue);
  EXPECT_EQ(intValue, -2);
  EXPECT_EQ(longValue, -2);
  const unsigned char oneAndAHalf[4] = {0x00, 0x00, 0xC0, 0x3F};
  std::memcpy(number, oneAndAHalf, 4);
  EXPECT_EQ(callprobe::Call(kCalls, api.mbus_data_float_decode, number).Result, 1.5f);
  called.insert("mbus_data_float_decode");
  std::tm time{};
  const unsigned char dateBytes[4] = {0x2D, 0x0C, 0x18, 0x2C};
  std::memcpy(number, dateBytes, 4);
  KOR_PROBE(kCalls, mbus_data_tm_decode, &time, number, std::size_t{4});
  const unsigned char source[5] = {'a', 'b', '<', 'c', 0};  // NUL-terminated for the XML encoder
  unsigned char target[64] = {};
  KOR_PROBE(kCalls, mbus_data_str_decode, target, source, std::size_t{4});
  KOR_PROBE(kCalls, mbus_data_bin_decode, target, source, std::size_t{4}, sizeof target);
  KOR_PROBE(kCalls, mbus_str_xml_encode, target, source, sizeof target);
  const unsigned char hex[] = "0A0B";
  KOR_PROBE(kCalls, mbus_hex2bin, target, sizeof target, hex, std::size_t{4});
  double real = 0;
  char* textOut = nullptr;
  int textSize = 0;
  KOR_PROBE(kCalls, mbus_variable_value_decode, record, &real, &textOut, &textSize);
  EXPECT_EQ(real, 12345.0);
  char* unit = nullptr;
  char* quantity = nullptr;
  double normalised = 0;
  KOR_PROBE(kCalls, mbus_vif_unit_normalize, 0x13, 2.0, &unit, &normalised, &quantity);
  EXPECT_DOUBLE_EQ(normalised, 0.002);
  KOR_PROBE(kCalls, mbus_vib_unit_normalize, &record->vib, 4.0, &unit, &normalised, &quantity);
  EXPECT_DOUBLE_EQ(normalised, 0.004);
  std::vector<mbus_record*> records = KOR_PROBE_ALL(mbus_parse_variable_record, nullptr, record);
  unsigned char counter[4] = {0x78, 0x56, 0x34, 0x12};
  for (auto* made : KOR_PROBE_ALL(mbus_parse_fixed_record, nullptr, '\0', '\x12', counter))
    records.push_back(made);
  for (auto* made : KOR_PROBE_ALL(mbus_record_new)) records.push_back(made);
  KOR_PROBE(kCalls, mbus_record_free, static_cast<mbus_record*>(nullptr));
  for (mbus_record* made : records) {
    EXPECT_NE(made, nullptr);
    api.mbus_record_free(made);
  }

  // The XML writers and printers (once each; the printers write to stdout).
  freeAll(KOR_PROBE_ALL(mbus_data_variable_xml, &data->data_var));
  freeAll(KOR_PROBE_ALL(mbus_data_fixed_xml, &fixed));
  freeAll(KOR_PROBE_ALL(mbus_data_error_xml, 1));
  freeAll(KOR_PROBE_ALL(mbus_frame_data_xml, data));
  freeAll(KOR_PROBE_ALL(mbus_data_variable_header_xml, &data->data_var.header));
  freeAll(KOR_PROBE_ALL(mbus_frame_xml, frame));
  freeAll(KOR_PROBE_ALL(mbus_data_variable_xml_normalized, &data->data_var));
  freeAll(KOR_PROBE_ALL(mbus_frame_data_xml_normalized, data));
  KOR_PROBE(2, mbus_frame_print, frame);
  KOR_PROBE(2, mbus_frame_data_print, data);
  KOR_PROBE(2, mbus_data_fixed_print, &fixed);
  KOR_PROBE(2, mbus_data_error_print, 1);
  KOR_PROBE(2, mbus_data_variable_header_print, &data->data_var.header);
  KOR_PROBE(2, mbus_data_variable_print, &data->data_var);
  KOR_PROBE(2, mbus_hex_dump, "probe", reinterpret_cast<const char*>(source), std::size_t{4});
  KOR_PROBE(2, mbus_dump_recv_event, static_cast<unsigned char>(0),
            reinterpret_cast<const char*>(source), std::size_t{4});
  KOR_PROBE(2, mbus_dump_send_event, static_cast<unsigned char>(0),
            reinterpret_cast<const char*>(source), std::size_t{4});
  KOR_PROBE(kCalls, mbus_parse_set_debug, 0);

  // Addresses.
  KOR_PROBE(kCalls, mbus_is_primary_address, 5);
  KOR_PROBE(kCalls, mbus_is_secondary_address, "1234567824400107");
  char mask[] = "12345678FFFFFFFF";
  KOR_PROBE(kCalls, mbus_frame_select_secondary_pack, &scratch, mask);

  // A handle whose every byte goes through this test's hooks.
  const std::vector<mbus_handle*> handles = KOR_PROBE_ALL(mbus_context_serial, "COM1");
  mbus_handle* handle = handles.front();
  ASSERT_NE(handle, nullptr);
  api.mbus_context_free(handles.back());
  gLog = {};
  gLog.Handle = handle;
  handle->io_mode = MBUS_IO_HOOKS;
  handle->open_hook = &Open;
  handle->close_hook = &Close;
  handle->send_hook = &Send;
  handle->recv_hook = &Receive;
  handle->baudrate_hook = &Baudrate;
  KOR_PROBE(kCalls, mbus_frame_get_secondary_address, handle, frame, text);
  EXPECT_EQ(std::strlen(text), 16u);
  KOR_PROBE(kCalls, mbus_register_recv_event, handle, &Traffic);
  KOR_PROBE(kCalls, mbus_register_send_event, handle, &Traffic);
  KOR_PROBE(kCalls, mbus_register_scan_progress, handle, &Progress);
  KOR_PROBE(kCalls, mbus_register_found_event, handle, &Found);
  KOR_PROBE(2, mbus_connect, handle);  // the second call finds it connected
  KOR_PROBE(kCalls, mbus_context_set_option, handle, MBUS_OPTION_MAX_SEARCH_RETRY, 0L);
  KOR_PROBE(kCalls, mbus_context_set_option, handle, MBUS_OPTION_MAX_DATA_RETRY, 0L);
  EXPECT_EQ(callprobe::Call(kCalls, api.mbus_recv_frame, handle, &scratch).Result,
            MBUS_RECV_RESULT_TIMEOUT);
  called.insert("mbus_recv_frame");
  KOR_PROBE(kCalls, mbus_purge_frames, handle);
  EXPECT_EQ(callprobe::Call(kCalls, api.mbus_send_frame, handle, frame).Result, 0);
  called.insert("mbus_send_frame");
  KOR_PROBE(kCalls, mbus_send_select_frame, handle, mask);
  KOR_PROBE(kCalls, mbus_send_application_reset_frame, handle, 1, 0);
  KOR_PROBE(kCalls, mbus_send_switch_baudrate_frame, handle, 1, 9600L);
  KOR_PROBE(kCalls, mbus_send_request_frame, handle, 1);
  KOR_PROBE(kCalls, mbus_send_user_data_frame, handle, 1, source, std::size_t{4});
  KOR_PROBE(kCalls, mbus_set_primary_address, handle, 1, 2);
  mbus_frame reply{};
  KOR_PROBE(kCalls, mbus_sendrecv_request, handle, 1, &reply, 1);
  KOR_PROBE(kCalls, mbus_send_ping_frame, handle, 1, '\1');
  KOR_PROBE(kCalls, mbus_select_secondary_address, handle, mask);
  char matching[17] = {};
  EXPECT_EQ(
      callprobe::Call(kCalls, api.mbus_probe_secondary_address, handle, mask, matching).Result,
      MBUS_PROBE_NOTHING);
  called.insert("mbus_probe_secondary_address");
  mbus_address address{1, 5, nullptr};
  KOR_PROBE(kCalls, mbus_read_slave, handle, &address, &reply);
  EXPECT_EQ(KOR_PROBE_RESULT(mbus_scan_2nd_address_range, handle, 0, "FFFFFFFFFFFFFFFF"), 0);
  KOR_PROBE(kCalls, mbus_error_str, handle);
  char message[] = "probe";
  KOR_PROBE(kCalls, mbus_error_str_set, message);
  KOR_PROBE(kCalls, mbus_error_str_set_ex, handle, "probe");
  KOR_PROBE(kCalls, mbus_error_reset, handle);
  KOR_PROBE(2, mbus_disconnect, handle);
  // What the library handed to the hooks and callbacks arrived intact.
  EXPECT_EQ(gLog.BadArguments, 0);
  EXPECT_GE(gLog.Opened, 1);
  EXPECT_GT(gLog.Sent, kCalls);
  EXPECT_GT(gLog.Received, kCalls);
  EXPECT_GT(gLog.Progress, 0);
  EXPECT_GT(gLog.Traffic, 0);

  // Releasing: probed with nil (ignored), then done.
  KOR_PROBE(kCalls, mbus_context_free, static_cast<mbus_handle*>(nullptr));
  api.mbus_context_free(handle);
  KOR_PROBE(kCalls, mbus_mem_free, static_cast<mbus_handle*>(nullptr));
  for (mbus_handle* tcp : KOR_PROBE_ALL(mbus_context_tcp, "127.0.0.1", std::uint16_t{10001})) {
    EXPECT_NE(tcp, nullptr);
    api.mbus_mem_free(tcp);
  }
  KOR_PROBE(kCalls, mbus_data_record_free, static_cast<mbus_data_record*>(nullptr));
  api.mbus_data_record_free(variable.record);
  KOR_PROBE(kCalls, mbus_frame_data_free, static_cast<mbus_frame_data*>(nullptr));
  api.mbus_frame_data_free(data);
  EXPECT_EQ(KOR_PROBE_RESULT(mbus_frame_free, static_cast<mbus_frame*>(nullptr)), -1);
  api.mbus_frame_free(frame);
#undef KOR_PROBE
#undef KOR_PROBE_RESULT
#undef KOR_PROBE_ALL

  std::set<std::string> bound;
#define KOR_MBUS_API_NAME(name) bound.insert(#name);
  KOR_MBUS_API_NAMES(KOR_MBUS_API_NAME)
#undef KOR_MBUS_API_NAME
  EXPECT_EQ(bound.size(), static_cast<std::size_t>(kMbusApiNameCount));
  std::string missing;
  for (const std::string& name : bound)
    if (called.count(name) == 0) missing += ' ' + name;
  EXPECT_EQ(missing, "") << "bound names not probed";
  EXPECT_EQ(called.size(), bound.size()) << "names probed that are not bound";
  MbusApiRelease();
}

// The worker's hooks and scan callbacks as the library calls them: through
// the handle fields' types, with a handle that belongs to no worker (each
// refuses or ignores it).
TEST(MbusApiConvention, TheWorkersHooksThroughTheHandleTypes) {
  const TMbusThread::THandleHooks hooks = TMbusThread::HandleHooks();
  mbus_handle handle{};
  handle.fd = 5;
  unsigned char buffer[8] = {1, 2, 3};
  int count = 77;
  EXPECT_EQ(callprobe::Call(kCalls, hooks.Open, &handle).Result, MBUS_HOOK_FAILED);
  EXPECT_EQ(callprobe::Call(kCalls, hooks.Send, &handle, buffer, 3, &count).Result,
            MBUS_HOOK_FAILED);
  EXPECT_EQ(count, -1);
  count = 77;
  const auto receive = callprobe::Call(kCalls, hooks.Receive, &handle, buffer, 8, &count);
  EXPECT_EQ(receive.Drift, 0);
  EXPECT_EQ(receive.Result, MBUS_HOOK_FAILED);
  EXPECT_EQ(callprobe::Drift(kCalls, hooks.Baudrate, &handle, 9600), 0);
  EXPECT_EQ(callprobe::Drift(kCalls, hooks.Progress, &handle, "FFFFFFFFFFFFFFFF"), 0);
  EXPECT_EQ(callprobe::Drift(kCalls, hooks.Found, &handle, static_cast<mbus_frame*>(nullptr)), 0);
  EXPECT_EQ(callprobe::Call(kCalls, hooks.Close, &handle).Result, MBUS_HOOK_OK);
  EXPECT_EQ(handle.fd, -1);
}

// The library's records as the library fills them and the plug-in reads
// them: a frame and a normalised record made by the built library, read at
// the offsets the host-side code is compiled with (and the frame's at the
// raw offsets of the 32-bit layout, pointer-sized fields growing in 64-bit
// builds), with values only a matching layout gives.
TEST(MbusApiConvention, TheLibrarysRecordsWhereThePluginReadsThem) {
  ASSERT_EQ(MbusApiAcquire(ProgramFolder()), TMbusApiState::Loaded);
  const TMbusApi& api = MbusApi();
  // Storage number 1, tariff 1: 12345 litres.
  std::vector<unsigned char> bytes = mbus_test::VariableReply("C4 10 13 39 30 00 00");
  mbus_frame* frame = api.mbus_frame_new(MBUS_FRAME_TYPE_ANY);
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(api.mbus_parse(frame, bytes.data(), bytes.size()), 0);
  const auto* raw = reinterpret_cast<const unsigned char*>(frame);
  constexpr std::size_t P = sizeof(void*);
  std::size_t dataSize = 0;
  int type = 0;
  void* next = &type;
  std::memcpy(&dataSize, raw + 264, sizeof dataSize);
  std::memcpy(&type, raw + 264 + P, sizeof type);
  // time_t is 4 bytes in the 32-bit Windows build (the C runtime's default
  // there), 8 elsewhere.
  std::memcpy(&next, raw + (P == 4 ? 272 + sizeof(std::time_t) : 288), sizeof next);
  EXPECT_EQ(dataSize, bytes[1] - 3u);  // the length field counts C, A and CI too
  EXPECT_EQ(type, MBUS_FRAME_TYPE_LONG);
  EXPECT_EQ(next, nullptr);
  EXPECT_EQ(frame->data_size, dataSize);
  EXPECT_EQ(frame->control_information, 0x72);

  mbus_frame_data* data = api.mbus_frame_data_new();
  ASSERT_EQ(api.mbus_frame_data_parse(nullptr, frame, data), 0);
  EXPECT_EQ(data->type, MBUS_DATA_TYPE_VARIABLE);
  EXPECT_EQ(data->data_var.nrecords, 1u);
  ASSERT_NE(data->data_var.record, nullptr);
  EXPECT_EQ(data->data_var.record->data_len, 4u);
  EXPECT_EQ(data->data_var.header.access_no, 0x55);
  mbus_record* record = api.mbus_parse_variable_record(nullptr, data->data_var.record);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->is_numeric, 1);
  EXPECT_DOUBLE_EQ(record->value.real_val, 12.345);
  EXPECT_EQ(record->storage_number, 1);
  EXPECT_EQ(record->tariff, 1);
  EXPECT_EQ(record->device, 0);
  ASSERT_NE(record->unit, nullptr);
  ASSERT_NE(record->quantity, nullptr);
  EXPECT_STREQ(record->quantity, "Volume");
  api.mbus_record_free(record);
  api.mbus_frame_data_free(data);
  api.mbus_frame_free(frame);
  MbusApiRelease();
}
