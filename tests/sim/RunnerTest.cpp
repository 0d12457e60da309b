// The exchange in real time: modems on sim lines (the gate's end opened
// through the port layer) and on pseudo-terminals (opened as a terminal
// program would). Real-time tests: few, with short timers and generous
// time-outs.
#include "sim/ExchangeRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Event.h"
#include "platform/Port.h"
#include "platform/PtyPeer.h"
#include "platform/Tick.h"
#include "tests/sim/QuickExchange.h"
#include "tests/sim/TempDir.h"

namespace kestrel::sim {
namespace {

using platform::TPortHandle;

// The gate's end of a sim line, reduced to what a terminal program does.
class TGateEnd {
 public:
  explicit TGateEnd(const std::string& name) : name_(name) { Open(); }
  ~TGateEnd() { Close(); }
  // Opens the port and applies line settings, which raises DTR, as the gate does.
  void Open() {
    port_ = platform::PortOpen("sim:" + name_);
    if (port_ != platform::kInvalidPortHandle) (void)platform::PortSetState(port_, platform::TPortDcb{});
  }
  void Close() {
    if (port_ != platform::kInvalidPortHandle) (void)platform::PortClose(port_);
    port_ = platform::kInvalidPortHandle;
  }
  bool IsOpen() const { return port_ != platform::kInvalidPortHandle; }
  bool Send(const std::string& text) {
    std::uint32_t done = 0;
    return platform::PortWrite(port_, text.data(), static_cast<std::uint32_t>(text.size()), done) &&
           done == text.size();
  }
  // What arrives until `needle` was read or `timeout_ms` passed.
  std::string ReadUntil(const std::string& needle, std::uint32_t timeout_ms = 3000) {
    const std::uint32_t start = platform::GetTickCount();
    std::string got;
    while (got.find(needle) == std::string::npos) {
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
      if (left == 0) break;
      if (platform::PortWaitReceive(port_, left) != platform::TPortWait::kReady) continue;
      char buf[512];
      std::uint32_t n = 0;
      if (!platform::PortRead(port_, buf, sizeof buf, n)) break;
      got.append(buf, n);
    }
    return got;
  }
  std::uint32_t Lines() {
    std::uint32_t status = 0;
    (void)platform::PortGetModemStatus(port_, status);
    return status;
  }
  // Waits until the modem lines satisfy `pred`.
  template <typename F>
  bool WaitLines(F pred, std::uint32_t timeout_ms = 3000) {
    const std::uint32_t start = platform::GetTickCount();
    std::uint32_t seen = Lines();
    while (!pred(seen)) {
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
      if (left == 0) return false;
      platform::PortWaitReceive(port_, left, &seen);
      char drain[512];
      std::uint32_t n = 0;
      while (platform::PortRead(port_, drain, sizeof drain, n) && n > 0) {
      }
      seen = Lines();
    }
    return true;
  }

 private:
  std::string name_;
  TPortHandle port_ = platform::kInvalidPortHandle;
};

std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + std::to_string(platform::GetTickCount()) + "-" + std::to_string(++counter);
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A quick exchange with modems 101 and 102 on sim lines, running.
struct TSimPair {
  TExchangeRunner runner{testing::QuickExchange()};
  const std::string la = UniqueName("sim-a"), lb = UniqueName("sim-b");
  const TModemId first = runner.AddSimModem(la, {.number = "101"});
  const TModemId second = runner.AddSimModem(lb, {.number = "102"});
  TSimPair() { runner.Start(); }
};

TEST(ExchangeRunner, CallOverSimLinesRingsAnswersCarriesAndHangsUp) {
  TSimPair x;
  ASSERT_NE(x.first, kNoModem);
  ASSERT_NE(x.second, kNoModem);
  EXPECT_EQ(x.runner.AddSimModem(x.la, {.number = "103"}), kNoModem) << "a line name is taken once";
  TGateEnd a(x.la), b(x.lb);
  ASSERT_TRUE(a.IsOpen() && b.IsOpen());
  EXPECT_EQ(a.Lines() & (platform::kModemDsrOn | platform::kModemCtsOn), platform::kModemDsrOn | platform::kModemCtsOn);
  ASSERT_TRUE(a.Send("ATE0V1S0=0S10=1\r"));
  EXPECT_EQ(a.ReadUntil("OK\r\n"), "ATE0V1S0=0S10=1\r\r\nOK\r\n");
  ASSERT_TRUE(b.Send("ATE0S10=1\r"));
  b.ReadUntil("OK\r\n");

  ASSERT_TRUE(a.Send("ATDT102\r"));
  EXPECT_EQ(b.ReadUntil("RING\r\n"), "\r\nRING\r\n");
  EXPECT_TRUE(b.WaitLines([](std::uint32_t s) { return (s & platform::kModemRingOn) == 0; }))
      << "the ring indicator pulses with the cadence";
  ASSERT_TRUE(b.Send("ATA\r"));
  EXPECT_TRUE(Has(b.ReadUntil("CONNECT 115200\r\n"), "CONNECT 115200"));
  EXPECT_EQ(a.ReadUntil("CONNECT 115200\r\n"), "\r\nCONNECT 115200\r\n");
  EXPECT_TRUE(a.WaitLines([](std::uint32_t s) { return (s & platform::kModemRlsdOn) != 0; }));

  ASSERT_TRUE(a.Send("hello from a"));
  EXPECT_EQ(b.ReadUntil("from a"), "hello from a");
  ASSERT_TRUE(b.Send("and from b"));
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
  TGateEnd a(x.la), b(x.lb);
  ASSERT_TRUE(b.Send("ATS0=1S10=1\r"));  // answer at once, notice the hang-up at once
  b.ReadUntil("OK\r\n");
  ASSERT_TRUE(a.Send("ATE0\r"));
  a.ReadUntil("OK\r\n");
  for (int round = 0; round < 8; ++round) {
    ASSERT_TRUE(a.Send("ATDT102\r"));
    ASSERT_TRUE(Has(a.ReadUntil("CONNECT 115200\r\n"), "CONNECT")) << "round " << round;
    EXPECT_NE(a.Lines() & platform::kModemRlsdOn, 0u) << "round " << round;
    a.Close();
    a.Open();
    EXPECT_TRUE(Has(b.ReadUntil("NO CARRIER\r\n"), "NO CARRIER")) << "round " << round;
  }
  ASSERT_TRUE(a.Send("AT\r"));
  EXPECT_EQ(a.ReadUntil("OK\r\n"), "\r\nOK\r\n") << "the modem lives on: E0 still holds";
}

TEST(ExchangeRunner, ModemsOnPseudoTerminalsCallEachOther) {
  testing::TTempDir dir;
  TExchangeRunner runner(testing::QuickExchange());
  std::string error;
  const TModemId ma = runner.AddPtyModem(dir / "modemA", {.number = "555-01"}, error);
  ASSERT_NE(ma, kNoModem) << error;
  ASSERT_NE(runner.AddPtyModem(dir / "modemB", {.number = "555-02"}, error), kNoModem) << error;
  EXPECT_TRUE(Has(runner.PortDescription(ma), " -> /dev/pts/"));
  runner.Start();

  auto a = platform::TPtyPeer::Open(dir / "modemA", error);
  auto b = platform::TPtyPeer::Open(dir / "modemB", error);
  ASSERT_TRUE(a && b) << error;
  ASSERT_TRUE(b->Write("ATS0=1S10=1\r"));
  EXPECT_EQ(b->ReadUntil("OK\r\n", 3000), "ATS0=1S10=1\r\r\nOK\r\n");
  ASSERT_TRUE(a->Write("ATDT55502\r"));
  EXPECT_EQ(a->ReadUntil("CONNECT 115200\r\n", 3000), "ATDT55502\r\r\nCONNECT 115200\r\n");
  EXPECT_EQ(b->ReadUntil("CONNECT 115200\r\n", 3000), "\r\nRING\r\n\r\nCONNECT 115200\r\n");
  const std::string block(3000, 'p');
  ASSERT_TRUE(a->Write(block));
  EXPECT_EQ(b->ReadCount(block.size(), 5000), block);
  // Closing the slave and opening it again at once is a DTR drop all the same.
  a.reset();
  a = platform::TPtyPeer::Open(dir / "modemA", error);
  EXPECT_EQ(b->ReadUntil("NO CARRIER\r\n", 3000), "\r\nNO CARRIER\r\n");
  ASSERT_TRUE(a->Write("AT\r"));
  EXPECT_EQ(a->ReadUntil("OK\r\n", 3000), "AT\r\r\nOK\r\n") << "nothing stale from the call";
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

TEST(ExchangeRunner, ConfigureInjectsFaultsIntoARunningExchange) {
  TSimPair x;
  TGateEnd a(x.la);
  const TModemId id = x.first;
  x.runner.Configure([&](TExchange& ex, TSimTime) { ex.SetModemFaults(id, {.dead = true}); });
  ASSERT_TRUE(a.Send("AT\r"));
  EXPECT_EQ(a.ReadUntil("OK", 300), "");
  x.runner.Configure([&](TExchange& ex, TSimTime) { ex.SetModemFaults(id, {.chunk_size = 2, .chunk_delay_ms = 20}); });
  ASSERT_TRUE(a.Send("AT\r"));
  EXPECT_EQ(a.ReadUntil("OK\r\n"), "AT\r\r\nOK\r\n");
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
