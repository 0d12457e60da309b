// Threads, the re-entrant lock, events and the wrapping tick counter.
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/ThreadId.h"
#include "platform/Tick.h"

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

TEST(CriticalSection, IsReentrant) {
  TCriticalSection cs;
  TLockGuard a(cs);
  TLockGuard b(cs);
  EXPECT_TRUE(cs.TryEnter());
  cs.Leave();
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

}  // namespace
}  // namespace kestrel::platform
