#include "framework/Thread_Object.h"

#include <mutex>

TThreadObject::TThreadObject(TObject* guarded) : FGuarded(guarded ? guarded : this) {}

TThreadObject::~TThreadObject() {
  delete FSync.load();
}

TMultiReadExclusiveWriteSynchronizer& TThreadObject::GetSync() {
  TMultiReadExclusiveWriteSynchronizer* sync = FSync.load(std::memory_order_acquire);
  if (sync) return *sync;
  std::lock_guard<TCriticalSection> lock(FCs);
  sync = FSync.load(std::memory_order_relaxed);
  if (!sync) {
    sync = new TMultiReadExclusiveWriteSynchronizer;
    FSync.store(sync, std::memory_order_release);
  }
  return *sync;
}

TObject* TThreadObject::LockRead() {
  GetSync().BeginRead();
  return FGuarded;
}

void TThreadObject::UnlockRead() {
  GetSync().EndRead();
}

TObject* TThreadObject::LockWrite() {
  GetSync().BeginWrite();
  return FGuarded;
}

void TThreadObject::UnlockWrite() {
  GetSync().EndWrite();
}

bool TThreadObject::IsWriteLocked() const {
  TMultiReadExclusiveWriteSynchronizer* sync = FSync.load(std::memory_order_acquire);
  return sync && sync->IsWriter();
}
