// A gate process whose calls never connect: the far gate is not running (its
// modem rings unanswered), its line is dead (no carrier), or it is busy.
// Every packet handed over is reported failed to the sending core, once, and
// within the time the address's dial time-outs allow.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/Harness.h"

namespace kestrel::e2e {
namespace {

constexpr std::uint32_t kDialTimeoutMs = 3000;
constexpr int kPackets = 20;

struct TCase {
  const char* name;
  sim::TModemSetup far;  // the modem the sender calls
  bool rings;            // whether the far modem rings
  const char* result;    // what the calling modem reports, when the gate waits for it
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.name; }

class FailedCalls : public ::testing::TestWithParam<TCase> {};

TEST_P(FailedCalls, EveryPacketIsReportedFailedOnceWithinTheDialTimeOuts) {
  TExchangeBench bench(QuickExchange(115200));
  TGateSide a, b;
  ASSERT_TRUE(bench.AddCom(a, {.number = "101"}));
  ASSERT_TRUE(bench.AddCom(b, GetParam().far));  // nobody opens it: B is not running
  bench.Start();

  // Two numbers to try, each for at most the dial time-out.
  const TSenderReport report = FinishSender(
      StartSender(a, {"--phones", "102,102", "--plan", "spread:20:65536", "--dial-timeout", std::to_string(kDialTimeoutMs)}),
      a, 60000);
  EXPECT_TRUE(report.ok.empty());
  EXPECT_EQ(report.fail.size(), static_cast<std::size_t>(kPackets));
  EXPECT_TRUE(report.refused.empty());
  EXPECT_TRUE(report.SettledTwice().empty());
  // Both numbers dialled once each (packets queued while the first round
  // dialled fail with it; a packet after it may start one more round), with
  // the modem's initialisation and some slack on a loaded machine.
  for (const auto& [n, ms] : report.last_ms) EXPECT_LE(ms, 2 * (2 * kDialTimeoutMs) + 5000) << "packet " << n;
  // The calls went where they should: both numbers in each round (one round,
  // or two as above), ringing or not.
  const std::size_t dials = bench.Events(sim::TExchangeEvent::TKind::kDial, a.modems[0]).size();
  EXPECT_TRUE(dials == 2 || dials == 4) << dials << " dials";
  EXPECT_EQ(bench.Events(sim::TExchangeEvent::TKind::kRing, b.modems[0]).empty(), !GetParam().rings);
  std::string said;
  for (const sim::TExchangeEvent& e : bench.Events(sim::TExchangeEvent::TKind::kResult, a.modems[0]))
    said += e.text + "; ";
  EXPECT_NE(said.find(GetParam().result), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(E2e, FailedCalls,
                         ::testing::Values(TCase{"NoAnswer", {.number = "102"}, true, "NO CARRIER"},
                                           TCase{"NoCarrier", {.number = "102", .line = false}, false, "NO CARRIER"},
                                           TCase{"Busy", {.number = "102", .busy = true}, false, "BUSY"}),
                         [](const ::testing::TestParamInfo<TCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::e2e
