// TCommPortDriver's poll: delivery, the counted pause, the thread's life.
#include <gtest/gtest.h>

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

// Collects what the poll delivers, call by call.
class TCollector {
 public:
  void Attach(TCommPortDriver& d) {
    d.OnReceiveData = [this](TCommPortDriver*, const void* data, std::uint32_t size) {
      std::lock_guard lock(mutex_);
      calls_.emplace_back(static_cast<const char*>(data), size);
      arrived_.Set();
    };
  }
  // Waits until `bytes` bytes have come in all (or `timeout_ms` pass).
  std::string WaitFor(std::size_t bytes, std::uint32_t timeout_ms = 5000) {
    const std::uint32_t start = platform::GetTickCount();
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const auto& c : calls_) all += c;
        if (all.size() >= bytes) return all;
        arrived_.Reset();
      }
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
      if (left == 0 || !arrived_.WaitFor(left)) return All();
    }
  }
  std::string All() {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& c : calls_) all += c;
    return all;
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;
  platform::TEvent arrived_;
};

TEST(CommPortDriverPoll, DeliversAtMostInBufSizePerCallInOrder) {
  TPty pty;
  TTestDriver d;
  TCollector got;
  got.Attach(d);
  d.SetPortName(pty.SlavePath());
  d.SetInBufSize(128);
  d.SetPollingDelay(5);
  ASSERT_TRUE(d.Connect());
  d.PausePolling();  // let it all queue first, so that one poll finds more than fits
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(' ' + i % 90));
  pty.WriteAll(data);
  const std::uint32_t start = platform::GetTickCount();
  while (d.CountRX() < 1000 && platform::Elapsed(start, platform::GetTickCount()) < 5000)
    ASSERT_NE(platform::PortWaitReceive(d.Handle(), 20), platform::TPortWait::kError);
  d.ContinuePolling();
  EXPECT_EQ(got.WaitFor(1000), data);
  const auto calls = got.Calls();
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(calls.front().size(), 128u);
  for (const auto& c : calls) EXPECT_LE(c.size(), 128u);
}

TEST(CommPortDriverPoll, PausesNestAndOnlyTheLastContinueResumes) {
  auto line = NewSimLine();
  TTestDriver d;
  TCollector got;
  got.Attach(d);
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  d.KillThrdTimer();  // drive the poll by hand: no real-time waits for "nothing happened"
  ASSERT_EQ(line->Write("RING\r\n", 6), 6u);
  d.PausePolling();
  d.PausePolling();
  d.TimerThreadProc();
  d.ContinuePolling();
  d.TimerThreadProc();
  EXPECT_TRUE(got.Calls().empty());
  EXPECT_EQ(d.PauseCount(), 1);
  d.ContinuePolling();
  d.TimerThreadProc();
  EXPECT_EQ(got.All(), "RING\r\n");
  d.ContinuePolling();  // unmatched: must not make the next pause ineffective
  EXPECT_EQ(d.PauseCount(), 0);
  d.PausePolling();
  ASSERT_EQ(line->Write("X", 1), 1u);
  d.TimerThreadProc();
  EXPECT_EQ(got.All(), "RING\r\n");
  d.ContinuePolling();
}

TEST(CommPortDriverPoll, ThePollThreadDeliversWithoutBeingAsked) {
  auto line = NewSimLine();
  TTestDriver d;
  TCollector got;
  got.Attach(d);
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  ASSERT_EQ(line->Write("CONNECT 2400\r\n", 14), 14u);
  EXPECT_EQ(got.WaitFor(14), "CONNECT 2400\r\n");
}

TEST(CommPortDriverPoll, BytesDuringAReadGoToItAndTheRestToThePollAfterwards) {
  platform::TSimLineOptions options;
  options.bits_per_second = 20000;  // 0.5 ms a byte
  auto line = NewSimLine(true, options);
  TTestDriver d;
  TCollector got;
  got.Attach(d);
  d.SetPortName(SimPort(*line));
  d.SetPollingDelay(5);
  ASSERT_TRUE(d.Connect());
  std::string data;
  for (int i = 0; i < 100; ++i) data.push_back(static_cast<char>('0' + i % 10));
  ASSERT_EQ(line->Write(data.data(), data.size()), data.size());
  char buf[40];
  bool timed_out = false, lost = false;
  std::uint32_t elapsed = 0;
  d.InputTimeout = 5000;
  // The poll may have taken the first bytes before the read began; whatever
  // it took comes first, the read's 40 next, the poll's rest after.
  const std::uint32_t n = d.ReadData(buf, 40, timed_out, elapsed, false, lost);
  EXPECT_EQ(n, 40u);
  const std::string before = got.All();
  EXPECT_EQ(std::string(buf, n), data.substr(before.size(), 40));
  const std::string after = got.WaitFor(data.size() - 40);
  EXPECT_EQ(after.substr(0, before.size()) + std::string(buf, n) + after.substr(before.size()), data);
}

TEST(CommPortDriverPoll, AnExceptionInTheHandlerDoesNotEndThePoll) {
  auto line = NewSimLine();
  TTestDriver d;
  std::atomic<int> calls{0};
  d.SetPortName(SimPort(*line));
  d.SetPollingDelay(5);
  d.OnReceiveData = [&](TCommPortDriver*, const void*, std::uint32_t) {
    if (++calls == 1) throw std::runtime_error("handler failed");
  };
  ASSERT_TRUE(d.Connect());
  ASSERT_EQ(line->Write("A", 1), 1u);
  const std::uint32_t start = platform::GetTickCount();
  while (calls.load() < 1 && platform::Elapsed(start, platform::GetTickCount()) < 5000) line->WaitGateActivity(20);
  ASSERT_EQ(calls.load(), 1);
  ASSERT_EQ(line->Write("B", 1), 1u);
  while (calls.load() < 2 && platform::Elapsed(start, platform::GetTickCount()) < 5000) line->WaitGateActivity(20);
  EXPECT_EQ(calls.load(), 2) << "the thread lives on after the exception";
  EXPECT_TRUE(d.PollThreadRunning());
}

TEST(CommPortDriverPoll, KillThrdTimerWaitsForThePollUnderWay) {
  auto line = NewSimLine();
  TTestDriver d;
  platform::TEvent entered, release;
  std::atomic<bool> handler_done{false};
  d.OnReceiveData = [&](TCommPortDriver*, const void*, std::uint32_t) {
    entered.Set();
    release.WaitFor(10000);
    handler_done = true;
  };
  d.SetPortName(SimPort(*line));
  d.SetPollingDelay(5);
  ASSERT_TRUE(d.Connect());
  ASSERT_EQ(line->Write("x", 1), 1u);
  ASSERT_TRUE(entered.WaitFor(5000));

  std::atomic<bool> killed{false};
  std::atomic<bool> handler_done_when_killed{false};
  std::thread killer([&] {
    d.KillThrdTimer();
    handler_done_when_killed = handler_done.load();
    killed = true;
  });
  platform::TEvent().WaitFor(50);  // a short look: the kill must still be waiting
  EXPECT_FALSE(killed.load());
  release.Set();
  killer.join();
  EXPECT_TRUE(handler_done_when_killed.load()) << "the poll was not cut in half";
  EXPECT_FALSE(d.PollThreadRunning());
}

TEST(CommPortDriverPoll, PausePollingFromAnotherThreadWaitsForThePollUnderWay) {
  auto line = NewSimLine();
  TTestDriver d;
  platform::TEvent entered, release;
  std::atomic<bool> handler_done{false};
  d.OnReceiveData = [&](TCommPortDriver* sender, const void*, std::uint32_t) {
    sender->PausePolling();  // the lock is re-entrant: the handler may pause too
    sender->ContinuePolling();
    entered.Set();
    release.WaitFor(10000);
    handler_done = true;
  };
  d.SetPortName(SimPort(*line));
  d.SetPollingDelay(5);
  ASSERT_TRUE(d.Connect());
  ASSERT_EQ(line->Write("x", 1), 1u);
  ASSERT_TRUE(entered.WaitFor(5000));
  std::atomic<bool> paused{false}, done_when_paused{false};
  std::thread pauser([&] {
    d.PausePolling();
    done_when_paused = handler_done.load();
    paused = true;
  });
  release.Set();
  pauser.join();
  EXPECT_TRUE(done_when_paused.load());
  EXPECT_EQ(d.PauseCount(), 1);
  d.ContinuePolling();
}

TEST(CommPortDriverPoll, StopDoesNotWaitOutThePause) {
  auto line = NewSimLine();
  TTestDriver d;
  d.SetPortName(SimPort(*line));
  // A stop that slept out the thread's 100 ms pause would take about 1.5 s
  // for 30 cycles on average; one that ends the pause at once takes a few ms.
  const std::uint32_t start = platform::GetTickCount();
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(d.Connect());
    d.Disconnect();
  }
  EXPECT_LT(platform::Elapsed(start, platform::GetTickCount()), 1000u);
  EXPECT_FALSE(d.PollThreadRunning());
}

TEST(CommPortDriverPoll, DisconnectFromTheHandlerEndsThePollWithoutDeadlock) {
  auto line = NewSimLine();
  TTestDriver d;
  platform::TEvent handled, delivered;
  std::atomic<bool> first{true};
  std::mutex mutex;
  std::string later;
  d.OnReceiveData = [&](TCommPortDriver* sender, const void* data, std::uint32_t size) {
    if (first.exchange(false)) {
      sender->Disconnect();
      handled.Set();
      return;
    }
    std::lock_guard lock(mutex);
    later.append(static_cast<const char*>(data), size);
    delivered.Set();
  };
  d.SetPortName(SimPort(*line));
  d.SetPollingDelay(5);
  ASSERT_TRUE(d.Connect());
  ASSERT_EQ(line->Write("NO CARRIER\r\n", 12), 12u);
  ASSERT_TRUE(handled.WaitFor(5000));
  EXPECT_FALSE(d.Connected());
  EXPECT_FALSE(line->GateOpen());

  // The owner connects again: a fresh poll thread delivers.
  ASSERT_TRUE(d.Connect());
  ASSERT_EQ(line->Write("OK\r\n", 4), 4u);
  ASSERT_TRUE(delivered.WaitFor(5000));
  std::lock_guard lock(mutex);
  EXPECT_EQ(later, "OK\r\n");
}

}  // namespace
}  // namespace kestrel::serial::testing
