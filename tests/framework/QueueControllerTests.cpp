// The queue controller's rules on a virtual tick: the tests move the clock
// by hand and call the tick themselves, so nothing waits for real time.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ScheduledEvent.h"
#include "framework/korTimerEx.h"
#include "framework/parser_QueueController.h"
#include "framework/parser_RequestSchedule.h"
#include "params/korParamLst.h"
#include "tests/framework/AllocCounter.h"
#include "tests/framework/ScheduleTestClock.h"
#include "tests/framework/TestPump.h"

namespace {

std::atomic<std::uint64_t> gNow{1000};
std::uint64_t VirtualTick64() {
  return gNow.load();
}
std::uint32_t VirtualTick32() {
  return static_cast<std::uint32_t>(gNow.load());
}
const TTickSource kVirtualTick{true, &VirtualTick64, &VirtualTick32};

class QueueController : public ::testing::Test {
 protected:
  void SetUp() override {
    gNow = 1000;
    SetTickSource(&kVirtualTick);
    Queue = std::make_unique<TQueueControllerTimer>(nullptr);
    Queue->OnExecute = [this](TQueueController&, TBasicRequestItem& item, std::uint32_t& timeout,
                              std::int32_t& id) {
      if (Raise) throw std::runtime_error("port gone");
      Sent.push_back(item.Name);
      if (!Accept) return false;
      timeout = AnswerTimeout;
      id = ++LastId;
      return true;
    };
  }
  void TearDown() override {
    Queue.reset();
    SetTickSource(nullptr);
  }

  TBasicRequestItem* Add(const std::string& name, TRequestMethod method,
                         std::uint32_t pollInterval = 1000) {
    auto* item = new TBasicRequestItem();
    item->Enabled = true;
    item->Name = name;
    item->Method = method;
    item->Schedule.Method = method;
    item->PollInterval = pollInterval;
    Queue->Requests->Add(item);
    return item;
  }
  // One tick; the name sent by it, or "" when nothing went out.
  std::string TickSend() {
    const std::size_t before = Sent.size();
    Queue->Tick();
    return Sent.size() > before ? Sent.back() : std::string();
  }
  // A tick that sends, then its completion.
  std::string Cycle(std::uint8_t status = 10) {
    std::string name = TickSend();
    Queue->RequestDone(status);
    return name;
  }
  static void Advance(std::uint64_t ms) { gNow += ms; }

  std::unique_ptr<TQueueControllerTimer> Queue;
  std::vector<std::string> Sent;
  bool Accept = true;
  bool Raise = false;
  std::uint32_t AnswerTimeout = 0;
  std::int32_t LastId = 100;
};

}  // namespace

TEST_F(QueueController, CreatedIdleWithTheTimerOff) {
  EXPECT_EQ(Queue->RequestId, -1);
  EXPECT_EQ(Queue->Cursor, -1);
  EXPECT_EQ(Queue->ResetPending, 0);
  EXPECT_EQ(Queue->MinPause, 0u);
  EXPECT_EQ(Queue->CurrentItem, nullptr);
  EXPECT_FALSE(Queue->TimerEnabled());
  EXPECT_EQ(Queue->Timer()->Interval(), 50u);
}

TEST_F(QueueController, AnEmptyListLeavesTheTimerOff) {
  Queue->Start(true);
  EXPECT_FALSE(Queue->TimerEnabled());
  Add("a", MethodPoll);
  Queue->Start(true);
  EXPECT_TRUE(Queue->TimerEnabled());
  Queue->SetTimerEnabled(false);
  EXPECT_FALSE(Queue->TimerEnabled());
}

TEST_F(QueueController, NeverSentRequestsGoFirstInListOrder) {
  Add("a", MethodPoll);
  Add("b", MethodPoll);
  EXPECT_EQ(Cycle(), "a");
  EXPECT_EQ(Queue->Cursor, 1);
  EXPECT_EQ(Cycle(), "b");
  EXPECT_EQ(Cycle(), "");  // neither is due again yet
  EXPECT_TRUE(Queue->TimerEnabled());
}

TEST_F(QueueController, TheSendRecordsIdTimeAndItem) {
  TBasicRequestItem* a = Add("a", MethodPoll);
  AnswerTimeout = 300;
  Advance(500);
  EXPECT_EQ(TickSend(), "a");
  EXPECT_EQ(Queue->RequestId, 101);
  EXPECT_EQ(Queue->CurrentRequestId(), 101);
  EXPECT_EQ(a->RequestId, 101);
  EXPECT_EQ(a->LastStart, 1500u);
  EXPECT_TRUE(a->Busy);
  EXPECT_EQ(a->Attempts, 1);
  EXPECT_EQ(Queue->CurrentItem, a);
  EXPECT_FALSE(Queue->RequestWatch.IsNotStarted());
  EXPECT_EQ(Queue->ResponseTimer.Deadline, 1800u);
  Queue->RequestDone(10);
  EXPECT_FALSE(a->Busy);
  EXPECT_EQ(a->Attempts, 0);
  EXPECT_TRUE(Queue->ResponseTimer.IsNotStarted());
  EXPECT_TRUE(Queue->RequestWatch.IsNotStarted());
  EXPECT_EQ(Queue->CurrentItem, a);  // kept until the next send
}

TEST_F(QueueController, TheDueRequestThatWaitedLongestGoesNext) {
  Add("a", MethodPoll, 1000);
  Add("b", MethodPoll, 100);
  EXPECT_EQ(Cycle(), "a");  // sent at 1000
  Advance(1);
  EXPECT_EQ(Cycle(), "b");  // sent at 1001
  Advance(1099);            // both due; a was sent earlier
  EXPECT_EQ(Cycle(), "a");
  EXPECT_EQ(Cycle(), "b");
}

TEST_F(QueueController, EqualWaitsKeepTheEarlierItemInScanOrder) {
  TBasicRequestItem* a = Add("a", MethodPoll, 100);
  TBasicRequestItem* b = Add("b", MethodPoll, 100);
  TBasicRequestItem* c = Add("c", MethodPoll, 100);
  for (TBasicRequestItem* item : {a, b, c}) {
    item->LastStart = 900;
    item->PollTimer.StartPlain();
  }
  Queue->Cursor = 1;
  Advance(100);
  EXPECT_EQ(Cycle(), "b");  // the scan starts at the cursor
}

TEST_F(QueueController, TheScanReachesItemsBeforeTheCursor) {
  Add("a", MethodPoll, 500);
  Add("once", MethodOnce);
  TBasicRequestItem* off = Add("off", MethodPoll, 1);
  off->Enabled = false;
  Add("event", MethodEvent);
  EXPECT_EQ(Cycle(), "a");
  EXPECT_EQ(Cycle(), "once");
  EXPECT_EQ(Queue->Cursor, 2);
  // Behind the cursor: a disabled, an untriggered and nothing else.
  Advance(500);
  EXPECT_EQ(Cycle(), "a");
}

TEST_F(QueueController, ADueItemAfterTheCursorIsPreferredToAnOlderOneBeforeIt) {
  TBasicRequestItem* a = Add("a", MethodPoll, 100);
  TBasicRequestItem* b = Add("b", MethodPoll, 100);
  a->LastStart = 100;
  a->PollTimer.StartPlain();
  b->LastStart = 500;
  b->PollTimer.StartPlain();
  Queue->Cursor = 1;
  Advance(100);
  EXPECT_EQ(Cycle(), "b");
  EXPECT_EQ(Cycle(), "a");
}

TEST_F(QueueController, AOnceRequestRunsOncePerLoading) {
  TBasicRequestItem* once = Add("once", MethodOnce);
  EXPECT_EQ(Cycle(), "once");
  EXPECT_TRUE(once->Busy);
  Advance(100000);
  EXPECT_EQ(Cycle(), "");
  Queue->Reset();
  EXPECT_EQ(Cycle(), "");
  // Reloading: the list is built again.
  Queue->Requests->Clear();
  Add("once", MethodOnce);
  Queue->Reset();
  EXPECT_EQ(Cycle(), "once");
}

TEST_F(QueueController, AFreshOnceRequestWinsOverEverythingAfterIt) {
  Add("poll", MethodPoll);
  Add("once", MethodOnce);
  Add("late", MethodPoll);
  Queue->Cursor = 1;
  EXPECT_EQ(Cycle(), "once");
}

TEST_F(QueueController, MinPauseSpacesTheSends) {
  Add("a", MethodPoll, 1);
  Add("b", MethodPoll, 1);
  Queue->MinPause = 500;
  EXPECT_EQ(Cycle(), "a");
  Advance(499);
  EXPECT_EQ(Cycle(), "");
  Advance(1);
  EXPECT_EQ(Cycle(), "b");
  EXPECT_TRUE(Queue->PauseTimer.Armed);
}

TEST_F(QueueController, AnAnswerTimeoutWithoutRetryWaitsForThePollInterval) {
  TBasicRequestItem* a = Add("a", MethodPoll, 10000);
  AnswerTimeout = 200;
  EXPECT_EQ(TickSend(), "a");
  Advance(199);
  EXPECT_EQ(TickSend(), "");  // still waiting for the answer
  EXPECT_TRUE(a->Busy);
  Advance(1);
  EXPECT_EQ(TickSend(), "");  // timed out; no handler, MaxAttempts 1: no retry
  EXPECT_FALSE(a->Busy);
  EXPECT_EQ(a->Attempts, 0);
  EXPECT_EQ(Queue->CurrentItem, nullptr);
  Advance(9800);
  EXPECT_EQ(TickSend(), "a");
}

TEST_F(QueueController, AnAnswerTimeoutRetriesWhileTriesRemainThenGivesUp) {
  TBasicRequestItem* a = Add("a", MethodPoll, 100000);
  a->MaxAttempts = 3;
  AnswerTimeout = 100;
  int timeouts = 0;
  Queue->OnTimeout = [&](TQueueController&, TBasicRequestItem& item, bool& retry) {
    ++timeouts;
    EXPECT_EQ(&item, a);
    EXPECT_EQ(retry, item.Attempts < 3);
  };
  EXPECT_EQ(TickSend(), "a");
  Advance(100);
  EXPECT_EQ(TickSend(), "a");
  EXPECT_EQ(a->Attempts, 2);
  Advance(100);
  EXPECT_EQ(TickSend(), "a");
  EXPECT_EQ(a->Attempts, 3);
  Advance(100);
  EXPECT_EQ(TickSend(), "");
  EXPECT_EQ(timeouts, 3);
  EXPECT_EQ(a->Attempts, 0);
}

TEST_F(QueueController, TheTimeoutHandlerMayAskForARetry) {
  Add("a", MethodPoll, 100000);
  AnswerTimeout = 100;
  Queue->OnTimeout = [](TQueueController&, TBasicRequestItem&, bool& retry) { retry = true; };
  EXPECT_EQ(TickSend(), "a");
  Advance(100);
  EXPECT_EQ(TickSend(), "a");
}

TEST_F(QueueController, ARetryChosenDuringThePauseGoesOutAfterIt) {
  TBasicRequestItem* e = Add("event", MethodEvent);
  e->MaxAttempts = 2;
  e->Triggered = true;
  AnswerTimeout = 200;
  Queue->MinPause = 1000;
  EXPECT_EQ(TickSend(), "event");
  EXPECT_FALSE(e->Triggered);
  Advance(200);
  EXPECT_EQ(TickSend(), "");  // timed out, the pause runs until 2000
  Advance(800);
  EXPECT_EQ(TickSend(), "event");
  EXPECT_EQ(e->Attempts, 2);
}

TEST_F(QueueController, RequestDoneStatuses) {
  TBasicRequestItem* a = Add("a", MethodPoll);
  a->MaxAttempts = 3;
  EXPECT_EQ(Cycle(2), "a");  // a failure status keeps the tries
  EXPECT_FALSE(a->Busy);
  EXPECT_EQ(a->Attempts, 1);
  for (std::uint8_t status : {1, 8, 9, 10}) {
    a->Attempts = 2;
    Advance(1000);
    EXPECT_EQ(Cycle(status), "a");
    EXPECT_EQ(a->Attempts, 0) << int(status);
  }
  // A completion when nothing is in flight any more changes nothing.
  a->Attempts = 2;
  Queue->CurrentItem = nullptr;
  Queue->RequestDone(10);
  EXPECT_EQ(a->Attempts, 2);
}

TEST_F(QueueController, AFailedSendWaitsWhileTriesRemainThenIsGivenUp) {
  TBasicRequestItem* e = Add("event", MethodEvent);
  TBasicRequestItem* once = Add("once", MethodOnce);
  e->MaxAttempts = 2;
  e->Triggered = true;
  Accept = false;
  EXPECT_EQ(TickSend(), "event");
  EXPECT_FALSE(e->Busy);
  EXPECT_TRUE(e->Triggered);  // still waiting
  EXPECT_EQ(e->Attempts, 1);
  EXPECT_EQ(Queue->Cursor, -1);
  EXPECT_EQ(TickSend(), "event");
  EXPECT_FALSE(e->Triggered);  // given up until it fires again
  EXPECT_EQ(e->Attempts, 0);
  EXPECT_EQ(Queue->Cursor, 1);
  EXPECT_EQ(TickSend(), "once");
  EXPECT_TRUE(once->Busy);  // a given-up once request has had its run
  EXPECT_EQ(TickSend(), "");
  EXPECT_EQ(Queue->CurrentItem, nullptr);
}

TEST_F(QueueController, AHandlerThatRaisesLeavesTheRequestWaiting) {
  TBasicRequestItem* once = Add("once", MethodOnce);
  once->MaxAttempts = 2;
  Raise = true;
  EXPECT_THROW(Queue->Tick(), std::runtime_error);
  EXPECT_FALSE(once->Busy);
  EXPECT_TRUE(Queue->TimerEnabled());  // the closing Start still ran
  Raise = false;
  EXPECT_EQ(TickSend(), "once");
}

TEST_F(QueueController, EventsTriggerTheirRequestsInAnyLetterCase) {
  TBasicRequestItem* e = Add("event", MethodEvent);
  e->Schedule.Text = "PortOpen";
  TBasicRequestItem* other = Add("other", MethodEvent);
  other->Schedule.Text = "Other";
  EXPECT_EQ(Cycle(), "");  // untriggered event requests wait
  TkorParamsList params;
  params.Add("Port", OleVariant(std::int32_t(3)));
  params.Add("Name", OleVariant(std::string_view("COM3")));
  Queue->Cursor = 1;
  Queue->PauseTimer.StartWith(100000);
  Queue->TriggerEvent("PORTOPEN", false, &params);
  EXPECT_TRUE(e->Triggered);
  EXPECT_FALSE(other->Triggered);
  EXPECT_EQ(Queue->Cursor, -1);
  EXPECT_TRUE(Queue->PauseTimer.IsNotStarted());
  ASSERT_NE(e->EventParams, nullptr);
  EXPECT_EQ(e->EventParams->Count(), 2);
  EXPECT_EQ(e->EventParams->GetValue("port").AsInteger(), 3);
  EXPECT_EQ(other->EventParams, nullptr);
  EXPECT_EQ(Cycle(), "event");
  EXPECT_EQ(Cycle(), "");
  // The next event's parameters replace the last ones.
  TkorParamsList next;
  next.Add("Port", OleVariant(std::int32_t(4)));
  Queue->TriggerEvent("portopen", false, &next);
  EXPECT_EQ(e->EventParams->Count(), 1);
  EXPECT_EQ(e->EventParams->GetValue("port").AsInteger(), 4);
}

TEST_F(QueueController, TriggeringAllMakesEveryRequestDueWithoutTriggering) {
  TBasicRequestItem* a = Add("a", MethodPoll, 100000);
  TBasicRequestItem* e = Add("event", MethodEvent);
  EXPECT_EQ(Cycle(), "a");
  a->Attempts = 1;
  Queue->TriggerEvent("", true, nullptr);
  EXPECT_EQ(a->LastStart, 0u);
  EXPECT_EQ(a->Attempts, 0);
  EXPECT_TRUE(a->PollTimer.IsNotStarted());
  EXPECT_FALSE(e->Triggered);
  EXPECT_EQ(Cycle(), "a");
}

TEST_F(QueueController, ResetPendingRunsResetInsteadOfSending) {
  TBasicRequestItem* a = Add("a", MethodPoll, 20);
  AnswerTimeout = 100;
  EXPECT_EQ(TickSend(), "a");
  Queue->ResetPending = 1;
  EXPECT_EQ(TickSend(), "");
  EXPECT_EQ(Queue->ResetPending, 0);
  EXPECT_EQ(a->LastStart, 0u);
  EXPECT_EQ(Queue->TickInterval(), 20u);
  EXPECT_EQ(Queue->Timer()->Interval(), 20u);
  // The abandoned request no longer holds the queue.
  EXPECT_EQ(Queue->CurrentItem, nullptr);
  EXPECT_EQ(TickSend(), "a");
}

TEST_F(QueueController, TheTickIntervalIsTheShortestPollButAtLeastOneMs) {
  Add("slow", MethodPoll, 5000);
  Queue->Reset();
  EXPECT_EQ(Queue->TickInterval(), 50u);
  Add("zero", MethodPoll, 0);
  Add("once", MethodOnce, 0);  // only polls count
  Queue->Reset();
  EXPECT_EQ(Queue->TickInterval(), 1u);
  EXPECT_EQ(Queue->Timer()->Interval(), 1u);
  EXPECT_TRUE(Queue->TimerEnabled());
}

TEST_F(QueueController, ThePausedControllerSendsNothing) {
  Add("a", MethodPoll);
  Queue->Paused = true;
  EXPECT_EQ(Cycle(), "");
  Queue->Paused = false;
  EXPECT_EQ(Cycle(), "a");
}

TEST_F(QueueController, FramesOfTheRequestInFlightRestartItsTimers) {
  Add("a", MethodPoll, 100000);
  AnswerTimeout = 100;
  EXPECT_EQ(TickSend(), "a");
  Advance(90);
  Queue->RestartResponseTimer(100);  // a second frame
  Queue->RestartRequestWatch();
  EXPECT_EQ(Queue->RequestWatch.Start, 1090u);
  Advance(90);
  EXPECT_EQ(TickSend(), "");
  EXPECT_NE(Queue->CurrentItem, nullptr);  // not timed out: counts from the last frame
  Queue->RequestDone(10);
  // A late frame after completion must not arm a time-out.
  Queue->RestartResponseTimer(100);
  Queue->RestartRequestWatch();
  EXPECT_TRUE(Queue->ResponseTimer.IsNotStarted());
  EXPECT_TRUE(Queue->RequestWatch.IsNotStarted());
}

TEST_F(QueueController, TheTickAllocatesNothing) {
  for (int i = 0; i < 100; ++i) Add("r" + std::to_string(i), MethodPoll, 10);
  Queue->MinPause = 1;
  AnswerTimeout = 5;
  Sent.reserve(1000);  // the recording handler must not allocate either
  Cycle();             // the first tick sets up what is used once (lock entries, timer)
  const int allocations = kortest::CountAllocations([&] {
    for (int i = 0; i < 300; ++i) {
      Advance(3);
      Queue->Tick();
      if (i % 3 == 0) Queue->RequestDone(10);
    }
  });
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(Sent.size(), 100u);
}

// ---- schedules

namespace {

class QueueSchedules : public QueueController {
 protected:
  void SetUp() override {
    QueueController::SetUp();
    Queue->ScheduleClock = &Clock;
    Queue->OnError = [this](TQueueController&, const std::string& context,
                            const std::exception& error, const std::string& text) {
      Errors.push_back(context + ": " + text + ": " + error.what());
    };
  }
  void TearDown() override {
    Queue->ClearSchedules();
    QueueController::TearDown();
  }
  std::vector<std::string> EventNames() {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(Queue->ScheduledEvents()->Count()));
    for (std::int32_t i = 0; i < Queue->ScheduledEvents()->Count(); ++i)
      names.push_back(Queue->ScheduledEvents()->Items(i)->Name());
    return names;
  }
  std::string CronOf(std::int32_t index) {
    return Queue->ScheduledEvents()->Items(index)->Schedule().CronText();
  }

  TTestClock Clock{"2026-03-10 09:00:00"};
  std::vector<std::string> Errors;
};

}  // namespace

TEST_F(QueueSchedules, AtTimesBecomeOneEventPerTime) {
  TBasicRequestItem* item = Add("at", MethodAtTime);
  item->Schedule.Text = "8:30 p; 25:00, 7:75:10";
  Queue->AddSchedules(*item);
  const std::string key = RequestScheduleKey(MethodAtTime, item, Queue.get());
  EXPECT_EQ(item->ScheduleKey, key);
  EXPECT_EQ(EventNames(), (std::vector<std::string>{key + "/0", key + "/2"}));
  EXPECT_EQ(CronOf(0), "0 30 20 * * * *");
  EXPECT_EQ(CronOf(1), "10 0 7 * * * *");
  EXPECT_EQ(Queue->ScheduledEvents()->Items(0)->SignallingType(), 3);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QueueSchedules, EventsStartWithoutAFirstRun) {
  TBasicRequestItem* item = Add("noon", MethodAtTime);
  item->Schedule.Text = "12:00";
  Queue->AddSchedules(*item);
  ASSERT_EQ(Queue->ScheduledEvents()->Count(), 1);
  TScheduledEvent* event = Queue->ScheduledEvents()->Items(0);
  EXPECT_TRUE(event->Running());
  EXPECT_EQ(Iso(event->Schedule().NextRun()), "2026-03-10 12:00:00");
  plat::WaitAndProcessMessages(20);  // loaded at 09:00: nothing fires now
  EXPECT_EQ(event->RunCount(), 0u);
  EXPECT_FALSE(item->Triggered);
}

TEST_F(QueueSchedules, CronItemsGetOneEventFromTheirParams) {
  TBasicRequestItem* item = Add("cron", MethodCron);
  item->Schedule.CronParams = CronParamsFromText("0 15 6 * * 1-5");
  Queue->AddSchedules(*item);
  ASSERT_EQ(Queue->ScheduledEvents()->Count(), 1);
  EXPECT_EQ(Queue->ScheduledEvents()->Items(0)->Name(), item->ScheduleKey + "/0");
  EXPECT_EQ(CronOf(0), "0 15 6 * * 1-5 *");
  TBasicRequestItem* few = Add("few", MethodCron);  // fewer than six fields: every midnight
  Queue->AddSchedules(*few);
  EXPECT_EQ(CronOf(1), "0 0 0 * * * *");
}

TEST_F(QueueSchedules, ABadCronGoesToOnErrorAndGivesNoEvent) {
  TBasicRequestItem* item = Add("bad", MethodCron);
  item->Schedule.CronParams = CronParamsFromText("0 0 99 * * *");
  Queue->AddSchedules(*item);
  EXPECT_EQ(Queue->ScheduledEvents()->Count(), 0);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].rfind("Cron: 0 0 99 * * * *: ", 0), 0u) << Errors[0];
}

TEST_F(QueueSchedules, OtherMethodsGetNoEvents) {
  TBasicRequestItem* item = Add("poll", MethodPoll);
  item->Schedule.Text = "12:00";
  Queue->AddSchedules(*item);
  EXPECT_EQ(Queue->ScheduledEvents()->Count(), 0);
  EXPECT_EQ(item->ScheduleKey, "");
}

TEST_F(QueueSchedules, AFiringEventTriggersItsItemAndSendsAtOnce) {
  Add("poll", MethodPoll, 100000);
  TBasicRequestItem* item = Add("at", MethodAtTime);
  item->Schedule.Text = "12:00";
  Queue->AddSchedules(*item);
  EXPECT_EQ(Cycle(), "poll");
  Queue->MinPause = 100000;
  EXPECT_EQ(Cycle(), "");  // pausing
  std::vector<std::string> scheduled;
  Queue->OnSchedule = [&](TQueueController&, TScheduledEvent& event, TBasicRequestItem& it) {
    scheduled.push_back(event.Name() + " " + it.Name);
  };
  Queue->ScheduledEvents()->Items(0)->Fire(0);
  EXPECT_EQ(scheduled, (std::vector<std::string>{item->ScheduleKey + "/0 at"}));
  ASSERT_FALSE(Sent.empty());
  EXPECT_EQ(Sent.back(), "at");  // the trigger cleared the pause and ticked
  EXPECT_FALSE(item->Triggered);
}

TEST_F(QueueSchedules, TheMessageLoopFiresTheScheduleOnTheOwnerThread) {
  Clock.Set("2026-03-10 11:59:59");
  Clock.AddMs(990);
  TBasicRequestItem* item = Add("noon", MethodAtTime);
  item->Schedule.Text = "12:00 pm";
  Queue->AddSchedules(*item);
  Clock.AddMs(20);  // past noon: the event's next pass fires
  kortest::PumpUntil([&] { return !Sent.empty(); });
  EXPECT_EQ(Sent.front(), "noon");
}

TEST_F(QueueSchedules, ClearSchedulesStopsAndFreesEveryEvent) {
  TBasicRequestItem* item = Add("at", MethodAtTime);
  item->Schedule.Text = "6:00, 18:00";
  Queue->AddSchedules(*item);
  EXPECT_EQ(Queue->ScheduledEvents()->Count(), 2);
  Queue->ClearSchedules();
  EXPECT_EQ(Queue->ScheduledEvents()->Count(), 0);
}

// ---- the tick after a completion

namespace {

// The period is far beyond the test: only a completion can bring a tick.
class QueueTickAfterDone : public QueueController {
 protected:
  void SetUp() override {
    QueueController::SetUp();
    Add("a", MethodOnce);
    Add("b", MethodOnce);
    Queue->Start(true);
    Queue->Timer()->SetInterval(3600000);
    ASSERT_EQ(TickSend(), "a");
  }
  void PumpFor(unsigned ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) plat::WaitAndProcessMessages(2);
  }
};

TEST_F(QueueTickAfterDone, CompletionFromTheWorkerRunsTheNextTickOnTheOwner) {
  kortest::RunBounded([&] { Queue->RequestDone(10); });
  EXPECT_EQ(Sent.size(), 1u);  // not on the worker's thread
  kortest::PumpUntil([&] { return Sent.size() == 2; });
  EXPECT_EQ(Sent.back(), "b");
}

TEST_F(QueueTickAfterDone, TheTickKeepsThePauseBetweenSends) {
  Queue->MinPause = 500;  // the virtual clock does not move: the pause holds
  Queue->PauseTimer.StartWith(500);
  kortest::RunBounded([&] { Queue->RequestDone(10); });
  PumpFor(30);
  EXPECT_EQ(Sent.size(), 1u);
  Advance(600);  // the pause has passed: the next out-of-turn tick sends
  Queue->Timer()->FireSoon();
  kortest::PumpUntil([&] { return Sent.size() == 2; });
}

TEST_F(QueueTickAfterDone, SwitchedOffTheCompletionWaitsForThePeriod) {
  Queue->TickAfterDone = false;
  kortest::RunBounded([&] { Queue->RequestDone(10); });
  PumpFor(30);
  EXPECT_EQ(Sent.size(), 1u);
}

}  // namespace
