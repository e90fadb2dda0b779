#include "framework/MultiReadSync.h"

#include "framework/SysUtils.h"

void TMultiReadExclusiveWriteSynchronizer::Notify(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  FChanged.notify_all();
}

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  std::unique_lock<std::mutex> lock(FMutex);
  const std::thread::id self = std::this_thread::get_id();
  auto held = FReadDepth.find(self);
  if (held != FReadDepth.end() && held->second > 0) {
    // Nested: never waits, or a reader would deadlock against a waiting writer.
    ++held->second;
    return;
  }
  if (FWriter != self) {
    ++FWaitingReaders;
    FChanged.wait(lock, [this] { return FWriter == std::thread::id() && FWaitingWriters == 0; });
    --FWaitingReaders;
  }
  // A thread's entry stays (at depth 0) when it stops reading, so that a
  // thread that reads again and again (a timer tick) allocates nothing.
  held = FReadDepth.find(self);  // the wait may have let others rehash
  if (held != FReadDepth.end()) {
    held->second = 1;
  } else {
    if (FReadDepth.size() >= kMaxIdleReaders) DropIdleReaders();
    FReadDepth.emplace(self, 1);
  }
  ++FBlockingReaders;
}

void TMultiReadExclusiveWriteSynchronizer::DropIdleReaders() {
  for (auto it = FReadDepth.begin(); it != FReadDepth.end();) {
    if (it->second == 0)
      it = FReadDepth.erase(it);
    else
      ++it;
  }
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
  std::unique_lock<std::mutex> lock(FMutex);
  auto held = FReadDepth.find(std::this_thread::get_id());
  if (held == FReadDepth.end() || held->second == 0)
    throw EAssertionFailed("EndRead without BeginRead");
  if (--held->second > 0) return;
  --FBlockingReaders;
  Notify(lock);
}

bool TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  std::unique_lock<std::mutex> lock(FMutex);
  const std::thread::id self = std::this_thread::get_id();
  if (FWriter == self) {
    ++FWriteDepth;
    return true;
  }
  const std::uint32_t serial = FWriteSerial;
  const auto held = FReadDepth.find(self);
  const bool upgrading = held != FReadDepth.end() && held->second > 0;
  ++FWaitingWriters;
  if (upgrading) {
    // Our read hold must not keep out another thread that upgrades too.
    --FBlockingReaders;
    FChanged.notify_all();
  }
  FChanged.wait(lock, [this] { return FWriter == std::thread::id() && FBlockingReaders == 0; });
  --FWaitingWriters;
  if (upgrading) ++FBlockingReaders;
  FWriter = self;
  FWriteDepth = 1;
  const bool undisturbed = FWriteSerial == serial;
  ++FWriteSerial;
  return undisturbed;
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
  std::unique_lock<std::mutex> lock(FMutex);
  if (FWriter != std::this_thread::get_id()) throw EAssertionFailed("EndWrite without BeginWrite");
  if (--FWriteDepth > 0) return;
  FWriter = std::thread::id();
  Notify(lock);
}

bool TMultiReadExclusiveWriteSynchronizer::IsWriter() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FWriter == std::this_thread::get_id();
}

std::int32_t TMultiReadExclusiveWriteSynchronizer::WaitingWriters() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FWaitingWriters;
}

std::int32_t TMultiReadExclusiveWriteSynchronizer::WaitingReaders() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FWaitingReaders;
}
