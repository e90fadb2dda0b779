// One string behind a critical section. Any thread may call it; one at a time.
#pragma once

#include <string>

#include "framework/Thread_Object.h"

class TThreadString : public TThreadObjectCs {
 public:
  TThreadString() = default;

  std::string GetValue();                   // a copy taken under the lock
  void SetValue(const std::string& value);  // assigned under the lock

  // For longer work on the string: pair with Unlock.
  std::string* Lock() {
    TThreadObjectCs::Lock();
    return &FValue;
  }

 private:
  std::string FValue;  // guarded by the critical section
};
