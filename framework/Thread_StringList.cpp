#include "framework/Thread_StringList.h"

#include "framework/LockGuards.h"

TThreadStringList::TThreadStringList() : FList(new TStringList) {
  FList->SetDuplicates(TDuplicates::dupIgnore);
}

// FSync, a member, is freed after this body.
TThreadStringList::~TThreadStringList() {
  TWriteLock lock(*this);
  delete FList;
  FList = nullptr;
}

void TThreadStringList::Clear() {
  TWriteLock lock(*this);
  lock->Clear();
}

void TThreadStringList::SetDuplicates(TDuplicates duplicates) {
  TWriteLock lock(*this);
  lock->SetDuplicates(duplicates);
}

std::int32_t TThreadStringList::Count() {
  TReadLock lock(*this);
  return lock->Count();
}
