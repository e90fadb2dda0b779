// The device search of the M-Bus worker: a primary scan (a ping to every
// address of a range) or the library's secondary scan with the two
// callbacks that report its progress and every device found. Runs on the
// worker's thread as one command; the module's status event reads
// ScanPosition and StatusText from the host's thread.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "mbus/MbusDecode.h"
#include "mbus/MbusThread.h"
#include "mbus/mbus_api.h"
#include "params/PluginDM_TextResources.h"

namespace {

constexpr std::int32_t kBroadcastNoReply = 255;
constexpr int kRecvTimeout = -3;
constexpr int kRecvInvalid = -2;
constexpr int kPingFailed = -1;
constexpr const char* kFullMask = "FFFFFFFFFFFFFFFF";
constexpr const char* kLineEnd = "\r\n";

// The text as an unsigned hexadecimal number; ok false when it is none.
std::uint32_t HexOf(std::string_view text, bool& ok) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
  ok = !text.empty() && ec == std::errc() && ptr == end;
  return ok ? value : 0;
}

std::uint32_t HexOr0(std::string_view text) {
  bool ok = false;
  return HexOf(text, ok);
}

std::string Hex8(std::uint32_t value) {
  char digits[12];
  std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(value));
  return digits;
}

}  // namespace

// ---- the command

bool TMbusThread::RunScan(const TMbusCommand& command) {
  ScanList.clear();
  ScanPosition = 0;
  ScanCheckText.clear();
  ScanFoundText.clear();
  FoundCount = 0;
  const TMbusApi& api = MbusApi();
  FHandle->max_search_retry = 0;
  api.mbus_send_ping_frame(FHandle, kNetworkLayerAddress, 1);
  api.mbus_send_ping_frame(FHandle, kNetworkLayerAddress, 1);
  const auto first = static_cast<std::uint32_t>(command.Arg1);
  const auto last = static_cast<std::uint32_t>(command.Arg2);
  if (command.Kind == TMbusCommand::kSecondaryScan)
    SecondaryScan(first, last);
  else
    PrimaryScan(first, last);
  return true;
}

void TMbusThread::EndScan() noexcept {
  try {
    StatusText.SetValue(ScanList);
  } catch (...) {
  }
  ScanList.clear();
  ScanCheckText.clear();
  ScanFoundText.clear();
  FoundCount = 0;
  ScanPosition = -1;
}

// ---- primary

void TMbusThread::PrimaryScan(std::uint32_t first, std::uint32_t last) {
  for (std::uint32_t address = first; address <= last && !Cancel; ++address) {
    ScanPosition = static_cast<std::int32_t>(address);
    ScanPrimaryAddress(static_cast<std::int32_t>(address & 0xFF));
    if (address == UINT32_MAX) break;
  }
}

// An acknowledgement alone is a device; more bytes after it (a purge that
// finds any), or a garbled answer, are several devices on one address.
void TMbusThread::ScanPrimaryAddress(std::int32_t address) {
  const TMbusApi& api = MbusApi();
  mbus_frame reply{};
  const int result = PingAndReceive(address, reply);
  if (result == kRecvTimeout || result == kPingFailed) return;
  const std::string where = " " + std::to_string(address);
  if (result == kRecvInvalid) {
    api.mbus_purge_frames(FHandle);
    Log(1, FMessages->MsgCollisionAt() + where);
    return;
  }
  if (result != 0 || api.mbus_frame_type(&reply) != MBUS_FRAME_TYPE_ACK) return;
  if (api.mbus_purge_frames(FHandle) >= 1) {
    Log(1, FMessages->MsgCollisionAt() + where);
    return;
  }
  const std::string found = FMessages->MsgFoundDeviceAt() + ": " + std::to_string(address);
  Log(2, found);
  StatusText.SetValue("*" + found);
  ScanList += std::to_string(address) + kLineEnd;
}

int TMbusThread::PingAndReceive(std::int32_t address, mbus_frame& reply) {
  const TMbusApi& api = MbusApi();
  reply = mbus_frame{};
  const std::int32_t retries = FHandle->max_search_retry;
  if (retries < 0) return kPingFailed;
  int result = kRecvTimeout;
  for (std::int32_t attempt = 0; attempt <= retries && !Cancel; ++attempt) {
    if (api.mbus_send_ping_frame(FHandle, address, 0) == -1) {
      Log(0, FMessages->MsgScanPingFailed() + ": " + ErrorText());
      return kPingFailed;
    }
    result = api.mbus_recv_frame(FHandle, &reply);
    if (result != kRecvTimeout) break;
  }
  return result;
}

// ---- secondary

void TMbusThread::SecondaryScan(std::uint32_t first, std::uint32_t last) {
  const TMbusApi& api = MbusApi();
  if (api.mbus_send_ping_frame(FHandle, kNetworkLayerAddress, 1) == -1) return;
  api.mbus_send_ping_frame(FHandle, kBroadcastNoReply, 1);
  const std::string mask =
      first == 0 && last == 0 ? std::string(kFullMask) : Hex8(first) + "FFFFFFFF";
  api.mbus_error_reset(FHandle);
  api.mbus_scan_2nd_address_range(FHandle, 0, mask.c_str());
  // The library names what no mask could single out (several slaves with
  // one whole address); a cancelled scan's failing line is no news.
  const std::string error = ErrorText();
  if (!error.empty() && !Cancel) Log(1, error);
}

void TMbusThread::SetScanStatus() {
  StatusText.SetValue("*" + ScanCheckText + "||" + ScanFoundText + "||" + FMessages->MsgFound() +
                      ": " + std::to_string(FoundCount));
}

void MBUS_CALL TMbusThread::ScanProgress(mbus_handle* handle, const char* mask) noexcept {
  try {
    TMbusThread* self = Of(handle);
    if (self == nullptr || mask == nullptr || !self->OwnerAlive()) return;
    self->OnScanProgress(mask);
  } catch (...) {
  }
}

void MBUS_CALL TMbusThread::DeviceFound(mbus_handle* handle, mbus_frame* frame) noexcept {
  try {
    TMbusThread* self = Of(handle);
    if (self == nullptr || frame == nullptr || !self->OwnerAlive()) return;
    self->OnDeviceFound(frame);
  } catch (...) {
  }
}

void TMbusThread::OnScanProgress(const std::string& mask) {
  ScanPosition = static_cast<std::int32_t>(HexOr0(std::string_view(mask).substr(0, 4)));
  std::string text = mask;
  text.resize(16, ' ');
  ScanCheckText = FMessages->MsgCheckingAddress() + ": " + text.substr(0, 8) + " " +
                  text.substr(8, 4) + " " + text.substr(12, 2) + " " + text.substr(14, 2);
  SetScanStatus();
  Log(2, ScanCheckText);
}

// The secondary address text carries the manufacturer field high byte
// first (characters 9-10), while the library decodes it from the bytes in
// telegram order (low byte first): the two are swapped back here.
void TMbusThread::OnDeviceFound(mbus_frame* frame) {
  const TMbusApi& api = MbusApi();
  const char* got = api.mbus_frame_get_secondary_address(FHandle, frame, FTextBuffer.data());
  if (got == nullptr) return;
  std::string address(got);
  address.resize(16, ' ');
  ++FoundCount;
  const std::string id = address.substr(0, 8);
  const std::string serial = std::to_string(HexOr0(id));
  std::string manufacturer = address.substr(8, 4);
  bool high = false;
  bool low = false;
  const auto high_byte = static_cast<unsigned char>(HexOf(manufacturer.substr(0, 2), high));
  const auto low_byte = static_cast<unsigned char>(HexOf(manufacturer.substr(2, 2), low));
  if (high && low) {
    char letters[8] = {};
    if (const char* code = api.mbus_decode_manufacturer(low_byte, high_byte, letters))
      manufacturer = code;
  }
  const std::string version = std::to_string(HexOr0(address.substr(12, 2)));
  bool medium_ok = false;
  std::uint32_t medium = HexOf(address.substr(14, 2), medium_ok);
  if (!medium_ok) medium = HexOr0(address.substr(14, 1));
  const std::string medium_name = MediumName(static_cast<std::uint8_t>(medium));
  ScanList += "||" + id + "||" + serial + "||" + manufacturer + "||" + version + "||" +
              medium_name + kLineEnd;
  ScanFoundText = FMessages->MsgFoundDeviceAt() + ": " + id + " (s/n: " + serial + ", " +
                  manufacturer + ", " + medium_name + ")";
  SetScanStatus();
  Log(2, ScanFoundText);
}
