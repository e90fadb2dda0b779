// WaitWhileAllSet, the wait ProcessData uses on a busy unloaded instance.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Messages.h"
#include "plugin/PluginWait.h"

namespace {

using Clock = std::chrono::steady_clock;

std::intptr_t CountMessage(void* context, std::uint32_t, std::uintptr_t, std::intptr_t) {
  ++*static_cast<int*>(context);
  return 0;
}

// Clears flag after ms milliseconds on another thread.
std::thread ClearLater(std::atomic<bool>& flag, int ms) {
  return std::thread([&flag, ms] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    flag = false;
  });
}

}  // namespace

TEST(PluginWait, ReturnsAtOnceWhenAFlagIsClear) {
  std::atomic<bool> set{true}, clear{false};
  EXPECT_TRUE(kor::WaitWhileAllSet(0, {&set, &clear}));
  EXPECT_TRUE(kor::WaitWhileAllSet(0, {&clear, &set}));
}

TEST(PluginWait, MissingFlagEndsTheWaitUnsuccessfully) {
  std::atomic<bool> set{true};
  EXPECT_FALSE(kor::WaitWhileAllSet(0, {&set, nullptr}));
}

TEST(PluginWait, TimesOutWhileEveryFlagStaysSet) {
  std::atomic<bool> a{true}, b{true};
  const auto start = Clock::now();
  EXPECT_FALSE(kor::WaitWhileAllSet(120, {&a, &b}, kor::kWaitNoMessages));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(120));
}

TEST(PluginWait, EndsWhenAnotherThreadClearsAFlag) {
  std::atomic<bool> a{true}, b{true};
  std::thread clearer = ClearLater(b, 100);
  EXPECT_TRUE(kor::WaitWhileAllSet(0, {&a, &b}));
  clearer.join();
}

TEST(PluginWait, HandlesTheThreadsMessagesBetweenPasses) {
  int handled = 0;
  plat::WindowHandle window = plat::CreateMessageWindow(&CountMessage, &handled);
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(plat::PostWindowMessage(window, plat::kUserMessage, 0, 0));
  std::atomic<bool> busy{true};
  std::thread clearer = ClearLater(busy, 200);
  EXPECT_TRUE(kor::WaitWhileAllSet(0, {&busy}));
  clearer.join();
  EXPECT_EQ(handled, 1);

  ASSERT_TRUE(plat::PostWindowMessage(window, plat::kUserMessage, 0, 0));
  busy = true;
  std::thread again = ClearLater(busy, 150);
  EXPECT_TRUE(kor::WaitWhileAllSet(0, {&busy}, kor::kWaitNoMessages));
  again.join();
  EXPECT_EQ(handled, 1) << "told not to handle messages";
  plat::ProcessPendingMessages();
  EXPECT_EQ(handled, 2);
  plat::DestroyMessageWindow(window);
}
