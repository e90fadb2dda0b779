#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ModuleTestSupport.h"
#include "framework/LockGuards.h"
#include "framework/SyncObjs.h"

namespace {

TEST(ModuleConcurrency, CommandWaitsForAnotherThreadsCommand) {
  TFakeHost host;
  TkorPlugin module;
  TEvent started, release;
  std::atomic<bool> secondDone{false};
  std::atomic<bool> overlapped{false};
  module.OnCommand = [&](TkorPlugin& m, const std::string& command, std::int32_t& result,
                         kor::TPluginCallRec*) {
    if (m.CommandDepth.load() != 1) overlapped = true;
    if (command == "SLOW") {
      started.SetEvent();
      release.WaitFor(10000);
      if (secondDone.load()) overlapped = true;
    }
    result = 1;
  };
  std::int32_t first = 0;
  std::thread slow([&] { first = module.ExecuteCommand("SLOW", nullptr); });
  ASSERT_EQ(started.WaitFor(10000), TWaitResult::wrSignaled);
  std::int32_t second = 0;
  std::thread fast([&] {
    second = module.ExecuteCommand("FAST", nullptr);
    secondDone = true;
  });
  // The second command blocks on the lock, is not refused as nested.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(secondDone.load());
  release.SetEvent();
  slow.join();
  fast.join();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_FALSE(overlapped.load());
  EXPECT_EQ(TakeLog(module), "");
}

TEST(ModuleConcurrency, LinesFromManyThreadsAreAllFetched) {
  TFakeHost host;
  TkorPlugin module;
  module.MessageWindow = 1;
  constexpr int kThreads = 4, kLines = 500;
  std::atomic<bool> done{false};
  std::string fetched;
  std::thread reader([&] {
    while (!done.load()) fetched += TakeLog(module);
  });
  std::vector<std::thread> writers;
  writers.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i)
        module.AddLog(2, std::to_string(t) + ":" + std::to_string(i));
    });
  for (std::thread& w : writers) w.join();
  done = true;
  reader.join();
  fetched += TakeLog(module);
  std::size_t lines = 0;
  for (std::size_t at = fetched.find("\r\n"); at != std::string::npos;
       at = fetched.find("\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, static_cast<std::size_t>(kThreads * kLines));
  EXPECT_EQ(host.MessagesOf(kor::kMsgLogAdded).size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST(ModuleConcurrency, StatesReadWhileSetStateRuns) {
  TFakeHost host;
  TkorPlugin module;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load()) (void)module.StateSet();
  });
  for (int i = 0; i < 200; ++i) {
    TCall call;
    call.Rec.Mode = 3;
    call.Set("RESULT", i % 2);
    EXPECT_EQ(RunCommand(module, "SET-STATE", call), 0);
  }
  stop = true;
  reader.join();
  EXPECT_EQ(module.StateSet(), 3);
}

TEST(ModuleConcurrency, FreeFormParametersFromManyThreads) {
  TFakeHost host;
  TkorPlugin module;
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&module, t] {
      for (int i = 0; i < 50; ++i) {
        TWriteLock list(module.ModuleParamsList());
        list->SetValue("k" + std::to_string(t) + "_" + std::to_string(i), OleVariant(i), true);
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(module.GetModuleParameter("CustomCOUNT").AsInteger(), 200);
  EXPECT_EQ(module.GetModuleParameter("Custom_k3_49").AsInteger(), 49);
}

}  // namespace
