// A whole session in one process: gate A transmits over COM1, gate B listens
// on COM2, the simulated exchange connects them and the framework carries
// the packets; then A stops in the middle of a transfer. (The stop during a
// dial and during an answer, through the exports, is in tests/e2e.)
#include <gtest/gtest.h>

#include <map>

#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "session/MdmMngr.h"
#include "tests/pool/Packets.h"
#include "tests/pool/ChannelBench.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::QuickAddress;
using testing::SettingsBlock;

TEST(SessionFlow, PacketsCrossBetweenTwoGatesAndAStopDuringATransferSettlesEachOnce) {
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
  ASSERT_NE(b->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 99, 2, 0), 0u);
  const std::string remote = testing::RemoteBlock(QuickAddress({1}), {"102"});
  const KHandle tx = a->StartTransmit(remote.data(), static_cast<std::int32_t>(remote.size()), 42, 1, 0);
  ASSERT_NE(tx, 0u);

  std::map<std::int32_t, std::string> sent;
  const auto send = [&](std::int32_t n, std::size_t size) {
    sent[n] = testing::PacketBytes(n, size);
    const TRefPack ref{n, 738000 + n, 1000 * n};
    EXPECT_TRUE(a->SendToGate(sent[n].data(), static_cast<std::int32_t>(size), &ref, tx));
  };
  // How often each packet number was reported to A's core as failed or confirmed.
  const auto settlements = [&] {
    std::map<std::int32_t, int> count;
    for (const TRefPack& r : core.Failed()) ++count[r.Number];
    for (const TRefPack& r : core.Confirmed()) ++count[r.Number];
    return count;
  };
  const auto settled = [&](std::size_t n) {
    return core.WaitUntil([n](const testing::TCoreSpy& c) { return c.Failed().size() + c.Confirmed().size() >= n; },
                          30000);
  };

  send(1, 10);
  send(2, 3000);
  send(3, 20000);
  ASSERT_TRUE(settled(3));
  EXPECT_TRUE(core.Failed().empty());
  EXPECT_EQ(settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(core.LinesWith("].DoOnTwoMdmConnected:(Start ExchangeThread for modem on com port COM2)").size(), 1u);
  EXPECT_TRUE(core.Errors().empty()) << core.Errors().front().text;

  // Still on line: the next packet goes at once; the stop comes while its
  // first fragments are on their way (150 000 bytes take some 13 s).
  core.ClearLines();
  send(4, 150000);
  send(5, 200);
  const std::string sending = "].Send:(" + std::string("Начало функции"_cp);
  ASSERT_TRUE(core.WaitUntil([&](const testing::TCoreSpy& c) { return !c.LinesWith(sending).empty(); }, 15000));
  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_TRUE(a->StopGate(true));
  // Real time, tolerant: the transfer alone would take 13 s.
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 4000u);
  ASSERT_TRUE(settled(5));
  EXPECT_EQ(settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}));
  EXPECT_EQ(a->Pool(), nullptr);
  EXPECT_EQ(a->ProcessList->Count(), 0u);
  EXPECT_TRUE(b->StopGate(true));
  EXPECT_EQ(b->ProcessList->Count(), 0u);
  // The far core got each packet at most once, intact, from A.
  std::map<std::int32_t, int> delivered;
  for (const testing::TCorePacket& p : core.Received()) {
    ++delivered[p.ref.Number];
    EXPECT_EQ(p.sender, 42);
    EXPECT_EQ(p.data, sent[p.ref.Number]) << "packet " << p.ref.Number;
  }
  for (const auto& [n, times] : delivered) EXPECT_EQ(times, 1) << "packet " << n;
  EXPECT_GE(delivered.size(), 3u);

  // Each gate is known to the accessor while it goes, and forgotten after.
  const TMdmGateManager* gone = a.get();
  a.reset();
  access.Remove(gone);
  b.reset();
}

}  // namespace
}  // namespace kestrel::session
