// The modem's timing rules on a fake clock: the escape guard times, waits for
// dial tone and carrier, carrier loss, DTR, rings, and the modem faults.
#include <gtest/gtest.h>

#include <string>

#include "sim/HayesModem.h"
#include "tests/sim/ModemBench.h"

namespace kestrel::sim {
namespace {

using testing::TModemBench;
using TKind = THayesModem::TRequest::TKind;
using TState = THayesModem::TState;
constexpr const char* kOk = "\r\nOK\r\n";

TEST(HayesEscape, PlusesWithGuardTimesBeforeAndAfterReturnToCommandMode) {
  auto b = TModemBench::Online();
  // Not yet: the guard time after the pluses has not passed.
  b.Expect({{"+++", ""}, {Millis(999), ""}, {Millis(1), kOk}});
  EXPECT_EQ(b.modem.State(), TState::kOnlineCommand);
  EXPECT_TRUE(b.modem.Carrier()) << "the call is kept";
  EXPECT_EQ(b.modem.TakeLineBytes(100), "+++") << "the pluses themselves went to the far end";
  EXPECT_TRUE(b.RequestKinds().empty());
}

TEST(HayesEscape, PlusesTooSoonTooManyTooSlowOrFollowedByDataAreData) {
  auto soon = TModemBench::Online(Millis(500));
  soon.Expect({{"+++", ""}, {Seconds(3), ""}});
  EXPECT_EQ(soon.modem.State(), TState::kOnlineData);

  auto cancelled = TModemBench::Online();
  cancelled.Expect({{"+++", ""}, {Millis(500), ""}, {"x", ""}, {Seconds(3), ""}});
  EXPECT_EQ(cancelled.modem.State(), TState::kOnlineData);
  EXPECT_EQ(cancelled.modem.TakeLineBytes(100), "+++x");

  // Four pluses; then pluses further apart than the guard time never make three in a row.
  auto b = TModemBench::Online();
  b.Expect({{"++++", ""}, {Seconds(3), ""}, {"+", ""}, {Millis(1500), ""}, {"+", ""}, {Millis(1500), ""}, {"+", ""},
            {Millis(1500), ""}, {Seconds(3), ""}});
  EXPECT_EQ(b.modem.State(), TState::kOnlineData);
  // Pluses typed one by one, each within the guard time of the last, do count.
  b.Expect({{"+", ""}, {Millis(300), ""}, {"+", ""}, {Millis(300), ""}, {"+", ""}, {Seconds(1), kOk}});
}

TEST(HayesEscape, GuardTimeAndCharacterFollowTheRegisters) {
  auto b = TModemBench::Quiet();
  b.Type("ATS12=10S2=33\r");  // 200 ms guard, '!' escapes
  b.Connect();
  b.Expect({{Millis(200), ""}, {"+++", ""}, {Seconds(1), ""}, {"!!!", ""}, {Millis(199), ""}, {Millis(1), kOk}});

  auto off = TModemBench::Quiet();
  off.Type("ATS2=128\r");  // above 127: no escape at all
  off.Connect();
  off.Expect({{Seconds(2), ""}, {"\x80\x80\x80", ""}, {"+++", ""}, {Seconds(3), ""}});

  auto at_once = TModemBench::Quiet();
  at_once.Type("ATS12=0\r");
  at_once.Connect();
  // Without a guard time, what follows the third plus in the same write is already a command.
  EXPECT_EQ(at_once.Type("x+++ATH\r"), "\r\nOK\r\n\r\nOK\r\n");
  EXPECT_FALSE(at_once.modem.OffHook());
}

TEST(HayesEscape, HeldDataStaysUntilOnlineAgain) {
  auto b = TModemBench::Online();
  b.Expect({{"+++", ""}, {Seconds(1), kOk}});
  EXPECT_EQ(b.modem.LineRoom(), 0u) << "in command mode received data waits on the line";
  EXPECT_EQ(b.Type("ATO\r"), "\r\nCONNECT 33600\r\n");
  EXPECT_GT(b.modem.LineRoom(), 0u);
  b.modem.FromLine(b.now, "abc");
  EXPECT_EQ(b.Out(), "abc");
}

TEST(HayesDial, DialToneCommaPauseAndCarrierWaitsFollowTheRegisters) {
  auto b = TModemBench::Quiet();
  b.modem.SetLinePresent(false);
  b.Expect({{"ATDT123\r", ""}, {Millis(1999), ""}, {Millis(1), "\r\nNO DIALTONE\r\n"}});  // S6
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp}) << "no call was placed";
  // X3 dials blind and then finds no carrier.
  b.Expect({{"ATX3S7=5DT123\r", ""}, {Millis(4999), ""}, {Millis(1), "\r\nNO CARRIER\r\n"}});

  auto comma = TModemBench::Quiet();
  comma.Type("ATS8=3DT9,,123\r");
  comma.Wait(Millis(5999));
  EXPECT_TRUE(comma.modem.TakeRequests().empty());
  comma.Wait(Millis(1));
  const auto requests = comma.modem.TakeRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].number, "9123");

  auto s7 = TModemBench::Quiet();
  s7.Expect({{"ATS7=10D1\r", ""}, {Millis(9999), ""}, {Millis(1), "\r\nNO CARRIER\r\n"}});  // silence on the line
  s7.Type("ATD1\r");
  s7.modem.CallRingback(s7.now);
  EXPECT_EQ(s7.Wait(Seconds(10)), "\r\nNO ANSWER\r\n") << "it rang and nobody answered";
  s7.Type("ATX2D1\r");
  s7.modem.CallRingback(s7.now);
  EXPECT_EQ(s7.Wait(Seconds(10)), "\r\nNO CARRIER\r\n") << "below X3 there is no NO ANSWER";
  // Waiting for a quiet answer that never came; an answer without a caller.
  s7.Expect({{"ATX4D@1\r", ""}, {Seconds(10), "\r\nNO ANSWER\r\n"}, {"ATS7=3A\r", ""}, {Millis(2999), ""},
             {Millis(1), "\r\nNO CARRIER\r\n"}});
}

TEST(HayesDial, BusyIsReportedFromX3On) {
  auto b = TModemBench::Quiet();
  b.Type("ATD1\r");
  b.modem.CallBusy(b.now);
  EXPECT_EQ(b.Out(), "\r\nBUSY\r\n");
  EXPECT_FALSE(b.modem.OffHook());
  b.Type("ATX2S7=4D1\r");
  b.modem.CallBusy(b.now);
  EXPECT_EQ(b.Out(), "");
  EXPECT_EQ(b.Wait(Seconds(4)), "\r\nNO CARRIER\r\n");
}

TEST(HayesCarrier, LossHangsUpAfterS10) {
  auto b = TModemBench::Online();
  b.modem.CarrierLost(b.now);
  b.Expect({{Millis(1399), ""}, {Millis(1), "\r\nNO CARRIER\r\n"}});
  EXPECT_FALSE(b.modem.OffHook());
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
}

TEST(HayesDtr, DropHangsUpUnderD2WithoutAWordD1EscapesD0IgnoresD3Resets) {
  auto b = TModemBench::Online();
  b.modem.FromLine(b.now, "unread");
  b.modem.SetDtr(b.now, false);
  EXPECT_FALSE(b.modem.OffHook());
  EXPECT_EQ(b.Out(), "") << "nobody listens: pending output is dropped";
  EXPECT_EQ(b.Type("ATD1\r"), "") << "no commands while DTR is off";
  b.modem.SetDtr(b.now, true);
  EXPECT_EQ(b.Type("AT\r"), kOk);

  // &D3 resets to the stored profile.
  for (const auto& [setup, state, s7] : {std::tuple{"AT&D1S7=9\r", TState::kOnlineCommand, 9},
                                         {"AT&D0S7=9\r", TState::kOnlineData, 9}, {"AT&D3S7=9\r", TState::kIdle, 50}}) {
    auto d = TModemBench::Quiet();
    d.Type(setup);
    d.Connect();
    d.modem.SetDtr(d.now, false);
    EXPECT_EQ(d.modem.State(), state) << setup;
    EXPECT_EQ(d.Out(), state == TState::kOnlineCommand ? kOk : "") << setup;
    EXPECT_EQ(d.modem.Profile().s[7], s7) << setup;
  }
}

TEST(HayesRing, EachRingIsReportedAndCountedAndS0Answers) {
  auto b = TModemBench::Quiet();
  b.Type("ATS0=2\r");
  b.modem.RingSignal(b.now, true);
  EXPECT_TRUE(b.modem.RingLine());
  EXPECT_EQ(b.Out(), "\r\nRING\r\n");
  b.modem.RingSignal(b.now, true);
  EXPECT_EQ(b.Out(), "") << "a ring is the rising edge";
  b.Wait(Seconds(2));
  b.modem.RingSignal(b.now, false);
  EXPECT_FALSE(b.modem.RingLine());
  EXPECT_EQ(b.Type("ATS1?\r"), "\r\n001\r\n\r\nOK\r\n");
  EXPECT_TRUE(b.modem.TakeRequests().empty());
  b.Wait(Seconds(4));
  b.modem.RingSignal(b.now, true);
  EXPECT_EQ(b.Out(), "\r\nRING\r\n");
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kAnswer}) << "second ring, S0=2";
  EXPECT_EQ(b.modem.State(), TState::kAnswering);
  b.modem.CallConnected(b.now, 33600);
  EXPECT_EQ(b.Out(), "\r\nCONNECT 33600\r\n");
  EXPECT_EQ(b.modem.Profile().s[1], 0);
}

TEST(HayesRing, NoAutomaticAnswerWhileDtrIsOffOrS0IsZero) {
  auto b = TModemBench::Quiet();
  b.modem.RingSignal(b.now, true);
  EXPECT_TRUE(b.modem.TakeRequests().empty());
  b.modem.IncomingCallGone(b.now);
  EXPECT_EQ(b.modem.Profile().s[1], 0) << "the ring count restarts with the next call";
  b.Type("ATS0=1\r");
  b.modem.SetDtr(b.now, false);
  b.modem.RingSignal(b.now, false);
  b.modem.RingSignal(b.now, true);
  EXPECT_TRUE(b.modem.TakeRequests().empty());
}

TEST(HayesFaults, DeadModemSaysAndDoesNothingAndDropsItsCall) {
  auto b = TModemBench::Quiet();
  b.modem.SetFaults({.dead = true});
  b.Expect({{"AT\r", ""}, {"ATD1\r", ""}});
  b.modem.RingSignal(b.now, true);
  EXPECT_FALSE(b.modem.RingLine());
  EXPECT_EQ(b.Wait(Seconds(60)), "");
  EXPECT_TRUE(b.modem.TakeRequests().empty());
  b.modem.SetFaults({});
  EXPECT_EQ(b.Type("AT\r"), "AT\r\r\nOK\r\n") << "back to life with the stored profile: echo on";

  auto on_line = TModemBench::Online();
  on_line.modem.TakeRequests();
  on_line.modem.SetFaults({.dead = true});
  EXPECT_EQ(on_line.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
  EXPECT_FALSE(on_line.modem.Carrier());
}

TEST(HayesFaults, StuckEchoAndChunkedAnswers) {
  auto echo = TModemBench::Quiet();
  echo.modem.SetFaults({.echo_stuck = true});
  // The gate's initialisation still sees an answer, which it takes as "other".
  EXPECT_EQ(echo.Type("ATE0V1S0=0\r"), "ATE0V1S0=0\r\r\nOK\r\n");

  auto b = TModemBench::Quiet();
  b.modem.SetFaults({.chunk_size = 3, .chunk_delay_ms = 1500});
  EXPECT_EQ(b.Type("AT\r"), "\r\nO");
  EXPECT_EQ(b.modem.NextDeadline(), b.now + Millis(1500));
  b.Expect({{Millis(1499), ""}, {Millis(1), "K\r\n"}});
  // A second answer queues behind the first one's pieces.
  std::string all = b.Type("AT\r");
  all += b.Type("AT\r");
  for (int i = 0; i < 4; ++i) all += b.Wait(Millis(1500));
  EXPECT_EQ(all, "\r\nOK\r\n\r\nOK\r\n");
}

TEST(HayesData, TerminalBytesAreHeldBackWhenTheModemIsFull) {
  auto b = TModemBench::Online();
  const std::string block(THayesModem::kTxCapacity + 100, 'd');
  EXPECT_EQ(b.modem.FromDte(b.now, block), THayesModem::kTxCapacity);
  EXPECT_EQ(b.modem.DteRoom(), 0u);
  EXPECT_EQ(b.modem.TakeLineBytes(100).size(), 100u);
  EXPECT_EQ(b.modem.DteRoom(), 100u);
}

}  // namespace
}  // namespace kestrel::sim
