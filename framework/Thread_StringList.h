// A string list behind a multi-reader/single-writer lock. Any thread may
// call it; the list is handed out only between a lock and its unlock call.
#pragma once

#include <cstdint>

#include "framework/Classes.h"
#include "framework/MultiReadSync.h"
#include "framework/StringList.h"

class TThreadStringList : public TObject {
 public:
  // The list ignores duplicates (which matters once it is sorted).
  TThreadStringList();
  // Frees the list under the write lock, then the lock.
  ~TThreadStringList() override;

  TStringList* LockRead() {
    FSync.BeginRead();
    return FList;
  }
  void UnlockRead() { FSync.EndRead(); }
  TStringList* LockWrite() {
    FSync.BeginWrite();
    return FList;
  }
  void UnlockWrite() { FSync.EndWrite(); }

  void Clear();                                // under the write lock
  void SetDuplicates(TDuplicates duplicates);  // under the write lock
  std::int32_t Count();                        // under the read lock

  // True when the calling thread holds the write lock.
  bool IsWriteLocked() const { return FSync.IsWriter(); }

 private:
  TMultiReadExclusiveWriteSynchronizer FSync;  // created with the object
  TStringList* FList;                          // owned; guarded by FSync; nil once destroyed
};
