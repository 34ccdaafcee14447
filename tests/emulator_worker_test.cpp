// The emulator's server skeleton: a Worker's loop starts once, ends at once
// on a stop whether it blocks in poll() or waits on shared state, runs calls
// on its own thread, and hands its state back only after the loop returned;
// Shared wakes whoever waits on it at every change; the loops' time-outs and
// schedules keep their bounds.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <stop_token>
#include <string>
#include <thread>

#include "test_support.h"
#include "worker.h"

namespace vktemu {
namespace {

using namespace std::chrono_literals;
using vkttest::Clock;
using vkttest::MsSince;

// Far longer than any stop may take: a wait that only a time-out ends
// shows as a failed bound below instead of a hang.
constexpr int kLongPollMs = 10000;
constexpr long long kPromptMs = 1000;

// A server loop in small: blocked in poll() on the wake descriptor beside
// nothing else, serving calls at the top of every turn.
Worker::Loop PollingLoop(Worker& worker, std::atomic<bool>& polling) {
  return [&worker, &polling](std::stop_token stop) {
    while (!stop.stop_requested()) {
      worker.serveCalls();
      polling = true;
      pollfd wake{worker.wakeFd(), POLLIN, 0};
      if (::poll(&wake, 1, kLongPollMs) > 0) worker.drain();
    }
  };
}

TEST(EmulatorWorker, StopEndsALoopBlockedInPollAtOnce) {
  Worker worker;
  std::atomic<bool> polling{false};
  ASSERT_TRUE(worker.start(nullptr, {}, PollingLoop(worker, polling)));
  ASSERT_TRUE(vkttest::WaitFor([&] { return polling.load(); }, 5s));
  EXPECT_TRUE(worker.running());
  const auto start = Clock::now();
  int closed = 0;
  worker.stop([&] { ++closed; });
  EXPECT_LT(MsSince(start), kPromptMs);
  EXPECT_FALSE(worker.running());
  EXPECT_EQ(closed, 1);
  worker.stop([&] { ++closed; });
  EXPECT_EQ(closed, 1) << "nothing to close once stopped";
}

TEST(EmulatorWorker, StopEndsAWaitOnSharedStateAtOnce) {
  Worker worker;
  Shared<int> value;
  std::atomic<bool> waiting{false};
  std::atomic<bool> sawStop{false};
  ASSERT_TRUE(worker.start(nullptr, {}, [&](std::stop_token stop) {
    waiting = true;
    const bool done = value.waitUntil(stop, Clock::now() + std::chrono::milliseconds(kLongPollMs),
                                      [](int v) { return v == 42; });
    sawStop = !done && stop.stop_requested();
  }));
  ASSERT_TRUE(vkttest::WaitFor([&] { return waiting.load(); }, 5s));
  const auto start = Clock::now();
  worker.stop();
  EXPECT_LT(MsSince(start), kPromptMs);
  EXPECT_TRUE(sawStop);
}

TEST(EmulatorWorker, StartsOnceAndAgainAfterAStop) {
  Worker worker;
  std::string error;
  EXPECT_FALSE(worker.start(
      &error,
      [](std::string* why) {
        *why = "port taken";
        return false;
      },
      [](std::stop_token) { ADD_FAILURE() << "a loop whose open failed ran"; }));
  EXPECT_EQ(error, "port taken");
  EXPECT_FALSE(worker.running());
  EXPECT_LT(worker.wakeFd(), 0) << "nothing stays open";

  std::atomic<bool> polling{false};
  ASSERT_TRUE(worker.start(&error, {}, PollingLoop(worker, polling)));
  EXPECT_FALSE(worker.start(&error, {}, [](std::stop_token) { ADD_FAILURE() << "a second loop ran"; }));
  EXPECT_EQ(error, "already running");
  worker.stop();

  polling = false;
  ASSERT_TRUE(worker.start(&error, {}, PollingLoop(worker, polling)));
  EXPECT_TRUE(vkttest::WaitFor([&] { return polling.load(); }, 5s));
}

// What the loop owns is handed back only once it returned.
TEST(EmulatorWorker, CloseRunsAfterTheLoopReturned) {
  Worker worker;
  std::atomic<bool> returned{false};
  ASSERT_TRUE(worker.start(nullptr, {}, [&](std::stop_token stop) {
    Shared<int>().wait(stop, [](int) { return false; });
    returned = true;
  }));
  bool returnedBeforeClose = false;
  worker.stop([&] { returnedBeforeClose = returned; });
  EXPECT_TRUE(returnedBeforeClose);
}

// requestStop() only asks: a loop with work left after the stop finishes
// it while the caller goes on.
TEST(EmulatorWorker, RequestStopReturnsBeforeTheLoopEnds) {
  Worker worker;
  Shared<bool> release;
  std::atomic<bool> stopSeen{false};
  ASSERT_TRUE(worker.start(nullptr, {}, [&](std::stop_token stop) {
    Shared<int>().wait(stop, [](int) { return false; });
    stopSeen = true;
    release.wait({}, [](bool released) { return released; });
  }));
  worker.requestStop();
  EXPECT_FALSE(worker.running());
  EXPECT_TRUE(vkttest::WaitFor([&] { return stopSeen.load(); }, 5s));
  release.set(true);
  worker.stop();
}

TEST(EmulatorWorker, CallsRunOnTheLoopThreadAndAreDoneOnReturn) {
  Worker worker;
  std::atomic<bool> polling{false};
  std::thread::id loopThread;
  ASSERT_TRUE(worker.start(nullptr, {}, [&](std::stop_token stop) {
    loopThread = std::this_thread::get_id();
    PollingLoop(worker, polling)(stop);
  }));
  int owned = 0;  // the loop's state
  std::thread::id ranOn;
  for (int i = 0; i < 3; ++i) {
    worker.call([&] {
      ++owned;
      ranOn = std::this_thread::get_id();
    });
    EXPECT_EQ(owned, i + 1) << "done when call() returns";
  }
  EXPECT_EQ(ranOn, loopThread);
  EXPECT_NE(ranOn, std::this_thread::get_id());

  worker.stop();
  worker.call([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id()) << "no loop: the caller runs it";
}

// A loop that ended by itself (a failed poll) must not leave a caller
// waiting for a turn that never comes.
TEST(EmulatorWorker, CallReturnsWhenTheLoopEndedByItself) {
  Worker worker;
  std::atomic<bool> ended{false};
  ASSERT_TRUE(worker.start(nullptr, {}, [&](std::stop_token) { ended = true; }));
  ASSERT_TRUE(vkttest::WaitFor([&] { return ended.load(); }, 5s));
  int ran = 0;
  worker.call([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(worker.running()) << "not asked to stop";
}

TEST(EmulatorShared, WaitersWakeOnChangeAndTimeOutOtherwise) {
  struct Counts {
    size_t frames = 0;
  };
  Shared<Counts> counts;
  std::atomic<bool> result{false};
  std::atomic<long long> waitedMs{-1};
  std::thread waiter([&] {
    const auto start = Clock::now();
    result = counts.waitAtLeast(&Counts::frames, size_t{2}, std::chrono::milliseconds(kLongPollMs));
    waitedMs = MsSince(start);
  });
  counts.change([](Counts& c) { ++c.frames; });
  counts.change([](Counts& c) { ++c.frames; });
  waiter.join();
  EXPECT_TRUE(result);
  EXPECT_LT(waitedMs, kPromptMs);
  EXPECT_EQ(counts.field(&Counts::frames), 2u);

  const auto start = Clock::now();
  EXPECT_FALSE(counts.waitAtLeast(&Counts::frames, size_t{3}, 30ms));
  EXPECT_GE(MsSince(start), 30);

  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(counts.wait(stop.get_token(), [](const Counts& c) { return c.frames > 2; }));
  EXPECT_TRUE(counts.wait(stop.get_token(), [](const Counts& c) { return c.frames == 2; }))
      << "a condition that holds is reported even after a stop";
}

TEST(EmulatorSchedule, PollTimeOutsRatesAndNextTimes) {
  EXPECT_EQ(pollTimeoutMs(Clock::now() - 5s), 0) << "a time that passed";
  EXPECT_EQ(pollTimeoutMs(Clock::time_point::max()), kMaxPollMs) << "bounded, so a lost wake-up still ends the wait";
  const int soon = pollTimeoutMs(Clock::now() + 200ms);
  EXPECT_GE(soon, 100);
  EXPECT_LE(soon, 200);

  EXPECT_EQ(clampedRate(std::nan(""), 1000), 0);
  EXPECT_EQ(clampedRate(-3, 1000), 0);
  EXPECT_EQ(clampedRate(2.5, 1000), 2.5);
  EXPECT_EQ(clampedRate(5000, 1000), 1000);
  EXPECT_EQ(periodOf(4), std::chrono::milliseconds(250));
  EXPECT_EQ(periodOf(1000), std::chrono::milliseconds(1));

  // A schedule a little behind keeps its pace and catches up; one that
  // fell further behind than kMaxLag starts again one period from now.
  const auto before = Clock::now();
  EXPECT_EQ(nextDue(before - 500ms, 100ms), before - 400ms);
  EXPECT_EQ(nextDue(before + 1s, 100ms), before + 1100ms);
  const auto restarted = nextDue(before - kMaxLag - 1s, 100ms);
  EXPECT_GE(restarted, before + 100ms);
  EXPECT_LE(restarted, Clock::now() + 100ms);
}

}  // namespace
}  // namespace vktemu
