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

TEST(Exchange, DialRingsTheNumberAndAnswerConnectsBothEnds) {
  TExchangeBench b;
  const TModemId a = b.Add("101");
  const TModemId c = b.Add("8 (812) 102");
  b.Type(a, "ATDT 8812-102\r");
  b.RunFor(Millis(99));
  EXPECT_EQ(b.Heard(c), "") << "the call is still on its way";
  b.RunFor(Millis(1));
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n");
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  b.Type(c, "ATA\r");
  EXPECT_FALSE(b.ex.Modem(c).RingLine()) << "picking up stops the ringing";
  b.RunFor(Millis(199));
  EXPECT_EQ(b.Heard(a), "");
  b.RunFor(Millis(1));
  EXPECT_EQ(b.Heard(a), "\r\nCONNECT 33600\r\n");
  EXPECT_EQ(b.Heard(c), "\r\nCONNECT 33600\r\n");
  EXPECT_TRUE(b.ex.Modem(a).DcdLine());
  EXPECT_TRUE(b.ex.Modem(c).DcdLine());

  std::vector<std::pair<TModemId, TKind>> kinds;
  for (const auto& e : b.ex.TakeEvents()) kinds.emplace_back(e.modem, e.kind);
  const std::vector<std::pair<TModemId, TKind>> expected = {
      {a, TKind::kDial}, {c, TKind::kRing}, {c, TKind::kAnswer}, {a, TKind::kResult}, {c, TKind::kResult}};
  EXPECT_EQ(kinds, expected);
}

TEST(Exchange, RingsWithTheCadenceAndAnswersAutomaticallyAfterS0Rings) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Type(c, "ATS0=3\r");
  b.Heard(c);
  b.Type(a, "ATD2\r");
  // Rings begin at 0.1 s and come every 6 s: 2 s on, 4 s off.
  b.RunUntil(Millis(100) + Seconds(1));
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  b.RunUntil(Millis(100) + Seconds(3));
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
  b.RunUntil(Millis(100) + Seconds(12) - 1);
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n\r\nRING\r\n");
  EXPECT_EQ(b.ex.Modem(c).State(), THayesModem::TState::kIdle);
  b.RunUntil(Millis(100) + Seconds(12) + Millis(200));
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n\r\nCONNECT 33600\r\n") << "the third ring is answered";
  EXPECT_EQ(b.Heard(a), "\r\nCONNECT 33600\r\n");
}

TEST(Exchange, CallerGivingUpStopsTheRinging) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Type(a, "ATS7=8D2\r");
  b.RunFor(Seconds(1));
  EXPECT_TRUE(b.ex.Modem(c).RingLine());
  b.RunUntil(Seconds(8));
  EXPECT_EQ(b.Heard(a), "\r\nNO ANSWER\r\n");
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
  EXPECT_EQ(b.ex.Modem(c).Profile().s[1], 0);
  b.RunFor(Seconds(20));
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n\r\nRING\r\n") << "rings at 0.1 s and 6.1 s, none after";

  // A key pressed while it rings ends the call just as well.
  b.Type(a, "ATD2\r");
  b.RunFor(Seconds(1));
  b.Type(a, " ");
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  EXPECT_FALSE(b.ex.Modem(c).RingLine());
}

TEST(Exchange, BusyLineGivesBusyFromX3On) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Type(c, "ATH1\r");
  b.Type(a, "ATD2\r");
  b.RunFor(Millis(100));
  EXPECT_EQ(b.Heard(a), "\r\nBUSY\r\n");
  EXPECT_FALSE(b.ex.InCall(a));
  // Below X3 the busy tone means nothing to the modem: it waits out S7.
  b.Type(a, "ATX2S7=5D2\r");
  b.RunFor(Seconds(5));
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  // A number marked busy, and a modem calling its own number.
  b.Type(c, "ATH0\r");
  EXPECT_EQ(b.Heard(c), "\r\nOK\r\n\r\nOK\r\n") << "the two H commands, and no ring";
  b.ex.SetBusy(c, true);
  b.Type(a, "ATX4D2\r");
  b.RunFor(Millis(100));
  EXPECT_EQ(b.Heard(a), "\r\nBUSY\r\n");
  b.Type(a, "ATD1\r");
  b.RunFor(Millis(100));
  EXPECT_EQ(b.Heard(a), "\r\nBUSY\r\n");
  EXPECT_EQ(b.Heard(c), "") << "the line marked busy never rang";
}

TEST(Exchange, UnknownNumberEndsInNoCarrierOrNoAnswer) {
  TExchangeBench silent;
  const TModemId a = silent.Add("1");
  silent.Type(a, "ATS7=5D999\r");
  silent.RunFor(Seconds(5));
  EXPECT_EQ(silent.Heard(a), "\r\nNO CARRIER\r\n");

  TExchangeOptions options;
  options.unknown_number = TExchangeOptions::TUnknownNumber::kRingNoAnswer;
  TExchangeBench ringing(options);
  const TModemId r = ringing.Add("1");
  ringing.Type(r, "ATS7=5D999\r");
  ringing.RunFor(Seconds(5));
  EXPECT_EQ(ringing.Heard(r), "\r\nNO ANSWER\r\n");
}

TEST(Exchange, MissingLineGivesNoDialtoneAndCallsToItFindSilence) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2", {.line = false});
  b.Type(c, "ATD1\r");
  b.RunFor(Seconds(2));
  EXPECT_EQ(b.Heard(c), "\r\nNO DIALTONE\r\n");
  EXPECT_EQ(b.Heard(a), "") << "no call left the unplugged modem";
  b.Type(a, "ATS7=4D2\r");
  b.RunFor(Seconds(4));
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(b.Heard(c), "");
}

TEST(Exchange, PullingTheLineDropsTheCall) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Call(a, c, "2");
  b.ex.SetLinePresent(c, false);
  b.RunFor(Millis(1400));
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(b.Heard(c), "\r\nNO CARRIER\r\n");
}

TEST(Exchange, HangUpOnOneEndIsCarrierLossOnTheOther) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Call(a, c, "2");
  b.RunFor(Seconds(2));
  b.Type(a, "+++");
  b.RunFor(Seconds(1));
  EXPECT_EQ(b.Heard(a), "\r\nOK\r\n");
  b.Type(a, "ATH\r");
  EXPECT_EQ(b.Heard(a), "\r\nOK\r\n");
  b.RunFor(Millis(1));
  EXPECT_FALSE(b.ex.Modem(c).DcdLine()) << "CD drops with the carrier";
  b.RunFor(Millis(1400));
  EXPECT_EQ(b.Heard(c), "+++\r\nNO CARRIER\r\n") << "the escape's pluses crossed the line first";
  EXPECT_FALSE(b.ex.Modem(c).OffHook());

  // The other way round, by DTR: the answerer's terminal closes its port.
  b.Call(a, c, "2");
  b.ex.SetDtr(c, b.now, false);
  b.RunFor(Millis(1400));
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(b.Heard(c), "") << "nobody listens on the closed port";
}

TEST(Exchange, BytesSentBeforeAHangUpStillArrive) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Call(a, c, "2");
  b.Type(a, "last words");
  b.RunFor(Millis(1));
  b.ex.SetDtr(a, b.now, false);
  b.RunFor(Seconds(2));
  EXPECT_EQ(b.Heard(c), "last words\r\nNO CARRIER\r\n");
}

TEST(Exchange, DataCrossesAtTheConnectRateWithTheLatency) {
  TExchangeOptions options;
  options.rate = 9600;
  options.latency_ms = 20;
  TExchangeBench b(options);
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Call(a, c, "2");
  const std::string block(960, 'x');  // one second at 9600 bit/s, 10 bits a byte
  const std::string reply(480, 'y');
  const TSimTime start = b.now;
  b.Type(a, block);
  b.Type(c, reply);
  b.RunUntil(start + Millis(20));
  EXPECT_EQ(b.Heard(c), "") << "the first byte needs its 1.04 ms plus the latency";
  b.RunUntil(start + Millis(22));
  EXPECT_EQ(b.Heard(c), "x");
  b.RunUntil(start + Millis(520) - 1);
  EXPECT_EQ(b.Heard(a).size(), 479u);
  b.RunUntil(start + Millis(520));
  EXPECT_EQ(b.Heard(a), "y");
  b.RunUntil(start + Millis(1020) - 1);
  EXPECT_EQ(b.Heard(c).size(), 958u);
  b.RunUntil(start + Millis(1020));
  EXPECT_EQ(b.Heard(c), "x");
}

TEST(Exchange, CallRateIsTheLowestLimit) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2", {.max_rate = 14400});
  b.Type(a, "ATD2\r");
  b.RunFor(Millis(100));
  b.Type(c, "ATA\r");
  b.RunFor(Millis(200));
  EXPECT_EQ(b.Heard(a), "\r\nCONNECT 14400\r\n");
  EXPECT_EQ(b.ex.Modem(a).Rate(), 14400u);
}

TEST(Exchange, DialWithSemicolonConnectsOnlyWhenTheCallerAsksForTheCarrier) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Type(a, "ATD2;\r");
  EXPECT_EQ(b.Heard(a), "\r\nOK\r\n");
  b.RunFor(Millis(100));
  b.Type(c, "ATA\r");
  b.RunFor(Seconds(2));
  EXPECT_EQ(b.Heard(a), "");
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n");
  b.Type(a, "ATD\r");
  b.RunFor(Millis(1));
  EXPECT_EQ(b.Heard(a), "\r\nCONNECT 33600\r\n");
  EXPECT_EQ(b.Heard(c), "\r\nCONNECT 33600\r\n");
}

TEST(Exchange, ConnectTimeAndLatencyAreConfigurable) {
  TExchangeOptions options;
  options.dial_ms = 700;
  options.handshake_ms = 1300;
  options.latency_ms = 250;
  TExchangeBench b(options);
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Type(c, "ATS0=1\r");
  b.Heard(c);
  b.Type(a, "ATD2\r");
  b.RunUntil(Millis(1999));
  EXPECT_EQ(b.Heard(a), "");
  b.RunUntil(Millis(2000));
  EXPECT_EQ(b.Heard(a), "\r\nCONNECT 33600\r\n") << "dial to CONNECT: 700 + 1300 ms";
  b.Type(a, "z");
  b.RunFor(Millis(250));
  EXPECT_EQ(b.Heard(c), "\r\nRING\r\n\r\nCONNECT 33600\r\n");
  b.RunFor(Millis(1));
  EXPECT_EQ(b.Heard(c), "z");
}

}  // namespace
}  // namespace kestrel::sim
