// Whole-gate stops through the exports, in this process: libKestrel loaded
// as a host loads it, its COM1 a pseudo-terminal of a simulated exchange
// running here, and where a transfer needs a far gate, gate_host in another
// process. StopTransmit(0) and StopListen(0) in the middle of a dial, of an
// answer and of a transfer return at once (within a second; the check allows
// more for a busy machine), end every thread the gate started (its poll,
// answering and exchange threads alike), close the channel's port (its modem
// sees DTR drop, and the port can be opened again at once), and settle each
// packet once. That each of the gate's waits ends when it stops is the modem
// driver's test; that the framework settles a stopped transfer's packets
// once, the framework's.
//
// Run under ASan/LSan and valgrind, this is also the leak check of a stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <system_error>

#include "platform/Port.h"
#include "platform/ProcessEnv.h"
#include "platform/Thread.h"
#include "platform/Tick.h"
#include "sim/EventText.h"
#include "tests/e2e/Harness.h"
#include "tests/e2e/HostBlocks.h"
#include "tests/e2e/Payload.h"
#include "tests/kit/CoreSpy.h"
#include "tools/host/GateLibrary.h"

namespace kestrel::e2e {
namespace {

using TKind = sim::TExchangeEvent::TKind;

// A stop takes well under a second here; the limit leaves half as much again
// for a busy machine and stays below every wait a stop must not sit out (the
// 4 s answer, the 30 s dial, the 90 s transfer, a hang-up's 1 s guard times).
constexpr std::uint32_t kStopLimitMs = 1500;
constexpr std::int16_t kGateCode = 7;

// The threads of this process, or -1 where the system does not list them.
// Linux lists each thread of a process as an entry of /proc/self/task.
int LiveThreads() {
  std::error_code ec;
  std::filesystem::directory_iterator it("/proc/self/task", ec);
  if (ec) return -1;
  int n = 0;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) ++n;
  return n;
}

// Waits up to a second for the threads of this process to come back to
// `count`. A joined thread is still listed for a moment: join returns when
// the thread has released its stack, before the kernel removes its entry
// (measured here: 2.5 % of joins on an idle machine). Nothing signals that
// removal, so this looks again every few milliseconds.
bool ThreadsBackTo(int count) {
  const std::uint32_t t0 = platform::GetTickCount();
  while (LiveThreads() != count) {
    if (platform::Elapsed(t0, platform::GetTickCount()) >= 1000) return false;
    platform::SleepFor(5);
  }
  return true;
}

// What the exchange and the gate did, for a failure's message.
std::string Story(const std::vector<sim::TExchangeEvent>& events, const testing::TCoreSpy& core) {
  std::string out = "\nexchange:";
  for (const sim::TExchangeEvent& e : events) out += "\n  " + sim::EventText(e, "modem " + std::to_string(e.modem));
  out += "\ngate log:";
  for (const testing::TCoreLine& l : core.Lines()) out += "\n  " + l.prefix + l.text + (l.details.empty() ? "" : " | " + l.details);
  return out;
}

bool HasEvent(const std::vector<sim::TExchangeEvent>& events, TKind kind, sim::TModemId modem) {
  for (const sim::TExchangeEvent& e : events)
    if (e.kind == kind && e.modem == modem) return true;
  return false;
}

enum class TStopBy { Transmit, Listen };
void PrintTo(TStopBy by, std::ostream* os) { *os << (by == TStopBy::Transmit ? "StopTransmit(0)" : "StopListen(0)"); }

class Stops : public ::testing::TestWithParam<TStopBy> {
 protected:
  // The gate's COM1 is modem "102"; nothing is loaded yet.
  void SetUpExchange(const sim::TExchangeOptions& options) {
    rig = std::make_unique<testing::TSimRig>(options);
    ASSERT_TRUE(here.AddCom(*rig, {.number = "102"}));
    ASSERT_TRUE(platform::SetEnvironmentVariable("KESTREL_COM_DIR", here.Folder()));
    core.StoreSettings(kGateCode, GateSettingsBlock(1));
  }
  void LoadGate() {
    gate = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH, false);
    baseline_threads = LiveThreads();
  }
  void TearDown() override {
    if (gate) {
      (void)gate->StopTransmit(0);
      gate.reset();
    }
    peer.reset();
    rig.reset();
    (void)platform::SetEnvironmentVariable("KESTREL_COM_DIR", "");
  }

  KHandle Transmit(const std::string& phone) {
    TAddressParams desc;
    desc.phones = {phone};
    desc.dial_timeout_ms = 30000;
    const std::string block = AddressBlock(desc);
    return gate->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 42, kGateCode, 0);
  }
  void Send(KHandle process, std::int32_t n, std::size_t size) {
    const std::string data = PacketBytes(n, size);
    const TRefPack ref{n, 738000, n};
    ASSERT_TRUE(gate->SendToGate(data.data(), static_cast<std::int32_t>(data.size()), &ref, process));
  }

  // Stops the whole gate the way the parameter says; returns how long it took.
  std::uint32_t StopGate() {
    if (baseline_threads > 0) {
      EXPECT_GT(LiveThreads(), baseline_threads) << "the gate is at work";
    }
    const std::uint32_t t0 = platform::GetTickCount();
    const bool ok = GetParam() == TStopBy::Transmit ? gate->StopTransmit(0) : gate->StopListen(0, 1);
    const std::uint32_t took = platform::Elapsed(t0, platform::GetTickCount());
    EXPECT_TRUE(ok);
    return took;
  }

  // After a stop: no thread of the gate is left, the channel's port was
  // closed (DTR dropped) and can be opened again.
  void ExpectEverythingFreed() {
    if (baseline_threads > 0) {
      EXPECT_TRUE(ThreadsBackTo(baseline_threads))
          << "threads left behind: " << LiveThreads() << " live, " << baseline_threads << " before";
    }
    const auto dtr_dropped_last = [&](const std::vector<sim::TExchangeEvent>& events) {
      for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->kind == TKind::kDtr && it->modem == here.modems[0]) return it->text == "off";
      return false;
    };
    EXPECT_TRUE(rig->WaitForEvents(dtr_dropped_last, 5000)) << "the modem saw DTR drop last";
    const platform::TPortHandle port = platform::PortOpen(here.File("com1"));
    EXPECT_NE(port, platform::kInvalidPortHandle) << "the port is free";
    if (port != platform::kInvalidPortHandle) (void)platform::PortClose(port);
  }

  // How often each packet was settled at this core.
  std::map<std::int32_t, int> Settlements() const {
    std::map<std::int32_t, int> count;
    for (const TRefPack& r : core.Failed()) ++count[r.Number];
    for (const TRefPack& r : core.Confirmed()) ++count[r.Number];
    return count;
  }

  testing::TCoreSpy core;  // the core's handlers exist before the library loads
  TGateSide here, there;
  std::unique_ptr<testing::TSimRig> rig;
  std::unique_ptr<app::TGateLibrary> gate;
  std::unique_ptr<testing::TProgram> peer;
  int baseline_threads = -1;
};

TEST_P(Stops, DuringADialReturnAtOnceAndReportEveryQueuedPacketFailedOnce) {
  SetUpExchange(QuickExchange(115200));
  const sim::TModemId callee = rig->Bare({.number = "555"});  // rings unanswered
  LoadGate();
  const KHandle tx = Transmit("555");
  ASSERT_NE(tx, 0u);
  for (std::int32_t n = 1; n <= 3; ++n) Send(tx, n, 100);
  ASSERT_TRUE(rig->WaitForEvents([&](const auto& events) { return HasEvent(events, TKind::kRing, callee); }, 20000));

  EXPECT_LE(StopGate(), kStopLimitMs);
  EXPECT_EQ(Settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_TRUE(core.Confirmed().empty());
  ExpectEverythingFreed();
}

TEST_P(Stops, DuringAnAnswerReturnAtOnce) {
  sim::TExchangeOptions options = QuickExchange(115200);
  options.handshake_ms = 4000;  // the answering modem waits this long for CONNECT
  SetUpExchange(options);
  testing::TTerminal& caller = rig->Terminal("101");
  LoadGate();
  const std::string own = AddressBlock(TAddressParams{});
  ASSERT_NE(gate->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 99, kGateCode, 0), 0u);
  ASSERT_TRUE(caller.Type("ATX3D102\r"));  // the terminal dials the gate's modem
  std::vector<sim::TExchangeEvent> seen;
  const auto answered = [&](const auto& events) { return HasEvent(seen = events, TKind::kAnswer, here.modems[0]); };
  ASSERT_TRUE(rig->WaitForEvents(answered, 20000)) << Story(seen, core);

  EXPECT_LE(StopGate(), kStopLimitMs);
  caller.Close();
  ExpectEverythingFreed();
}

// Here the gate sends to gate_host; the stop comes while the second packet,
// 1 MiB (some 90 s on this line), is on its way.
TEST_P(Stops, DuringASendingTransferReturnAtOnceAndSettleEachPacketOnce) {
  SetUpExchange(QuickExchange(115200));
  ASSERT_TRUE(there.AddCom(*rig, {.number = "202"}));
  peer = StartListener(there, 1);
  ASSERT_NE(peer, nullptr);
  LoadGate();
  const KHandle tx = Transmit("202");
  ASSERT_NE(tx, 0u);
  Send(tx, 1, 200);
  Send(tx, 2, 1 << 20);
  Send(tx, 3, 200);
  ASSERT_TRUE(core.WaitUntil([](const testing::TCoreSpy& c) { return c.Confirmed().size() == 1; }, 30000))
      << Tail(there.File("log"));

  EXPECT_LE(StopGate(), kStopLimitMs);
  EXPECT_EQ(Settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(core.Confirmed().size(), 1u);
  ExpectEverythingFreed();
}

INSTANTIATE_TEST_SUITE_P(E2e, Stops, ::testing::Values(TStopBy::Transmit, TStopBy::Listen),
                         [](const auto& i) -> std::string { return i.param == TStopBy::Transmit ? "StopTransmit" : "StopListen"; });

}  // namespace
}  // namespace kestrel::e2e
