#include "framework/Thread_Queue.h"

#include <mutex>

TThreadSafeQueue::~TThreadSafeQueue() {
  Clear();
}

void TThreadSafeQueue::Push(TObject* item) {
  if (item == nullptr) return;
  {
    std::lock_guard<TCriticalSection> lock(FCs);
    FItems.Add(item);
  }
  FEvent.SetEvent();
}

TObject* TThreadSafeQueue::Pop() {
  std::lock_guard<TCriticalSection> lock(FCs);
  auto slots = static_cast<std::uint32_t>(FItems.Count());
  if (FHead >= slots) {
    FEvent.ResetEvent();
    return nullptr;
  }
  auto* item = static_cast<TObject*>(FItems.Get(static_cast<std::int32_t>(FHead)));
  FItems.Put(static_cast<std::int32_t>(FHead), nullptr);
  ++FHead;
  if (FHead >= slots) FEvent.ResetEvent();
  if (FHead > CompactLimit) CompactLocked();
  return item;
}

// Moves the untaken slots to the front and drops the taken ones.
void TThreadSafeQueue::CompactLocked() {
  std::int32_t head = static_cast<std::int32_t>(FHead);
  std::int32_t left = FItems.Count() - head;
  for (std::int32_t i = 0; i < left; ++i) FItems.Put(i, FItems.Get(i + head));
  for (std::int32_t i = 0; i < head; ++i) FItems.Delete(FItems.Count() - 1);
  FHead = 0;
}

void TThreadSafeQueue::Clear() noexcept {
  std::lock_guard<TCriticalSection> lock(FCs);
  for (std::int32_t i = FItems.Count() - 1; i >= 0; --i) {
    auto* item = static_cast<TObject*>(FItems.Get(i));
    FItems.Put(i, nullptr);
    delete item;  // destructors do not throw (TObject's is noexcept)
  }
  FItems.Clear();
  FHead = 0;
  FEvent.ResetEvent();
}

TList* TThreadSafeQueue::Lock() {
  FCs.Enter();
  return &FItems;
}

void TThreadSafeQueue::Unlock() {
  FCs.Leave();
}

std::int32_t TThreadSafeQueue::Count() {
  std::lock_guard<TCriticalSection> lock(FCs);
  return FItems.Count() - static_cast<std::int32_t>(FHead);
}

std::uint32_t TThreadSafeQueue::Head() {
  std::lock_guard<TCriticalSection> lock(FCs);
  return FHead;
}

std::int32_t TThreadSafeQueue::SlotCount() {
  std::lock_guard<TCriticalSection> lock(FCs);
  return FItems.Count();
}
