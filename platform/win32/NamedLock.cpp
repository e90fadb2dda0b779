#include "platform/NamedLock.h"

#include <windows.h>

namespace plat {

TNamedLock::TNamedLock(const std::string& name) : FName(name) {}

TNamedLock::~TNamedLock() {
  Unlock();
  if (FHandle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

bool TNamedLock::Lock(std::string* error) {
  if (FHeld) return true;
  if (FHandle == -1) {
    HANDLE h = ::CreateMutexA(nullptr, FALSE, FName.c_str());
    if (h == nullptr) {
      if (error != nullptr)
        *error = "cannot create the mutex " + FName + " (error " +
                 std::to_string(::GetLastError()) + ")";
      return false;
    }
    FHandle = reinterpret_cast<std::intptr_t>(h);
  }
  DWORD rc = ::WaitForSingleObject(reinterpret_cast<HANDLE>(FHandle), INFINITE);
  // An abandoned mutex (its last owner ended without releasing it) is ours.
  if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED) {
    if (error != nullptr)
      *error =
          "cannot lock the mutex " + FName + " (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  FHeld = true;
  return true;
}

void TNamedLock::Unlock() {
  if (!FHeld) return;
  ::ReleaseMutex(reinterpret_cast<HANDLE>(FHandle));
  FHeld = false;
}

}  // namespace plat
