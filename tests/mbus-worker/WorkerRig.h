// The M-Bus worker against the simulated segment, in-process, with the whole
// byte path real: the worker's send hook goes through the module's
// SendRawData to the host entry point, which here writes the bytes into a
// BusSegment; a feeder thread plays the host's ProcessData, handing the
// segment's replies to the data source's DataArrived in pieces and with
// delays. libmbus is the real binding, loaded from the build's folder.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/parser_DataSourceDM.h"
#include "host/bus/Segment.h"
#include "mbus/MbusThread.h"
#include "mbus/mbus_api.h"
#include "params/PluginDM_TextResources.h"
#include "plugin/korPluginModule.h"

namespace mbusworker {

// One finished command as the done event reported it.
struct TDone {
  std::int32_t Id = 0;
  std::string Error;
  bool Success = false;
};

struct TTestOwner : IDataSourceOwner {
  bool DataSourceOwnerState(int index) const override { return index == 0; }
};

// The data source as the M-Bus data source wires it to its worker: the
// controller's sends become worker requests (the item's name is the device).
class TRigSource : public TDataSourceScheduled {
 public:
  using TDataSourceScheduled::TDataSourceScheduled;
  TMbusThread* Worker = nullptr;  // set once the worker exists

 protected:
  bool SendRequest(TBasicRequestItem& item, std::uint32_t& timeout,
                   std::int32_t& requestId) override;
};

// How the feeder hands the segment's bytes over.
struct TFeedPlan {
  std::size_t Piece = 0;                    // bytes per DataArrived (0: all there are)
  std::chrono::milliseconds PieceDelay{0};  // before each piece
  std::chrono::milliseconds FirstDelay{0};  // before the first piece of a reply
};

class TWorkerRig {
 public:
  explicit TWorkerRig(bus::BusTiming timing = bus::BusTiming{false, 2400});
  ~TWorkerRig();

  // The limits of the worker's receive hook; short, so silence costs little.
  void SetLimits(std::uint32_t idleMs, std::uint32_t totalMs);
  void SetFeed(const TFeedPlan& plan);

  // Queues the request and waits for its completion (within the hang limit).
  TDone Request(const TRequestParameters& params);
  TDone Request(const std::string& device);
  std::int32_t Queue(const std::string& device);
  TDone WaitDone(std::int32_t id);

  // The rows the worker holds for delivery, split at the row markers.
  std::vector<std::map<std::string, OleVariant>> TakeRows();
  std::vector<std::vector<std::string>> RowNames();
  std::string LogText();
  std::int32_t HostWrites() const { return FHostWrites; }
  std::size_t DoneCount();

  std::atomic<bool> RefuseWrites{false};  // the host answers -1
  bus::BusSegment Segment;
  TTestOwner Owner;
  TkorPlugin Module;
  TTextResources Texts;
  std::unique_ptr<TRigSource> Source;
  std::unique_ptr<TMbusThread> Worker;  // destroyed before Source

  // The host's entry point.
  static std::int32_t KOR_STDCALL SendDataEx(std::int32_t moduleIndex, std::int32_t dataSourceId,
                                             std::int32_t count, std::int32_t, std::int32_t kind,
                                             void* data, std::int32_t last);

 private:
  void Feed();
  void HandOver(const std::uint8_t* bytes, std::size_t count);

  std::mutex FLock;  // guards FDone and FPlan
  std::condition_variable FChanged;
  std::vector<TDone> FDone;
  TFeedPlan FPlan;
  std::atomic<std::int32_t> FHostWrites{0};
  std::atomic<bool> FStop{false};
  std::thread FFeeder;
};

// The folder the test program's libmbus lives in (with a separator).
std::string LibraryFolder();

// A variable-structure reply with a current volume and, at storage 1, a
// stored volume with its time point (date and time, type F).
bus::Bytes StoredTelegram(std::uint8_t primary, const bus::SecondaryAddress& address, int year,
                          int month, int day, int hour, int minute);

}  // namespace mbusworker
