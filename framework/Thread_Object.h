// An object behind a lock: TThreadObject with a multi-reader/single-writer
// lock, TThreadObjectCs with a critical section. Any thread may call them.
// The guarded object is handed out only between a lock and its unlock call
// (use the guards of framework/LockGuards.h); it is not owned.
#pragma once

#include <atomic>

#include "framework/Classes.h"
#include "framework/MultiReadSync.h"
#include "framework/SyncObjs.h"

// Concurrent readers, one writer; the writer may lock again (nested) and read.
class TThreadObject : public TObject {
 public:
  // Guards guarded, or this object itself when none is given.
  explicit TThreadObject(TObject* guarded = nullptr);
  ~TThreadObject() override;

  TObject* LockRead();
  void UnlockRead();
  TObject* LockWrite();
  void UnlockWrite();

  // The lock, none until the first lock call; for checks and tests.
  TMultiReadExclusiveWriteSynchronizer* Sync() const { return FSync.load(); }
  // True when the calling thread holds the write lock.
  bool IsWriteLocked() const;

 protected:
  TObject* Guarded() const { return FGuarded; }
  // Creates the lock on first use, exactly once even when threads race.
  TMultiReadExclusiveWriteSynchronizer& GetSync();

 private:
  TCriticalSection FCs;  // only for creating FSync
  std::atomic<TMultiReadExclusiveWriteSynchronizer*> FSync{nullptr};
  TObject* const FGuarded;
};

// One thread at a time, re-entrant.
class TThreadObjectCs : public TObject {
 public:
  // Guards guarded, or this object itself when none is given.
  explicit TThreadObjectCs(TObject* guarded = nullptr) : FGuarded(guarded ? guarded : this) {}

  TObject* Lock() {
    FCs.Enter();
    return FGuarded;
  }
  void Unlock() { FCs.Leave(); }

 protected:
  TCriticalSection& Cs() { return FCs; }

 private:
  TCriticalSection FCs;
  TObject* const FGuarded;
};
