#include "host/HostDataSources.h"

#include <charconv>
#include <exception>

#include "platform/Threads.h"
#include "plugin/PluginRecords.h"

namespace host {

namespace {

constexpr int kReadWaitMs = 50;
constexpr std::size_t kReadChunk = 512;

}  // namespace

int BaudrateSwitch(const std::string& bytes) {
  static const std::string kHead = "<<PORT=";
  if (bytes.size() <= kHead.size() + 2 || bytes.compare(0, kHead.size(), kHead) != 0 ||
      bytes.compare(bytes.size() - 2, 2, ">>") != 0)
    return 0;
  int rate = 0;
  const char* first = bytes.data() + kHead.size();
  const char* last = bytes.data() + bytes.size() - 2;
  auto [end, ec] = std::from_chars(first, last, rate);
  return ec == std::errc() && end == last && rate > 0 ? rate : 0;
}

std::vector<TReceivedData> SplitRows(const TReceivedData& delivery) {
  std::vector<TReceivedData> rows;
  TReceivedData row;
  auto flush = [&] {
    if (!row.Values.empty()) rows.push_back(std::move(row));
    row = TReceivedData();
    row.DataSourceId = delivery.DataSourceId;
    row.Kind = delivery.Kind;
    row.Raw = delivery.Raw;
  };
  flush();
  for (std::size_t i = 0; i < delivery.Values.size(); ++i) {
    if (delivery.Values[i].first == kRowMarkerName) {
      flush();
      continue;
    }
    row.Values.push_back(delivery.Values[i]);
    row.Items.push_back(i < delivery.Items.size() ? delivery.Items[i] : OleVariant());
  }
  flush();
  return rows;
}

THostDataSources::~THostDataSources() {
  try {
    Stop();
  } catch (...) {
    // The readers are joined by Stop before anything can fail.
  }
}

void THostDataSources::Attach(TPluginHost& host) {
  FHost = &host;
  host.SetDataHandler([this](const TReceivedData& data) { return Deliver(data); });
}

std::int32_t THostDataSources::Add(std::unique_ptr<TPort> port) {
  if (FStarted) throw EPortError("data sources are added before they start");
  auto source = std::make_unique<TSource>();
  source->Id = static_cast<std::int32_t>(FSources.size() + 1);
  source->Name = port->Name();
  source->Port = std::move(port);
  FSources.push_back(std::move(source));
  return FSources.back()->Id;
}

std::string THostDataSources::ConfigText() const {
  std::string text;
  for (const auto& s : FSources)
    text += std::to_string(s->Id) + ";" + s->Name + ";" + s->Name + " (mbus-host)\r\n";
  return text;
}

std::int32_t THostDataSources::Activate() {
  if (!FHost) throw EPluginHostError("no host attached");
  TkorParamsList params;
  params.Add("DATA-SOURCES-IN-CFG", OleVariant(ConfigText()));
  params.Add("RESULT", OleVariant(std::int32_t{1}));
  const std::uint8_t saved = FHost->Record().Mode;
  FHost->Record().Mode = kor::ModeBit(0) | kor::ModeBit(1);
  const std::int32_t result = FHost->Command("SET-STATE", params);
  FHost->Record().Mode = saved;
  return result;
}

void THostDataSources::Start() {
  if (FStarted) return;
  for (auto& s : FSources) {
    if (TryOpen(*s, true)) continue;
    if (!s->Port->Reconnects()) {
      for (auto& opened : FSources)
        if (opened->Open.exchange(false)) opened->Port->Close();
      std::lock_guard<std::mutex> lock(FLock);
      FActions.clear();
      throw EPortError("cannot open " + s->Name);
    }
  }
  FStarted = true;
  for (auto& s : FSources) {
    TSource* source = s.get();
    source->Reader = std::thread([this, source] { ReadLoop(*source); });
  }
}

// One attempt; on success the main thread is told (PORT-OPEN, notice 0x101).
bool THostDataSources::TryOpen(TSource& source, bool first) {
  try {
    source.Port->Open();
  } catch (const std::exception& e) {
    if (first) {
      Notice(std::string("cannot open ") + source.Name + ": " + e.what());
      std::lock_guard<std::mutex> lock(FLock);
      source.OpenError = e.what();
    }
    return false;
  }
  source.Open = true;
  source.EverOpened = true;
  Queue(TActionKind::Opened, source);
  if (!first) {
    std::lock_guard<std::mutex> lock(FLock);
    ++FCounters.Reopens;
  }
  return true;
}

void THostDataSources::ReadLoop(TSource& source) {
  plat::SetCurrentThreadName("port " + std::to_string(source.Id));
  std::vector<std::uint8_t> buffer(kReadChunk);
  bool reopening = !source.Open;
  while (!WaitStop(0)) {
    if (!source.Open) {
      if (reopening && WaitStop(FReopenDelayMs)) break;
      reopening = true;
      TryOpen(source, false);
      continue;
    }
    try {
      const std::size_t got = source.Port->Read(buffer.data(), buffer.size(), kReadWaitMs);
      if (got == 0) continue;
      {
        std::lock_guard<std::mutex> lock(FLock);
        FCounters.BytesIn += got;
        source.BytesIn += got;
      }
      if (FHost) FHost->ProcessBytes(source.Id, buffer.data(), got);
    } catch (const EPortError& e) {
      Dropped(source, e.what());
    } catch (const std::exception& e) {
      Dropped(source, e.what());
    } catch (...) {
      Dropped(source, "unknown failure");
    }
  }
}

void THostDataSources::Dropped(TSource& source, const std::string& why) {
  if (!source.Open.exchange(false)) return;
  source.Port->Close();
  {
    std::lock_guard<std::mutex> lock(FLock);
    ++FCounters.Drops;
  }
  Notice(source.Name + " dropped: " + why);
  Queue(TActionKind::Closed, source);
}

void THostDataSources::Queue(TActionKind kind, TSource& source) {
  std::lock_guard<std::mutex> lock(FLock);
  FActions.push_back({kind, &source});
}

void THostDataSources::Notice(const std::string& text) {
  std::lock_guard<std::mutex> lock(FLock);
  FNotices.push_back(text);
}

bool THostDataSources::WaitStop(unsigned ms) {
  std::unique_lock<std::mutex> lock(FLock);
  if (ms > 0)
    FStopSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FStopping; });
  return FStopping;
}

// The host tells the module as its own host does: the event first (which
// restarts the source's queue), then the port's state for its data source.
void THostDataSources::RunAction(const TAction& action) {
  if (!FHost) return;
  const bool opened = action.Kind == TActionKind::Opened;
  TkorParamsList params;
  params.Add("EVENT-TYPE", OleVariant(opened ? "PORT-OPEN" : "PORT-CLOSE"));
  params.Add("PORTSTR", OleVariant(action.Source->Name));
  FHost->Command("EVENT", params);
  FHost->NotifyPortState(action.Source->Id, opened);
}

void THostDataSources::Poll() {
  std::deque<TAction> actions;
  std::deque<TReceivedData> rows;
  std::deque<std::string> notices;
  {
    std::lock_guard<std::mutex> lock(FLock);
    actions.swap(FActions);
    rows.swap(FRows);
    notices.swap(FNotices);
  }
  for (const auto& text : notices)
    if (FNoticeHandler) FNoticeHandler(text);
  for (const auto& action : actions) {
    try {
      RunAction(action);
    } catch (const std::exception& e) {
      if (FNoticeHandler) FNoticeHandler(std::string("telling the plug-in failed: ") + e.what());
    }
  }
  for (const auto& row : rows)
    if (FRowHandler) FRowHandler(row);
}

void THostDataSources::Stop() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FStopping) return;
    FStopping = true;
  }
  FStopSignal.notify_all();
  for (auto& s : FSources)
    if (s->Reader.joinable()) s->Reader.join();
  Poll();
  for (auto& s : FSources) {
    if (!s->Open.exchange(false)) continue;
    s->Port->Close();
    if (FHost) FHost->NotifyPortState(s->Id, false);
  }
}

THostDataSources::TSource* THostDataSources::Find(std::int32_t id) {
  for (auto& s : FSources)
    if (s->Id == id) return s.get();
  return nullptr;
}

std::int32_t THostDataSources::Deliver(const TReceivedData& data) {
  if (data.Kind == kor::kSendParsedData) {
    std::vector<TReceivedData> rows = SplitRows(data);
    if (FDeliveryHandler) {
      const bool taken = FDeliveryHandler(rows);
      std::lock_guard<std::mutex> lock(FLock);
      if (!taken) {
        ++FCounters.RefusedDeliveries;
        return -1;
      }
      FCounters.Rows += static_cast<int>(rows.size());
      return 0;
    }
    std::lock_guard<std::mutex> lock(FLock);
    for (auto& row : rows) {
      ++FCounters.Rows;
      FRows.push_back(std::move(row));
    }
    return 0;
  }
  if (data.Kind != kor::kSendRawData) return -1;
  TSource* source = FStarted ? Find(data.DataSourceId) : nullptr;
  if (!source || !source->Open) {
    std::lock_guard<std::mutex> lock(FLock);
    ++FCounters.RefusedWrites;
    return -1;
  }
  try {
    if (const int rate = BaudrateSwitch(data.Raw)) {
      source->Port->SetBaudrate(rate);
      std::lock_guard<std::mutex> lock(FLock);
      ++FCounters.SpeedSwitches;
    } else {
      source->Port->Write(reinterpret_cast<const std::uint8_t*>(data.Raw.data()), data.Raw.size());
      std::lock_guard<std::mutex> lock(FLock);
      FCounters.BytesOut += data.Raw.size();
      source->BytesOut += data.Raw.size();
    }
  } catch (const std::exception&) {
    // The reading thread notices the drop and reports it.
    std::lock_guard<std::mutex> lock(FLock);
    ++FCounters.RefusedWrites;
    return -1;
  }
  return static_cast<std::int32_t>(data.Raw.size());
}

std::vector<TPortReport> THostDataSources::PortReports() const {
  std::vector<TPortReport> reports;
  std::lock_guard<std::mutex> lock(FLock);
  for (const auto& s : FSources) {
    TPortReport report;
    report.Name = s->Name;
    report.Opened = s->EverOpened;
    report.OpenError = s->OpenError;
    report.BytesIn = s->BytesIn;
    report.BytesOut = s->BytesOut;
    reports.push_back(std::move(report));
  }
  return reports;
}

THostDataSources::TCounters THostDataSources::Counters() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FCounters;
}

}  // namespace host
