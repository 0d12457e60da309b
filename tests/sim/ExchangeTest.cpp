// The telephone exchange: calls by number, ringing and answering on both
// ends, busy lines, unknown numbers, missing lines, hang-ups, and bytes on a
// connected call, on a fake clock.
#include "sim/Exchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sim/ExchangeBench.h"

namespace kestrel::sim {
namespace {

using testing::TExchangeBench;
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
  EXPECT_TRUE(b.ex.Modem(a).DcdLine() && b.ex.Modem(c).DcdLine());

  std::vector<std::pair<TModemId, TKind>> kinds;
  for (const auto& e : b.ex.TakeEvents()) kinds.emplace_back(e.modem, e.kind);
  const std::vector<std::pair<TModemId, TKind>> expected = {
      {a, TKind::kDial}, {c, TKind::kRing}, {c, TKind::kAnswer}, {a, TKind::kResult}, {c, TKind::kResult}};
  EXPECT_EQ(kinds, expected);
}

TEST(Exchange, RingsWithTheCadenceAndAnswersAutomaticallyAfterS0Rings) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Type(c, "ATS0=3\r");
  b.Heard(c);
  b.Type(a, "ATD2\r");
  // Rings begin at 0.1 s and come every 6 s: 2 s on, 4 s off.
  b.RunUntil(Millis(100) + Seconds(1));
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  b.RunUntil(Millis(100) + Seconds(3));
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
  EXPECT_EQ(b.HeardBy(c, Millis(100) + Seconds(12) - 1), "\r\nRING\r\n\r\nRING\r\n");
  EXPECT_EQ(b.ex.Modem(c).State(), THayesModem::TState::kIdle);
  EXPECT_EQ(b.HeardBy(c, Millis(100) + Seconds(12) + Millis(200)), std::string("\r\nRING\r\n") + kConnect)
      << "the third ring is answered";
  EXPECT_EQ(b.Heard(a), kConnect);
}

TEST(Exchange, CallerGivingUpStopsTheRinging) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Type(a, "ATS7=8D2\r");
  b.RunFor(Seconds(1));
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  EXPECT_EQ(b.HeardBy(a, Seconds(8)), "\r\nNO ANSWER\r\n");
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
  EXPECT_EQ(b.ex.Modem(c).Profile().s[1], 0);
  EXPECT_EQ(b.Run(c, "", Seconds(20)), "\r\nRING\r\n\r\nRING\r\n") << "rings at 0.1 s and 6.1 s, none after";

  // A key pressed while it rings ends the call just as well.
  b.Run(a, "ATD2\r", Seconds(1));
  EXPECT_EQ(b.Run(a, " ", 0), kNoCarrier);
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
}

TEST(Exchange, BusyLineGivesBusyFromX3On) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Type(c, "ATH1\r");
  EXPECT_EQ(b.Run(a, "ATD2\r", Millis(100)), "\r\nBUSY\r\n");
  EXPECT_FALSE(b.ex.InCall(a));
  // Below X3 the busy tone means nothing to the modem: it waits out S7.
  EXPECT_EQ(b.Run(a, "ATX2S7=5D2\r", Seconds(5)), kNoCarrier);
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
  TExchangeOptions options;
  options.unknown_number = TExchangeOptions::TUnknownNumber::kRingNoAnswer;
  TExchangeBench ringing(options);
  EXPECT_EQ(ringing.Run(ringing.Add("1"), "ATS7=5D999\r", Seconds(5)), "\r\nNO ANSWER\r\n");
}

TEST(Exchange, MissingLineGivesNoDialtoneAndCallsToItFindSilence) {
  TExchangeBench b;
  const auto [a, c] = b.Pair({.line = false});
  EXPECT_EQ(b.Run(c, "ATD1\r", Seconds(2)), "\r\nNO DIALTONE\r\n");
  EXPECT_EQ(b.Heard(a), "") << "no call left the unplugged modem";
  EXPECT_EQ(b.Run(a, "ATS7=4D2\r", Seconds(4)), kNoCarrier);
  EXPECT_EQ(b.Heard(c), "");
}

TEST(Exchange, PullingTheLineDropsTheCall) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Call(a, c, "2");
  b.ex.SetLinePresent(c, false);
  EXPECT_EQ(b.Run(a, "", Millis(1400)), kNoCarrier);
  EXPECT_EQ(b.Heard(c), kNoCarrier);
}

TEST(Exchange, HangUpOnOneEndIsCarrierLossOnTheOther) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Call(a, c, "2");
  b.RunFor(Seconds(2));
  EXPECT_EQ(b.Run(a, "+++", Seconds(1)), "\r\nOK\r\n");
  EXPECT_EQ(b.Run(a, "ATH\r", Millis(1)), "\r\nOK\r\n");
  EXPECT_FALSE(b.ex.Modem(c).DcdLine()) << "CD drops with the carrier";
  EXPECT_EQ(b.Run(c, "", Millis(1400)), "+++\r\nNO CARRIER\r\n") << "the escape's pluses crossed the line first";
  EXPECT_FALSE(b.ex.Modem(c).OffHook());

  // The other way round, by DTR: the answerer's terminal closes its port.
  b.Call(a, c, "2");
  b.ex.SetDtr(c, b.now, false);
  EXPECT_EQ(b.Run(a, "", Millis(1400)), kNoCarrier);
  EXPECT_EQ(b.Heard(c), "") << "nobody listens on the closed port";

  // Bytes sent before a hang-up still arrive.
  b.ex.SetDtr(c, b.now, true);
  b.Call(a, c, "2");
  b.Run(a, "last words", Millis(1));
  b.ex.SetDtr(a, b.now, false);
  EXPECT_EQ(b.Run(c, "", Seconds(2)), "last words\r\nNO CARRIER\r\n");
}

TEST(Exchange, DataCrossesAtTheConnectRateWithTheLatency) {
  TExchangeOptions options;
  options.rate = 9600;
  options.latency_ms = 20;
  TExchangeBench b(options);
  const auto [a, c] = b.Pair();
  b.Call(a, c, "2");
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
  b.Run(a, "ATD2\r", Millis(100));
  b.Run(c, "ATA\r", Millis(200));
  EXPECT_EQ(b.Heard(a), "\r\nCONNECT 14400\r\n");
  EXPECT_EQ(b.ex.Modem(a).Rate(), 14400u);
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

TEST(Exchange, ConnectTimeAndLatencyAreConfigurable) {
  TExchangeOptions options;
  options.dial_ms = 700;
  options.handshake_ms = 1300;
  options.latency_ms = 250;
  TExchangeBench b(options);
  const auto [a, c] = b.Pair();
  b.Type(c, "ATS0=1\r");
  b.Heard(c);
  b.Type(a, "ATD2\r");
  EXPECT_EQ(b.HeardBy(a, Millis(1999)), "");
  EXPECT_EQ(b.HeardBy(a, Millis(2000)), kConnect) << "dial to CONNECT: 700 + 1300 ms";
  b.Type(a, "z");
  EXPECT_EQ(b.HeardBy(c, Millis(2250)), std::string("\r\nRING\r\n") + kConnect);
  EXPECT_EQ(b.HeardBy(c, Millis(2251)), "z");
}

}  // namespace
}  // namespace kestrel::sim
