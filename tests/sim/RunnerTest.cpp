// The exchange in real time: modems on sim lines (the gate's end opened
// through the port layer, as a terminal program would), an idle exchange,
// and terminals that race the runner. (Modems on pseudo-terminals are the
// chat program's test, ChatInteropTest.cpp.) Real-time tests: few, with
// short timers and generous time-outs.
#include "sim/ExchangeRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Event.h"
#include "platform/Port.h"
#include "tests/kit/SimRig.h"
#include "tests/kit/TempDir.h"

namespace kestrel::sim {
namespace {

using platform::TPortHandle;

using testing::TTerminal;

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A quick exchange with modems 101 and 102 on sim lines, running.
struct TSimPair {
  TExchangeRunner runner{testing::QuickExchange()};
  const std::string la = testing::TSimRig::NewLine("sim-a"), lb = testing::TSimRig::NewLine("sim-b");
  const TModemId first = runner.AddSimModem(la, {.number = "101"});
  const TModemId second = runner.AddSimModem(lb, {.number = "102"});
  TSimPair() { runner.Start(); }
};

TEST(ExchangeRunner, CallOverSimLinesRingsAnswersCarriesAndHangsUp) {
  TSimPair x;
  ASSERT_NE(x.first, kNoModem);
  ASSERT_NE(x.second, kNoModem);
  EXPECT_EQ(x.runner.AddSimModem(x.la, {.number = "103"}), kNoModem) << "a line name is taken once";
  TTerminal a(x.la), b(x.lb);
  ASSERT_TRUE(a.IsOpen() && b.IsOpen());
  EXPECT_EQ(a.Lines() & (platform::kModemDsrOn | platform::kModemCtsOn), platform::kModemDsrOn | platform::kModemCtsOn);
  ASSERT_TRUE(a.Type("ATE0V1S0=0S10=1\r"));
  EXPECT_EQ(a.ReadUntil("OK\r\n"), "ATE0V1S0=0S10=1\r\r\nOK\r\n");
  ASSERT_TRUE(b.Type("ATE0S10=1\r"));
  b.ReadUntil("OK\r\n");

  ASSERT_TRUE(a.Type("ATDT102\r"));
  EXPECT_EQ(b.ReadUntil("RING\r\n"), "\r\nRING\r\n");
  EXPECT_TRUE(b.WaitLines([](std::uint32_t s) { return (s & platform::kModemRingOn) == 0; }))
      << "the ring indicator pulses with the cadence";
  ASSERT_TRUE(b.Type("ATA\r"));
  EXPECT_TRUE(Has(b.ReadUntil("CONNECT 115200\r\n"), "CONNECT 115200"));
  EXPECT_EQ(a.ReadUntil("CONNECT 115200\r\n"), "\r\nCONNECT 115200\r\n");
  EXPECT_TRUE(a.WaitLines([](std::uint32_t s) { return (s & platform::kModemRlsdOn) != 0; }));

  ASSERT_TRUE(a.Type("hello from a"));
  EXPECT_EQ(b.ReadUntil("from a"), "hello from a");
  ASSERT_TRUE(b.Type("and from b"));
  EXPECT_EQ(a.ReadUntil("from b"), "and from b");

  // Closing the port drops DTR: the caller's modem hangs up, the answerer loses the carrier.
  a.Close();
  EXPECT_EQ(b.ReadUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
  EXPECT_TRUE(b.WaitLines([](std::uint32_t s) { return (s & platform::kModemRlsdOn) == 0; }));
}

// A terminal that starts reading data with a carrier check the moment it
// sees CONNECT must find the carrier already on, every time; and a port
// closed and opened again at once is a DTR drop all the same.
TEST(ExchangeRunner, CarrierIsUpByTheTimeConnectCanBeReadAndACloseAtOnceHangsUp) {
  TSimPair x;
  TTerminal a(x.la), b(x.lb);
  ASSERT_TRUE(b.Type("ATS0=1S10=1\r"));  // answer at once, notice the hang-up at once
  b.ReadUntil("OK\r\n");
  ASSERT_TRUE(a.Type("ATE0\r"));
  a.ReadUntil("OK\r\n");
  for (int round = 0; round < 8; ++round) {
    ASSERT_TRUE(a.Type("ATDT102\r"));
    ASSERT_TRUE(Has(a.ReadUntil("CONNECT 115200\r\n"), "CONNECT")) << "round " << round;
    EXPECT_NE(a.Lines() & platform::kModemRlsdOn, 0u) << "round " << round;
    a.Close();
    a.Open();
    EXPECT_TRUE(Has(b.ReadUntil("NO CARRIER\r\n"), "NO CARRIER")) << "round " << round;
  }
  ASSERT_TRUE(a.Type("AT\r"));
  EXPECT_EQ(a.ReadUntil("OK\r\n"), "\r\nOK\r\n") << "the modem lives on: E0 still holds";
}

TEST(ExchangeRunner, IdleExchangeSleeps) {
  testing::TTempDir dir;
  TExchangeRunner runner;
  std::string error;
  for (int i = 0; i < 16; ++i)
    ASSERT_NE(runner.AddPtyModem(dir / ("m" + std::to_string(i)), {.number = std::to_string(100 + i)}, error), kNoModem)
        << error;
  runner.Start();
  // Let the start-up work settle, however long a loaded machine takes: wait
  // for 100 ms without a pass (up to 5 s), then count.
  platform::TEvent never;
  for (int i = 0; i < 50; ++i) {
    const std::uint64_t seen = runner.Passes();
    never.WaitFor(100);
    if (runner.Passes() == seen) break;
  }
  const std::uint64_t before = runner.Passes();
  never.WaitFor(300);
  EXPECT_LE(runner.Passes() - before, 2u) << "no timer is due and no port is active";
}

// A terminal that opens its port (DTR on) and writes a command at once may
// do both between two looks of the runner; and one that writes its last
// command and closes, likewise. The command counts with DTR on either way.
class TRacingTerminal final : public TModemPort {
 public:
  explicit TRacingTerminal(bool open) : dtr_(open) {}
  // Bytes appear together with the DTR change, as if both happened just
  // before the runner's read.
  void OpenAndWrite(std::string text) {
    std::lock_guard lock(mutex_);
    pending_dtr_ = true;
    pending_ = std::move(text);
  }
  void WriteAndClose(std::string text) {
    std::lock_guard lock(mutex_);
    pending_ = std::move(text);
    pending_drop_ = true;
  }
  std::string Heard() {
    std::lock_guard lock(mutex_);
    return heard_;
  }

  std::size_t Read(void* data, std::size_t size) override {
    std::lock_guard lock(mutex_);
    if (pending_dtr_) dtr_ = true;
    if (pending_drop_) {
      dtr_ = false;
      ++drops_;
    }
    pending_dtr_ = pending_drop_ = false;
    const std::size_t n = std::min(size, pending_.size());
    std::memcpy(data, pending_.data(), n);
    pending_.erase(0, n);
    return n;
  }
  std::size_t Write(const void* data, std::size_t size) override {
    std::lock_guard lock(mutex_);
    heard_.append(static_cast<const char*>(data), size);
    return size;
  }
  bool Dtr() const override {
    std::lock_guard lock(mutex_);
    return dtr_;
  }
  std::uint32_t DtrDrops() const override {
    std::lock_guard lock(mutex_);
    return drops_;
  }
  void SetLines(const TModemLines&) override {}
  void SetOnActivity(std::function<void()> callback) override { on_activity_ = std::move(callback); }
  std::string Describe() const override { return "racing terminal"; }
  void Poke() { on_activity_(); }

 private:
  mutable std::mutex mutex_;
  bool dtr_, pending_dtr_ = false, pending_drop_ = false;
  std::uint32_t drops_ = 0;
  std::string pending_, heard_;
  std::function<void()> on_activity_;
};

TEST(ExchangeRunner, CommandsWrittenRightAfterOpeningOrRightBeforeClosingAreTaken) {
  TExchangeRunner runner(testing::QuickExchange());
  auto opening = std::make_unique<TRacingTerminal>(false), closing = std::make_unique<TRacingTerminal>(true);
  TRacingTerminal* a = opening.get();
  TRacingTerminal* b = closing.get();
  runner.AddModem({.number = "101"}, std::move(opening));
  runner.AddModem({.number = "104"}, std::move(closing));
  std::mutex mutex;
  std::vector<std::string> dialled;
  platform::TEvent both;
  runner.SetEventSink([&](const TExchangeEvent& e) {
    if (e.kind != TExchangeEvent::TKind::kDial) return;
    std::lock_guard lock(mutex);
    dialled.push_back(e.text);
    if (dialled.size() == 2) both.Set();
  });
  runner.Start();
  a->OpenAndWrite("ATDT102\r");
  b->WriteAndClose("ATDT103\r");
  a->Poke();
  b->Poke();
  EXPECT_TRUE(both.WaitFor(3000));
  std::lock_guard lock(mutex);
  std::sort(dialled.begin(), dialled.end());
  EXPECT_EQ(dialled, (std::vector<std::string>{"102", "103"}))
      << "a command right after the port opened, or right before it closed, was dropped";
}

}  // namespace
}  // namespace kestrel::sim
