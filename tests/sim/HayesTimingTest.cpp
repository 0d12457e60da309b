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

// On line in data mode, with the last terminal byte `quiet` ago.
TModemBench Online(TSimTime quiet = Seconds(2)) {
  auto b = TModemBench::Quiet();
  b.Connect();
  b.Wait(quiet);
  return b;
}

TEST(HayesEscape, PlusesWithGuardTimesBeforeAndAfterReturnToCommandMode) {
  auto b = Online();
  EXPECT_EQ(b.Type("+++"), "");
  EXPECT_EQ(b.Wait(Millis(999)), "") << "the guard time after the pluses has not passed";
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nOK\r\n");
  EXPECT_EQ(b.modem.State(), TState::kOnlineCommand);
  EXPECT_TRUE(b.modem.Carrier()) << "the call is kept";
  EXPECT_EQ(b.modem.TakeLineBytes(100), "+++") << "the pluses themselves went to the far end";
  EXPECT_TRUE(b.RequestKinds().empty());
}

TEST(HayesEscape, PlusesTooSoonAfterDataAreData) {
  auto b = Online(Millis(500));
  b.Type("+++");
  EXPECT_EQ(b.Wait(Seconds(3)), "");
  EXPECT_EQ(b.modem.State(), TState::kOnlineData);
}

TEST(HayesEscape, DataWithinTheGuardAfterCancels) {
  auto b = Online();
  b.Type("+++");
  b.Wait(Millis(500));
  b.Type("x");
  EXPECT_EQ(b.Wait(Seconds(3)), "");
  EXPECT_EQ(b.modem.State(), TState::kOnlineData);
  EXPECT_EQ(b.modem.TakeLineBytes(100), "+++x");
}

TEST(HayesEscape, FourPlusesOrSlowPlusesAreData) {
  auto b = Online();
  b.Type("++++");
  EXPECT_EQ(b.Wait(Seconds(3)), "");
  // Pluses further apart than the guard time never make three in a row.
  for (int i = 0; i < 3; ++i) {
    b.Type("+");
    b.Wait(Millis(1500));
  }
  EXPECT_EQ(b.Wait(Seconds(3)), "");
  EXPECT_EQ(b.modem.State(), TState::kOnlineData);
  // Pluses typed one by one, each within the guard time of the last, do count.
  b.Type("+");
  b.Wait(Millis(300));
  b.Type("+");
  b.Wait(Millis(300));
  b.Type("+");
  EXPECT_EQ(b.Wait(Seconds(1)), "\r\nOK\r\n");
}

TEST(HayesEscape, GuardTimeAndCharacterFollowTheRegisters) {
  auto b = TModemBench::Quiet();
  b.Type("ATS12=10S2=33\r");  // 200 ms guard, '!' escapes
  b.Connect();
  b.Wait(Millis(200));
  b.Type("+++");
  EXPECT_EQ(b.Wait(Seconds(1)), "");
  b.Type("!!!");
  EXPECT_EQ(b.Wait(Millis(199)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nOK\r\n");

  auto off = TModemBench::Quiet();
  off.Type("ATS2=128\r");  // above 127: no escape at all
  off.Connect();
  off.Wait(Seconds(2));
  off.Type("\x80\x80\x80");
  off.Type("+++");
  EXPECT_EQ(off.Wait(Seconds(3)), "");
}

TEST(HayesEscape, WithoutGuardTimeTheEscapeIsImmediate) {
  auto b = TModemBench::Quiet();
  b.Type("ATS12=0\r");
  b.Connect();
  // What follows the third plus in the same write is already a command.
  EXPECT_EQ(b.Type("x+++ATH\r"), "\r\nOK\r\n\r\nOK\r\n");
  EXPECT_FALSE(b.modem.OffHook());
}

TEST(HayesEscape, HeldDataStaysUntilOnlineAgain) {
  auto b = Online();
  b.Type("+++");
  b.Wait(Seconds(1));
  EXPECT_EQ(b.modem.LineRoom(), 0u) << "in command mode received data waits on the line";
  EXPECT_EQ(b.Type("ATO\r"), "\r\nCONNECT 33600\r\n");
  EXPECT_GT(b.modem.LineRoom(), 0u);
  b.modem.FromLine(b.now, "abc");
  EXPECT_EQ(b.Out(), "abc");
}

TEST(HayesDial, NoLineGivesNoDialtoneAfterS6WhenDetected) {
  auto b = TModemBench::Quiet();
  b.modem.SetLinePresent(false);
  b.Type("ATDT123\r");
  EXPECT_EQ(b.Wait(Millis(1999)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nNO DIALTONE\r\n");
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp}) << "no call was placed";
  // X3 dials blind and then finds no carrier.
  b.Type("ATX3S7=5DT123\r");
  EXPECT_EQ(b.Wait(Millis(4999)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nNO CARRIER\r\n");
}

TEST(HayesDial, CommaPausesS8BeforeTheCallIsPlaced) {
  auto b = TModemBench::Quiet();
  b.Type("ATS8=3DT9,,123\r");
  EXPECT_TRUE(b.modem.TakeRequests().empty());
  b.Wait(Millis(5999));
  EXPECT_TRUE(b.modem.TakeRequests().empty());
  b.Wait(Millis(1));
  const auto requests = b.modem.TakeRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].number, "9123");
}

TEST(HayesDial, CarrierWaitS7EndsInNoCarrierOrNoAnswer) {
  auto b = TModemBench::Quiet();
  b.Type("ATS7=10D1\r");
  EXPECT_EQ(b.Wait(Millis(9999)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nNO CARRIER\r\n") << "silence on the line";
  b.Type("ATD1\r");
  b.modem.CallRingback(b.now);
  EXPECT_EQ(b.Wait(Seconds(10)), "\r\nNO ANSWER\r\n") << "it rang and nobody answered";
  b.Type("ATX2D1\r");
  b.modem.CallRingback(b.now);
  EXPECT_EQ(b.Wait(Seconds(10)), "\r\nNO CARRIER\r\n") << "below X3 there is no NO ANSWER";
  b.Type("ATX4D@1\r");
  EXPECT_EQ(b.Wait(Seconds(10)), "\r\nNO ANSWER\r\n") << "waiting for a quiet answer that never came";
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

TEST(HayesDial, AnswerWithoutCallerEndsAfterS7) {
  auto b = TModemBench::Quiet();
  b.Type("ATS7=3A\r");
  EXPECT_EQ(b.Wait(Millis(2999)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nNO CARRIER\r\n");
}

TEST(HayesCarrier, LossHangsUpAfterS10) {
  auto b = Online();
  b.modem.CarrierLost(b.now);
  EXPECT_EQ(b.Wait(Millis(1399)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "\r\nNO CARRIER\r\n");
  EXPECT_FALSE(b.modem.OffHook());
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
}

TEST(HayesDtr, DropHangsUpUnderD2WithoutAWord) {
  auto b = Online();
  b.modem.FromLine(b.now, "unread");
  b.modem.SetDtr(b.now, false);
  EXPECT_FALSE(b.modem.OffHook());
  EXPECT_EQ(b.Out(), "") << "nobody listens: pending output is dropped";
  EXPECT_EQ(b.Type("ATD1\r"), "") << "no commands while DTR is off";
  b.modem.SetDtr(b.now, true);
  EXPECT_EQ(b.Type("AT\r"), "\r\nOK\r\n");
}

TEST(HayesDtr, D1EscapesD0IgnoresD3Resets) {
  auto d1 = TModemBench::Quiet();
  d1.Type("AT&D1\r");
  d1.Connect();
  d1.modem.SetDtr(d1.now, false);
  EXPECT_EQ(d1.Out(), "\r\nOK\r\n");
  EXPECT_EQ(d1.modem.State(), TState::kOnlineCommand);

  auto d0 = TModemBench::Quiet();
  d0.Type("AT&D0\r");
  d0.Connect();
  d0.modem.SetDtr(d0.now, false);
  EXPECT_EQ(d0.modem.State(), TState::kOnlineData);

  auto d3 = TModemBench::Quiet();
  d3.Type("AT&D3S7=9\r");
  d3.Connect();
  d3.modem.SetDtr(d3.now, false);
  EXPECT_FALSE(d3.modem.OffHook());
  EXPECT_EQ(d3.modem.Profile().s[7], 50) << "reset to the stored profile";
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

TEST(HayesFaults, DeadModemSaysAndDoesNothing) {
  auto b = TModemBench::Quiet();
  b.modem.SetFaults({.dead = true});
  EXPECT_EQ(b.Type("AT\r"), "");
  EXPECT_EQ(b.Type("ATD1\r"), "");
  b.modem.RingSignal(b.now, true);
  EXPECT_FALSE(b.modem.RingLine());
  EXPECT_EQ(b.Wait(Seconds(60)), "");
  EXPECT_TRUE(b.modem.TakeRequests().empty());
  b.modem.SetFaults({});
  EXPECT_EQ(b.Type("AT\r"), "AT\r\r\nOK\r\n") << "back to life with the stored profile: echo on";
}

TEST(HayesFaults, DyingModemDropsItsCall) {
  auto b = Online();
  b.modem.TakeRequests();
  b.modem.SetFaults({.dead = true});
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
  EXPECT_FALSE(b.modem.Carrier());
}

TEST(HayesFaults, StuckEchoIgnoresE0) {
  auto b = TModemBench::Quiet();
  b.modem.SetFaults({.echo_stuck = true});
  // The gate's initialisation still sees an answer, which it takes as "other".
  EXPECT_EQ(b.Type("ATE0V1S0=0\r"), "ATE0V1S0=0\r\r\nOK\r\n");
}

TEST(HayesFaults, ChunkedAnswersArriveInPiecesWithPauses) {
  auto b = TModemBench::Quiet();
  b.modem.SetFaults({.chunk_size = 3, .chunk_delay_ms = 1500});
  EXPECT_EQ(b.Type("AT\r"), "\r\nO");
  EXPECT_EQ(b.modem.NextDeadline(), b.now + Millis(1500));
  EXPECT_EQ(b.Wait(Millis(1499)), "");
  EXPECT_EQ(b.Wait(Millis(1)), "K\r\n");
  // A second answer queues behind the first one's pieces.
  std::string all = b.Type("AT\r");
  all += b.Type("AT\r");
  for (int i = 0; i < 4; ++i) all += b.Wait(Millis(1500));
  EXPECT_EQ(all, "\r\nOK\r\n\r\nOK\r\n");
}

TEST(HayesData, TerminalBytesAreHeldBackWhenTheModemIsFull) {
  auto b = Online();
  const std::string block(THayesModem::kTxCapacity + 100, 'd');
  EXPECT_EQ(b.modem.FromDte(b.now, block), THayesModem::kTxCapacity);
  EXPECT_EQ(b.modem.DteRoom(), 0u);
  EXPECT_EQ(b.modem.TakeLineBytes(100).size(), 100u);
  EXPECT_EQ(b.modem.DteRoom(), 100u);
}

}  // namespace
}  // namespace kestrel::sim
