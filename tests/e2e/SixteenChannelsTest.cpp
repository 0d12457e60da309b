// Sixteen channels at once: two gate processes with sixteen modems each, the
// sending one running sixteen transmit processes, each dialling its own
// number of the listening gate. Every channel carries a call at the same
// time and every packet arrives once, intact and in its process's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/Harness.h"

namespace kestrel::e2e {
namespace {

constexpr int kChannels = 16;

TEST(SixteenChannels, SixteenTransmitProcessesDeliverEveryPacketOverSixteenCallsAtOnce) {
  testing::TSimRig rig(QuickExchange(115200));
  TGateSide a, b;
  std::string phones;
  for (int i = 1; i <= kChannels; ++i) {
    ASSERT_TRUE(a.AddCom(rig, {.number = std::to_string(300 + i)}));
    ASSERT_TRUE(b.AddCom(rig, {.number = std::to_string(200 + i)}));
    phones += (i > 1 ? "," : "") + std::to_string(200 + i);
  }

  // 160 packets from 1 byte to 256 KiB, about 850 KB: ten per process.
  // Each line stays up for 30 s after its last packet (or until the sender
  // stops, once every packet was settled), so that a slow start of one call
  // still finds the others up.
  const TPlan plan("spread:160:262144");
  auto listener = StartListener(b, kChannels);
  ASSERT_NE(listener, nullptr);
  const TSenderReport report =
      FinishSender(StartSender(a, {"--channels", std::to_string(kChannels), "--processes", std::to_string(kChannels),
                                   "--phones", phones, "--plan", plan.text, "--stay", "30000"}),
                   a, 240000, listener.get());
  EXPECT_EQ(CheckArrivals(ReadArrivals(b.File("arrivals")), plan, kChannels).size(), plan.Count());
  EXPECT_EQ(report.ok.size(), plan.Count());
  EXPECT_TRUE(report.fail.empty()) << report.fail.size() << " failed";
  EXPECT_TRUE(report.SettledTwice().empty());

  // Every modem of the listening gate answered, and at one moment all
  // sixteen calls were up together: connections counted up by the sending
  // modems' CONNECT and down by their hang-ups, in the exchange's order.
  for (const sim::TModemId m : b.modems)
    EXPECT_FALSE(rig.Events(sim::TExchangeEvent::TKind::kAnswer, m).empty()) << "modem " << m;
  std::vector<sim::TExchangeEvent> moves = rig.Events(sim::TExchangeEvent::TKind::kResult);
  for (const sim::TExchangeEvent& e : rig.Events(sim::TExchangeEvent::TKind::kHangUp)) moves.push_back(e);
  std::stable_sort(moves.begin(), moves.end(),
                   [](const sim::TExchangeEvent& x, const sim::TExchangeEvent& y) { return x.time < y.time; });
  int up = 0, most = 0;
  for (const sim::TExchangeEvent& e : moves) {
    if (std::find(a.modems.begin(), a.modems.end(), e.modem) == a.modems.end()) continue;
    if (e.kind == sim::TExchangeEvent::TKind::kResult && e.text.rfind("CONNECT", 0) == 0) ++up;
    if (e.kind == sim::TExchangeEvent::TKind::kHangUp && up > 0) --up;
    most = std::max(most, up);
  }
  EXPECT_EQ(most, kChannels);
}

}  // namespace
}  // namespace kestrel::e2e
