// Two gates in two processes, each a small host (GateHost.cpp) that loads
// libKestrel through the dynamic loader, dialling each other through the
// simulated exchange over pseudo-terminals: each process finds its COM1
// through its own KESTREL_COM_DIR. Packets of every size cross a faulty line
// through the whole stack; that each arrives once and intact on a sound line
// is the framework's test (tests/host/TransferTest.cpp), at every size up to
// 1 MiB, and that a message damaged past the line's byte sum is refused, its
// message test. Real time: generous time-outs.
//
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

// Packets over a line that flips bits and loses bytes, whose carrier also
// drops once in the middle of the transfer (once 20 packets have arrived):
// each packet is settled once (delivered or reported failed), a delivered
// one reached the far core once and intact, and a damaged one never did. A
// lost byte costs a frame's 15 s wait; a flipped bit only a reconnection.
// Few enough flipped bits that two in one frame, which the line's byte sum
// can miss, are unlikely.
TEST(TwoGates, OnAFaultyLineEachPacketIsDeliveredOnceOrReportedFailedAndNoneDamaged) {
  const TPlan plan("spread:60:262144");
  const sim::TLineFaults faults{.bit_error_rate = 2e-7, .loss_rate = 5e-7};
  testing::TSimRig rig(QuickExchange(921600));
  TGateSide a, b;
  ASSERT_TRUE(a.AddCom(rig, {.number = "101", .line_faults = faults}));
  ASSERT_TRUE(b.AddCom(rig, {.number = "102", .line_faults = faults}));
  auto listener = StartListener(b, 1);
  ASSERT_NE(listener, nullptr);
  // Breaks are restored: up to 20 tries, half a second apart.
  auto sender = StartSender(a, {"--phones", "102", "--plan", plan.text, "--tries", "20", "--pause", "500", "--window",
                                "120000"});
  ASSERT_TRUE(listener->WaitForLine("got ", 300000, 20)) << Tail(a.File("log"));
  bool dropped = false;
  rig.Runner().Configure([&](sim::TExchange& x, sim::TSimTime) {
    sim::TLineFaults now = faults;
    now.drop_after_ms = 1;
    dropped = x.SetCallFaults(a.modems[0], now);
  });
  EXPECT_TRUE(dropped) << "the call was up";
  const TSenderReport report = FinishSender(std::move(sender), a, 600000, listener.get());

  EXPECT_FALSE(rig.Events(sim::TExchangeEvent::TKind::kCarrierDrop).empty());
  // Every packet arrived, once and intact, and was confirmed: with 20 restore
  // tries a packet fails only when the far gate stays unreachable, which it
  // never is here.
  EXPECT_EQ(CheckArrivals(ReadArrivals(b.File("arrivals")), plan).size(), plan.Count());
  EXPECT_TRUE(report.SettledTwice().empty());
  EXPECT_EQ(report.ok.size(), plan.Count()) << report.fail.size() << " failed";
}

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
  // Every packet confirmed and none settled twice: so none failed.
  EXPECT_EQ(report.ok.size(), plan.Count()) << report.fail.size() << " failed";
  EXPECT_TRUE(report.SettledTwice().empty());

  // At one moment all sixteen calls were up together, so every modem of the
  // listening gate answered one: connections counted up by the sending
  // modems' CONNECT and down by their hang-ups, in the exchange's order.
  std::vector<sim::TExchangeEvent> events;  // every one so far, as the exchange told them
  rig.WaitForEvents([&](const auto& all) { return (events = all, true); }, 0);
  int up = 0, most = 0;
  for (const sim::TExchangeEvent& e : events) {
    if (std::find(a.modems.begin(), a.modems.end(), e.modem) == a.modems.end()) continue;
    if (e.kind == sim::TExchangeEvent::TKind::kResult && e.text.rfind("CONNECT", 0) == 0) ++up;
    if (e.kind == sim::TExchangeEvent::TKind::kHangUp && up > 0) --up;
    most = std::max(most, up);
  }
  EXPECT_EQ(most, kChannels);
}

}  // namespace
}  // namespace kestrel::e2e
