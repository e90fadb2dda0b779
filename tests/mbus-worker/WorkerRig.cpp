#include "tests/mbus-worker/WorkerRig.h"

#include <cstring>

#include "framework/FIFOStream.h"
#include "plugin/PluginRecords.h"
#include "tests/framework/TestThreads.h"

namespace mbusworker {

namespace {

std::atomic<TWorkerRig*> gRig{nullptr};
constexpr std::int32_t kDataSourceId = 7;
constexpr std::uint32_t kBufferSize = 4096;
const std::string kPortPrefix = "<<PORT=";

}  // namespace

std::string LibraryFolder() {
  return {};  // the binding's default: the test program's own folder
}

TWorkerRig::TWorkerRig(bus::BusTiming timing) : Segment(timing) {
  EXPECT_EQ(MbusApiAcquire(LibraryFolder()), TMbusApiState::Loaded);
  gRig = this;
  Module.HostEntryPoints.SendDataEx = reinterpret_cast<void*>(&TWorkerRig::SendDataEx);
  Module.ModuleIndex = 3;
  Source = std::make_unique<TRigSource>(&Owner);
  Source->CreateBuffer(kBufferSize);
  Source->DataSourceId = kDataSourceId;
  Worker = std::make_unique<TMbusThread>(Source.get(), &Module, &Texts);
  Worker->OnCommandDone = [this](TMbusThread&, std::int32_t id, const std::string& error,
                                 bool success, TMbusCommand&) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FDone.push_back(TDone{id, error, success});
      FChanged.notify_all();
    }
    // As the M-Bus data source does: a success ends the controller's request.
    if (success)
      Source->WithQueue([id](TQueueControllerTimerEx& queue) {
        if (id == queue.CurrentRequestId()) queue.RequestDone(10);
      });
  };
  Source->Worker = Worker.get();
  FFeeder = std::thread([this] { Feed(); });
}

TWorkerRig::~TWorkerRig() {
  Worker.reset();  // before its data source, as TSerialPortDM does
  FStop = true;
  FFeeder.join();
  Source.reset();
  gRig = nullptr;
  MbusApiRelease();
}

void TWorkerRig::SetLimits(std::uint32_t idleMs, std::uint32_t totalMs) {
  Worker->ReceiveIdleMs = idleMs;
  Worker->ReceiveTotalMs = totalMs;
}

void TWorkerRig::SetFeed(const TFeedPlan& plan) {
  std::lock_guard<std::mutex> lock(FLock);
  FPlan = plan;
}

std::int32_t TWorkerRig::Queue(const std::string& device) {
  TRequestParameters params;
  params.Device = device;
  return Worker->QueueRequest(params);
}

TDone TWorkerRig::Request(const TRequestParameters& params) {
  const std::int32_t id = Worker->QueueRequest(params);
  EXPECT_NE(id, -1);
  return WaitDone(id);
}

TDone TWorkerRig::Request(const std::string& device) {
  TRequestParameters params;
  params.Device = device;
  return Request(params);
}

TDone TWorkerRig::WaitDone(std::int32_t id) {
  std::unique_lock<std::mutex> lock(FLock);
  TDone found;
  const bool done = FChanged.wait_for(lock, kortest::kHangLimit, [&] {
    for (const TDone& d : FDone)
      if (d.Id == id) {
        found = d;
        return true;
      }
    return false;
  });
  if (!done) kortest::FailHung("command");
  return found;
}

std::size_t TWorkerRig::DoneCount() {
  std::lock_guard<std::mutex> lock(FLock);
  return FDone.size();
}

bool TRigSource::SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                             std::int32_t& requestId) {
  if (Worker == nullptr || Worker->IsBusy()) return false;
  TRequestParameters params;
  params.Device = item.Name;
  const std::int32_t id = Worker->QueueRequest(params);
  if (id == -1) return false;
  requestId = id;
  timeout = static_cast<std::uint32_t>(params.Timeout);
  return true;
}

std::vector<std::map<std::string, OleVariant>> TWorkerRig::TakeRows() {
  std::vector<std::map<std::string, OleVariant>> rows(1);
  Worker->StatusText.Lock();
  for (std::int32_t i = 0; i < Worker->Rows.Count(); ++i) {
    const TkorParamsListItem* item = Worker->Rows.Items(i);
    if (item->IsRowMarker())
      rows.emplace_back();
    else
      rows.back()[item->Name] = item->Value;
  }
  Worker->StatusText.Unlock();
  rows.pop_back();  // after the last marker
  return rows;
}

std::vector<std::vector<std::string>> TWorkerRig::RowNames() {
  std::vector<std::vector<std::string>> rows(1);
  Worker->StatusText.Lock();
  for (std::int32_t i = 0; i < Worker->Rows.Count(); ++i) {
    const TkorParamsListItem* item = Worker->Rows.Items(i);
    if (item->IsRowMarker())
      rows.emplace_back();
    else
      rows.back().push_back(item->Name);
  }
  Worker->StatusText.Unlock();
  rows.pop_back();
  return rows;
}

std::string TWorkerRig::LogText() {
  return Module.LogData->GetLogText();
}

std::int32_t KOR_STDCALL TWorkerRig::SendDataEx(std::int32_t, std::int32_t dataSourceId,
                                                std::int32_t count, std::int32_t, std::int32_t kind,
                                                void* data, std::int32_t) {
  TWorkerRig* rig = gRig;
  if (rig == nullptr || kind != kor::kSendRawData || dataSourceId != kDataSourceId || count < 0)
    return -1;
  if (rig->RefuseWrites) return -1;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  ++rig->FHostWrites;
  const std::string text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  if (text.rfind(kPortPrefix, 0) == 0) {
    rig->Segment.SetLineBaudrate(std::atoi(text.c_str() + kPortPrefix.size()));
    return 0;
  }
  rig->Segment.DiscardInput();
  rig->Segment.Write(bytes, static_cast<std::size_t>(count));
  return 0;
}

// The host's side of the line: every byte the segment delivers goes to
// DataArrived, in the plan's pieces and with its delays.
void TWorkerRig::Feed() {
  bool idle = true;
  while (!FStop) {
    std::uint8_t first = 0;
    if (Segment.Read(&first, 1, std::chrono::milliseconds(5)) == 0) {
      idle = true;
      continue;
    }
    bus::Bytes bytes{first};
    const bus::Bytes rest = Segment.TakeAvailable();
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    TFeedPlan plan;
    {
      std::lock_guard<std::mutex> lock(FLock);
      plan = FPlan;
    }
    if (idle && plan.FirstDelay.count() > 0) std::this_thread::sleep_for(plan.FirstDelay);
    idle = false;
    const std::size_t piece = plan.Piece > 0 ? plan.Piece : bytes.size();
    for (std::size_t at = 0; at < bytes.size() && !FStop; at += piece) {
      if (plan.PieceDelay.count() > 0) std::this_thread::sleep_for(plan.PieceDelay);
      HandOver(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
  }
}

void TWorkerRig::HandOver(const std::uint8_t* bytes, std::size_t count) {
  TDataArrival call;
  call.Mode = 1u << TDataSourceScheduled::kModeData;
  call.Kind = 4;
  call.Value = reinterpret_cast<std::uintptr_t>(bytes);
  call.Size = static_cast<std::uint32_t>(count);
  Source->DataArrived(call);
}

bus::Bytes StoredTelegram(std::uint8_t primary, const bus::SecondaryAddress& address, int year,
                          int month, int day, int hour, int minute) {
  bus::Bytes frame = bus::BuildTelegram(primary, address, 12345);
  // Before the checksum and stop byte: storage 1, a time point (DIF 0x44:
  // 32 bits, storage bit; VIF 0x6D: date and time, type F) and a volume.
  const int y = year - 2000;
  const bus::Bytes stored = {0x44,
                             0x6D,
                             static_cast<std::uint8_t>(minute & 0x3F),
                             static_cast<std::uint8_t>(hour & 0x1F),
                             static_cast<std::uint8_t>((day & 0x1F) | ((y & 0x07) << 5)),
                             static_cast<std::uint8_t>((month & 0x0F) | ((y & 0x78) << 1)),
                             0x4C,
                             0x13,
                             0x00,
                             0x23,
                             0x01,
                             0x00};
  frame.insert(frame.end() - 2, stored.begin(), stored.end());
  const auto length = static_cast<std::uint8_t>(frame.size() - 6);
  frame[1] = frame[2] = length;
  bus::FixChecksum(frame);
  return frame;
}

}  // namespace mbusworker
