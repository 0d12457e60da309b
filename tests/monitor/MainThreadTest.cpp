// Calls carried over to the main thread: at once on it, through the host's
// pump or a toolkit loop from other threads, withdrawn when the main thread
// does not take them in time, and exceptions carried back. The test's main
// thread is the process's main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/MainThread.h"
#include "platform/ThreadId.h"

namespace kestrel::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Pumps until `done` holds, for at most `timeout_ms`.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = steady_clock::now() + milliseconds(timeout_ms);
  while (!done()) {
    if (steady_clock::now() >= deadline) return false;
    PumpMainThread(20);
  }
  return true;
}

// A toolkit loop as a test sees it: posted requests wait until the test lets
// the loop run them.
class TFakeLoop final : public TMainThreadLoop {
 public:
  bool accepts = true;
  bool Post(std::function<void()> run) override {
    std::lock_guard lock(mutex);
    if (!accepts) return false;
    posted.push_back(std::move(run));
    changed.notify_all();
    return true;
  }
  bool WaitPosted(int timeout_ms) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, milliseconds(timeout_ms), [&] { return !posted.empty(); });
  }
  bool ProcessEvents(std::uint32_t) override {
    std::vector<std::function<void()>> now;
    {
      std::lock_guard lock(mutex);
      now.swap(posted);
    }
    for (auto& run : now) run();
    ++processed;
    return true;
  }
  std::size_t Posted() {
    std::lock_guard lock(mutex);
    return posted.size();
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::function<void()>> posted;
  int processed = 0;
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

TEST_F(MainThread, AWorkersCallRunsOnTheMainThreadWhenTheHostPumps) {
  std::atomic<std::uint32_t> ran_on{0};
  std::atomic<bool> returned{false};
  bool result = false;
  std::thread worker([&] {
    EXPECT_FALSE(IsMainThread());
    EXPECT_EQ(PumpMainThread(10), 0u) << "only the main thread pumps";
    result = RunOnMainThread([&] { ran_on = CurrentThreadId(); }, 10000);
    returned = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return returned.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(ran_on.load(), MainThreadId());
}

TEST_F(MainThread, AnExceptionOfTheCallReachesTheWorker) {
  std::atomic<bool> returned{false};
  std::string caught;
  std::thread worker([&] {
    try {
      (void)RunOnMainThread([] { throw std::runtime_error("no window"); }, 10000);
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    returned = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return returned.load(); }, 10000));
  worker.join();
  EXPECT_EQ(caught, "no window");
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
  TFakeLoop loop;
  SetMainThreadLoop(&loop);
  std::atomic<bool> returned{false};
  std::atomic<std::uint32_t> ran_on{0};
  std::thread worker([&] {
    EXPECT_TRUE(RunOnMainThread([&] { ran_on = CurrentThreadId(); }, 10000));
    returned = true;
  });
  // The loop, not the pump's own queue, runs it: its request is there first.
  EXPECT_TRUE(loop.WaitPosted(10000));
  EXPECT_EQ(loop.Posted(), 1u);
  loop.ProcessEvents(0);
  EXPECT_TRUE(PumpUntil([&] { return returned.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(ran_on.load(), MainThreadId());
  // The host's pump lets the loop handle its events.
  const int before = loop.processed;
  PumpMainThread(0);
  EXPECT_EQ(loop.processed, before + 1);
}

TEST_F(MainThread, ALoopThatCannotTakeCallsLeavesThemToThePump) {
  TFakeLoop loop;
  loop.accepts = false;
  SetMainThreadLoop(&loop);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    EXPECT_TRUE(RunOnMainThread([] {}, 10000));
    returned = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return returned.load(); }, 10000));
  worker.join();
  EXPECT_EQ(loop.Posted(), 0u);
}

// Real time, tolerant: a pump waiting for work wakes when a call is queued
// rather than at the end of its wait.
TEST_F(MainThread, AWaitingPumpWakesForAQueuedCall) {
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(RunOnMainThread([] {}, 20000));
    returned = true;
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
