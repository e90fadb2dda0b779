#include "mbus/MbusThread.h"

#include <charconv>
#include <cstdio>

#include "framework/DateUtils.h"
#include "framework/SysUtils.h"
#include "framework/parser_DataSourceDM.h"
#include "mbus/MbusDecode.h"
#include "mbus/mbus_api.h"
#include "params/PluginDM_TextResources.h"
#include "plugin/korPluginEnv.h"
#include "plugin/korPluginModule.h"

namespace {

constexpr std::size_t kPrimaryMaxLength = 3;
constexpr std::size_t kMaskLength = 16;

// The whole text as an unsigned number of the base; 0 when it is none.
std::uint64_t NumberOr0(std::string_view text, int base) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  return ec == std::errc() && ptr == end && !text.empty() ? value : 0;
}

std::int32_t PrimaryOf(std::string_view text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
  return ec == std::errc() && ptr == end ? value : 0;
}

// Releases the records of parsed frame data on every exit.
struct TRecordsGuard {
  const TMbusApi& Api;
  mbus_frame_data& Data;
  ~TRecordsGuard() {
    if (Data.data_var.record != nullptr) Api.mbus_data_record_free(Data.data_var.record);
    Data.data_var.record = nullptr;
  }
};

// Releases the frames that follow a reply frame on every exit.
struct TChainGuard {
  const TMbusApi& Api;
  mbus_frame& Reply;
  ~TChainGuard() {
    if (Reply.next != nullptr) Api.mbus_frame_free(Reply.next);
    Reply.next = nullptr;
  }
};

}  // namespace

bool MbusAddressOfDevice(const std::string& device, std::int32_t& primary, std::string& mask) {
  std::string_view text = device;
  if (const std::size_t open = text.find('('); open != std::string_view::npos)
    text = text.substr(0, open);
  text = Trim(text);
  primary = 0;
  mask.clear();
  if (text.size() <= kPrimaryMaxLength) {
    primary = PrimaryOf(text);
    return true;
  }
  if (text.size() < kMaskLength) {
    // An identification number: "s" + decimal, else hexadecimal.
    const std::uint64_t id =
        text.front() == 's' ? NumberOr0(text.substr(1), 10) : NumberOr0(text, 16);
    char digits[24];
    std::snprintf(digits, sizeof digits, "%08llX", static_cast<unsigned long long>(id));
    mask = std::string(digits) + "FFFFFFFF";
    return true;
  }
  if (text.size() == kMaskLength) {
    mask = std::string(text);
    return true;
  }
  return false;
}

// ---- life

TMbusThread::TMbusThread(TDataSourceScheduled* owner, TkorPlugin* module,
                         const TTextResources* messages)
    : TProcessDataThread(true, false, std::string()),
      FOwner(owner),
      FModule(module),
      FMessages(messages) {
  Start();
}

TMbusThread::~TMbusThread() {
  Shutdown();
}

void TMbusThread::DoStart() {
  SetOnProcessData([this](TProcessDataThread*, TObject*& item) {
    if (auto* command = dynamic_cast<TMbusCommand*>(item)) ExecuteCommand(*command);
  });
  TProcessDataThread::DoStart();
}

void TMbusThread::DoStop() {
  if (FHandle != nullptr) {
    // Without any hook: the data source may be going.
    if (const auto free = MbusApi().mbus_mem_free) free(FHandle);
    FHandle = nullptr;
    FHasHandle = false;
  }
  TProcessDataThread::DoStop();
}

void TMbusThread::Stop(bool value) {
  // Stopped before Cancel: a command that clears Cancel as it starts then
  // sees Stopped and cancels itself again.
  TProcessDataThread::Stop(value);
  if (value) CancelWait();
}

void TMbusThread::CancelWait() noexcept {
  Cancel = true;
  if (FOwner != nullptr) FOwner->DataEvent.SetEvent();
}

// ---- queueing

std::int32_t TMbusThread::NextCommandId() {
  std::lock_guard<std::mutex> lock(FCounterLock);
  ++FCommandCounter;
  if (FCommandCounter == -1) FCommandCounter = 0;
  return FCommandCounter;
}

std::int32_t TMbusThread::Push(TMbusCommand* command) {
  command->Id = NextCommandId();
  const std::int32_t id = command->Id;
  try {
    Queue().Push(command);
  } catch (...) {
    delete command;
    throw;
  }
  return id;
}

std::int32_t TMbusThread::QueueRequest(const TRequestParameters& params) {
  if (ScanPosition != -1) return -1;
  auto* command = new TMbusCommand();
  command->Kind = TMbusCommand::kRequest;
  command->Params = params;
  return Push(command);
}

std::int32_t TMbusThread::QueueScan(std::int32_t mode, std::uint32_t first, std::uint32_t last) {
  auto* command = new TMbusCommand();
  const bool secondary = mode == 2 || mode == 3;
  command->Kind = secondary ? TMbusCommand::kSecondaryScan : TMbusCommand::kPrimaryScan;
  command->Arg1 = static_cast<std::int32_t>(first);
  command->Arg2 = static_cast<std::int32_t>(last);
  ScanPosition = secondary ? 0 : static_cast<std::int32_t>(first);
  StatusText.SetValue(std::string());
  try {
    return Push(command);
  } catch (...) {
    ScanPosition = -1;  // never queued: requests must not stay refused
    throw;
  }
}

void TMbusThread::QueueDisconnect() noexcept {
  try {
    auto* command = new TMbusCommand();
    command->Kind = TMbusCommand::kDisconnect;
    Push(command);
  } catch (...) {
  }
}

// ---- one command

void TMbusThread::ExecuteCommand(TMbusCommand& command) {
  CurrentCommand = &command;
  Cancel = false;
  if (Stopped()) Cancel = true;
  bool success = false;
  try {
    success = RunCommand(command);
  } catch (const std::exception& e) {
    Log(0, FMessages->MsgDataParseError() + ": " + e.what());
  } catch (...) {
  }
  // A search ends here whatever happened, also without a handle.
  if (command.Kind == TMbusCommand::kPrimaryScan || command.Kind == TMbusCommand::kSecondaryScan)
    EndScan();
  // Free before the done event: the completion brings the controller's next
  // tick forward, and that tick must find the worker ready for the next
  // request (a busy worker would make it wait a whole tick period).
  CurrentCommand = nullptr;
  if (OnCommandDone) {
    try {
      const std::string error = success || FHandle == nullptr ? std::string() : ErrorText();
      OnCommandDone(*this, command.Id, error, success, command);
    } catch (...) {
    }
  }
}

bool TMbusThread::RunCommand(TMbusCommand& command) {
  if (FHandle == nullptr) {
    if (command.Kind == TMbusCommand::kDisconnect) return false;
    if (!SetUpHandle()) return false;
  }
  const TMbusApi& api = MbusApi();
  api.mbus_error_reset(FHandle);
  switch (command.Kind) {
    case TMbusCommand::kDisconnect:
      api.mbus_disconnect(FHandle);
      api.mbus_context_free(FHandle);
      FHandle = nullptr;
      FHasHandle = false;
      return true;
    case TMbusCommand::kRequest:
      return RunRequest(command.Params);
    case TMbusCommand::kPrimaryScan:
    case TMbusCommand::kSecondaryScan:
      return RunScan(command);
    default:
      return false;
  }
}

TMbusThread::THandleHooks TMbusThread::HandleHooks() noexcept {
  return {&HookOpen,     &HookClose,    &HookSend,   &HookReceive,
          &HookBaudrate, &ScanProgress, &DeviceFound};
}

// A failed connect drops the handle, so the next command tries again with
// a fresh one (instead of talking through a handle whose line never opened).
bool TMbusThread::SetUpHandle() {
  const TMbusApi& api = MbusApi();
  if (api.mbus_context_serial == nullptr) return false;
  FHandle = api.mbus_context_serial("COM1");
  if (FHandle == nullptr) return false;
  FHandle->auxdata = this;
  FHandle->io_mode = kIoModeHooks;
  const THandleHooks hooks = HandleHooks();
  FHandle->open_hook = hooks.Open;
  FHandle->close_hook = hooks.Close;
  FHandle->send_hook = hooks.Send;
  FHandle->recv_hook = hooks.Receive;
  FHandle->baudrate_hook = hooks.Baudrate;
  FHandle->scan_progress = hooks.Progress;
  FHandle->found_event = hooks.Found;
  FHandle->max_search_retry = 1;
  if (api.mbus_connect(FHandle) == -1) {
    Log(0, FMessages->MsgGatewayConnectFailed());
    DropHandle();
    return false;
  }
  FHasHandle = true;
  api.mbus_send_ping_frame(FHandle, kNetworkLayerAddress, 1);
  return true;
}

void TMbusThread::DropHandle() noexcept {
  if (FHandle != nullptr) {
    if (const auto free = MbusApi().mbus_mem_free) free(FHandle);
  }
  FHandle = nullptr;
  FHasHandle = false;
}

bool TMbusThread::SearchRuns() const noexcept {
  const TMbusCommand* command = CurrentCommand.load();
  return command != nullptr && (command->Kind == TMbusCommand::kPrimaryScan ||
                                command->Kind == TMbusCommand::kSecondaryScan);
}

std::string TMbusThread::ErrorText() {
  if (FHandle == nullptr) return {};
  const char* text = MbusApi().mbus_error_str(FHandle);
  return text != nullptr ? std::string(text) : std::string();
}

void TMbusThread::Log(std::uint8_t level, const std::string& text) noexcept {
  if (FModule != nullptr) FModule->AddLog(level, text);
}

// ---- the request cycle

bool TMbusThread::SelectDevice(const std::string& device, std::int32_t& address) {
  std::string mask;
  if (!MbusAddressOfDevice(device, address, mask)) return false;
  if (mask.empty()) return true;
  const TMbusApi& api = MbusApi();
  if (mask.size() == 16 && api.mbus_is_secondary_address(mask.c_str()) != 1) return false;
  switch (api.mbus_select_secondary_address(FHandle, mask.c_str())) {
    case 2:
      Log(0, TTextResources::FormatText(FMessages->MsgMaskMatchesMany(), mask));
      return false;
    case 0:
      Log(0, TTextResources::FormatText(FMessages->MsgSecondaryNoMatch(), mask));
      return false;
    case -1:
      Log(0, TTextResources::FormatText(FMessages->MsgSelectSecondaryFailed(), mask));
      return false;
    default:
      address = kNetworkLayerAddress;
      return true;
  }
}

bool TMbusThread::RunRequest(const TRequestParameters& given) {
  std::int32_t address = 0;
  if (!SelectDevice(given.Device, address)) return false;
  TRequestParameters params = given;
  params.Normalized = 1;
  FExchangeText.clear();
  TkorMbusDataRows rows;
  const bool exchanged = params.FirstFrame != 0 ? ExchangeFirstFrame(address, rows, params)
                                                : ExchangeReply(address, rows, params);
  if (!exchanged) return false;
  if (rows.Count() > 0) FilterAndQueue(rows, params);
  FExchangeText.clear();
  return true;
}

bool TMbusThread::ExchangeFirstFrame(std::int32_t address, TkorMbusDataRows& rows,
                                     const TRequestParameters& params) {
  const TMbusApi& api = MbusApi();
  mbus_frame frame{};
  mbus_frame_data data{};
  TRecordsGuard records{api, data};
  if (api.mbus_send_request_frame(FHandle, address) == -1) {
    Log(0, FMessages->MsgSendFrameFailed());
    return false;
  }
  if (api.mbus_recv_frame(FHandle, &frame) != 0) {
    Log(0, FMessages->MsgReceiveFrameFailed() + ": " + ErrorText());
    return false;
  }
  if (api.mbus_frame_data_parse(FHandle, &frame, &data) == -1) {
    Log(0, FMessages->MsgDataParseError() + ": " + ErrorText());
    return false;
  }
  DecodeFrameData(api, FHandle, rows, data, params);
  return true;
}

bool TMbusThread::ExchangeReply(std::int32_t address, TkorMbusDataRows& rows,
                                const TRequestParameters& params) {
  const TMbusApi& api = MbusApi();
  mbus_frame reply{};
  TChainGuard chain{api, reply};
  if (api.mbus_sendrecv_request(FHandle, address, &reply, kMaxReplyFrames) != 0) {
    Log(0, FMessages->MsgSendReceiveFailed());
    return false;
  }
  // Before reading a primary slave whose link state it does not know (a new
  // handle, a failed read) the library resets the link; that acknowledgement
  // is no more part of the reply than a selection's.
  if (address != kNetworkLayerAddress && FExchangeText.size() > 1 &&
      static_cast<unsigned char>(FExchangeText[0]) == MBUS_FRAME_ACK_START)
    FExchangeText.erase(0, 1);
  DecodeReply(api, FHandle, rows, reply, params);
  return true;
}

// Time points of earlier reads of the device that wait for delivery (here,
// or taken by the data source and not recorded yet) count as stored: a
// second read before the delivery must not hand the same stored rows over
// again. The file is written only after delivery (the data source).
void TMbusThread::FilterAndQueue(TkorMbusDataRows& rows, const TRequestParameters& params) {
  std::string folder = FModule != nullptr ? FModule->ModuleDataPath() : std::string();
  const std::int32_t sourceId = FOwner != nullptr ? FOwner->DataSourceId : 0;
  const std::string key = TimePointKey(params.Device, sourceId);
  double stored = TLastTimePoints(folder).ReadOfSource(params.Device, sourceId);
  {
    StatusText.Lock();
    for (const auto* points : {&PendingTimePoints, &WaitingTimePoints})
      for (const TPendingTimePoint& point : *points)
        if (point.Device == key && point.TimePoint > stored) stored = point.TimePoint;
    StatusText.Unlock();
  }
  const TTimePointFilterResult found =
      FilterByLastTime(rows, stored, params.ReadOnlyNew != 0, PluginEnv().NowOleDate());
  if (found.Future) {
    Log(1, FMessages->MsgDeviceAddress() + ": " + params.Device + ". TIME_POINT " +
               FormatIsoDateTime(found.FutureTimePoint) +
               " lies more than a day ahead: delivered, not stored.");
  }
  QueueRows(rows, key, found.Latest);
}

void TMbusThread::QueueRows(TkorMbusDataRows& rows, const std::string& timePointKey,
                            double latest) {
  TkorMbusDataRow* first = nullptr;
  for (std::int32_t i = 0; i < rows.Count() && first == nullptr; ++i)
    if (rows.Row(i).Count() > 0) first = &rows.Row(i);
  if (first == nullptr) return;
  const OleVariant packet{std::string_view(FExchangeText)};
  first->Insert(0, "FULL_DATA_PACKET", packet);
  first->Insert(1, "DATA_PACKET", packet);
  StatusText.Lock();
  try {
    if (!PacketText.empty()) PacketText += kPacketSeparator;
    PacketText += FExchangeText;
    for (std::int32_t i = 0; i < rows.Count(); ++i) {
      if (rows.Row(i).Count() == 0) continue;
      Rows.AddList(&rows.Row(i));
      Rows.EndRow();
    }
    if (latest > 0) PendingTimePoints.push_back(TPendingTimePoint{timePointKey, latest});
  } catch (...) {
    StatusText.Unlock();
    throw;
  }
  StatusText.Unlock();
}
