// Threads, events and the wrapping tick counter. (The re-entrant lock is
// met where the serial driver's handler pauses its poll under the poll's lock.)
//
// Calls carried over to the main thread: at once on it, through the host's
// pump or a toolkit loop from other threads, withdrawn when the main thread
// does not take them in time, and exceptions carried back. The test's main
// thread is the process's main thread.
#include "platform/Thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/MainThread.h"
#include "platform/ThreadId.h"
#include "platform/Tick.h"
#include "tests/kit/Pump.h"

namespace kestrel::platform {
namespace {

TEST(Tick, ElapsedAndRemainingSurviveWrapAround) {
  EXPECT_EQ(Elapsed(0xFFFFFFF0u, 0x10u), 0x20u);
  EXPECT_EQ(Elapsed(5, 5), 0u);
  EXPECT_EQ(Remaining(0xFFFFFFF0u, 0x10u, 0x30u), 0x10u);
  EXPECT_EQ(Remaining(0xFFFFFFF0u, 0x10u, 0x20u), 0u);
  EXPECT_EQ(Remaining(0, 100, 0xFFFFFFFFu), 0xFFFFFFFFu - 100);
}

class Counter : public TThread {
 public:
  std::atomic<int> passes{0};
  std::atomic<std::uint32_t> seen_id{0};

 protected:
  void Execute() override {
    seen_id = CurrentThreadId();
    while (!WaitTerminated(10)) ++passes;
  }
};

TEST(Thread, CreatedSuspendedRunsAfterResumeAndEndsOnTerminate) {
  Counter idle;
  idle.WaitFor();  // never resumed: the wait returns all the same
  EXPECT_FALSE(idle.Finished());

  Counter t;
  EXPECT_EQ(t.ThreadId(), 0u);
  t.Resume();
  TEvent never;
  while (t.passes < 2) never.WaitFor(5);
  const auto start = GetTickCount();
  t.Terminate();
  t.WaitFor();
  EXPECT_LT(Elapsed(start, GetTickCount()), 500u) << "terminate must end a blocking wait at once";
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(t.seen_id.load(), t.ThreadId());
  EXPECT_NE(t.ThreadId(), CurrentThreadId());
}

TEST(Thread, ExceptionInExecuteEndsOnlyThatThread) {
  struct Thrower : TThread {
    void Execute() override { throw 42; }
  } t;
  t.Resume();
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
}

// The tick counter moves on in milliseconds: the timed-out wait shows it.
TEST(Event, WaitForTimesOutThenSeesSet) {
  TEvent e;
  EXPECT_FALSE(e.WaitFor(0));
  const auto start = GetTickCount();
  EXPECT_FALSE(e.WaitFor(30));
  EXPECT_GE(Elapsed(start, GetTickCount()), 25u);
  e.Set();
  EXPECT_TRUE(e.WaitFor(1000));
  e.Reset();
  EXPECT_FALSE(e.IsSet());
}

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A toolkit loop as a test sees it: posted requests wait until the test lets
// the loop run them.
class TFakeLoop final : public TMainThreadLoop {
 public:
  explicit TFakeLoop(bool accepts) : accepts_(accepts) {}
  bool Post(std::function<void()> run) override {
    std::lock_guard lock(mutex_);
    if (!accepts_) return false;
    posted_.push_back(std::move(run));
    changed_.notify_all();
    return true;
  }
  bool ProcessEvents(std::uint32_t) override {
    std::vector<std::function<void()>> now;
    {
      std::lock_guard lock(mutex_);
      now.swap(posted_);
    }
    for (auto& run : now) run();
    ++processed;
    return true;
  }
  // Waits up to `timeout_ms` for a posted request; returns how many wait.
  std::size_t WaitPosted(int timeout_ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, milliseconds(timeout_ms), [&] { return !posted_.empty(); });
    return posted_.size();
  }
  int processed = 0;

 private:
  const bool accepts_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::function<void()>> posted_;
};

class MainThread : public ::testing::Test {
 protected:
  void TearDown() override {
    SetMainThreadLoop(nullptr);
    EXPECT_EQ(PendingMainThreadCalls(), 0u);
  }
};

TEST_F(MainThread, OnTheMainThreadACallRunsAtOnce) {
  ASSERT_TRUE(IsMainThread());
  int runs = 0;
  EXPECT_TRUE(RunOnMainThread([&] { ++runs; }, 0));
  EXPECT_EQ(runs, 1);
  EXPECT_THROW((void)RunOnMainThread([] { throw std::runtime_error("on main"); }, 0), std::runtime_error);
}

// Also with a toolkit loop that takes no calls: they are left to the pump.
TEST_F(MainThread, AWorkersCallRunsOnTheMainThreadWhenTheHostPumpsAndItsExceptionComesBack) {
  TFakeLoop refusing(false);
  SetMainThreadLoop(&refusing);
  std::atomic<std::uint32_t> ran_on{0};
  bool result = false;
  EXPECT_TRUE(testing::OnWorkerWhilePumping([&] {
    EXPECT_FALSE(IsMainThread());
    EXPECT_EQ(PumpMainThread(10), 0u) << "only the main thread pumps";
    result = RunOnMainThread([&] { ran_on = CurrentThreadId(); }, 10000);
    EXPECT_THAT([] { (void)RunOnMainThread([] { throw std::runtime_error("no window"); }, 10000); },
                ::testing::ThrowsMessage<std::runtime_error>(::testing::StrEq("no window")));
  }, 10000, [] { PumpMainThread(20); }));
  EXPECT_TRUE(result);
  EXPECT_EQ(ran_on.load(), MainThreadId());
  EXPECT_EQ(refusing.WaitPosted(0), 0u);
}

TEST_F(MainThread, ACallNotTakenInTimeIsWithdrawnAndNeverRuns) {
  std::atomic<int> runs{0};
  bool result = true;
  std::thread worker([&] { result = RunOnMainThread([&] { ++runs; }, 50); });
  worker.join();  // the main thread does not pump meanwhile
  EXPECT_FALSE(result);
  EXPECT_EQ(PendingMainThreadCalls(), 0u);
  PumpMainThread(0);
  EXPECT_EQ(runs.load(), 0);
}

TEST_F(MainThread, AnInstalledLoopIsAskedAndRunsTheCall) {
  TFakeLoop loop(true);
  SetMainThreadLoop(&loop);
  std::atomic<std::uint32_t> ran_on{0};
  std::thread worker([&] { EXPECT_TRUE(RunOnMainThread([&] { ran_on = CurrentThreadId(); }, 10000)); });
  // The loop, not the pump's own queue, runs it: its request is there first.
  EXPECT_EQ(loop.WaitPosted(10000), 1u);
  loop.ProcessEvents(0);
  worker.join();
  EXPECT_EQ(ran_on.load(), MainThreadId());
  // The host's pump lets the loop handle its events.
  const int before = loop.processed;
  PumpMainThread(0);
  EXPECT_EQ(loop.processed, before + 1);
}

// Real time, tolerant: a pump waiting for work wakes when a call is queued
// rather than at the end of its wait.
TEST_F(MainThread, AWaitingPumpWakesForAQueuedCall) {
  std::thread worker([&] {
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(RunOnMainThread([] {}, 20000));
  });
  const auto start = steady_clock::now();
  std::size_t ran = 0;
  while (ran == 0 && steady_clock::now() - start < milliseconds(20000)) ran += PumpMainThread(15000);
  const auto waited = steady_clock::now() - start;
  worker.join();
  EXPECT_EQ(ran, 1u);
  EXPECT_LT(waited, milliseconds(10000));
}

}  // namespace
}  // namespace kestrel::platform
