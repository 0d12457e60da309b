// Faults injected through the exchange: bit errors, lost bytes, carrier drops
// after a byte count or a time, dead modems; per modem and per call.
#include <gtest/gtest.h>

#include <string>

#include "sim/Exchange.h"
#include "tests/sim/ExchangeBench.h"

namespace kestrel::sim {
namespace {

using testing::TExchangeBench;

// Sends `block` from the first modem to the second over a fresh call and
// returns what arrived within `time`.
std::string Carry(TExchangeBench& b, TModemId from, TModemId to, const std::string& block, TSimTime time) {
  b.Call(from, to, "2");
  b.Type(from, block);
  b.RunFor(time);
  return b.Heard(to);
}

std::size_t Differences(const std::string& a, const std::string& b) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
  return n;
}

TEST(ExchangeFaults, BitErrorsFlipDataBits) {
  TExchangeBench all;
  const TModemId a = all.Add("1", {.line_faults = {.bit_error_rate = 1.0}});
  const TModemId c = all.Add("2");
  EXPECT_EQ(Carry(all, a, c, "AAAA", Seconds(1)), std::string(4, static_cast<char>(0xBE)));

  const std::string block(2000, 'U');
  std::string received[2];
  for (auto& r : received) {
    TExchangeBench b;
    const TModemId x = b.Add("1");
    const TModemId y = b.Add("2", {.line_faults = {.bit_error_rate = 0.01}});
    r = Carry(b, x, y, block, Seconds(2));
  }
  ASSERT_EQ(received[0].size(), block.size()) << "bit errors lose no byte";
  // 1 - 0.99^8 of the bytes, about 7.7 %, arrive changed.
  const std::size_t changed = Differences(received[0], block);
  EXPECT_GT(changed, 80u);
  EXPECT_LT(changed, 240u);
  EXPECT_EQ(received[0], received[1]) << "the same seed gives the same errors";
}

TEST(ExchangeFaults, LostBytesStillTakeTheirTime) {
  TExchangeBench none;
  const TModemId a = none.Add("1", {.line_faults = {.loss_rate = 1.0}});
  const TModemId c = none.Add("2");
  EXPECT_EQ(Carry(none, a, c, std::string(100, 'q'), Seconds(1)), "");

  TExchangeBench some;
  const TModemId x = some.Add("1", {.line_faults = {.loss_rate = 0.25}});
  const TModemId y = some.Add("2");
  const std::string got = Carry(some, x, y, std::string(2000, 'q'), Seconds(2));
  EXPECT_GT(got.size(), 1300u);
  EXPECT_LT(got.size(), 1700u);
}

TEST(ExchangeFaults, CarrierDropsAfterTheGivenBytes) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2", {.line_faults = {.drop_after_bytes = 100}});
  b.Call(a, c, "2");
  b.Type(a, std::string(150, 'a'));
  b.Type(c, std::string(150, 'c'));
  b.RunFor(Seconds(3));
  // Both directions count: 100 bytes crossed in all, then both ends lost the carrier.
  const std::string at_a = b.Heard(a);
  const std::string at_c = b.Heard(c);
  const std::string tail = "\r\nNO CARRIER\r\n";
  ASSERT_TRUE(at_a.ends_with(tail)) << at_a;
  ASSERT_TRUE(at_c.ends_with(tail)) << at_c;
  EXPECT_EQ(at_a.size() - tail.size() + at_c.size() - tail.size(), 100u);
  EXPECT_FALSE(b.ex.Modem(a).OffHook());
  EXPECT_FALSE(b.ex.Modem(c).OffHook());
}

TEST(ExchangeFaults, CarrierDropsAfterTheGivenTime) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2", {.line_faults = {.drop_after_ms = 500}});
  b.Call(a, c, "2");
  b.RunFor(Millis(499));
  EXPECT_TRUE(b.ex.Modem(a).DcdLine());
  b.RunFor(Millis(1));
  EXPECT_FALSE(b.ex.Modem(a).DcdLine());
  b.RunFor(Millis(1400));
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(b.Heard(c), "\r\nNO CARRIER\r\n");
}

TEST(ExchangeFaults, CallFaultsLastForOneCallModemFaultsForAll) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Call(a, c, "2");
  ASSERT_TRUE(b.ex.SetCallFaults(a, {.loss_rate = 1.0}));
  b.Type(a, "lost");
  b.RunFor(Seconds(1));
  EXPECT_EQ(b.Heard(c), "");
  b.ex.SetDtr(a, b.now, false);
  b.ex.SetDtr(a, b.now, true);
  b.RunFor(Seconds(2));
  b.Heard(c);
  EXPECT_FALSE(b.ex.SetCallFaults(a, {})) << "no call any more";
  EXPECT_EQ(Carry(b, a, c, "kept", Seconds(1)), "kept") << "the next call is clean";

  b.ex.SetLineFaults(c, {.loss_rate = 1.0});
  b.Type(a, "gone");
  b.RunFor(Seconds(1));
  EXPECT_EQ(b.Heard(c), "") << "modem faults apply to the call in progress too";
}

TEST(ExchangeFaults, EarliestDropWins) {
  const TLineFaults f = Combine({.drop_after_bytes = 50, .drop_after_ms = 0}, {.drop_after_bytes = 0, .drop_after_ms = 10});
  EXPECT_EQ(f.drop_after_bytes, 50u);
  EXPECT_EQ(f.drop_after_ms, 10u);
  EXPECT_EQ(Combine({.drop_after_bytes = 50}, {.drop_after_bytes = 20}).drop_after_bytes, 20u);
  EXPECT_EQ(Combine({.loss_rate = 0.1}, {.loss_rate = 0.3}).loss_rate, 0.3);
}

TEST(ExchangeFaults, DeadModemNeverAnswersAndNeverSpeaks) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Type(c, "ATS0=1\r");
  b.Heard(c);
  b.ex.SetModemFaults(c, {.dead = true});
  b.Type(a, "ATS7=10D2\r");
  b.RunFor(Seconds(10));
  EXPECT_EQ(b.Heard(a), "\r\nNO ANSWER\r\n") << "the line rang; nothing picked up";
  EXPECT_EQ(b.Heard(c), "");
  b.Type(c, "AT\r");
  b.RunFor(Seconds(5));
  EXPECT_EQ(b.Heard(c), "");
}

TEST(ExchangeFaults, ModemDyingOnLineDropsTheCall) {
  TExchangeBench b;
  const TModemId a = b.Add("1");
  const TModemId c = b.Add("2");
  b.Call(a, c, "2");
  b.ex.SetModemFaults(c, {.dead = true});
  b.RunFor(Millis(1400));
  EXPECT_EQ(b.Heard(a), "\r\nNO CARRIER\r\n");
  EXPECT_FALSE(b.ex.InCall(c));
}

}  // namespace
}  // namespace kestrel::sim
