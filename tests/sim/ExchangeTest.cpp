// The telephone exchange: calls by number, ringing and answering on both
// ends, busy lines, unknown numbers, missing lines, hang-ups, and bytes on a
// connected call, on a fake clock.
//
// Faults injected through the exchange: bit errors, lost bytes, carrier drops
// after a byte count or a time, dead modems; per modem and per call.
//
// The exchange in real time: modems on sim lines (the gate's end opened
// through the port layer, as a terminal program would), an idle exchange,
// and terminals that race the runner. (Modems on pseudo-terminals are the
// chat program's test, ChatInterop below.) Real-time tests: few, with short
// timers and generous time-outs.
//
// Interoperability with a dialler nobody here wrote: the chat program of the
// ppp package dials through the exchange on one pseudo-terminal while a second
// chat answers RING with ATA on another; then data crosses the call both ways.
// Skipped where chat is not installed.
#include "sim/Exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Event.h"
#include "platform/Port.h"
#include "platform/PtyPeer.h"
#include "sim/ExchangeRunner.h"
#include "tests/kit/SimRig.h"
#include "tests/kit/TempDir.h"
#include <map>
#include <string_view>
#include <utility>

namespace kestrel::sim {
namespace {

// A telephone exchange on a fake clock, with every modem's terminal reading
// what its modem says as soon as it is said.
struct TExchangeBench {
  TExchange ex;
  TSimTime now = 0;
  std::map<TModemId, std::string> heard;

  explicit TExchangeBench(TExchangeOptions options = {}) : ex(options) {}

  // A modem with echo off, as the gate sets it up.
  TModemId Add(std::string number, TModemSetup setup = {}) {
    setup.number = std::move(number);
    const TModemId id = ex.AddModem(setup);
    Type(id, "ATE0\r");
    heard[id].clear();
    return id;
  }
  // Modems "1" and "2", the second set up as given.
  std::pair<TModemId, TModemId> Pair(TModemSetup second = {}) {
    const TModemId first = Add("1");
    return {first, Add("2", std::move(second))};
  }
  void Type(TModemId id, std::string_view text) {
    for (std::size_t done = 0; done < text.size();) {
      const std::size_t n = ex.FromDte(id, now, text.substr(done));
      done += n;
      Drain();
      if (n == 0) Step(now + Millis(1));  // the modem is full: let the line take some
    }
  }
  // What modem `id` said since the last call.
  std::string Heard(TModemId id) { return std::exchange(heard[id], {}); }
  // Runs until `t` and returns what modem `id` said since the last look.
  std::string HeardBy(TModemId id, TSimTime t) {
    RunUntil(t);
    return Heard(id);
  }
  // Types `text` on modem `id`, lets `time` pass, and returns what the modem said meanwhile.
  std::string Run(TModemId id, std::string_view text, TSimTime time) {
    Type(id, text);
    RunFor(time);
    return Heard(id);
  }
  void Drain() {
    for (TModemId id = 1; id <= ex.ModemCount(); ++id) heard[id] += ex.Modem(id).TakeToDte(now);
  }
  // Moves time to `target`, stopping at every deadline on the way, as the
  // threaded runner would.
  void RunUntil(TSimTime target) {
    int at_once = 0;
    for (int i = 0; i < 1000000; ++i) {
      const TSimTime next = std::max(ex.NextDeadline(), now);
      if (next > target) break;
      // Something always due at once would be a fault of the exchange; the
      // tests would see it as a wrong result rather than hang.
      at_once = next == now ? at_once + 1 : 0;
      if (at_once > 5) break;
      Step(next);
    }
    Step(target);
  }
  void RunFor(TSimTime duration) { RunUntil(now + duration); }
  void Step(TSimTime t) {
    now = std::max(now, t);
    ex.Advance(now);
    Drain();
  }
  // Dials `to` from `from`, answers by ATA on `to` and runs until both are on line.
  void Call(TModemId from, TModemId to, const std::string& number) {
    Type(from, "ATD" + number + "\r");
    RunFor(Millis(ex.Options().dial_ms));
    Type(to, "ATA\r");
    RunFor(Millis(ex.Options().handshake_ms));
    Heard(from);
    Heard(to);
  }
};

using TKind = TExchangeEvent::TKind;
constexpr const char* kNoCarrier = "\r\nNO CARRIER\r\n";
constexpr const char* kConnect = "\r\nCONNECT 33600\r\n";

TEST(Exchange, DialRingsTheNumberAndAnswerConnectsBothEnds) {
  TExchangeBench b;
  const TModemId a = b.Add("101");
  const TModemId c = b.Add("8 (812) 102");
  b.Type(a, "ATDT 8812-102\r");
  EXPECT_EQ(b.HeardBy(c, Millis(99)), "") << "the call is still on its way";
  EXPECT_EQ(b.HeardBy(c, Millis(100)), "\r\nRING\r\n");
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  b.Type(c, "ATA\r");
  EXPECT_FALSE(b.ex.Modem(c).RingLine()) << "picking up stops the ringing";
  EXPECT_EQ(b.HeardBy(a, Millis(299)), "");
  EXPECT_EQ(b.HeardBy(a, Millis(300)), kConnect);
  EXPECT_EQ(b.Heard(c), kConnect);

  std::vector<std::pair<TModemId, TKind>> kinds;
  for (const auto& e : b.ex.TakeEvents()) kinds.emplace_back(e.modem, e.kind);
  const std::vector<std::pair<TModemId, TKind>> expected = {
      {a, TKind::kDial}, {c, TKind::kRing}, {c, TKind::kAnswer}, {a, TKind::kResult}, {c, TKind::kResult}};
  EXPECT_EQ(kinds, expected);
}

// Rings begin at 0.1 s and come every 6 s, 2 s on and 4 s off, until the
// caller gives up. (Answering after S0 rings is the modem's test.)
TEST(Exchange, RingsComeWithTheCadenceUntilTheCallerGivesUp) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Type(a, "ATS7=14D2\r");
  b.RunUntil(Millis(100) + Seconds(1));
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  b.RunUntil(Millis(100) + Seconds(3));
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
  EXPECT_EQ(b.HeardBy(c, Millis(100) + Seconds(12) - 1), "\r\nRING\r\n\r\nRING\r\n");
  EXPECT_EQ(b.HeardBy(c, Millis(100) + Seconds(12)), "\r\nRING\r\n");
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  EXPECT_EQ(b.HeardBy(a, Seconds(14)), "\r\nNO ANSWER\r\n");
  EXPECT_FALSE(b.ex.Modem(c).RingLine()) << "the third ring was cut short";
  EXPECT_EQ(b.Run(c, "", Seconds(20)), "") << "no ring after";
}

TEST(Exchange, BusyLineOrNumberGivesBusy) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Type(c, "ATH1\r");
  EXPECT_EQ(b.Run(a, "ATD2\r", Millis(100)), "\r\nBUSY\r\n");
  EXPECT_FALSE(b.ex.InCall(a));
  // A number marked busy, and a modem calling its own number.
  EXPECT_EQ(b.Run(c, "ATH0\r", 0), "\r\nOK\r\n\r\nOK\r\n") << "the two H commands, and no ring";
  b.ex.SetBusy(c, true);
  EXPECT_EQ(b.Run(a, "ATX4D2\r", Millis(100)), "\r\nBUSY\r\n");
  EXPECT_EQ(b.Run(a, "ATD1\r", Millis(100)), "\r\nBUSY\r\n");
  EXPECT_EQ(b.Heard(c), "") << "the line marked busy never rang";
}

TEST(Exchange, UnknownNumberEndsInNoCarrierOrNoAnswer) {
  TExchangeBench silent;
  EXPECT_EQ(silent.Run(silent.Add("1"), "ATS7=5D999\r", Seconds(5)), kNoCarrier);
  TExchangeBench ringing({.unknown_number = TExchangeOptions::TUnknownNumber::kRingNoAnswer});
  EXPECT_EQ(ringing.Run(ringing.Add("1"), "ATS7=5D999\r", Seconds(5)), "\r\nNO ANSWER\r\n");
}

// (That a modem without a line finds no dial tone and places no call is the
// modem's test.)
TEST(Exchange, MissingLineIsTheModemsAndCallsToItFindSilence) {
  TExchangeBench b;
  const auto [a, c] = b.Pair({.line = false});
  EXPECT_FALSE(b.ex.Modem(c).LinePresent());
  EXPECT_EQ(b.Run(a, "ATS7=4D2\r", Seconds(4)), kNoCarrier);
  EXPECT_EQ(b.Heard(c), "");
}

// How a modem comes to hang up (ATH, DTR, power) is the modem's test: the
// exchange gets one request for all. The ways one end goes away are below.
TEST(Exchange, HangUpOnOneEndIsCarrierLossOnTheOtherOnceWhatItSentArrived) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Call(a, c, "2");
  b.Run(a, "last words", Millis(1));
  b.ex.SetDtr(a, b.now, false);
  EXPECT_EQ(b.Run(c, "", Seconds(2)), "last words\r\nNO CARRIER\r\n");
}

// Dial to CONNECT takes dial_ms and handshake_ms; a byte then takes its ten
// bits at the connect rate plus the latency.
TEST(Exchange, ConnectTimeRateAndLatencyAreConfigurable) {
  TExchangeBench b({.rate = 9600, .latency_ms = 20, .dial_ms = 700, .handshake_ms = 1300});
  const auto [a, c] = b.Pair();
  b.Run(c, "ATS0=1\r", 0);
  b.Type(a, "ATD2\r");
  EXPECT_EQ(b.HeardBy(a, Millis(1999)), "");
  EXPECT_EQ(b.HeardBy(a, Millis(2000)), "\r\nCONNECT 9600\r\n");
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n\r\nCONNECT 9600\r\n");
  const TSimTime start = b.now;
  b.Type(a, std::string(960, 'x'));  // one second at 9600 bit/s, 10 bits a byte
  b.Type(c, std::string(480, 'y'));
  EXPECT_EQ(b.HeardBy(c, start + Millis(20)), "") << "the first byte needs its 1.04 ms plus the latency";
  EXPECT_EQ(b.HeardBy(c, start + Millis(22)), "x");
  EXPECT_EQ(b.HeardBy(a, start + Millis(520) - 1).size(), 479u);
  EXPECT_EQ(b.HeardBy(a, start + Millis(520)), "y");
  EXPECT_EQ(b.HeardBy(c, start + Millis(1020) - 1).size(), 958u);
  EXPECT_EQ(b.HeardBy(c, start + Millis(1020)), "x");
}

TEST(Exchange, CallRateIsTheLowestLimit) {
  TExchangeBench b;
  const auto [a, c] = b.Pair({.max_rate = 14400});
  b.Call(a, c, "2");
  EXPECT_EQ(std::pair(b.ex.Modem(a).Rate(), b.ex.Modem(c).Rate()), std::pair(14400u, 14400u));
}

TEST(Exchange, DialWithSemicolonConnectsOnlyWhenTheCallerAsksForTheCarrier) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  EXPECT_EQ(b.Run(a, "ATD2;\r", Millis(100)), "\r\nOK\r\n");
  EXPECT_EQ(b.Run(c, "ATA\r", Seconds(2)), "\r\nRING\r\n");
  EXPECT_EQ(b.Heard(a), "");
  EXPECT_EQ(b.Run(a, "ATD\r", Millis(1)), kConnect);
  EXPECT_EQ(b.Heard(c), kConnect);
}

// Sends `block` over a fresh call from modem "1" set up as `from` to modem
// "2" set up as `to`, and returns what arrived within `time`.
std::string Carry(const std::string& block, TSimTime time, TModemSetup from, TModemSetup to = {}) {
  TExchangeBench b;
  const TModemId a = b.Add("1", from), c = b.Add("2", to);
  b.Call(a, c, "2");
  b.Run(a, block, time);
  return b.Heard(c);
}

TEST(ExchangeFaults, BitErrorsFlipDataBits) {
  EXPECT_EQ(Carry("AAAA", Seconds(1), {.line_faults = {.bit_error_rate = 1.0}}), std::string(4, '\xBE'));

  const std::string block(2000, 'U');
  const std::string received[2] = {Carry(block, Seconds(2), {}, {.line_faults = {.bit_error_rate = 0.01}}),
                                   Carry(block, Seconds(2), {}, {.line_faults = {.bit_error_rate = 0.01}})};
  ASSERT_EQ(received[0].size(), block.size()) << "bit errors lose no byte";
  // 1 - 0.99^8 of the bytes, about 7.7 %, arrive changed.
  std::size_t changed = 0;
  for (std::size_t i = 0; i < block.size(); ++i) changed += received[0][i] != block[i];
  EXPECT_GT(changed, 80u);
  EXPECT_LT(changed, 240u);
  EXPECT_EQ(received[0], received[1]) << "the same seed gives the same errors";
}

TEST(ExchangeFaults, LostBytesStillTakeTheirTime) {
  EXPECT_EQ(Carry(std::string(100, 'q'), Seconds(1), {.line_faults = {.loss_rate = 1.0}}), "");
  const std::string got = Carry(std::string(2000, 'q'), Seconds(2), {.line_faults = {.loss_rate = 0.25}});
  EXPECT_GT(got.size(), 1300u);
  EXPECT_LT(got.size(), 1700u);
}

TEST(ExchangeFaults, CarrierDropsAfterTheGivenBytesOrTime) {
  TExchangeBench b;
  const auto [a, c] = b.Pair({.line_faults = {.drop_after_bytes = 100}});
  b.Call(a, c, "2");
  b.Type(a, std::string(150, 'a'));
  b.Type(c, std::string(150, 'c'));
  b.RunFor(Seconds(3));
  // Both directions count: 100 bytes crossed in all, then both ends lost the carrier.
  const std::string at_a = b.Heard(a);
  const std::string at_c = b.Heard(c);
  ASSERT_TRUE(at_a.ends_with(kNoCarrier)) << at_a;
  ASSERT_TRUE(at_c.ends_with(kNoCarrier)) << at_c;
  EXPECT_EQ(at_a.size() + at_c.size() - 2 * std::string(kNoCarrier).size(), 100u);

  TExchangeBench t;
  const auto [x, y] = t.Pair({.line_faults = {.drop_after_ms = 500}});
  t.Call(x, y, "2");
  t.RunFor(Millis(499));
  EXPECT_TRUE(t.ex.Modem(x).DcdLine() && t.ex.Modem(y).DcdLine());
  t.RunFor(Millis(1));
  EXPECT_FALSE(t.ex.Modem(x).DcdLine() || t.ex.Modem(y).DcdLine()) << "both ends lost the carrier";
}

TEST(ExchangeFaults, CallFaultsLastForOneCallModemFaultsForAllAndTheEarliestDropWins) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Call(a, c, "2");
  ASSERT_TRUE(b.ex.SetCallFaults(a, {.loss_rate = 1.0}));
  b.Run(a, "lost", Seconds(1));
  EXPECT_EQ(b.Heard(c), "");
  b.ex.SetDtr(a, b.now, false);
  b.ex.SetDtr(a, b.now, true);
  b.RunFor(Seconds(2));
  EXPECT_FALSE(b.ex.SetCallFaults(a, {})) << "no call any more";
  b.Call(a, c, "2");
  b.Run(a, "kept", Seconds(1));
  EXPECT_EQ(b.Heard(c), "kept") << "the next call is clean";
  b.ex.SetLineFaults(c, {.loss_rate = 1.0});
  b.Run(a, "gone", Seconds(1));
  EXPECT_EQ(b.Heard(c), "") << "modem faults apply to the call in progress too";

  const TLineFaults f = Combine({.drop_after_bytes = 50}, {.drop_after_ms = 10});
  EXPECT_EQ(std::pair(f.drop_after_bytes, f.drop_after_ms), std::pair(std::uint64_t{50}, 10u));
  EXPECT_EQ(Combine({.drop_after_bytes = 50}, {.drop_after_bytes = 20}).drop_after_bytes, 20u);
  EXPECT_EQ(Combine({.loss_rate = 0.1}, {.loss_rate = 0.3}).loss_rate, 0.3);
}

// In a call the answerer's end goes away: its line is pulled or its modem
// dies (that a dead modem says nothing and asks to hang up is the modem's own
// test; a DTR drop is the hang-up test above). The caller loses the carrier.
TEST(ExchangeFaults, LosingOneEndDropsTheCallForTheOther) {
  const struct {
    const char* what;
    std::function<void(TExchangeBench&, TModemId)> lose;
    const char* heard;  // what the lost end's terminal hears
  } cases[] = {
      {"line pulled", [](TExchangeBench& b, TModemId c) { b.ex.SetLinePresent(c, false); }, kNoCarrier},
      {"modem dead", [](TExchangeBench& b, TModemId c) { b.ex.SetModemFaults(c, {.dead = true}); }, ""},
  };
  for (const auto& [what, lose, heard] : cases) {
    SCOPED_TRACE(what);
    TExchangeBench b;
    const auto [a, c] = b.Pair();
    b.Call(a, c, "2");
    lose(b, c);
    EXPECT_EQ(b.Run(a, "", Millis(1400)), kNoCarrier);
    EXPECT_EQ(b.Heard(c), heard);
    EXPECT_FALSE(b.ex.InCall(c));
  }
}


using testing::TTerminal;

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A terminal that starts reading data with a carrier check the moment it
// sees CONNECT must find the carrier already on, every time; and a port
// closed and opened again at once is a DTR drop all the same.
TEST(ExchangeRunner, CarrierIsUpByTheTimeConnectCanBeReadAndACloseAtOnceHangsUp) {
  testing::TSimRig rig;
  TTerminal& a = rig.Terminal("101");
  TTerminal& b = rig.Terminal("102");
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
  testing::TSimRig rig;
  for (int i = 0; i < 16; ++i)
    ASSERT_NE(rig.OnPty(dir / ("m" + std::to_string(i)), {.number = std::to_string(100 + i)}), kNoModem);
  // Let the start-up work settle, however long a loaded machine takes: wait
  // for 100 ms without a pass (up to 5 s), then count.
  platform::TEvent never;
  for (int i = 0; i < 50; ++i) {
    const std::uint64_t seen = rig.Runner().Passes();
    never.WaitFor(100);
    if (rig.Runner().Passes() == seen) break;
  }
  const std::uint64_t before = rig.Runner().Passes();
  never.WaitFor(300);
  EXPECT_LE(rig.Runner().Passes() - before, 2u) << "no timer is due and no port is active";
}

// A terminal that opens its port (DTR on) and writes a command at once may
// do both between two looks of the runner; and one that writes its last
// command and closes, likewise. The command counts with DTR on either way.
class TRacingTerminal final : public TModemPort {
 public:
  explicit TRacingTerminal(bool open) : dtr_(open) {}
  // `text` appears together with DTR coming up (`open`) or dropping, as if
  // both happened just before the runner's read.
  void WriteWithDtr(std::string text, bool open) {
    std::lock_guard lock(mutex_);
    pending_ = std::move(text);
    pending_dtr_ = open;
  }
  std::size_t Read(void* data, std::size_t size) override {
    std::lock_guard lock(mutex_);
    if (pending_dtr_.has_value()) drops_ += dtr_ && !*pending_dtr_;
    dtr_ = pending_dtr_.value_or(dtr_.load());
    pending_dtr_.reset();
    const std::size_t n = pending_.copy(static_cast<char*>(data), size);
    pending_.erase(0, n);
    return n;
  }
  std::size_t Write(const void*, std::size_t size) override { return size; }
  bool Dtr() const override { return dtr_; }
  std::uint32_t DtrDrops() const override { return drops_; }
  void SetLines(const TModemLines&) override {}
  void SetOnActivity(std::function<void()> callback) override { on_activity_ = std::move(callback); }
  std::string Describe() const override { return "racing terminal"; }
  void Poke() { on_activity_(); }

 private:
  std::mutex mutex_;
  std::atomic<bool> dtr_;
  std::optional<bool> pending_dtr_;
  std::atomic<std::uint32_t> drops_ = 0;
  std::string pending_;
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
  a->WriteWithDtr("ATDT102\r", true);
  b->WriteWithDtr("ATDT103\r", false);
  a->Poke();
  b->Poke();
  EXPECT_TRUE(both.WaitFor(3000));
  std::lock_guard lock(mutex);
  std::sort(dialled.begin(), dialled.end());
  EXPECT_EQ(dialled, (std::vector<std::string>{"102", "103"}))
      << "a command right after the port opened, or right before it closed, was dropped";
}

constexpr const char* kChat = "/usr/sbin/chat";

TEST(ChatInterop, ChatDialsAndChatAnswersThroughTheExchange) {
  if (!platform::IsExecutable(kChat)) GTEST_SKIP() << kChat << " is not installed (Debian package ppp)";
  testing::TTempDir dir;
  testing::TSimRig rig;
  ASSERT_NE(rig.OnPty(dir / "dialler", {.number = "101"}), kNoModem);
  ASSERT_NE(rig.OnPty(dir / "answerer", {.number = "102"}), kNoModem);

  // The terminals stay open around the chat runs, as a dialler's parent
  // holds the port while chat talks to the modem: DTR stays up afterwards.
  std::string error;
  auto dialler = platform::TPtyPeer::Open(dir / "dialler", error);
  auto answerer = platform::TPtyPeer::Open(dir / "answerer", error);
  ASSERT_TRUE(dialler && answerer) << error;

  auto answering = std::async(std::launch::async, [&] {
    return answerer->RunProgram(
        {kChat, "-t", "10", "", "ATZ", "OK", "ATS0=0", "OK", "\\c", "RING", "ATA", "CONNECT", "\\c"}, 30000);
  });
  const int dial_status = dialler->RunProgram(
      {kChat, "-t", "10", "ABORT", "BUSY", "ABORT", "NO CARRIER", "", "ATZ", "OK", "ATDT102", "CONNECT", "\\c"},
      30000);
  const int answer_status = answering.get();
  ASSERT_EQ(dial_status, 0) << "chat's exit status: 0 is success, 3 a time-out, 4 an ABORT string";
  ASSERT_EQ(answer_status, 0);

  // chat stops reading at "CONNECT"; the rest of that line may still be waiting.
  ASSERT_TRUE(dialler->Write("ping from the dialler\n"));
  EXPECT_NE(answerer->ReadUntil("dialler\n", 5000).find("ping from the dialler\n"), std::string::npos);
  ASSERT_TRUE(answerer->Write("pong from the answerer\n"));
  EXPECT_NE(dialler->ReadUntil("answerer\n", 5000).find("pong from the answerer\n"), std::string::npos);

  // The dialler hangs up by closing its port; the answerer's modem tells.
  dialler->Close();
  EXPECT_NE(answerer->ReadUntil("NO CARRIER\r\n", 5000).find("NO CARRIER"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::sim
