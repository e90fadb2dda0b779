#include "framework/parser_DataSourceDM.h"

#include <mutex>

#include "framework/FIFOStream.h"

namespace {
constexpr std::uint32_t kBufferDropChunk = 64;
}

TDataSourceScheduled::TDataSourceScheduled(IDataSourceOwner* owner, TComponent* componentOwner)
    : TComponent(componentOwner), FOwner(owner), FQueue(new TQueueControllerTimerEx(this)) {
  FQueue->OnExecute = [this](TQueueController&, TBasicRequestItem& item, std::uint32_t& timeout,
                             std::int32_t& requestId) {
    return SendRequest(item, timeout, requestId);
  };
  FQueue->OnTimeout = [this](TQueueController&, TBasicRequestItem& item, bool& retry) {
    RequestTimedOut(item, retry);
  };
  FQueue->OnError = [this](TQueueController&, const std::string& context,
                           const std::exception& error,
                           const std::string& text) { QueueError(context, error, text); };
  FQueue->OnSchedule = [this](TQueueController&, TScheduledEvent& event, TBasicRequestItem& item) {
    RequestScheduled(event, item);
  };
}

TDataSourceScheduled::~TDataSourceScheduled() {
  StopQueue();
  delete FBuffer;
  FBuffer = nullptr;
}

bool TDataSourceScheduled::IsInactive() {
  return FOwner == nullptr || !FOwner->DataSourceOwnerState(0);
}

bool TDataSourceScheduled::IsPaused() {
  return PortClosed;
}

void TDataSourceScheduled::PortStateChanged(bool) {}

void TDataSourceScheduled::Start(bool restart) {
  if (FQueue != nullptr) FQueue->Start(restart);
}

void TDataSourceScheduled::TriggerEvent(const std::string& name, bool all,
                                        const TkorParamsList* params) {
  if (FQueue != nullptr) FQueue->TriggerEvent(name, all, params);
}

void TDataSourceScheduled::CreateBuffer(std::uint32_t size) {
  std::lock_guard<TCriticalSection> lock(FDataLock);
  if (FBuffer == nullptr) FBuffer = new TFIFOStream(size, kBufferDropChunk, true);
}

void TDataSourceScheduled::StopQueue() {
  Signature = 0;
  TQueueControllerTimerEx* queue = nullptr;
  {
    // Waits for a worker that is using the controller right now.
    std::lock_guard<std::mutex> lock(FQueueLock);
    queue = FQueue;
    FQueue = nullptr;
  }
  DataEvent.SetEvent();  // a worker waiting for bytes sees the source dying
  delete queue;
}

void TDataSourceScheduled::DataArrived(const TDataArrival& call) noexcept {
  if ((call.Mode & (1u << kModeData)) == 0) return;
  try {
    std::lock_guard<TCriticalSection> lock(FDataLock);
    if (DataWatch.ExpiredAfter(kStaleDataMs) && FBuffer != nullptr) FBuffer->Clear();
    if (call.Kind == kKindPortState) {
      if (call.Value == kPortOpened || call.Value == kPortClosed) {
        PortClosed = call.Value != kPortOpened;
        PortStateChanged(call.Value == kPortOpened);
      }
      return;
    }
    DataWatch.Restart();
    // A block without an address has no bytes to take.
    if (FBuffer != nullptr && call.Size > 0 && call.Value != 0) {
      const auto* bytes =
          reinterpret_cast<const void*>(call.Value);  // NOLINT(performance-no-int-to-ptr)
      FBuffer->Write(bytes, call.Size);
      DataEvent.SetEvent();
    }
  } catch (...) {
    // The block is lost; the host's call returns normally.
  }
}

bool TDataSourceScheduled::SendRequest(TBasicRequestItem&, std::uint32_t&, std::int32_t&) {
  return false;
}

void TDataSourceScheduled::RequestTimedOut(TBasicRequestItem&, bool&) {}

void TDataSourceScheduled::QueueError(const std::string&, const std::exception&,
                                      const std::string&) {}

void TDataSourceScheduled::RequestScheduled(TScheduledEvent&, TBasicRequestItem&) {}
