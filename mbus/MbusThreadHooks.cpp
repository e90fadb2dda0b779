// The handle's I/O hooks of the M-Bus worker: bytes out through the host,
// bytes in from the data source's receive buffer. They run on the worker's
// thread inside the library's calls; none lets an exception out.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "framework/FIFOStream.h"
#include "framework/parser_DataSourceDM.h"
#include "mbus/MbusThread.h"
#include "plugin/korPluginModule.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kHookOk = -1;
constexpr int kHookFailed = 0;

}  // namespace

TMbusThread* TMbusThread::Of(mbus_handle* handle) noexcept {
  return handle != nullptr ? static_cast<TMbusThread*>(handle->auxdata) : nullptr;
}

bool TMbusThread::OwnerAlive() const noexcept {
  return FOwner != nullptr && FOwner->Signature == TDataSourceScheduled::kSignature;
}

// SendRawData, or done (the length) when the host has no entry point for it.
std::int32_t TMbusThread::SendToHost(const void* bytes, std::int32_t length) {
  if (FModule == nullptr || FModule->HostEntryPoints.SendDataEx.load() == nullptr) return length;
  return FModule->SendRawData(FModule->ModuleIndex, FOwner->DataSourceId, length, bytes, 0);
}

// The descriptor word receives the user pointer (its low 32 bits): the line
// counts as open. A worker that is cancelled, or whose data source is going,
// opens nothing.
int MBUS_CALL TMbusThread::HookOpen(mbus_handle* handle) noexcept {
  TMbusThread* self = Of(handle);
  if (self == nullptr || self->Cancel || !self->OwnerAlive()) return kHookFailed;
  handle->fd = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(self));
  return kHookOk;
}

int MBUS_CALL TMbusThread::HookClose(mbus_handle* handle) noexcept {
  if (handle != nullptr) handle->fd = -1;
  return kHookOk;
}

// Every frame restarts the controller's watch and its answer time-out (with
// the running command's Timeout, which is the item's), drops what is still
// buffered and goes to the host.
int MBUS_CALL TMbusThread::HookSend(mbus_handle* handle, const unsigned char* bytes, int length,
                                    int* sent) noexcept {
  try {
    if (sent != nullptr) *sent = -1;
    TMbusThread* self = Of(handle);
    if (self == nullptr || self->Cancel || !self->OwnerAlive() || length < 0) return kHookFailed;
    TDataSourceScheduled& source = *self->FOwner;
    source.WithQueue([self](TQueueControllerTimerEx& queue) {
      queue.RestartRequestWatch();
      std::lock_guard<TCriticalSection> run(queue.RunLock());
      TMbusCommand* command = self->CurrentCommand;
      if (queue.CurrentItem != nullptr && command != nullptr)
        queue.RestartResponseTimer(static_cast<std::uint32_t>(command->Params.Timeout));
    });
    if (source.FBuffer != nullptr) source.FBuffer->Clear();
    if (self->SendToHost(bytes, length) < 0) return kHookFailed;
    if (sent != nullptr) *sent = length;
    return kHookOk;
  } catch (...) {
    return kHookFailed;
  }
}

int MBUS_CALL TMbusThread::HookReceive(mbus_handle* handle, unsigned char* buffer, int capacity,
                                       int* received) noexcept {
  try {
    if (received != nullptr) *received = -1;
    TMbusThread* self = Of(handle);
    if (self == nullptr || received == nullptr) return kHookFailed;
    return self->Receive(buffer, capacity, received);
  } catch (...) {
    return kHookFailed;
  }
}

// Sleeps on the data source's DataEvent (set by every arriving block, by
// Cancel and by the source's end) until the buffer holds capacity bytes or a
// limit passes: no polling, so the reply is taken the moment it is whole.
int TMbusThread::Receive(unsigned char* buffer, int capacity, int* received) {
  if (Cancel || !OwnerAlive() || capacity < 0) return kHookFailed;
  TDataSourceScheduled& source = *FOwner;
  TFIFOStream* fifo = source.FBuffer;
  if (fifo == nullptr) return kHookFailed;
  const bool searching = SearchRuns();
  const auto idle = std::chrono::milliseconds(searching ? SearchIdleMs : ReceiveIdleMs);
  const auto total = std::chrono::milliseconds(searching ? SearchTotalMs : ReceiveTotalMs);
  const auto wanted = static_cast<std::uint32_t>(capacity);
  const TClock::time_point end = TClock::now() + total;
  TClock::time_point quiet = TClock::now() + idle;
  std::uint32_t seen = fifo->Available();
  while (!Cancel && OwnerAlive()) {
    const std::uint32_t now_count = fifo->Available();
    if (now_count >= wanted) break;
    const TClock::time_point now = TClock::now();
    if (now_count != seen) {
      seen = now_count;
      quiet = now + idle;
    }
    const TClock::time_point until = std::min(end, quiet);
    if (now >= until) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    source.DataEvent.WaitFor(static_cast<std::uint32_t>(left));
  }
  if (Cancel || !OwnerAlive()) return kHookFailed;
  const std::uint32_t count = std::min(wanted, fifo->Available());
  if (count > 0) {
    fifo->Read(buffer, count);
    FExchangeText.append(reinterpret_cast<const char*>(buffer), count);
  }
  *received = static_cast<int>(count);
  return kHookOk;
}

int MBUS_CALL TMbusThread::HookBaudrate(mbus_handle* handle, int baudrate) noexcept {
  try {
    TMbusThread* self = Of(handle);
    if (self == nullptr || !self->OwnerAlive()) return kHookFailed;
    self->FOwner->WithQueue([](TQueueControllerTimerEx& queue) { queue.RestartRequestWatch(); });
    const std::string text = "<<PORT=" + std::to_string(baudrate) + ">>";
    return self->SendToHost(text.data(), static_cast<std::int32_t>(text.size())) < 0 ? kHookFailed
                                                                                     : kHookOk;
  } catch (...) {
    return kHookFailed;
  }
}
