#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "framework/korTimeout.h"
#include "tests/framework/AllocCounter.h"

// Counts allocations made on this thread while switched on.
thread_local bool kortest::tCounting = false;
thread_local int kortest::tAllocations = 0;

namespace {

// A clock the test moves by hand.
std::uint64_t gNow64 = 0;
std::uint32_t gNow32 = 0;
std::uint64_t FakeTick64() {
  return gNow64;
}
std::uint32_t FakeTick32() {
  return gNow32;
}
const TTickSource kFake64{true, &FakeTick64, &FakeTick32};
const TTickSource kFake32{false, &FakeTick64, &FakeTick32};

class TickTimeout : public ::testing::Test {
 protected:
  void TearDown() override { SetTickSource(nullptr); }
  void Use64(std::uint64_t now) {
    gNow64 = now;
    SetTickSource(&kFake64);
  }
  void Use32(std::uint32_t now) {
    gNow32 = now;
    SetTickSource(&kFake32);
  }
};

TEST_F(TickTimeout, ClearedRecordIsNotStarted) {
  TTickTimeout t;
  EXPECT_TRUE(t.IsNotStarted());
  EXPECT_TRUE(t.ExpiredAfter(1000));
  EXPECT_TRUE(t.IsNotStarted());  // asking does not start it
  EXPECT_EQ(t.ElapsedMs(), 0u);
}

TEST_F(TickTimeout, StartWithExpiresAtTheDeadline) {
  Use64(5000);
  TTickTimeout t;
  t.StartWith(300);
  EXPECT_TRUE(t.Armed);
  EXPECT_EQ(t.Deadline, 5300u);
  gNow64 = 5299;
  EXPECT_FALSE(t.Expired());
  gNow64 = 5300;
  EXPECT_TRUE(t.Expired());
  EXPECT_EQ(t.ElapsedMs(), 300u);
}

TEST_F(TickTimeout, PlainStartTakesTheLengthFromExpiredAfter) {
  Use64(1000);
  TTickTimeout t;
  t.StartPlain();
  EXPECT_FALSE(t.Armed);
  EXPECT_TRUE(t.Expired());  // no deadline
  gNow64 = 1049;
  EXPECT_FALSE(t.ExpiredAfter(50));
  EXPECT_FALSE(t.Armed);
  gNow64 = 1050;
  EXPECT_TRUE(t.ExpiredAfter(50));
  EXPECT_FALSE(t.ExpiredAfter(100));  // a new length for an unarmed record
}

TEST_F(TickTimeout, ArmedRecordKeepsItsLength) {
  Use64(1000);
  TTickTimeout t;
  t.StartWith(100);
  gNow64 = 1100;
  EXPECT_TRUE(t.ExpiredAfter(500));
}

TEST_F(TickTimeout, RestartKeepsTheMode) {
  Use64(1000);
  TTickTimeout armed;
  armed.StartWith(40);
  TTickTimeout plain;
  plain.StartPlain();
  gNow64 = 2000;
  armed.Restart();
  plain.Restart();
  EXPECT_EQ(armed.Start, 2000u);
  EXPECT_EQ(armed.Deadline, 2040u);
  EXPECT_EQ(plain.Start, 2000u);
  EXPECT_FALSE(plain.Armed);
  armed.Clear();
  EXPECT_TRUE(armed.IsNotStarted());
  EXPECT_EQ(armed.Timeout, 0u);
}

TEST_F(TickTimeout, SixtyFourBitTicksCompareInFull) {
  Use64(0xFFFFFFF0ull);
  TTickTimeout t;
  t.StartWith(0x40);
  gNow64 = 0x100000010ull;  // past 2^32: no 32-bit confusion
  EXPECT_FALSE(t.Expired());
  gNow64 = 0x100000030ull;
  EXPECT_TRUE(t.Expired());
}

TEST_F(TickTimeout, ThirtyTwoBitCounterExpiresRightAfterItsWrap) {
  Use32(0xFFFFFF00u);
  TTickTimeout t;
  t.StartWith(0x200);
  EXPECT_EQ(t.Deadline, 0x100000100ull);
  gNow32 = 0xFFFFFFF0u;
  EXPECT_FALSE(t.Expired());
  gNow32 = 0x00000010u;  // wrapped
  EXPECT_FALSE(t.Expired());
  EXPECT_EQ(t.Last >> 32, 1u);
  gNow32 = 0x000000FFu;
  EXPECT_FALSE(t.Expired());
  gNow32 = 0x00000100u;
  EXPECT_TRUE(t.Expired());
  EXPECT_EQ(t.Last >> 32, 1u);  // no second wrap counted
}

TEST_F(TickTimeout, ThirtyTwoBitRestartBeginsWithoutWraps) {
  Use32(0xFFFFFFF0u);
  TTickTimeout t;
  t.StartWith(10);
  gNow32 = 5;
  EXPECT_TRUE(t.Expired());
  t.Restart();
  EXPECT_EQ(t.Start, 5u);
  EXPECT_EQ(t.Last, 5u);
  EXPECT_FALSE(t.Expired());
}

TEST_F(TickTimeout, PlatformTickIsUsedByDefault) {
  SetTickSource(nullptr);
  TTickTimeout t;
  t.StartWith(60000);
  EXPECT_FALSE(t.IsNotStarted());
  EXPECT_FALSE(t.Expired());
}

using kortest::tAllocations;
using kortest::tCounting;

TEST_F(TickTimeout, UsesNoHeap) {
  SetTickSource(nullptr);
  TTickTimeout warm;  // first use initialises the tick source
  warm.StartWith(1);
  tAllocations = 0;
  tCounting = true;
  TTickTimeout t;
  t.StartWith(100);
  bool expired = t.Expired();
  t.Restart();
  t.StartPlain();
  expired = t.ExpiredAfter(5) || expired;
  std::uint64_t elapsed = t.ElapsedMs();
  t.Clear();
  tCounting = false;
  EXPECT_EQ(tAllocations, 0);
  EXPECT_LT(elapsed, 60000u);
  static_assert(std::is_trivially_copyable_v<TTickTimeout>);
}

}  // namespace

// Every plain form is replaced, so that each allocation is counted and each
// block is freed by the matching function.
namespace {
void* CountedAlloc(std::size_t size) noexcept {
  if (tCounting) ++tAllocations;
  return std::malloc(size ? size : 1);
}
}  // namespace

// gcc inlines the replacement new into callers and then sees malloc'ed memory
// reach a free() it cannot tell is ours; the pairing is correct.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (void* p = CountedAlloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = CountedAlloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAlloc(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAlloc(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
