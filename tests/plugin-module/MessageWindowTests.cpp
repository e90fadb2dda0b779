// The log notice through the platform's real message windows (no fake host).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "plugin/korPluginModule.h"

namespace {

struct TReceived {
  std::vector<std::uint32_t> Messages;
  std::vector<std::uintptr_t> WParams;
};

std::intptr_t Receive(void* context, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
  auto* received = static_cast<TReceived*>(context);
  received->Messages.push_back(message);
  received->WParams.push_back(wParam);
  return 0;
}

TEST(LogNotice, PostedToTheHostWindow) {
  TReceived received;
  plat::WindowHandle window = plat::CreateMessageWindow(&Receive, &received);
  ASSERT_NE(window, 0u);
  TkorPlugin module;
  module.MessageWindow = window;
  module.ModuleIndex = 12;
  module.AddLog(1, "posted");
  EXPECT_TRUE(received.Messages.empty());  // posted, not delivered directly
  plat::ProcessPendingMessages();
  ASSERT_EQ(received.Messages.size(), 1u);
  EXPECT_EQ(received.Messages[0], kor::kMsgLogAdded);
  EXPECT_EQ(received.WParams[0], 12u);
  plat::DestroyMessageWindow(window);
}

TEST(LogNotice, FromAnotherThreadArrivesOnTheWindowsThread) {
  TReceived received;
  plat::WindowHandle window = plat::CreateMessageWindow(&Receive, &received);
  ASSERT_NE(window, 0u);
  TkorPlugin module;
  module.MessageWindow = window;
  std::thread worker([&] { module.AddLog(2, "from a worker"); });
  worker.join();
  plat::ProcessPendingMessages();
  ASSERT_EQ(received.Messages.size(), 1u);
  EXPECT_EQ(received.Messages[0], kor::kMsgLogAdded);
  plat::DestroyMessageWindow(window);
}

TEST(LogNotice, AGoneWindowLosesNoLine) {
  TReceived received;
  plat::WindowHandle window = plat::CreateMessageWindow(&Receive, &received);
  plat::DestroyMessageWindow(window);
  TkorPlugin module;
  module.MessageWindow = window;
  module.AddLog(0, "kept");
  module.NotifyReloadSettings();
  char buffer[16];
  EXPECT_EQ(module.FetchLog(buffer, sizeof buffer).Copied, 7);
  EXPECT_TRUE(received.Messages.empty());
}

}  // namespace
