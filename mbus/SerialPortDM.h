// TSerialPortDM: the M-Bus data source, one per host data source assigned to
// the plug-in module. It joins the scheduled data source (queue controller,
// receive buffer), the M-Bus worker it owns, and the module that hands its
// results to the host. See docs/mbus-module.md.
//
// Delivery: the worker leaves finished rows, their packet texts and the
// time points they carry under the lock of Worker->StatusText; each tick
// takes them into a waiting batch and offers every waiting batch to the
// host. Only an accepted delivery records its time points (lastdate.txt);
// a refused one stays waiting for the next tick, at most kMaxWaitingRows
// rows (older batches are dropped, unrecorded, with a log line).
//
// Threads:
// - construction, destruction, SendRequest, RequestTimedOut, ReportError,
//   IsInactive, IsPaused and the delivery run on the queue's owner thread
//   (the thread that created the source; the host's calling thread for
//   FlushResults and destruction);
// - CommandDone runs on the worker's thread; PendingResults is atomic;
// - PortStateChanged runs on the host's calling thread (ProcessData).
// The waiting batches are guarded by FDeliveryLock (taken before the
// worker's StatusText lock).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/parser_DataSourceDM.h"
#include "mbus/LastTimePoints.h"
#include "mbus/MbusThread.h"

class TaPlugin;

// One take of the worker's finished rows, waiting for the host.
struct TWaitingBatch {
  std::unique_ptr<TkorParamsList> Rows = std::make_unique<TkorParamsList>();
  std::string PacketText;
  std::vector<TPendingTimePoint> TimePoints;
  std::int32_t RowCount = 0;
};

class TSerialPortDM : public TDataSourceScheduled {
 public:
  // Rows kept for a host that refuses deliveries; older batches go first.
  static constexpr std::int32_t kMaxWaitingRows = 1000;

  // Owned by module's component tree; starts its worker, the queue stays
  // stopped until the configuration is applied.
  explicit TSerialPortDM(TaPlugin& module);
  // The queue stops first (no tick, no new request), then the worker (with
  // cancel), then the queue is freed; rows still waiting are delivered once
  // more when the module is loaded and reaches the host, else dropped with
  // their time points unrecorded.
  ~TSerialPortDM() override;

  // Also inactive while being destroyed and without libmbus.
  bool IsInactive() override;
  // Delivers waiting results first; then the port is closed, a search
  // owns the source or the worker still runs a command.
  bool IsPaused() override;
  void PortStateChanged(bool opened) override;

  // Takes the worker's finished rows and offers everything waiting to the
  // host (the start of every tick; also UNLOAD). Never raises.
  void DeliverResults() noexcept;
  // The rows waiting for a host that refused them (owner thread).
  std::int32_t WaitingRowCount() const;

  // The search id: this source's serial number as 8 upper-case hex digits,
  // unique among all sources of the process's life.
  std::string SearchId() const;
  // Calls fn with the live source whose search id is id, under the lock of
  // the process-wide list of live sources (a source leaves it first thing
  // in its destructor); false when there is none. For a module whose search
  // runs on another module's source. fn must not free a source.
  static bool WithLiveSource(const std::string& id, const std::function<void(TSerialPortDM&)>& fn);
  // The same for the last created live source of module.
  static bool WithLastSourceOf(const TaPlugin& module,
                               const std::function<void(TSerialPortDM&)>& fn);

  // From the queue's OnError: logs the text with the error's message.
  void ReportError(const std::string& context, const std::exception& error,
                   const std::string& text);

  TMbusThread* Worker = nullptr;  // owned
  std::atomic<std::int32_t> PendingResults{0};
  std::atomic<bool> Searching{false};
  const std::uint32_t Serial;  // from a per-process counter, never reused

 protected:
  bool SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                   std::int32_t& requestId) override;
  void RequestTimedOut(TBasicRequestItem& item, bool& retry) override;
  void QueueError(const std::string& context, const std::exception& error,
                  const std::string& text) override;

 private:
  void CommandDone(std::int32_t id, bool success);
  // Moves the worker's rows, packet texts and time points into a new batch
  // (also an empty one when a request completed with no row left).
  void TakeWorkerResults();
  bool Offer();
  void RecordTimePoints(const std::vector<TPendingTimePoint>& points);
  void ShowWaitingTimePoints();
  void DropOverflow();
  std::int32_t CountWaitingRows() const;
  void StopWorker() noexcept;

  TaPlugin& FModule;
  // Serialises deliveries: the tick's, UNLOAD's and the destructor's.
  mutable std::mutex FDeliveryLock;
  std::deque<TWaitingBatch> FWaiting;  // under FDeliveryLock
  bool FRefused = false;               // the last offer was refused; under FDeliveryLock
};
