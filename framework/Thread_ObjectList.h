// An object list behind a multi-reader/single-writer lock. Any thread may
// call it; the list is handed out only between a lock and its unlock call.
#pragma once

#include <cstdint>

#include "framework/Classes.h"
#include "framework/Thread_Object.h"

class TThreadObjectList : public TThreadObject {
 public:
  // The list frees its objects on Delete, Clear and destruction when
  // ownsObjects is set.
  explicit TThreadObjectList(bool ownsObjects);
  // Frees the list (and so any owned objects) under the write lock.
  ~TThreadObjectList() override;

  TObjectList* LockRead() { return static_cast<TObjectList*>(TThreadObject::LockRead()); }
  TObjectList* LockWrite() { return static_cast<TObjectList*>(TThreadObject::LockWrite()); }

  void Add(TObject* item);  // under the write lock
  void Clear();             // under the write lock
  std::int32_t Count();     // under the read lock

 private:
  TObjectList* FList;  // owned; guarded by the read/write lock; nil once destroyed
};
