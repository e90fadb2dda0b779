#include "mbus/SerialPortDM.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "framework/SysUtils.h"
#include "mbus/PluginDM.h"
#include "mbus/mbus_api.h"
#include "plugin/korPluginParserItems.h"

namespace {

// The live sources of the process (searches may run on another module's).
std::mutex gLiveLock;
std::vector<TSerialPortDM*>& LiveSources() {
  static std::vector<TSerialPortDM*> sources;  // under gLiveLock
  return sources;
}
std::atomic<std::uint32_t> gSerials{0};

constexpr std::uint32_t kStopGraceMs = 100;
constexpr std::uint8_t kRequestCompleted = 10;  // a success status of RequestDone

// Holds the lock of a worker's StatusText (which guards Rows, PacketText
// and PendingTimePoints).
class TStatusGuard {
 public:
  explicit TStatusGuard(TThreadString& status) : FStatus(status) { FStatus.Lock(); }
  ~TStatusGuard() { FStatus.Unlock(); }
  TStatusGuard(const TStatusGuard&) = delete;
  TStatusGuard& operator=(const TStatusGuard&) = delete;

 private:
  TThreadString& FStatus;
};

std::int32_t CountRows(const TkorParamsList& rows) {
  std::int32_t count = 0;
  for (std::int32_t from = 0; from < rows.Count();) {
    const TRowEnd end = rows.FindRowEnd(from);
    if (!end.Found) break;
    ++count;
    from = end.Index + 1;
  }
  return count;
}

// "Request timeout (ms)" without its unit: "Request timeout".
std::string TextBeforeParenthesis(const std::string& text) {
  return std::string(Trim(text.substr(0, text.find('('))));
}

}  // namespace

TSerialPortDM::TSerialPortDM(TaPlugin& module)
    : TDataSourceScheduled(&module, &module.ComponentOwner()), Serial(++gSerials), FModule(module) {
  CreateBuffer(4096);
  Worker = new TMbusThread(this, &module, module.Resources);
  Worker->OnCommandDone = [this](TMbusThread&, std::int32_t id, const std::string&, bool success,
                                 TMbusCommand&) { CommandDone(id, success); };
  {
    std::lock_guard<TCriticalSection> run(FQueue->RunLock());
    FQueue->RequestId = -1;
  }
  std::lock_guard<std::mutex> live(gLiveLock);
  LiveSources().push_back(this);
}

std::string TSerialPortDM::SearchId() const {
  char digits[12];
  std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(Serial));
  return digits;
}

bool TSerialPortDM::WithLiveSource(const std::string& id,
                                   const std::function<void(TSerialPortDM&)>& fn) {
  std::lock_guard<std::mutex> live(gLiveLock);
  for (TSerialPortDM* source : LiveSources()) {
    if (source->SearchId() != id) continue;
    fn(*source);
    return true;
  }
  return false;
}

bool TSerialPortDM::WithLastSourceOf(const TaPlugin& module,
                                     const std::function<void(TSerialPortDM&)>& fn) {
  std::lock_guard<std::mutex> live(gLiveLock);
  const auto& sources = LiveSources();
  for (auto it = sources.rbegin(); it != sources.rend(); ++it) {
    if (&(*it)->FModule != &module) continue;
    fn(**it);
    return true;
  }
  return false;
}

// The queue stops first (Signature cleared, timer and scheduled events off),
// so no request reaches the stopping worker and no tick runs; it is freed
// only once the worker has ended, so a hook or a completion in flight never
// meets a freed queue.
TSerialPortDM::~TSerialPortDM() {
  {
    std::lock_guard<std::mutex> live(gLiveLock);
    auto& sources = LiveSources();
    sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
  }
  Signature = 0;
  try {
    if (FQueue != nullptr) {
      FQueue->SetTimerEnabled(false);
      FQueue->ClearSchedules();
    }
  } catch (...) {
  }
  StopWorker();
  StopQueue();
  std::lock_guard<std::mutex> delivery(FDeliveryLock);
  if (!FWaiting.empty() && !FModule.TerminateNow.load() &&
      FModule.HostEntryPoints.SendDataEx.load() != nullptr) {
    try {
      Offer();
    } catch (...) {
      // dropped below, unrecorded: the meters give them again
    }
  }
  FWaiting.clear();
}

// The worker stops with cancel; rows it left are taken before it is freed.
void TSerialPortDM::StopWorker() noexcept {
  if (Worker == nullptr) return;
  try {
    Worker->Stop(true);
    Worker->FinishedEvent().WaitFor(kStopGraceMs);
    if (!Worker->Finished()) {
      if (Worker->Suspended()) Worker->Resume();
      Worker->Terminate();
      Worker->FinishedEvent().WaitFor(kStopGraceMs);
      Worker->WaitFor();
    }
    bool left = PendingResults.load() > 0;
    {
      TStatusGuard guard(Worker->StatusText);
      left = left || Worker->Rows.Count() > 0;
    }
    std::lock_guard<std::mutex> delivery(FDeliveryLock);
    if (left) TakeWorkerResults();
  } catch (...) {
    // freeing below still ends the thread
  }
  delete Worker;
  Worker = nullptr;
}

bool TSerialPortDM::IsInactive() {
  return Signature.load() != kSignature || TDataSourceScheduled::IsInactive() ||
         MbusApiState() != TMbusApiState::Loaded;
}

// While the worker still runs a command (a reply slower than the request's
// Timeout, the purge after a new handle's ping) the queue waits: a request
// chosen meanwhile could not be sent, and a MethodOnce one would count as
// run without ever reaching the meter. The answer time-out is judged once
// the worker is free, so a late but successful reply is not logged as one.
bool TSerialPortDM::IsPaused() {
  DeliverResults();
  return PortClosed.load() || Searching.load() || (Worker != nullptr && Worker->IsBusy());
}

void TSerialPortDM::PortStateChanged(bool) {
  if (Worker != nullptr) Worker->QueueDisconnect();
}

// ---- the queue's events

bool TSerialPortDM::SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                                std::int32_t& requestId) {
  auto* request = dynamic_cast<TRequestItem*>(&item);
  if (request == nullptr || Worker == nullptr || Worker->IsBusy()) return false;
  const std::int32_t id = Worker->QueueRequest(request->Params);
  if (id == -1) return false;
  requestId = id;
  timeout = static_cast<std::uint32_t>(request->Params.Timeout);
  return true;
}

void TSerialPortDM::RequestTimedOut(TBasicRequestItem& item, bool&) {
  const TTextResources& texts = *FModule.Resources;
  const auto* request = dynamic_cast<const TRequestItem*>(&item);
  const std::string device = request != nullptr ? request->Params.Device : std::string();
  FModule.AddLog(1, texts.MsgDeviceAddress() + ": " + device + ". " + item.Name + ". " +
                        TextBeforeParenthesis(texts.MsgRequestTimeout()));
}

void TSerialPortDM::QueueError(const std::string& context, const std::exception& error,
                               const std::string& text) {
  ReportError(context, error, text);
}

// The module's text has no placeholder: the detail follows it after ": ".
void TSerialPortDM::ReportError(const std::string&, const std::exception& error,
                                const std::string& text) {
  FModule.AddLog(1, FModule.Resources->MsgDataParseError() + ": " + text + ", " + error.what());
}

// Worker thread. A late completion (another id) or a failure is left to the
// controller's time-out.
void TSerialPortDM::CommandDone(std::int32_t id, bool success) {
  if (!success) return;
  WithQueue([&](TQueueControllerTimerEx& queue) {
    if (id != queue.CurrentRequestId()) return;
    ++PendingResults;
    queue.RequestDone(kRequestCompleted);
  });
}

// ---- delivery

void TSerialPortDM::DeliverResults() noexcept {
  try {
    std::lock_guard<std::mutex> delivery(FDeliveryLock);
    if (Worker != nullptr && PendingResults.load() > 0) TakeWorkerResults();
    if (FWaiting.empty()) return;
    const bool taken = Offer();
    if (!taken) {
      // The first refusal of a run of them is logged, so the log tells why
      // rows wait.
      if (!FRefused)
        FModule.AddLog(1, "The host refused the data of data source " +
                              std::to_string(DataSourceId) + ": " +
                              std::to_string(CountWaitingRows()) + " rows wait");
      DropOverflow();
    }
    FRefused = !taken;
    ShowWaitingTimePoints();
  } catch (const std::exception& e) {
    FModule.LogException("DELIVERY", e);
  } catch (...) {
    FModule.LogException("DELIVERY", std::string("unknown error"));
  }
}

std::int32_t TSerialPortDM::WaitingRowCount() const {
  std::lock_guard<std::mutex> delivery(FDeliveryLock);
  return CountWaitingRows();
}

std::int32_t TSerialPortDM::CountWaitingRows() const {
  std::int32_t count = 0;
  for (const TWaitingBatch& batch : FWaiting) count += batch.RowCount;
  return count;
}

void TSerialPortDM::TakeWorkerResults() {
  TWaitingBatch batch;
  {
    TStatusGuard guard(Worker->StatusText);
    batch.Rows->AddList(&Worker->Rows);
    Worker->Rows.Clear();
    batch.PacketText.swap(Worker->PacketText);
    batch.TimePoints.swap(Worker->PendingTimePoints);
    Worker->WaitingTimePoints.insert(Worker->WaitingTimePoints.end(), batch.TimePoints.begin(),
                                     batch.TimePoints.end());
    PendingResults.store(0);
  }
  batch.RowCount = CountRows(*batch.Rows);
  FWaiting.push_back(std::move(batch));
}

// Every waiting row, each with the standard values first; true when the
// host took them (its answer is not negative). Only then are the time
// points of the delivered rows recorded.
bool TSerialPortDM::Offer() {
  TParsedDataList list;
  for (const TWaitingBatch& batch : FWaiting) {
    if (!batch.PacketText.empty()) list.AppendRawText(batch.PacketText);
    const TkorParamsList& rows = *batch.Rows;
    for (std::int32_t from = 0; from < rows.Count();) {
      const TRowEnd end = rows.FindRowEnd(from);
      if (!end.Found) break;
      // Each row gets its own standard values (a fill into the whole list
      // would only update the first row's).
      TkorParamsList row;
      FModule.FillStandardValues(row, "", "", DataSourceId, 0, SourceName, SourceFullName, "");
      row.AddListRange(&rows, from, end.Index);
      if (!end.IsMarker) row.EndRow();
      list.AddList(&row);
      from = end.Index + 1;
    }
  }
  if (FModule.SendParsedData(DataSourceId, 0, list) < 0) return false;
  std::vector<TPendingTimePoint> points;
  for (const TWaitingBatch& batch : FWaiting)
    if (batch.RowCount > 0)
      points.insert(points.end(), batch.TimePoints.begin(), batch.TimePoints.end());
  FWaiting.clear();
  if (!points.empty()) RecordTimePoints(points);
  return true;
}

void TSerialPortDM::RecordTimePoints(const std::vector<TPendingTimePoint>& points) {
  std::string file = TLastTimePoints::kFileName;
  try {
    TLastTimePoints store(FModule.ModuleDataPath());
    file = store.FileName();
    store.Record(points);
  } catch (const std::exception& e) {
    FModule.AddLog(0, "Unable to write " + file + ": " + e.what());
  }
}

// Under FDeliveryLock, after the waiting batches changed: the worker's
// WaitingTimePoints become those of the batches still waiting (delivered
// ones were recorded, or kept in memory when the file could not be
// written; dropped ones are to be read again).
void TSerialPortDM::ShowWaitingTimePoints() {
  if (Worker == nullptr) return;
  std::vector<TPendingTimePoint> points;
  for (const TWaitingBatch& batch : FWaiting)
    points.insert(points.end(), batch.TimePoints.begin(), batch.TimePoints.end());
  TStatusGuard guard(Worker->StatusText);
  Worker->WaitingTimePoints.swap(points);
}

// A refused delivery: batches without rows have nothing to retry; beyond
// kMaxWaitingRows the oldest batches go (the newest always stays).
void TSerialPortDM::DropOverflow() {
  for (auto it = FWaiting.begin(); it != FWaiting.end();)
    it = it->RowCount == 0 ? FWaiting.erase(it) : it + 1;
  std::int32_t dropped = 0;
  while (FWaiting.size() > 1 && CountWaitingRows() > kMaxWaitingRows) {
    dropped += FWaiting.front().RowCount;
    FWaiting.pop_front();
  }
  if (dropped > 0)
    FModule.AddLog(1, "The host refused the data: " + std::to_string(dropped) +
                          " waiting rows of data source " + std::to_string(DataSourceId) +
                          " dropped");
}
