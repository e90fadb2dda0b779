// The M-Bus worker: one per data source. It owns one libmbus handle and runs
// M-Bus commands one at a time (requests, disconnects and device searches). It never opens a port:
// the handle's hooks send bytes through the host (the module's SendRawData) and take received bytes
// from the data source's receive buffer, which the host fills through ProcessData. Finished rows
// wait in Rows for the data source to deliver them. See docs/mbus-worker.md.
//
// Threads: QueueRequest, QueueDisconnect, IsBusy, CancelWait and Stop from any
// thread; commands, the library and every hook run on the worker's own
// thread, which holds the delivery lock (Lock) for each command. The hooks
// touch the data source only while its Signature is intact; they take the
// queue controller's RunLock (inside the delivery lock, as the lock order
// says). StatusText's lock guards its text (search progress and result
// list, read by the module's status event on the host's thread), Rows,
// PacketText and PendingTimePoints (the worker appends, the data source's
// tick takes them). ScanList, ScanCheckText, ScanFoundText and FoundCount
// belong to the worker's thread. Cancel, ScanPosition and the wait limits
// are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
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
class TkorMbusDataRows;
class TTextResources;
class TMbusThread;
struct TMbusApi;

class TMbusCommand : public TObject {
 public:
  enum : std::uint8_t { kDisconnect = 1, kRequest = 2, kPrimaryScan = 3, kSecondaryScan = 4 };
  std::int32_t Id = 0;
  std::uint8_t Kind = 0;
  TRequestParameters Params;  // requests
  std::int32_t Arg1 = 0;      // scans: first address, or the identification number
  std::int32_t Arg2 = 0;      // scans: last address
};

// (sender, command id, error text, success, command); on the worker's thread.
using TMbusCommandDoneEvent =
    std::function<void(TMbusThread& sender, std::int32_t id, const std::string& error, bool success,
                       TMbusCommand& command)>;

// The mask a request's address text selects by: "" for a primary address
// (primary receives it), else the 16-character mask; false when the text is
// no address at all (longer than 16 characters; a 16-character mask is
// checked by the library, not here). A comment in parentheses is cut off.
bool MbusAddressOfDevice(const std::string& device, std::int32_t& primary, std::string& mask);

class TMbusThread : public TProcessDataThread {
 public:
  static constexpr std::uint8_t kIoModeHooks = 2;
  static constexpr std::int32_t kNetworkLayerAddress = 253;
  static constexpr std::int32_t kMaxReplyFrames = 16;
  static constexpr const char* kPacketSeparator = "<{[::]}>";

  // owner: the data source whose buffer and queue the hooks use (not
  // owned; checked through its Signature; it must outlive the worker);
  // module: the plug-in module that logs and talks to the host (not owned);
  // messages: the module's texts. The thread runs on return.
  TMbusThread(TDataSourceScheduled* owner, TkorPlugin* module, const TTextResources* messages);
  // Stops the thread; the handle is released with mbus_mem_free.
  ~TMbusThread() override;

  // -1 while a search runs; else the id of the queued request command.
  std::int32_t QueueRequest(const TRequestParameters& params);
  // A device search: mode 2 full secondary scan, 3 secondary scan of the
  // identification number first (0: full), any other a primary scan of the
  // addresses first to last. ScanPosition is set (first, or 0) and
  // StatusText emptied before the command is queued; returns its id.
  std::int32_t QueueScan(std::int32_t mode, std::uint32_t first, std::uint32_t last);
  // Queues a disconnect (the next command sets up a fresh handle); never raises.
  virtual void QueueDisconnect() noexcept;
  bool IsBusy() const { return CurrentCommand.load() != nullptr; }
  // Stop(true) also sets Cancel and wakes a wait in the receive hook.
  void Stop(bool value) override;
  // Ends the running command's wait for bytes (its exchange fails).
  void CancelWait() noexcept;
  // Whether the worker holds a connected handle (for checks).
  bool HasHandle() const { return FHasHandle; }

  // The hooks and callbacks every worker puts into its handle, typed as the
  // library declares the handle's fields (the library calls them through
  // these types). Each belongs to the worker that is the handle's user
  // pointer and refuses or ignores a handle without one.
  struct THandleHooks {
    mbus_open_hook Open;
    mbus_close_hook Close;
    mbus_send_hook Send;
    mbus_recv_hook Receive;
    mbus_baudrate_hook Baudrate;
    mbus_scan_progress_cb Progress;
    mbus_found_cb Found;
  };
  static THandleHooks HandleHooks() noexcept;

  TMbusCommandDoneEvent OnCommandDone;  // set by the owner before the first command

  std::atomic<TMbusCommand*> CurrentCommand{nullptr};
  TThreadString StatusText;  // search status; its lock guards the four below
  TkorParamsList Rows;       // finished rows, each ended by a row marker
  std::string PacketText;    // raw bytes of the exchanges whose rows wait, "<{[::]}>"-separated
  // The time points the waiting rows carry, recorded once they are delivered.
  std::vector<TPendingTimePoint> PendingTimePoints;
  // The time points of rows the data source took and has not recorded yet
  // (offered and refused, or being handed over): kept here by the data
  // source so that a read meanwhile does not hand the same rows over again.
  std::vector<TPendingTimePoint> WaitingTimePoints;

  std::atomic<bool> Cancel{false};
  std::atomic<std::int32_t> ScanPosition{-1};  // -1: no search runs

  // The running search (worker thread): its result list, the texts of the
  // last probed mask and the last device found, the devices found.
  std::string ScanList;
  std::string ScanCheckText;
  std::string ScanFoundText;
  std::int32_t FoundCount = 0;

  // The receive hook's limits (ms): since the last new byte and in all, and
  // the same while a search runs. Tests and the fuzz harness shorten them.
  std::atomic<std::uint32_t> ReceiveIdleMs{1500};
  std::atomic<std::uint32_t> ReceiveTotalMs{3000};
  std::atomic<std::uint32_t> SearchIdleMs{2000};
  std::atomic<std::uint32_t> SearchTotalMs{5000};

 protected:
  void DoStart() override;
  void DoStop() override;

 private:
  std::int32_t NextCommandId();
  std::int32_t Push(TMbusCommand* command);
  // The processing handler: one command, steps 1 to 6.
  void ExecuteCommand(TMbusCommand& command);
  bool RunCommand(TMbusCommand& command);
  // Creates, fills and connects the handle; false (no handle) on failure.
  bool SetUpHandle();
  void DropHandle() noexcept;
  bool RunRequest(const TRequestParameters& given);
  bool SelectDevice(const std::string& device, std::int32_t& address);
  bool ExchangeFirstFrame(std::int32_t address, TkorMbusDataRows& rows,
                          const TRequestParameters& params);
  bool ExchangeReply(std::int32_t address, TkorMbusDataRows& rows,
                     const TRequestParameters& params);
  void FilterAndQueue(TkorMbusDataRows& rows, const TRequestParameters& params);
  // Queues the rows with their packet; latest > 0 waits as the key's time
  // point until the rows are delivered.
  void QueueRows(TkorMbusDataRows& rows, const std::string& timePointKey, double latest);
  std::string ErrorText();
  bool SearchRuns() const noexcept;
  void Log(std::uint8_t level, const std::string& text) noexcept;

  // Hooks (the library's calling convention; the worker is the handle's
  // user pointer). Each catches everything.
  static TMbusThread* Of(mbus_handle* handle) noexcept;
  bool OwnerAlive() const noexcept;
  std::int32_t SendToHost(const void* bytes, std::int32_t length);
  static int MBUS_CALL HookOpen(mbus_handle* handle) noexcept;
  static int MBUS_CALL HookClose(mbus_handle* handle) noexcept;
  static int MBUS_CALL HookSend(mbus_handle* handle, const unsigned char* bytes, int length,
                                int* sent) noexcept;
  static int MBUS_CALL HookReceive(mbus_handle* handle, unsigned char* buffer, int capacity,
                                   int* received) noexcept;
  static int MBUS_CALL HookBaudrate(mbus_handle* handle, int baudrate) noexcept;
  int Receive(unsigned char* buffer, int capacity, int* received);

  // The device search (MbusThreadSearch.cpp).
  bool RunScan(const TMbusCommand& command);
  void PrimaryScan(std::uint32_t first, std::uint32_t last);
  void ScanPrimaryAddress(std::int32_t address);
  // The reply of a ping with retries on silence: the library's answer.
  int PingAndReceive(std::int32_t address, mbus_frame& reply);
  void SecondaryScan(std::uint32_t first, std::uint32_t last);
  // Steps 4 of a search: the result list becomes the status; ScanPosition -1.
  void EndScan() noexcept;
  void SetScanStatus();
  static void MBUS_CALL ScanProgress(mbus_handle* handle, const char* mask) noexcept;
  static void MBUS_CALL DeviceFound(mbus_handle* handle, mbus_frame* frame) noexcept;
  void OnScanProgress(const std::string& mask);
  void OnDeviceFound(mbus_frame* frame);

  TDataSourceScheduled* const FOwner;
  TkorPlugin* const FModule;
  const TTextResources* const FMessages;
  std::int32_t FCommandCounter = 0;  // under FCounterLock
  std::mutex FCounterLock;
  mbus_handle* FHandle = nullptr;  // worker thread only
  std::atomic<bool> FHasHandle{false};
  std::string FExchangeText;  // worker thread only
  std::vector<char> FTextBuffer = std::vector<char>(20772);
};
