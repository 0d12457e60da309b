// A whole exchange through the exports alone: the gate listens on COM2 and
// transmits on COM1, both ports being pseudo-terminals with a simulated modem
// behind each (found through KESTREL_COM_DIR), and the simulated exchange
// connects the call from COM1 to COM2. Real time: short timers, generous
// time-outs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "sim/ExchangeRunner.h"
#include "tests/kestrel/GateLibrary.h"
#include "tests/pool/Blocks.h"
#include "tests/pool/CoreSpy.h"
#include "tests/sim/TempDir.h"

namespace kestrel::testing {
namespace {

sim::TExchangeOptions QuickExchange() {
  sim::TExchangeOptions o;
  o.dial_ms = 20;
  o.handshake_ms = 30;
  o.latency_ms = 5;
  o.ring_on_ms = 200;
  o.ring_off_ms = 300;
  o.rate = 115200;
  return o;
}

class ExportFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    for (const auto& [port, number] : {std::pair{1, "101"}, std::pair{2, "102"}}) {
      sim::TModemSetup setup;
      setup.number = number;
      ASSERT_NE(runner.AddPtyModem(dir / ("com" + std::to_string(port)), setup, error), sim::kNoModem) << error;
    }
    runner.Start();
    ASSERT_EQ(::setenv("KESTREL_COM_DIR", dir.Path().c_str(), 1), 0);
    core.StoreSettings(1, SettingsBlock({ChannelOn(1), ChannelOn(2)}));
    library = std::make_unique<TGateLibrary>();
    ASSERT_EQ(library->Error(), "");
  }
  void TearDown() override {
    library.reset();
    ::unsetenv("KESTREL_COM_DIR");
  }

  sim::testing::TTempDir dir;
  sim::TExchangeRunner runner{QuickExchange()};
  TCoreSpy core;
  std::unique_ptr<TGateLibrary> library;
};

TEST_F(ExportFlow, PacketsSentThroughTheExportsArriveAtTheListeningSide) {
  TGateLibrary& gate = *library;
  const std::string own = OwnBlock(QuickAddress({2}));
  const KHandle listen = gate.StartListen(own.data(), static_cast<std::int32_t>(own.size()), 99, 1, 0);
  ASSERT_NE(listen, 0u);
  const std::string remote = RemoteBlock(QuickAddress({1}), {"102"});
  const KHandle tx = gate.StartTransmit(remote.data(), static_cast<std::int32_t>(remote.size()), 42, 1, 0);
  ASSERT_NE(tx, 0u);

  std::map<std::int32_t, std::string> sent{{1, std::string(100, 'a')}, {2, std::string(5000, 'b')}};
  for (auto& [n, data] : sent) {
    const TRefPack ref{n, 738000, n * 1000};
    ASSERT_EQ(gate.SendToGate(data.data(), static_cast<std::int32_t>(data.size()), &ref, tx), 1);
  }
  ASSERT_TRUE(core.WaitUntil([](const TCoreSpy& c) { return c.Confirmed().size() + c.Failed().size() >= 2; }, 30000));
  EXPECT_TRUE(core.Failed().empty());
  const auto received = core.Received();
  ASSERT_EQ(received.size(), 2u);
  for (const TCorePacket& p : received) {
    EXPECT_EQ(p.sender, 42);
    EXPECT_EQ(p.data, sent[p.ref.Number]);
  }
  EXPECT_FALSE(core.LinesWith("(Start ExchangeThread for modem on com port COM2)").empty());
  EXPECT_EQ(gate.StopTransmit(tx), 1);
  EXPECT_EQ(gate.StopListen(listen, 0), 1);
  EXPECT_EQ(gate.StopTransmit(0), 1);
}

}  // namespace
}  // namespace kestrel::testing
