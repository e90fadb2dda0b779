// The scheduled data source: one host data source (a port or connection the
// host manages, known by its number) served by one plug-in module. It owns
// the source's queue controller and the receive buffer that the host's bytes
// go into for the source's worker to read. Descendants (the M-Bus serial-port
// data source) add the worker and override the virtual operations below.
//
// Threads:
// - construction, destruction, IsInactive, IsPaused, Start and the queue's
//   events run on the thread that created the source (the queue's owner);
// - DataArrived runs on the host's calling thread (serialised by FDataLock;
//   DataWatch belongs to it); the worker reads FBuffer, whose own lock
//   orders the two;
// - TriggerEvent may come from the host's calling thread (the queue's locks);
// - another thread holding a reference must check Signature first and leave
//   the source alone unless it reads kSignature; it reaches the queue
//   controller only through WithQueue (checking Signature and then using
//   FQueue would race with StopQueue freeing it).
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>

#include "framework/Component.h"
#include "framework/SyncObjs.h"
#include "framework/WaitableEvent.h"
#include "framework/korTimeout.h"
#include "framework/parser_QueueController.h"

class TFIFOStream;
class TkorParamsList;

// What a data source asks of the plug-in module that owns it. The module
// class implements it (State: the module's state flags 0..7).
class IDataSourceOwner {
 public:
  virtual bool DataSourceOwnerState(int index) const = 0;

 protected:
  ~IDataSourceOwner() = default;
};

// The part of a host ProcessData call a data source reads: the call record's
// Mode and its InData block (Kind, Value, Size), copied by the module.
struct TDataArrival {
  std::uint8_t Mode = 0;     // bit n = element n
  std::uint8_t Kind = 0;     // InData.Kind
  std::uintptr_t Value = 0;  // InData.Value: the bytes' address, or a notice
  std::uint32_t Size = 0;    // InData.Size: number of bytes
};

class TDataSourceScheduled : public TComponent {
 public:
  static constexpr std::uint32_t kSignature = 0x0122FE66;
  static constexpr std::uint8_t kKindPortState = 7;
  static constexpr std::uintptr_t kPortOpened = 0x101;
  static constexpr std::uintptr_t kPortClosed = 0x102;
  static constexpr std::uint8_t kModeData = 1;          // Mode element of a data delivery
  static constexpr std::uint32_t kStaleDataMs = 15000;  // older buffered bytes are dropped

  // owner: the plug-in module, not owned (may be null: the source is inactive).
  // componentOwner, when given, frees the source with itself.
  explicit TDataSourceScheduled(IDataSourceOwner* owner, TComponent* componentOwner = nullptr);
  // StopQueue, then the buffer. A descendant calls StopQueue first thing in
  // its own destructor, before it stops its worker.
  ~TDataSourceScheduled() override;

  IDataSourceOwner* const FOwner;
  TQueueControllerTimerEx* FQueue;  // owned; none after StopQueue
  TFIFOStream* FBuffer = nullptr;   // owned; none until CreateBuffer

  std::int32_t DataSourceId = 0;
  std::string SourceName;
  std::string SourceFullName;
  std::atomic<std::uint32_t> Signature{kSignature};
  std::atomic<bool> PortClosed{false};
  TTickTimeout DataWatch;  // restarted by every data block (under FDataLock)
  // Auto-reset; set by DataArrived after it wrote bytes into FBuffer and by
  // StopQueue. The worker that waits for bytes sleeps on it instead of
  // polling the buffer; whoever cancels that wait (the worker's Stop) sets
  // it too. One waiter: the source's worker.
  TWaitableEvent DataEvent{false, false};

  // True without an owner or while the owner's state flag 0 is off.
  virtual bool IsInactive();
  // True while the port is closed. A descendant delivers its results here.
  virtual bool IsPaused();
  // The host reported the port opened or closed; nothing here.
  virtual void PortStateChanged(bool opened);
  virtual void Start(bool restart);
  virtual void TriggerEvent(const std::string& name, bool all, const TkorParamsList* params);

  // The receive buffer: size bytes, dropping at least 64 old bytes when a
  // block does not fit. Only once.
  void CreateBuffer(std::uint32_t size);
  // Marks the source dead (Signature 0), then frees the queue once no other
  // thread uses it (WithQueue).
  void StopQueue();
  // How another thread (the worker's hooks and completions) reaches FQueue:
  // runs f(*FQueue) while the source is alive and keeps StopQueue from
  // freeing the controller meanwhile. False, and f does not run, once the
  // source is going. f must not call WithQueue or StopQueue.
  template <class F>
  bool WithQueue(F&& f) {
    std::lock_guard<std::mutex> lock(FQueueLock);
    if (Signature != kSignature || FQueue == nullptr) return false;
    f(*FQueue);
    return true;
  }
  // One ProcessData call for this source. Never raises: a failure loses the
  // block. Calls without Mode element 1 are ignored.
  void DataArrived(const TDataArrival& call) noexcept;

 protected:
  // The queue's events, wired to the controller by the constructor. Called
  // on the queue's owner thread with the queue's locks held.
  // Sends item; see TQueueExecuteEvent. Nothing is sent here.
  virtual bool SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                           std::int32_t& requestId);
  virtual void RequestTimedOut(TBasicRequestItem& item, bool& retry);
  virtual void QueueError(const std::string& context, const std::exception& error,
                          const std::string& text);
  virtual void RequestScheduled(TScheduledEvent& event, TBasicRequestItem& item);

 private:
  TCriticalSection FDataLock;  // serialises DataArrived
  // Held by WithQueue and by StopQueue while it takes FQueue away. Lock
  // order: after the worker's delivery lock, before the request list's.
  std::mutex FQueueLock;
};
