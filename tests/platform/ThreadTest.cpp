#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/ThreadId.h"
#include "platform/Tick.h"

namespace kestrel::platform {
namespace {

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

TEST(Thread, WaitForWithoutResumeReturns) {
  Counter t;
  t.WaitFor();
  EXPECT_FALSE(t.Finished());
}

TEST(CriticalSection, IsReentrant) {
  TCriticalSection cs;
  TLockGuard a(cs);
  TLockGuard b(cs);
  EXPECT_TRUE(cs.TryEnter());
  cs.Leave();
}

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
