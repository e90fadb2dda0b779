#include "framework/Thread_String.h"

#include "framework/LockGuards.h"

std::string TThreadString::GetValue() {
  TCsLock lock(*this);
  return *lock;
}

void TThreadString::SetValue(const std::string& value) {
  TCsLock lock(*this);
  *lock = value;
}
