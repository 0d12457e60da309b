// Whole sessions in one process: gate A transmits over COM1, gate B listens
// on COM2, the simulated exchange connects them and the framework carries
// the packets. Also the stop of a gate in the middle of a dial or a transfer:
// it returns at once and settles every packet exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "session/MdmMngr.h"
#include "tests/pool/ChannelBench.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::QuickAddress;
using testing::SettingsBlock;

constexpr std::int16_t kCodeA = 1;
constexpr std::int16_t kCodeB = 2;

TRefPack Ref(std::int32_t n) { return TRefPack{n, 738000 + n, 1000 * n}; }

std::string Bytes(std::int32_t n, std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 2654435761u * static_cast<std::uint32_t>(n + 1);
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

class SessionFlow : public ::testing::Test {
 protected:
  SessionFlow() {
    modems.OnCom(1, "101");
    modems.OnCom(2, "102");
    core.StoreSettings(kCodeA, SettingsBlock({ChannelOn(1)}));
    core.StoreSettings(kCodeB, SettingsBlock({ChannelOn(2)}));
    access.Add(a.get());
    access.Add(b.get());
  }
  ~SessionFlow() override {
    // Each gate is known to the accessor while it goes, and forgotten after.
    const TMdmGateManager* gone = a.get();
    a.reset();
    access.Remove(gone);
    b.reset();
  }

  KHandle Transmit(const std::vector<std::string>& phones) {
    if (!a->InitGate(kCodeA)) return 0;
    const std::string block = testing::RemoteBlock(QuickAddress({1}), phones);
    return a->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 42, kCodeA, 0);
  }
  KHandle Listen() {
    if (!b->InitGate(kCodeB)) return 0;
    const std::string own = testing::OwnBlock(QuickAddress({2}));
    return b->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 99, kCodeB, 0);
  }
  void Send(KHandle process, std::int32_t n, std::size_t size) {
    sent[n] = Bytes(n, size);
    const TRefPack ref = Ref(n);
    ASSERT_TRUE(a->SendToGate(sent[n].data(), static_cast<std::int32_t>(size), &ref, process));
  }
  // How often each packet number was reported to A's core as failed or confirmed.
  std::map<std::int32_t, int> Settlements() const {
    std::map<std::int32_t, int> count;
    for (const TRefPack& r : core.Failed()) ++count[r.Number];
    for (const TRefPack& r : core.Confirmed()) ++count[r.Number];
    return count;
  }
  bool AllSettled(std::size_t n, std::uint32_t timeout_ms = 30000) {
    return core.WaitUntil([n](const testing::TCoreSpy& c) { return c.Failed().size() + c.Confirmed().size() >= n; },
                          timeout_ms);
  }

  testing::TModemBench modems;
  testing::TLoggingCore core;
  testing::TTestAccess access;
  std::unique_ptr<TMdmGateManager> a = std::make_unique<TMdmGateManager>();
  std::unique_ptr<TMdmGateManager> b = std::make_unique<TMdmGateManager>();
  std::map<std::int32_t, std::string> sent;
};

TEST_F(SessionFlow, PacketsCrossFromTheTransmittingGateToTheListeningOne) {
  const KHandle listen = Listen();
  ASSERT_NE(listen, 0u);
  const KHandle tx = Transmit({"102"});
  ASSERT_NE(tx, 0u);
  Send(tx, 1, 10);
  Send(tx, 2, 3000);
  Send(tx, 3, 20000);
  ASSERT_TRUE(AllSettled(3));
  EXPECT_TRUE(core.Failed().empty());

  const auto received = core.Received();
  ASSERT_EQ(received.size(), 3u);
  for (const testing::TCorePacket& p : received) {
    EXPECT_EQ(p.sender, 42);
    EXPECT_EQ(p.data, sent[p.ref.Number]) << "packet " << p.ref.Number;
  }
  EXPECT_EQ(Settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(core.LinesWith("].DoOnTwoMdmConnected:(Start ExchangeThread for modem on com port COM2)").size(), 1u);
  EXPECT_FALSE(core.LinesWith("TMdmDriver.SendByChannel").empty());

  EXPECT_TRUE(a->StopTransmit(tx));
  EXPECT_TRUE(b->StopListen(listen, false));
  EXPECT_TRUE(a->StopGate(true));
  EXPECT_TRUE(b->StopGate(true));
  EXPECT_EQ(a->ProcessList->Count(), 0u);
  EXPECT_EQ(b->ProcessList->Count(), 0u);
  EXPECT_TRUE(core.Errors().empty()) << core.Errors().front().text;
}

TEST_F(SessionFlow, StopDuringADialEndsAtOnceAndReportsEveryQueuedPacketOnce) {
  const sim::TModemId callee = modems.Unanswered("555");  // rings on for the whole dial time-out (10 s)
  const KHandle tx = Transmit({"555"});
  ASSERT_NE(tx, 0u);
  Send(tx, 1, 100);
  Send(tx, 2, 100);
  Send(tx, 3, 100);
  const auto ringing = [&](const testing::TCoreSpy&) {
    bool in_call = false;
    modems.Runner().Configure([&](sim::TExchange& x, sim::TSimTime) { in_call = x.InCall(callee); });
    return in_call;
  };
  ASSERT_TRUE(core.WaitUntil(ringing, 10000));

  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_TRUE(a->StopGate(true));
  // Real time, tolerant: the dial alone would hold out for 10 s.
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 4000u);
  EXPECT_EQ(Settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_TRUE(core.Confirmed().empty());
  EXPECT_EQ(a->Pool(), nullptr);
}

TEST_F(SessionFlow, StopDuringATransferEndsAtOnceAndSettlesEachPacketOnce) {
  ASSERT_NE(Listen(), 0u);
  const KHandle tx = Transmit({"102"});
  ASSERT_NE(tx, 0u);
  Send(tx, 1, 200);
  Send(tx, 2, 150000);  // some 13 s on this line
  Send(tx, 3, 200);
  ASSERT_TRUE(core.WaitUntil([](const testing::TCoreSpy& c) { return c.Confirmed().size() == 1; }, 15000));

  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_TRUE(a->StopGate(true));
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 4000u);
  ASSERT_TRUE(AllSettled(3, 5000));
  EXPECT_EQ(Settlements(), (std::map<std::int32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_TRUE(b->StopGate(true));
  // The far core got each packet at most once, intact.
  std::map<std::int32_t, int> delivered;
  for (const testing::TCorePacket& p : core.Received()) {
    ++delivered[p.ref.Number];
    EXPECT_EQ(p.data, sent[p.ref.Number]);
  }
  for (const auto& [n, times] : delivered) EXPECT_EQ(times, 1) << "packet " << n;
}

}  // namespace
}  // namespace kestrel::session
