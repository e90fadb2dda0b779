// The host's data sources: one port per data source, given to the plug-in
// the way the real host does it. After LOAD the host sends the list
// ("DATA-SOURCES-IN-CFG", lines "id;name;full name") with the state change
// that activates the module (states 0 and 1); a reading thread per source
// hands the port's bytes to ProcessData; the bytes the plug-in sends (kind
// 129) go to the port of their data source, "<<PORT=baud>>" switching its
// speed; the rows it sends (kind 9) wait for the main thread. A dropped
// connection is reported as the port-state notice 0x102 and the event
// "PORT-CLOSE", a reopened one as "PORT-OPEN" and the notice 0x101.
//
// Threads:
// - the main thread (the one that loaded the plug-in and pumps its
//   messages) calls Attach, Add, Activate, Start, Poll and Stop; Poll runs
//   the plug-in commands and the row handler;
// - each source's reading thread opens, reads and reopens its port and
//   calls ProcessData;
// - Deliver runs on the plug-in's threads (its workers, its timers).
// FLock guards the queues (rows, actions, notices), the counters and each
// source's open error and bytes; the
// sources' list is fixed once Start runs; each source's open flag is atomic.
// A port guards its own connection (a reading thread and a writing worker
// use it at once).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/PluginHost.h"
#include "host/ReadOutcome.h"
#include "host/ports/Port.h"

namespace host {

// "<<PORT=2400>>": the baud rate the plug-in asks for, or 0 for other bytes.
int BaudrateSwitch(const std::string& bytes);

// One kind 9 delivery holds rows separated by "$NEW_ROW$" items: each row
// on its own, without the markers; empty rows dropped.
std::vector<TReceivedData> SplitRows(const TReceivedData& delivery);

class THostDataSources {
 public:
  using TRowHandler = std::function<void(const TReceivedData& row)>;
  // A line for the user (port opened, dropped, reopened).
  using TNoticeHandler = std::function<void(const std::string& text)>;

  THostDataSources() = default;
  // Stop.
  ~THostDataSources();
  THostDataSources(const THostDataSources&) = delete;
  THostDataSources& operator=(const THostDataSources&) = delete;

  // The host whose plug-in the sources serve; sets its data handler, so
  // call it before the plug-in is created. This object must outlive the
  // plug-in instance (Unload it first).
  void Attach(TPluginHost& host);
  void SetRowHandler(TRowHandler handler) { FRowHandler = std::move(handler); }
  // Takes a delivery's rows at once, on the thread that hands them over
  // (instead of queueing them for Poll): false refuses the delivery (the
  // plug-in keeps the rows and offers them again). Before Start.
  using TDeliveryHandler = std::function<bool(const std::vector<TReceivedData>& rows)>;
  void SetDeliveryHandler(TDeliveryHandler handler) { FDeliveryHandler = std::move(handler); }
  void SetNoticeHandler(TNoticeHandler handler) { FNoticeHandler = std::move(handler); }
  // Retry pause of a port that would not open or dropped.
  void SetReopenDelay(unsigned ms) { FReopenDelayMs = ms; }

  // A data source with its port; identifiers count from 1, the name is the
  // port's text. Before Start.
  std::int32_t Add(std::unique_ptr<TPort> port);
  std::size_t Count() const { return FSources.size(); }
  // "DATA-SOURCES-IN-CFG": one line per source, CR LF after each.
  std::string ConfigText() const;
  // SET-STATE with the list and states 0 and 1 on; the command's result.
  std::int32_t Activate();
  // Opens every port (a port that cannot open raises EPortError, except one
  // that reconnects: its thread keeps trying) and starts the readers.
  void Start();
  // Main thread: the queued commands (PORT-OPEN/PORT-CLOSE with their
  // notices) and the rows that arrived, to the row handler.
  void Poll();
  // Stops the readers and closes the ports (notice 0x102 for each open one).
  // Idempotent. Call before the plug-in unloads.
  void Stop();

  // The plug-in's data (TDataHandler): kind 129 to the port, kind 9 queued
  // row by row.
  std::int32_t Deliver(const TReceivedData& data);

  // Counters for tests and the summary line.
  struct TCounters {
    std::uint64_t BytesIn = 0, BytesOut = 0;
    int Rows = 0, Drops = 0, Reopens = 0, SpeedSwitches = 0, RefusedWrites = 0;
    int RefusedDeliveries = 0;
  };
  TCounters Counters() const;
  // Each port over the run so far: opened at least once (else why its
  // first attempt failed), its bytes each way.
  std::vector<TPortReport> PortReports() const;

 private:
  struct TSource {
    std::int32_t Id = 0;
    std::string Name;
    std::unique_ptr<TPort> Port;
    std::atomic<bool> Open{false};
    std::atomic<bool> EverOpened{false};
    std::thread Reader;
    // Guarded by FLock.
    std::string OpenError;
    std::uint64_t BytesIn = 0, BytesOut = 0;
  };
  enum class TActionKind { Opened, Closed };
  struct TAction {
    TActionKind Kind;
    TSource* Source;
  };

  void ReadLoop(TSource& source);
  bool TryOpen(TSource& source, bool first);
  void Dropped(TSource& source, const std::string& why);
  void Queue(TActionKind kind, TSource& source);
  void RunAction(const TAction& action);
  void Notice(const std::string& text);
  bool WaitStop(unsigned ms);
  TSource* Find(std::int32_t id);

  TPluginHost* FHost = nullptr;
  TRowHandler FRowHandler;
  TDeliveryHandler FDeliveryHandler;
  TNoticeHandler FNoticeHandler;
  unsigned FReopenDelayMs = 1000;
  std::vector<std::unique_ptr<TSource>> FSources;
  std::atomic<bool> FStarted{false};  // set once the readers run (read by Deliver)

  mutable std::mutex FLock;  // guards the fields below
  std::condition_variable FStopSignal;
  bool FStopping = false;
  std::deque<TReceivedData> FRows;
  std::deque<TAction> FActions;
  std::deque<std::string> FNotices;
  TCounters FCounters;
};

}  // namespace host
