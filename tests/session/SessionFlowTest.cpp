// A whole session in one process: gate A transmits over COM1, gate B listens
// on COM2, the simulated exchange connects them and the framework carries
// the packets. (Gate stops in the middle of a dial, an answer or a transfer
// are in tests/e2e/StopsTest.cpp, with the library loaded in the test's
// process, and at the framework's level in tests/framework/StopTest.cpp.)
#include <gtest/gtest.h>

#include <map>

#include "host/ProcessList.h"
#include "session/MdmMngr.h"
#include "tests/pool/Packets.h"
#include "tests/pool/ChannelBench.h"

namespace kestrel::session {
namespace {

using testing::ChannelOn;
using testing::QuickAddress;
using testing::SettingsBlock;

TEST(SessionFlow, PacketsCrossFromTheTransmittingGateToTheListeningOne) {
  testing::TModemBench modems;
  testing::TLoggingCore core;
  testing::TTestAccess access;
  auto a = std::make_unique<TMdmGateManager>();
  auto b = std::make_unique<TMdmGateManager>();
  access.Add(a.get());
  access.Add(b.get());
  modems.OnCom(1, "101");
  modems.OnCom(2, "102");
  core.StoreSettings(1, SettingsBlock({ChannelOn(1)}));
  core.StoreSettings(2, SettingsBlock({ChannelOn(2)}));
  ASSERT_TRUE(a->InitGate(1));
  ASSERT_TRUE(b->InitGate(2));
  const std::string own = testing::OwnBlock(QuickAddress({2}));
  const KHandle listen = b->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 99, 2, 0);
  ASSERT_NE(listen, 0u);
  const std::string remote = testing::RemoteBlock(QuickAddress({1}), {"102"});
  const KHandle tx = a->StartTransmit(remote.data(), static_cast<std::int32_t>(remote.size()), 42, 1, 0);
  ASSERT_NE(tx, 0u);

  std::map<std::int32_t, std::string> sent;
  for (const auto& [n, size] : {std::pair{1, 10}, {2, 3000}, {3, 20000}}) {
    sent[n] = testing::PacketBytes(n, static_cast<std::size_t>(size));
    const TRefPack ref{n, 738000 + n, 1000 * n};
    ASSERT_TRUE(a->SendToGate(sent[n].data(), size, &ref, tx));
  }
  ASSERT_TRUE(core.WaitUntil([](const testing::TCoreSpy& c) { return c.Confirmed().size() + c.Failed().size() >= 3; },
                             30000));
  EXPECT_TRUE(core.Failed().empty());
  std::map<std::int32_t, int> confirmed;
  for (const TRefPack& r : core.Confirmed()) ++confirmed[r.Number];
  EXPECT_EQ(confirmed, (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  const auto received = core.Received();
  ASSERT_EQ(received.size(), 3u);
  for (const testing::TCorePacket& p : received) {
    EXPECT_EQ(p.sender, 42);
    EXPECT_EQ(p.data, sent[p.ref.Number]) << "packet " << p.ref.Number;
  }
  EXPECT_EQ(core.LinesWith("].DoOnTwoMdmConnected:(Start ExchangeThread for modem on com port COM2)").size(), 1u);
  EXPECT_FALSE(core.LinesWith("TMdmDriver.SendByChannel").empty());

  EXPECT_TRUE(a->StopTransmit(tx));
  EXPECT_TRUE(b->StopListen(listen, false));
  EXPECT_TRUE(a->StopGate(true));
  EXPECT_TRUE(b->StopGate(true));
  EXPECT_EQ(a->ProcessList->Count(), 0u);
  EXPECT_EQ(b->ProcessList->Count(), 0u);
  EXPECT_TRUE(core.Errors().empty()) << core.Errors().front().text;

  // Each gate is known to the accessor while it goes, and forgotten after.
  const TMdmGateManager* gone = a.get();
  a.reset();
  access.Remove(gone);
  b.reset();
}

}  // namespace
}  // namespace kestrel::session
