// TCommPortDriver's poll: delivery, the counted pause, the thread's life.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Tick.h"
#include "tests/serial/DriverFixtures.h"

namespace kestrel::serial::testing {
namespace {

// A driver on a sim line, with the poll's deliveries collected call by call.
class CommPortDriverPoll : public ::testing::Test {
 protected:
  void SetUp() override {
    d_.OnReceiveData = [this](TCommPortDriver*, const void* data, std::uint32_t size) {
      std::lock_guard lock(mutex_);
      calls_.emplace_back(static_cast<const char*>(data), size);
      arrived_.Set();
    };
  }
  void Connect(const std::string& port, std::uint16_t polling_delay = 5) {
    d_.SetPortName(port);
    d_.SetPollingDelay(polling_delay);
    ASSERT_TRUE(d_.Connect()) << d_.LastErrorCode();
  }
  std::string All() {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& c : calls_) all += c;
    return all;
  }
  // Waits until `bytes` bytes have come in all, or five seconds pass.
  std::string WaitFor(std::size_t bytes) {
    const std::uint32_t start = platform::GetTickCount();
    for (;;) {
      arrived_.Reset();
      std::string all = All();
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), 5000);
      if (all.size() >= bytes || left == 0 || !arrived_.WaitFor(left)) return All();
    }
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  TSimFarEnd far_;
  TTestDriver d_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
  platform::TEvent arrived_;
};

TEST_F(CommPortDriverPoll, DeliversAtMostInBufSizePerCallInOrder) {
  TPtyFarEnd pty;
  d_.SetInBufSize(128);
  Connect(pty.PortName());
  d_.PausePolling();  // let it all queue first, so that one poll finds more than fits
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(' ' + i % 90));
  ASSERT_EQ(pty.Write(data), data.size());
  const std::uint32_t start = platform::GetTickCount();
  while (d_.CountRX() < 1000 && platform::Elapsed(start, platform::GetTickCount()) < 5000)
    ASSERT_NE(platform::PortWaitReceive(d_.Handle(), 20), platform::TPortWait::kError);
  d_.ContinuePolling();
  EXPECT_EQ(WaitFor(1000), data) << "the poll thread delivers without being asked";
  const auto calls = Calls();
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(calls.front().size(), 128u);
  for (const auto& c : calls) EXPECT_LE(c.size(), 128u);
  d_.Disconnect();
}

TEST_F(CommPortDriverPoll, PausesNestAndOnlyTheLastContinueResumes) {
  Connect(far_.PortName());
  d_.KillThrdTimer();  // drive the poll by hand: no real-time waits for "nothing happened"
  ASSERT_EQ(far_.Write("RING\r\n"), 6u);
  d_.PausePolling();
  d_.PausePolling();
  d_.TimerThreadProc();
  d_.ContinuePolling();
  d_.TimerThreadProc();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(d_.PauseCount(), 1);
  d_.ContinuePolling();
  d_.TimerThreadProc();
  EXPECT_EQ(All(), "RING\r\n");
  d_.ContinuePolling();  // unmatched: must not make the next pause ineffective
  EXPECT_EQ(d_.PauseCount(), 0);
  d_.PausePolling();
  ASSERT_EQ(far_.Write("X"), 1u);
  d_.TimerThreadProc();
  EXPECT_EQ(All(), "RING\r\n");
  d_.ContinuePolling();
}

TEST_F(CommPortDriverPoll, BytesDuringAReadGoToItAndTheRestToThePollAfterwards) {
  platform::TSimLineOptions options;
  options.bits_per_second = 2000;  // 5 ms a byte: the read outlasts two polls
  far_ = TSimFarEnd(true, options);
  Connect(far_.PortName());
  std::string data;  // every byte different, so that where a byte went shows where it came from
  for (int i = 0; i < 100; ++i) data.push_back(static_cast<char>(i));
  ASSERT_EQ(far_.Write(data), data.size());
  char buf[40];
  bool timed_out = false, lost = false;
  std::uint32_t elapsed = 0;
  d_.InputTimeout = 5000;
  // The poll may have taken the first bytes before the read began; the read
  // takes the 40 next in one piece, the poll the rest after it.
  const std::uint32_t n = d_.ReadData(buf, 40, timed_out, elapsed, false, lost);
  ASSERT_EQ(n, 40u);
  const std::size_t at = static_cast<unsigned char>(buf[0]);
  ASSERT_LE(at, 60u);
  EXPECT_EQ(std::string(buf, n), data.substr(at, 40));
  EXPECT_EQ(WaitFor(data.size() - 40), data.substr(0, at) + data.substr(at + 40));
}

TEST_F(CommPortDriverPoll, AnExceptionInTheHandlerDoesNotEndThePoll) {
  std::atomic<int> calls{0};
  d_.OnReceiveData = [&](TCommPortDriver*, const void*, std::uint32_t) {
    if (++calls == 1) throw std::runtime_error("handler failed");
  };
  Connect(far_.PortName());
  ASSERT_EQ(far_.Write("A"), 1u);
  const std::uint32_t start = platform::GetTickCount();
  auto wait_calls = [&](int n) {
    while (calls.load() < n && platform::Elapsed(start, platform::GetTickCount()) < 5000)
      far_.Line().WaitGateActivity(20);
    return calls.load();
  };
  ASSERT_EQ(wait_calls(1), 1);
  ASSERT_EQ(far_.Write("B"), 1u);
  EXPECT_EQ(wait_calls(2), 2) << "the thread lives on after the exception";
  EXPECT_TRUE(d_.PollThreadRunning());
}

// Neither KillThrdTimer nor PausePolling from another thread may cut a poll
// in half: both wait for the handler under way. The handler pauses too: the
// lock is re-entrant.
TEST_F(CommPortDriverPoll, KillThrdTimerAndPausePollingWaitForThePollUnderWay) {
  for (const bool kill : {true, false}) {
    SCOPED_TRACE(kill ? "KillThrdTimer" : "PausePolling");
    platform::TEvent entered, release;
    std::atomic<bool> handler_done{false}, returned{false}, done_when_returned{false};
    d_.OnReceiveData = [&](TCommPortDriver* sender, const void*, std::uint32_t) {
      sender->PausePolling();
      sender->ContinuePolling();
      entered.Set();
      release.WaitFor(10000);
      handler_done = true;
    };
    Connect(far_.PortName());
    ASSERT_EQ(far_.Write("x"), 1u);
    ASSERT_TRUE(entered.WaitFor(5000));
    std::thread other([&] {
      kill ? d_.KillThrdTimer() : d_.PausePolling();
      done_when_returned = handler_done.load();
      returned = true;
    });
    platform::TEvent().WaitFor(50);  // a short look: the call must still be waiting
    EXPECT_FALSE(returned.load());
    release.Set();
    other.join();
    EXPECT_TRUE(done_when_returned.load()) << "the poll was not cut in half";
    EXPECT_EQ(d_.PollThreadRunning(), !kill);
    EXPECT_EQ(d_.PauseCount(), kill ? 0 : 1);
    d_.Disconnect();
    d_.ContinuePolling();
  }
}

TEST_F(CommPortDriverPoll, StopDoesNotWaitOutThePause) {
  d_.SetPortName(far_.PortName());
  // A stop that slept out the thread's 100 ms pause would take 50 ms on
  // average; one that ends the pause at once takes a few. The median of 31
  // stops is not moved by a few that a busy machine delays.
  std::vector<std::uint32_t> took;
  for (int i = 0; i < 31; ++i) {
    ASSERT_TRUE(d_.Connect());
    const std::uint32_t start = platform::GetTickCount();
    d_.Disconnect();
    took.push_back(platform::Elapsed(start, platform::GetTickCount()));
  }
  std::nth_element(took.begin(), took.begin() + 15, took.end());
  EXPECT_LT(took[15], 50u);
  EXPECT_FALSE(d_.PollThreadRunning());
}

TEST_F(CommPortDriverPoll, DisconnectFromTheHandlerEndsThePollWithoutDeadlock) {
  platform::TEvent handled;
  std::atomic<bool> first{true};
  d_.OnReceiveData = [&, collect = d_.OnReceiveData](TCommPortDriver* sender, const void* data, std::uint32_t size) {
    if (!first.exchange(false)) return collect(sender, data, size);
    sender->Disconnect();
    handled.Set();
  };
  Connect(far_.PortName());
  ASSERT_EQ(far_.Write("NO CARRIER\r\n"), 12u);
  ASSERT_TRUE(handled.WaitFor(5000));
  EXPECT_FALSE(d_.Connected());
  EXPECT_FALSE(far_.Line().GateOpen());

  // The owner connects again: a fresh poll thread delivers.
  ASSERT_TRUE(d_.Connect());
  ASSERT_EQ(far_.Write("OK\r\n"), 4u);
  EXPECT_EQ(WaitFor(4), "OK\r\n");
}

}  // namespace
}  // namespace kestrel::serial::testing
