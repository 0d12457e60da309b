// Two gates in two processes, each a small host (GateHost.cpp) that loads
// libKestrel through the dynamic loader, dialling each other through the
// simulated exchange over pseudo-terminals: each process finds its COM1
// through its own KESTREL_COM_DIR. Real time: generous time-outs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/Harness.h"

namespace kestrel::e2e {
namespace {

using platform::TChildProcess;

class TwoGates : public ::testing::Test {
 protected:
  void SetUpExchange(const sim::TExchangeOptions& options, const sim::TLineFaults& faults = {}) {
    bench = std::make_unique<TExchangeBench>(options);
    ASSERT_TRUE(bench->AddCom(a, {.number = "101", .line_faults = faults}));
    ASSERT_TRUE(bench->AddCom(b, {.number = "102", .line_faults = faults}));
    bench->Start();
  }
  std::unique_ptr<TChildProcess> Send(const TPlan& plan, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"send",   "--phones", "102",         "--plan", plan.text,
                                     "--report", a.File("outcomes"), "--log", a.File("log")};
    args.insert(args.end(), extra.begin(), extra.end());
    return StartHost(args, a.Folder(), false);
  }
  // Ends both hosts; the sender must have ended by itself within `timeout_ms`.
  void Finish(TChildProcess& sender, TChildProcess& listener, std::uint32_t timeout_ms) {
    ASSERT_TRUE(sender.Wait(timeout_ms)) << Tail(a.File("log"));
    EXPECT_EQ(sender.ExitCode(), 0) << "every packet settled" << Tail(a.File("log"));
    listener.RequestStop();
    ASSERT_TRUE(listener.Wait(30000));
    EXPECT_EQ(listener.ExitCode(), 0);
  }

  void RunOnAFaultyLine(const TPlan& plan, const sim::TLineFaults& faults, std::size_t drop_after);

  TGateSide a, b;
  std::unique_ptr<TExchangeBench> bench;
};

TEST_F(TwoGates, PacketsCrossBetweenTwoHostProcesses) {
  SetUpExchange(QuickExchange(115200));
  const TPlan plan("same:3:4000");
  auto listener = StartListener(b, 1);
  ASSERT_NE(listener, nullptr);
  auto sender = Send(plan);
  ASSERT_NE(sender, nullptr);
  Finish(*sender, *listener, 90000);

  EXPECT_EQ(CheckArrivals(ReadArrivals(b.File("arrivals")), plan), (std::vector<std::int32_t>{1, 2, 3}));
  const TSenderReport report = ReadSenderReport(a.File("outcomes"));
  EXPECT_EQ(report.ok, (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_TRUE(report.fail.empty());
}

// 200 packets from 1 byte to 1 MiB (about 3 MiB in all) on a 921 600 bit/s
// line: each arrives once, intact and in order, and the sending core hears
// of each delivery once.
TEST_F(TwoGates, TwoHundredPacketsUpToOneMebibyteArriveOnceIntactAndInOrder) {
  SetUpExchange(QuickExchange(921600));
  const TPlan plan("spread:200:1048576");
  auto listener = StartListener(b, 1);
  ASSERT_NE(listener, nullptr);
  auto sender = Send(plan);
  ASSERT_NE(sender, nullptr);
  Finish(*sender, *listener, 240000);

  const std::vector<std::int32_t> numbers = CheckArrivals(ReadArrivals(b.File("arrivals")), plan);
  EXPECT_EQ(numbers.size(), 200u);
  const TSenderReport report = ReadSenderReport(a.File("outcomes"));
  EXPECT_EQ(report.ok.size(), 200u);
  EXPECT_TRUE(report.fail.empty()) << report.fail.size() << " failed";
  EXPECT_TRUE(report.refused.empty());
  EXPECT_TRUE(report.SettledTwice().empty());
}

// Packets over a line that flips bits and loses bytes, whose carrier also
// drops once in the middle of the transfer (once `drop_after` packets have
// arrived): each packet is settled once (delivered or reported failed), a
// delivered one reached the far core once and intact, and a damaged one
// never did. A lost byte costs a frame's 15 s wait; a flipped bit only a
// reconnection.
void TwoGates::RunOnAFaultyLine(const TPlan& plan, const sim::TLineFaults& faults, std::size_t drop_after) {
  SetUpExchange(QuickExchange(921600), faults);
  auto listener = StartListener(b, 1);
  ASSERT_NE(listener, nullptr);
  // Breaks are restored: up to 20 tries, half a second apart.
  auto sender = Send(plan, {"--tries", "20", "--pause", "500", "--window", "120000"});
  ASSERT_NE(sender, nullptr);

  ASSERT_TRUE(WaitForArrivals(*listener, drop_after, 300000)) << Tail(a.File("log"));
  bool dropped = false;
  bench->Runner().Configure([&](sim::TExchange& x, sim::TSimTime) {
    sim::TLineFaults now = faults;
    now.drop_after_ms = 1;
    dropped = x.SetCallFaults(a.modems[0], now);
  });
  EXPECT_TRUE(dropped) << "the call was up";
  Finish(*sender, *listener, 600000);

  EXPECT_FALSE(bench->Events(sim::TExchangeEvent::TKind::kCarrierDrop).empty());
  const std::vector<std::int32_t> numbers = CheckArrivals(ReadArrivals(b.File("arrivals")), plan);
  const TSenderReport report = ReadSenderReport(a.File("outcomes"));
  EXPECT_EQ(report.Settled(), plan.Count());
  EXPECT_TRUE(report.SettledTwice().empty());
  // A confirmed packet did arrive; a failed one may have arrived before its
  // acknowledgement was lost, but only once (checked above).
  for (const auto& [n, times] : report.ok)
    EXPECT_TRUE(std::find(numbers.begin(), numbers.end(), n) != numbers.end()) << "packet " << n << " confirmed";
  // With 20 restore tries a packet fails only when the far gate stays
  // unreachable, which it never is here.
  EXPECT_EQ(report.ok.size(), plan.Count()) << report.fail.size() << " failed";
  std::printf("faulty line: %zu delivered, %zu failed, %zu arrived, %u ms\n", report.ok.size(), report.fail.size(),
              numbers.size(), report.done_ms);
}

TEST_F(TwoGates, OnAFaultyLineEachPacketIsDeliveredOnceOrReportedFailedAndNoneDamaged) {
  sim::TLineFaults faults;
  // Few enough flipped bits that two in one frame, which the line's byte
  // sum can miss (see the disabled test below), are unlikely.
  faults.bit_error_rate = 2e-7;
  faults.loss_rate = 5e-7;
  RunOnAFaultyLine(TPlan("spread:60:262144"), faults, 20);
}

// The two hundred packets up to 1 MiB on the faulty line: some three minutes.
using TwoGatesLong = TwoGates;
TEST_F(TwoGatesLong, OnAFaultyLineTwoHundredPacketsAreEachDeliveredOnceOrReportedFailed) {
  sim::TLineFaults faults;
  faults.bit_error_rate = 2e-7;
  faults.loss_rate = 1e-6;
  RunOnAFaultyLine(TPlan("spread:200:1048576"), faults, 70);
}

// The line checks a frame with a 16-bit sum of its bytes, so two bit errors
// in one frame that change the sum by opposite amounts (same bit position,
// opposite directions: one pair in sixteen) go unnoticed there. Before the
// framework's messages carried their own CRC-32, packet 52 of this run
// arrived damaged and was confirmed; now the damaged message is refused and
// the transfer resumes.
TEST_F(TwoGatesLong, OnANoisyLineNoDamagedPacketReachesTheFarCore) {
  sim::TLineFaults faults;
  faults.bit_error_rate = 3e-6;
  RunOnAFaultyLine(TPlan("spread:60:262144"), faults, 20);
}

}  // namespace
}  // namespace kestrel::e2e
