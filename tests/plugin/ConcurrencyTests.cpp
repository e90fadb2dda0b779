// Several host threads at once: ProcessData beside commands, instances
// freed by two threads, a command waiting for another thread's command.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/plugin/PluginTestHost.h"

using namespace plugtest;
using kor::ModeBit;
using kor::TPluginCallRec;

namespace {

std::int32_t ProcessOne(host::TPluginHost& host, kor::TPluginPtr handle) {
  TPluginCallRec rec{};
  rec.Size = kor::kCallRecSize;
  rec.ModulePluginHandle = handle;
  TkorParamsList params;
  TkorParamsList input;
  input.Add("A", OleVariant(std::int32_t{1}));
  input.Add("B", OleVariant(std::int32_t{2}));
  rec.Params = Address(&params);
  rec.Mode = ModeBit(0);
  rec.InData.Kind = kor::kKindParamsList;
  rec.InData.Value = Address(&input);
  return host.Exports().ProcessData(&rec);
}

std::int32_t CommandOn(host::TPluginHost& host, kor::TPluginPtr handle, const std::string& name,
                       OleVariant* answer = nullptr) {
  TPluginCallRec rec{};
  rec.Size = kor::kCallRecSize;
  rec.ModulePluginHandle = handle;
  TkorParamsList params;
  params.Add("RESULT", OleVariant());
  std::int32_t result = RawCommand(host, rec, name, params);
  if (answer) *answer = params.GetValue("RESULT");
  return result;
}

}  // namespace

TEST(PluginConcurrency, ProcessDataFromSeveralThreadsBesideCommands) {
  auto host = MakeHost(kTestPlugin);
  const kor::TPluginPtr handle = host->Record().ModulePluginHandle;
  const std::int32_t before = Stat(*host, "process");
  constexpr int kThreads = 4;
  constexpr int kCalls = 100;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads + 1);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kCalls; ++i)
        if (ProcessOne(*host, handle) != 2) ++wrong;
    });
  std::atomic<int> badCommands{0};
  threads.emplace_back([&] {
    for (int i = 0; i < kCalls; ++i)
      if (CommandOn(*host, handle, "EVENTS-SUPPORT") != kor::kResultOk) ++badCommands;
  });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(badCommands.load(), 0);
  EXPECT_EQ(Stat(*host, "process"), before + kThreads * kCalls);
}

TEST(PluginConcurrency, TwoThreadsFreeTwoInstances) {
  host::TPluginHost host(LibraryPath(kTestPlugin));
  for (int round = 0; round < 50; ++round) {
    TPluginCallRec a{}, b{};
    a.Size = b.Size = kor::kCallRecSize;
    ASSERT_EQ(host.Exports().CreatePluginInstance(&a), kor::kResultOk);
    ASSERT_EQ(host.Exports().CreatePluginInstance(&b), kor::kResultOk);
    std::int32_t ra = 1, rb = 1;
    std::thread ta([&] { ra = host.Exports().FreePluginInstance(&a); });
    std::thread tb([&] { rb = host.Exports().FreePluginInstance(&b); });
    ta.join();
    tb.join();
    ASSERT_EQ(ra, kor::kResultOk);
    ASSERT_EQ(rb, kor::kResultOk);
    ASSERT_EQ(CommandOn(host, a.ModulePluginHandle, "EVENTS-SUPPORT"), kor::kResultRefused);
  }
}

TEST(PluginConcurrency, TwoThreadsFreeOneInstanceOnlyOnce) {
  host::TPluginHost host(LibraryPath(kTestPlugin));
  for (int round = 0; round < 50; ++round) {
    TPluginCallRec a{};
    a.Size = kor::kCallRecSize;
    ASSERT_EQ(host.Exports().CreatePluginInstance(&a), kor::kResultOk);
    TPluginCallRec copy = a;
    std::int32_t r1 = 1, r2 = 1;
    std::thread t1([&] { r1 = host.Exports().FreePluginInstance(&a); });
    std::thread t2([&] { r2 = host.Exports().FreePluginInstance(&copy); });
    t1.join();
    t2.join();
    ASSERT_EQ(r1 + r2, kor::kResultRefused) << "one frees (0), the other finds nothing (-1)";
  }
}

TEST(PluginConcurrency, CommandWaitsForAnotherThreadsCommand) {
  auto holder = MakeHost(kTestPlugin);
  auto releaser = MakeHost(kTestPlugin, true, [] {
    host::TLoadOptions options;
    options.ModuleIndex = 2;
    return options;
  }());
  const kor::TPluginPtr handle = holder->Record().ModulePluginHandle;
  const kor::TPluginPtr other = releaser->Record().ModulePluginHandle;
  OleVariant holdEnd, mark;
  std::atomic<bool> markStarted{false};
  std::thread hold([&] { CommandOn(*holder, handle, "HOLD", &holdEnd); });
  // The holder's command runs first (asked through the other instance,
  // which it does not hold); then a second command on the same instance has
  // to wait for it.
  auto holding = [&] {
    OleVariant answer;
    CommandOn(*releaser, other, "HOLDING", &answer);
    return !answer.IsEmpty() && answer.AsInteger() == 1;
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!holding() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!holding()) {
    CommandOn(*releaser, other, "RELEASE");
    hold.join();
    FAIL() << "HOLD never started";
  }
  std::thread marker([&] {
    markStarted = true;
    CommandOn(*holder, handle, "MARK", &mark);
  });
  while (!markStarted) std::this_thread::yield();
  // Time for MARK to reach the instance's command lock; arriving later would
  // still order it after HOLD.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  // Commands on another instance are not held up.
  EXPECT_EQ(CommandOn(*releaser, other, "RELEASE"), kor::kResultOk);
  hold.join();
  marker.join();
  ASSERT_FALSE(holdEnd.IsEmpty());
  ASSERT_FALSE(mark.IsEmpty());
  EXPECT_GT(mark.AsInteger(), holdEnd.AsInteger()) << "MARK ran only after HOLD ended";
}
