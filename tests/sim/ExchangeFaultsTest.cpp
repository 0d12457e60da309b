// Faults injected through the exchange: bit errors, lost bytes, carrier drops
// after a byte count or a time, dead modems; per modem and per call.
#include <gtest/gtest.h>

#include <string>

#include "sim/Exchange.h"
#include "tests/sim/ExchangeBench.h"

namespace kestrel::sim {
namespace {

using testing::TExchangeBench;
constexpr const char* kNoCarrier = "\r\nNO CARRIER\r\n";

// Sends `block` from modem `from` to modem "2" over a fresh call and returns
// what arrived within `time`.
std::string Carry(TExchangeBench& b, TModemId from, TModemId to, const std::string& block, TSimTime time) {
  b.Call(from, to, "2");
  b.Type(from, block);
  b.RunFor(time);
  return b.Heard(to);
}

// The same on a fresh exchange, from modem "1" set up as `from` to modem "2" set up as `to`.
std::string Carry(const std::string& block, TSimTime time, TModemSetup from, TModemSetup to = {}) {
  TExchangeBench b;
  const TModemId a = b.Add("1", from);
  return Carry(b, a, b.Add("2", to), block, time);
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
  EXPECT_FALSE(b.ex.Modem(a).OffHook() || b.ex.Modem(c).OffHook());

  TExchangeBench t;
  const auto [x, y] = t.Pair({.line_faults = {.drop_after_ms = 500}});
  t.Call(x, y, "2");
  t.RunFor(Millis(499));
  EXPECT_TRUE(t.ex.Modem(x).DcdLine());
  t.RunFor(Millis(1));
  EXPECT_FALSE(t.ex.Modem(x).DcdLine());
  EXPECT_EQ(t.Run(x, "", Millis(1400)), kNoCarrier);
  EXPECT_EQ(t.Heard(y), kNoCarrier);
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
  b.Heard(c);
  EXPECT_FALSE(b.ex.SetCallFaults(a, {})) << "no call any more";
  EXPECT_EQ(Carry(b, a, c, "kept", Seconds(1)), "kept") << "the next call is clean";
  b.ex.SetLineFaults(c, {.loss_rate = 1.0});
  b.Run(a, "gone", Seconds(1));
  EXPECT_EQ(b.Heard(c), "") << "modem faults apply to the call in progress too";

  const TLineFaults f = Combine({.drop_after_bytes = 50}, {.drop_after_ms = 10});
  EXPECT_EQ(f.drop_after_bytes, 50u);
  EXPECT_EQ(f.drop_after_ms, 10u);
  EXPECT_EQ(Combine({.drop_after_bytes = 50}, {.drop_after_bytes = 20}).drop_after_bytes, 20u);
  EXPECT_EQ(Combine({.loss_rate = 0.1}, {.loss_rate = 0.3}).loss_rate, 0.3);
}

// That a dead modem says nothing to its terminal is the modem's own test.
TEST(ExchangeFaults, DeadModemNeverAnswersAndDropsItsCall) {
  TExchangeBench b;
  const auto [a, c] = b.Pair();
  b.Type(c, "ATS0=1\r");
  b.Heard(c);
  b.ex.SetModemFaults(c, {.dead = true});
  EXPECT_EQ(b.Run(a, "ATS7=10D2\r", Seconds(10)), "\r\nNO ANSWER\r\n") << "the line rang; nothing picked up";
  EXPECT_EQ(b.Heard(c), "");

  b.ex.SetModemFaults(c, {});
  b.Call(a, c, "2");
  ASSERT_TRUE(b.ex.InCall(c));
  b.ex.SetModemFaults(c, {.dead = true});
  EXPECT_EQ(b.Run(a, "", Millis(1400)), kNoCarrier);
  EXPECT_FALSE(b.ex.InCall(c));
}

}  // namespace
}  // namespace kestrel::sim
