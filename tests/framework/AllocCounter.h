// Counting the heap allocations of the calling thread, for tests that assert
// that an operation allocates nothing. The replaced operator new that counts
// lives in TimeoutTests.cpp (one per test program).
#pragma once

namespace kortest {

extern thread_local bool tCounting;
extern thread_local int tAllocations;

// Allocations made by body on this thread.
template <class Body>
int CountAllocations(Body body) {
  tAllocations = 0;
  tCounting = true;
  body();
  tCounting = false;
  return tAllocations;
}

}  // namespace kortest
