// The M-Bus worker: one per data source. It owns one libmbus handle and runs
// M-Bus commands one at a time (requests, disconnects, and later device
// searches). It never opens a port: the handle's hooks send bytes through
// the host (the module's SendRawData) and take received bytes from the data
// source's receive buffer, which the host fills through ProcessData.
// Finished rows wait in Rows for the data source to deliver them.
//
// Threads: QueueRequest, QueueDisconnect, IsBusy and Stop from any thread;
// commands, the library and every hook run on the worker's own thread.
// StatusText's lock guards Rows, PacketText and PendingTimePoints (the
// worker appends, the data source's tick takes them). Cancel and
// ScanPosition are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Thread_ProcessData.h"
#include "framework/Thread_String.h"
#include "mbus/LastTimePoints.h"
#include "mbus/RequestConfig.h"
#include "mbus/mbus.h"
#include "params/korParamLst.h"

class TDataSourceScheduled;
class TkorPlugin;
class TTextResources;
class TMbusThread;

class TMbusCommand : public TObject {
 public:
  enum : std::uint8_t { kDisconnect = 1, kRequest = 2, kPrimaryScan = 3, kSecondaryScan = 4 };
  std::int32_t Id = 0;
  std::uint8_t Kind = 0;
  TRequestParameters Params;  // requests
  std::int32_t Arg1 = 0;      // scans: first address, or the identification number
  std::int32_t Arg2 = 0;      // scans: last address
};

// (sender, command id, error text, success, command)
using TMbusCommandDoneEvent = std::function<void(TMbusThread& sender, std::int32_t id,
                                                 const std::string& error, bool success,
                                                 TMbusCommand& command)>;

class TMbusThread : public TProcessDataThread {
 public:
  // owner: the data source whose buffer and queue the hooks use (not
  // owned; checked through its Signature); module: the plug-in module that
  // logs and talks to the host (not owned); messages: the module's texts.
  TMbusThread(TDataSourceScheduled* owner, TkorPlugin* module, const TTextResources* messages);
  // Stops the thread; the handle is released with mbus_mem_free.
  ~TMbusThread() override;

  // -1 while a search runs; else the id of the queued request command.
  std::int32_t QueueRequest(const TRequestParameters& params);
  // Queues a disconnect (the next command sets up a fresh handle); never raises.
  virtual void QueueDisconnect() noexcept;
  bool IsBusy() const { return CurrentCommand.load() != nullptr; }
  // Stop(true) also sets Cancel, ending a wait in the receive hook.
  void Stop(bool value) override;

  TMbusCommandDoneEvent OnCommandDone;  // set by the owner before the first command

  std::atomic<TMbusCommand*> CurrentCommand{nullptr};
  TThreadString StatusText;  // search status; its lock guards the three below
  TkorParamsList Rows;       // finished rows, each ended by a row marker
  std::string PacketText;    // raw bytes of the exchanges whose rows wait, "<{[::]}>"-separated
  // The time points the waiting rows carry, recorded once they are delivered.
  std::vector<TPendingTimePoint> PendingTimePoints;

  std::atomic<bool> Cancel{false};
  std::atomic<std::int32_t> ScanPosition{-1};  // -1: no search runs

 protected:
  void DoStart() override;
  void DoStop() override;

 private:
  std::int32_t NextCommandId();
  void Execute(TMbusCommand& command);

  TDataSourceScheduled* const FOwner;
  TkorPlugin* const FModule;
  const TTextResources* const FMessages;
  std::int32_t FCommandCounter = 0;  // under FCounterLock
  std::mutex FCounterLock;
  mbus_handle* FHandle = nullptr;  // worker thread only
  std::string FExchangeText;       // worker thread only
  std::vector<char> FTextBuffer = std::vector<char>(20772);
};
