// The real owner-thread timer drives a controller from this thread's message
// loop while a worker thread completes the requests and a host thread marks
// events and restarts the queue.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "framework/parser_QueueController.h"
#include "params/korParamLst.h"
#include "tests/framework/TestPump.h"
#include "tests/framework/TestThreads.h"

namespace {

// The worker: takes request ids and completes each one from its own thread.
class TFakeWorker {
 public:
  explicit TFakeWorker(TQueueController& queue) : FQueue(queue) {}

  void Queue(std::int32_t id) {
    std::lock_guard<std::mutex> lock(FLock);
    FIds.push_back(id);
    FChanged.notify_one();
  }
  void Stop() {
    std::lock_guard<std::mutex> lock(FLock);
    FStop = true;
    FChanged.notify_one();
  }
  void Run(std::atomic<int>& inFlight, std::atomic<int>& completed) {
    for (;;) {
      std::int32_t id = 0;
      {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return FStop || !FIds.empty(); });
        if (FStop) return;
        id = FIds.front();
        FIds.pop_front();
      }
      // Two frames, then the completion of the command whose id matches.
      FQueue.RestartRequestWatch();
      FQueue.RestartResponseTimer(60000);
      FQueue.RestartRequestWatch();
      if (FQueue.CurrentRequestId() == id) {
        --inFlight;
        FQueue.RequestDone(10);
        ++completed;
      }
    }
  }

 private:
  TQueueController& FQueue;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::int32_t> FIds;
  bool FStop = false;
};

}  // namespace

TEST(QueueControllerConcurrency, TimerWorkerAndHostThreadsShareTheQueue) {
  SetTickSource(nullptr);
  TQueueControllerTimer queue(nullptr);
  for (int i = 0; i < 3; ++i) {
    auto* item = new TBasicRequestItem();
    item->Enabled = true;
    item->Name = "poll" + std::to_string(i);
    item->Method = MethodPoll;
    item->PollInterval = 1;
    queue.Requests->Add(item);
  }
  auto* event = new TBasicRequestItem();
  event->Enabled = true;
  event->Name = "event";
  event->Method = MethodEvent;
  event->Schedule.Text = "Go";
  queue.Requests->Add(event);

  TFakeWorker worker(queue);
  std::atomic<int> inFlight{0}, completed{0}, overlaps{0}, eventSends{0}, wrongThread{0};
  std::int32_t nextId = 0;
  const std::thread::id owner = std::this_thread::get_id();
  queue.OnExecute = [&](TQueueController&, TBasicRequestItem& item, std::uint32_t& timeout,
                        std::int32_t& id) {
    if (std::this_thread::get_id() != owner) ++wrongThread;
    if (inFlight.fetch_add(1) != 0) ++overlaps;  // one request in flight at a time
    if (item.Method == MethodEvent) {
      ++eventSends;
      if (!item.EventParams || item.EventParams->Count() != 1) ++overlaps;
    }
    timeout = 60000;
    id = ++nextId;
    worker.Queue(id);
    return true;
  };

  std::atomic<bool> stopHost{false};
  kortest::TTestThreads threads;
  threads.Start([&] { worker.Run(inFlight, completed); });
  threads.Start([&] {
    TkorParamsList params;
    params.Add("Port", OleVariant(std::int32_t(1)));
    int restartedAt = 0;
    while (!stopHost) {
      queue.TriggerEvent("GO", false, &params);
      // What the port-open event does; not so often that the never-sent
      // requests at the head of the list always win.
      if (completed - restartedAt >= 10) {
        restartedAt = completed;
        queue.TriggerEvent("", true, nullptr);
        queue.Start(true);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  queue.Reset();
  EXPECT_EQ(queue.TickInterval(), 1u);
  kortest::PumpUntil([&] { return completed >= 60 && eventSends >= 3; });
  stopHost = true;
  queue.SetTimerEnabled(false);
  worker.Stop();
  threads.JoinAll();
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(wrongThread, 0);
  EXPECT_LE(inFlight, 1);
}
