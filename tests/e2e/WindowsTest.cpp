// A Windows gate and a Linux gate talk: gate_host.exe with Kestrel.dll under
// Wine on one side, gate_host with libKestrel on the other, dialling each
// other through the simulated exchange. The Windows gate's COM1 is a COM port
// Wine maps to the pseudo-terminal of its modem. Skipped unless the run was
// given a Windows build (scripts/test-windows).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <string_view>

#include "tests/e2e/Harness.h"

namespace kestrel::e2e {
namespace {

constexpr std::uint32_t kLineRate = 921600;

// How many lines of the file at `path` hold every one of `parts`.
int LinesWith(const std::string& path, std::initializer_list<std::string_view> parts) {
  std::ifstream in(path);
  int count = 0;
  for (std::string line; std::getline(in, line);)
    count += std::all_of(parts.begin(), parts.end(), [&](std::string_view p) { return line.find(p) != line.npos; });
  return count;
}

class WindowsAndLinux : public ::testing::Test {
 protected:
  void SetUp() override {
    windows_ = TWindows::FromEnvironment();
    if (!windows_) GTEST_SKIP() << "no Windows build given (KESTREL_WIN64_BUILD, WINEPREFIX)";
  }

  // Sends `plan` from `from` to `to` (one of them the Windows side), both
  // run with `both` arguments and the sender also with `extra`; checks what
  // arrived and returns what the sender reported.
  TSenderReport Exchange(TGateSide& from, TGateSide& to, const TPlan& plan, std::vector<std::string> extra,
                         const std::vector<std::string>& both = {}) {
    EXPECT_TRUE(from.AddCom(rig_, {.number = "101"}));
    EXPECT_TRUE(to.AddCom(rig_, {.number = "102"}));
    auto listener = StartListener(to, 1, both);
    if (listener == nullptr) return {};
    std::vector<std::string> args = {"--phones", "102", "--plan", plan.text};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), both.begin(), both.end());
    TSenderReport report = FinishSender(StartSender(from, args), from, 300000, listener.get());
    const std::vector<std::int32_t> arrived = CheckArrivals(ReadArrivals(to.File("arrivals")), plan);
    EXPECT_TRUE(report.SettledTwice().empty());
    for (const auto& [n, times] : report.ok)
      EXPECT_NE(std::find(arrived.begin(), arrived.end(), n), arrived.end()) << "packet " << n << " confirmed";
    // A COM port that Wine maps to a pseudo-terminal has no modem lines: the
    // Windows gate says once that it keeps virtual ones.
    const TGateSide& win = from.windows != nullptr ? from : to;
    EXPECT_EQ(LinesWith(win.File("log"), {"has no modem lines"}), 1) << Tail(win.File("log"));
    return report;
  }

  // 50 packets of 1 B to 256 KiB, each delivered, from the Windows gate or to
  // it, in a keyed session: the system's cryptography on each side (CNG,
  // libcrypto) proves the key to the other's and opens what the other sealed.
  void DeliversEveryPacket(bool from_windows) {
    TGateSide win, lin;
    win.windows = &*windows_;
    const TPlan plan("spread:50:262144");
    const std::vector<std::string> key = {"--key", std::string(64, 'c')};
    const TSenderReport report = from_windows ? Exchange(win, lin, plan, {}, key) : Exchange(lin, win, plan, {}, key);
    EXPECT_EQ(report.ok.size(), plan.Count()) << Tail(win.File("log"));
    EXPECT_GE(LinesWith((from_windows ? lin : win).File("log"), {"Session started", "; Keyed"}), 1)
        << "the answering side served a keyed session";
  }

  std::optional<TWindows> windows_;
  testing::TSimRig rig_{QuickExchange(kLineRate)};
};

TEST_F(WindowsAndLinux, AWindowsGateDeliversEveryPacketToALinuxGate) { DeliversEveryPacket(true); }

TEST_F(WindowsAndLinux, ALinuxGateDeliversEveryPacketToAWindowsGate) { DeliversEveryPacket(false); }

// The Windows gate stops as a whole once five packets were delivered: the
// stop returns within a second, and every packet is settled once, the ones
// still queued as failed.
TEST_F(WindowsAndLinux, AWindowsGateStoppedInATransferReportsEveryQueuedPacketOnce) {
  TGateSide win, lin;
  win.windows = &*windows_;
  const TPlan plan("spread:40:65536");
  const TSenderReport report = Exchange(win, lin, plan, {"--stop-after", "5"});
  ASSERT_GE(report.stop_ms, 0) << "the sender stopped the gate";
  EXPECT_LT(report.stop_ms, 1000);
  EXPECT_EQ(report.ok.size() + report.fail.size(), plan.Count());
  EXPECT_GE(report.ok.size(), 5u);
  EXPECT_GT(report.fail.size(), 0u) << "the stop came in the middle";
}

}  // namespace
}  // namespace kestrel::e2e
