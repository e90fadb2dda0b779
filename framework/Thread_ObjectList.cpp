#include "framework/Thread_ObjectList.h"

#include "framework/LockGuards.h"

TThreadObjectList::TThreadObjectList(bool ownsObjects)
    : TThreadObject(new TObjectList(ownsObjects)), FList(static_cast<TObjectList*>(Guarded())) {}

TThreadObjectList::~TThreadObjectList() {
  TWriteLock lock(*this);
  delete FList;
  FList = nullptr;
}

void TThreadObjectList::Add(TObject* item) {
  TWriteLock lock(*this);
  lock->Add(item);
}

void TThreadObjectList::Clear() {
  TWriteLock lock(*this);
  lock->Clear();
}

std::int32_t TThreadObjectList::Count() {
  TReadLock lock(*this);
  return lock->Count();
}
