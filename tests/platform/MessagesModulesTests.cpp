// The test program and a second module (tests/platform/peer) each have a
// copy of the messages service; windows of either are reached by the other's
// calls and pumped by either's loop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Messages.h"
#include "platform/Time.h"
#include "tests/framework/TestThreads.h"

extern "C" {
plat::WindowHandle PeerCreateWindow();
void PeerDestroyWindow(plat::WindowHandle window);
bool PeerSetTimer(plat::WindowHandle window, unsigned ms);
bool PeerPost(plat::WindowHandle target, std::uint32_t message);
bool PeerProcessPending();
int PeerSeen();
int PeerTimers();
}

namespace {

std::atomic<int> gOwnSeen{0};

std::intptr_t OwnProc(void*, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message != plat::kTimerMessage) ++gOwnSeen;
  return 0;
}

TEST(MessagesModules, OurLoopPumpsTheOtherModulesWindow) {
  plat::WindowHandle peer = PeerCreateWindow();
  ASSERT_NE(peer, 0u);
  EXPECT_TRUE(plat::IsOwnWindow(peer));
  int before = PeerSeen();
  ASSERT_TRUE(plat::PostWindowMessage(peer, plat::kUserMessage + 1, 0, 0));
  std::intptr_t result = 0;
  ASSERT_TRUE(plat::SendWindowMessageTimeout(peer, plat::kUserMessage + 2, 0, 41, 100, &result));
  EXPECT_EQ(result, 42);
  plat::ProcessPendingMessages();
  EXPECT_EQ(PeerSeen(), before + 2);
  PeerDestroyWindow(peer);
  EXPECT_FALSE(plat::IsMessageWindow(peer));
}

TEST(MessagesModules, TheOtherModulesLoopPumpsOurWindow) {
  plat::WindowHandle own = plat::CreateMessageWindow(&OwnProc, nullptr);
  int before = gOwnSeen.load();
  ASSERT_TRUE(PeerPost(own, plat::kUserMessage + 3));
  EXPECT_TRUE(PeerProcessPending());
  EXPECT_EQ(gOwnSeen.load(), before + 1);
  plat::DestroyMessageWindow(own);
}

TEST(MessagesModules, TimersOfTheOtherModuleRunFromOurLoop) {
  plat::WindowHandle peer = PeerCreateWindow();
  ASSERT_TRUE(PeerSetTimer(peer, 5));
  int before = PeerTimers();
  auto deadline = std::chrono::steady_clock::now() + kortest::kHangLimit;
  while (PeerTimers() < before + 2) {
    if (std::chrono::steady_clock::now() > deadline) kortest::FailHung("peer timer");
    plat::WaitAndProcessMessages(10);
  }
  PeerDestroyWindow(peer);
}

TEST(MessagesModulesConcurrency, PostFromAnotherThreadReachesTheOtherModule) {
  plat::WindowHandle peer = PeerCreateWindow();
  int before = PeerSeen();
  kortest::RunBounded(
      [&] { EXPECT_TRUE(plat::PostWindowMessage(peer, plat::kUserMessage, 0, 0)); });
  auto deadline = std::chrono::steady_clock::now() + kortest::kHangLimit;
  while (PeerSeen() == before) {
    if (std::chrono::steady_clock::now() > deadline) kortest::FailHung("peer post");
    plat::WaitAndProcessMessages(10);
  }
  PeerDestroyWindow(peer);
}

}  // namespace
