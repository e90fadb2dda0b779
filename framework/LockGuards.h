// Scope guards that pair a guarded container's lock and unlock calls, so
// callers need no try/finally. A guard belongs to the thread that made it.
//   TReadLock<T>:  T::LockRead / T::UnlockRead
//   TWriteLock<T>: T::LockWrite / T::UnlockWrite
//   TCsLock<T>:    T::Lock / T::Unlock
// Each holds the pointer the lock call returned; * and -> reach it.
#pragma once

#include <utility>

template <class T, auto Acquire, auto Release>
class TLockGuard {
 public:
  using Pointer = decltype((std::declval<T&>().*Acquire)());

  explicit TLockGuard(T& owner) : FOwner(owner), FGuarded((owner.*Acquire)()) {}
  ~TLockGuard() { (FOwner.*Release)(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

  Pointer Get() const { return FGuarded; }
  Pointer operator->() const { return FGuarded; }
  auto& operator*() const { return *FGuarded; }

 private:
  T& FOwner;
  Pointer FGuarded;
};

template <class T>
class TReadLock : public TLockGuard<T, &T::LockRead, &T::UnlockRead> {
 public:
  using TLockGuard<T, &T::LockRead, &T::UnlockRead>::TLockGuard;
};

template <class T>
class TWriteLock : public TLockGuard<T, &T::LockWrite, &T::UnlockWrite> {
 public:
  using TLockGuard<T, &T::LockWrite, &T::UnlockWrite>::TLockGuard;
};

template <class T>
class TCsLock : public TLockGuard<T, &T::Lock, &T::Unlock> {
 public:
  using TLockGuard<T, &T::Lock, &T::Unlock>::TLockGuard;
};

template <class T>
TReadLock(T&) -> TReadLock<T>;
template <class T>
TWriteLock(T&) -> TWriteLock<T>;
template <class T>
TCsLock(T&) -> TCsLock<T>;
