// End-to-end transfers between two gates over the fake line, with faults.
//
// Stopping processes, listeners and a server gate: nothing is lost, nothing
// reported twice. (The whole-gate stop in the middle of a transfer, with
// every thread it must end, is tests/e2e/StopsTest.cpp's.)
//
// The gate manager's framework slots and services, without a transfer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "host/HostError.h"
#include "host/Message.h"
#include "host/ProcessList.h"
#include "host/Seal.h"
#include "platform/Cp1251.h"
#include "platform/Event.h"
#include "tests/host/FakeLine.h"
#include "tests/host/MonitorGate.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/CoreSpy.h"

namespace kestrel::framework_test {
namespace {

// The fixture of the end-to-end framework tests: a core spy, a fake network,
// a listening server gate and a client gate with one transmit process.
using testing::TCoreSpy;

inline TRefPack Ref(std::int32_t n) { return TRefPack{n, 738000 + n, n * 1000}; }

inline std::vector<std::int32_t> Numbers(const std::vector<TRefPack>& refs) {
  std::vector<std::int32_t> out;
  for (const TRefPack& r : refs) out.push_back(r.Number);
  return out;
}

class Exchange : public ::testing::Test {
 protected:
  void Start(const host::TProtocolTuning& client_tuning = {}, const host::TProtocolTuning& server_tuning = {}) {
    server = std::make_unique<TTestGate>(net);
    client = std::make_unique<TTestGate>(net);
    server->ProcessList->SetTuning(server_tuning);
    client->ProcessList->SetTuning(client_tuning);
    listen = server->StartListen(nullptr, 0, 99, 7, 0);
    ASSERT_NE(listen, 0u);
    tx = client->StartTransmit(nullptr, 0, 42, 7, 0);
    ASSERT_NE(tx, 0u);
  }

  void Send(std::int32_t n, std::size_t size) {
    sent[n] = testing::PacketBytes(n, size);
    const TRefPack ref = Ref(n);
    ASSERT_TRUE(client->SendToGate(sent[n].data(), static_cast<std::int32_t>(size), &ref, tx));
  }

  // Waits until `count` packets are confirmed or reported failed.
  bool Settled(std::size_t count, std::uint32_t timeout_ms = 20000) {
    return spy.WaitUntil([count](const TCoreSpy& s) { return s.Confirmed().size() + s.Failed().size() >= count; },
                         timeout_ms);
  }
  std::vector<std::int32_t> Failed() const { return Numbers(spy.Failed()); }
  std::vector<std::int32_t> Confirmed() const { return Numbers(spy.Confirmed()); }
  bool Logged(std::string_view part) const { return !spy.LinesWith(part).empty(); }
  // Waits up to 10 s for `done`, which need not come from the core.
  bool Eventually(const std::function<bool()>& done) {
    return spy.WaitUntil([&](const TCoreSpy&) { return done(); }, 10000);
  }

  // Waits until every sent packet settled: each was delivered once, intact,
  // in the order of its number, and confirmed once; none failed.
  void ExpectAllDeliveredOnceInOrder() {
    ASSERT_TRUE(Settled(sent.size()));
    const auto received = spy.Received();
    ASSERT_EQ(received.size(), sent.size());
    std::vector<std::int32_t> numbers;
    auto it = sent.begin();
    for (const testing::TCorePacket& r : received) {
      EXPECT_EQ(r.sender, 42);
      const TRefPack ref = Ref(it->first);
      EXPECT_EQ(std::tuple(r.ref.Number, r.ref.Date, r.ref.Time), std::tuple(ref.Number, ref.Date, ref.Time));
      EXPECT_TRUE(r.data == it->second) << "packet " << it->first << " arrived altered";
      numbers.push_back((it++)->first);
    }
    EXPECT_EQ(Confirmed(), numbers);
    EXPECT_TRUE(Failed().empty());
  }

  // Each packet sent was either confirmed or reported failed, exactly once.
  void ExpectEachSettledOnce() {
    std::map<std::int32_t, int> seen;
    for (std::int32_t n : Confirmed()) ++seen[n];
    for (std::int32_t n : Failed()) ++seen[n];
    EXPECT_EQ(seen.size(), sent.size());
    for (const auto& [n, bytes] : sent) EXPECT_EQ(seen[n], 1) << "packet " << n;
  }

  void TearDown() override {
    client.reset();
    server.reset();
    EXPECT_EQ(TFakeNetwork::LiveExchangers.load(), 0);
    EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 0);
  }

  TCoreSpy spy;
  TFakeNetwork net;
  std::unique_ptr<TTestGate> server;
  std::unique_ptr<TTestGate> client;
  KHandle listen = 0;
  KHandle tx = 0;
  std::map<std::int32_t, std::string> sent;
};

using namespace kestrel::literals;

class Transfer : public Exchange {};

TEST_F(Transfer, PacketsOfEverySizeArriveOnceInOrderAndIntact) {
  spy.SetText("Caption", std::string("Передача пакетов"_cp));
  Start();
  std::int32_t n = 0;
  for (std::size_t size : {0, 1, 255, 256, 1023, 1024, 1025, 4096, 65536, 100001, 1 << 20, 0, 7}) Send(++n, size);
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1);
  EXPECT_GT(spy.ProgressCalls(), 13);
  EXPECT_EQ(spy.LastCaption(), std::string("Передача пакетов"_cp));
}

TEST_F(Transfer, SmallPacketsShareMessages) {
  Start();
  net.DialGate.Reset();  // all of them queued before the line exists
  for (std::int32_t n = 1; n <= 300; ++n) Send(n, static_cast<std::size_t>(n % 7 == 0 ? 0 : n * 13));
  net.DialGate.Set();
  ExpectAllDeliveredOnceInOrder();
  EXPECT_LT(net.DataMessages.load(), 40) << "a message per few packets at most";
}

TEST_F(Transfer, BrokenConnectionsAreRestoredAndPacketsResumeWhereTheyStopped) {
  net.Faults.BreakAfter = 9;  // a few messages per connection, then the line drops
  Start({.MaxFragment = 8192});
  std::vector<std::size_t> sizes = {200000, 10, 150000, 0};
  for (std::size_t i = 0; i < 100; ++i) sizes.push_back(i * 37 % 500);  // several to a message
  sizes.push_back(30000);
  std::uint64_t total = 0;
  for (std::int32_t n = 1; std::size_t size : sizes) {
    Send(n++, size);
    total += size;
  }
  ExpectAllDeliveredOnceInOrder();
  EXPECT_GT(net.Connects.load(), 10);
  // Resumed where the server stood: not one byte went twice.
  EXPECT_EQ(net.DataBytes.load(), total);
}

TEST_F(Transfer, DuplicatedMessagesDeliverNothingTwice) {
  net.Faults.DuplicateEvery = 1;
  Start();
  for (std::int32_t n = 1; n <= 5; ++n) Send(n, static_cast<std::size_t>(n) * 3000);
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1);
}

TEST_F(Transfer, LostMessagesEndInATimeOutAndTheTransferResumes) {
  net.Faults.DropEvery = 9;  // a restored connection still carries its probe and one fragment
  net.Times.DataWaitMs = 150;
  Start({.FirstFragment = 4096});
  for (std::int32_t n = 1; std::size_t size : {10000, 3, 12000}) Send(n++, size);
  ExpectAllDeliveredOnceInOrder();
  EXPECT_GT(net.Connects.load(), 1);
}

TEST_F(Transfer, ARepeatAfterAReconnectIsAcknowledgedButNotDeliveredAgain) {
  // The acknowledgement of the delivered packet is lost: the client cannot
  // know, reconnects, and asks again.
  auto dropped = std::make_shared<std::atomic<bool>>(false);
  net.Faults.DropIf = [dropped](int side, const std::string& m) {
    return side == 1 && m.size() == 28 && m[0] == 4 && m[19] == 1 && !dropped->exchange(true);
  };
  // Long enough that only the lost acknowledgement, not a slow moment of a
  // loaded machine, makes the client give up on the connection.
  net.Times.DataWaitMs = 2500;
  Start();
  Send(1, 5000);
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 2);
  EXPECT_TRUE(Logged("Repeat of a delivered packet"));
}

TEST_F(Transfer, APacketTheFarCoreRefusesIsReportedFailed) {
  spy.RefusePacket(2);
  Start();
  for (std::int32_t n = 1; n <= 3; ++n) Send(n, 100);
  ASSERT_TRUE(Settled(3));
  EXPECT_EQ(std::tuple(Failed(), Confirmed(), spy.Received().size()),
            std::tuple(std::vector<std::int32_t>{2}, std::vector<std::int32_t>{1, 3}, 2u));
}

// Packets queued before the line exists; the first call fails in the way of
// the parameter: refused (not dialled again for these packets); broken for
// good under the first DATA (after HELLO, AUTH and their replies) with no
// restore allowed; or breaking each time just after the DATA (its
// acknowledgement lost), so that the restores, three and not one more, never
// get anywhere. Each time the process then serves the next packet.
struct TUnreachable {
  const char* name;
  int RefuseConnects, BreakAfter, RestoreTries, Connects;
};
class Unreachable : public Exchange, public ::testing::WithParamInterface<TUnreachable> {};

TEST_P(Unreachable, QueuedPacketsAreReportedFailedAndTheProcessServesTheNextOne) {
  net.RefuseConnects = GetParam().RefuseConnects;
  net.Faults.BreakAfter = GetParam().BreakAfter;
  net.Times.RestoreTries = GetParam().RestoreTries;
  Start();
  net.DialGate.Reset();
  Send(1, 5000);
  Send(2, 10);
  net.DialGate.Set();
  ASSERT_TRUE(Settled(2));
  EXPECT_EQ(Failed(), std::vector<std::int32_t>({1, 2}));
  net.Faults.BreakAfter = 0;  // a sound line now
  Send(3, 10);
  ASSERT_TRUE(Settled(3));
  EXPECT_EQ(Confirmed(), std::vector<std::int32_t>({3}));
  EXPECT_EQ(net.Connects.load(), GetParam().Connects);
}

INSTANTIATE_TEST_SUITE_P(Transfer, Unreachable,
                         ::testing::Values(TUnreachable{"NoConnection", 1, 0, 5, 1},
                                           TUnreachable{"BreakForGood", 0, 4, 0, 2},
                                           TUnreachable{"RestoresThatGetNowhere", 0, 5, 3, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

// Real time: about four seconds on line. The keep-alives come eight times
// per data wait, so that a busy machine does not end the session by delay.
TEST_F(Transfer, StaysOnLineWithKeepAlivesThenSaysGoodbye) {
  net.Times.StayOnLineMs = 3000;
  net.Times.DataWaitMs = 640;  // the server gives up after 640 ms of silence
  Start({}, {.KeepAliveMs = 80});
  Send(1, 100);
  ASSERT_TRUE(Settled(1));
  platform::TEvent idle;
  idle.WaitFor(1280);  // twice the server's data wait
  Send(2, 100);
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1) << "the line stayed up between the packets";
  EXPECT_GE(net.Pings.load(), 2);
  ASSERT_TRUE(Eventually([&] {
    return std::ranges::any_of(spy.LinesWith("Serve:(Session ended)"),
                               [](const testing::TCoreLine& l) { return l.details.rfind("goodbye", 0) == 0; });
  }));
}

// Keys. The client (42) asks the core about the called address's party,
// which the fake gate names 0; the server asks about the caller, 42.
class Keys : public Exchange {
 protected:
  static constexpr std::int32_t kCalled = 0;
  static constexpr std::int32_t kCaller = 42;
  const std::string key_ = std::string(32, 'k');

  // The kinds and reasons the core heard, "<direction>:<kind>:<reason>".
  std::vector<std::string> Sessions() const {
    std::vector<std::string> out;
    for (const testing::TCoreSession& x : spy.Sessions())
      out.push_back(std::to_string(x.direction) + ":" + std::to_string(x.kind) + ":" + x.reason);
    return out;
  }
  // Both sides share a key, and what the client sends is recorded; a
  // recording stays usable after the test's gates.
  std::shared_ptr<std::vector<std::string>> KeyedAndRecorded() {
    spy.SetKey(kCaller, key_);
    spy.SetKey(kCalled, key_);
    auto frames = std::make_shared<std::vector<std::string>>();
    net.Faults.DropIf = [frames](int side, const std::string& m) {
      if (side == 0) frames->push_back(m);
      return false;
    };
    return frames;
  }
};

TEST_F(Keys, AKeyedSessionDeliversEverythingSealedThroughRepeatsAndAFlippedByte) {
  const auto frames = KeyedAndRecorded();
  net.Faults.DuplicateEvery = 5;  // the line repeats frames: a repeated counter is junk
  auto flipped = std::make_shared<std::atomic<bool>>(false);
  net.Faults.Alter = [flipped](int side, std::string& m) {
    if (side == 0 && m.size() > 2000 && static_cast<std::uint8_t>(m[0]) == host::kSealedFrame &&
        !flipped->exchange(true))
      m[m.size() / 2] = static_cast<char>(m[m.size() / 2] ^ 0x01);
  };
  net.Times.DataWaitMs = 300;
  Start({.FirstFragment = 4096});
  for (std::int32_t n = 1; std::size_t size : {10000, 3, 0, 30000}) Send(n++, size);
  ExpectAllDeliveredOnceInOrder();
  EXPECT_TRUE(flipped->load());
  EXPECT_GT(net.Connects.load(), 1) << "the damaged message was refused and the line restored";
  const std::string plain = sent[4].substr(100, 64);
  for (const std::string& f : *frames)
    EXPECT_EQ(f.find(plain), std::string::npos) << "a packet crossed the line in clear";
  const auto kinds = Sessions();
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "0:1:"), net.Connects.load());
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "1:1:"), net.Connects.load());
}

struct TRefusalCase {
  const char* name;
  std::optional<std::string> server_holds;  // nullopt: the caller is not known; "": known, no key
  std::string client_holds;                 // "": no key
  const char* server_says;
  const char* client_says = nullptr;  // null: "refused by the peer: " and the server's reason
};
void PrintTo(const TRefusalCase& c, std::ostream* os) { *os << c.name; }

class Refusals : public Keys, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(Refusals, EndTheSessionAfterTheGreetingOnBothSidesAndFailThePackets) {
  const TRefusalCase& c = GetParam();
  if (!c.server_holds) spy.ForgetParty(kCaller);
  if (c.server_holds && !c.server_holds->empty()) spy.SetKey(kCaller, *c.server_holds);
  if (!c.client_holds.empty()) spy.SetKey(kCalled, c.client_holds);
  Start();
  Send(1, 100);
  Send(2, 5000);
  ASSERT_TRUE(Settled(2));
  EXPECT_EQ(Failed(), std::vector<std::int32_t>({1, 2}));
  EXPECT_TRUE(spy.Received().empty());
  EXPECT_EQ(net.Connects.load(), 1) << "a refusal is not retried";
  ASSERT_TRUE(Eventually([&] { return spy.Sessions().size() == 2; }));
  const std::string client_says = c.client_says ? c.client_says : "refused by the peer: " + std::string(c.server_says);
  EXPECT_THAT(Sessions(), ::testing::UnorderedElementsAre("1:2:" + std::string(c.server_says), "0:2:" + client_says));
  EXPECT_TRUE(Logged("Serve:(Session refused)"));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Refusals,
    ::testing::Values(TRefusalCase{"Unknown", std::nullopt, "", "unknown caller"},
                      TRefusalCase{"NoKeyOffered", std::string(32, 'k'), "", "the caller offered no key"},
                      TRefusalCase{"NoKeyShared", "", std::string(32, 'k'), "no key is shared with the caller"},
                      TRefusalCase{"WrongKey", std::string(32, 'k'), std::string(32, 'x'), "wrong key",
                                   "wrong key: the peer's proof does not match"}),
    [](const ::testing::TestParamInfo<TRefusalCase>& info) { return std::string(info.param.name); });

TEST_F(Keys, ARecordingOfAnEarlierSessionIsRefusedAndDeliversNothing) {
  const auto frames = KeyedAndRecorded();
  Start();
  Send(1, 3000);
  ASSERT_TRUE(Settled(1));
  net.Faults.DropIf = nullptr;
  const auto conn = net.Dial(client.get());
  ASSERT_TRUE(conn);
  std::optional<host::TMessage> refuse;
  for (const std::string& f : *frames) {
    ASSERT_TRUE(conn->Send(0, f, *client));
    // The server answers the greeting's requests; the replayed proof must fail.
    for (std::string reply; !(reply = conn->Receive(0, 100, *client)).empty();)
      if (auto m = host::DecodeMessage(reply); m && m->Type == host::TMsgType::Refuse) refuse = m;
    if (refuse) break;
  }
  ASSERT_TRUE(refuse);
  EXPECT_EQ(refuse->Reason, host::TRefusal::WrongKey);
  EXPECT_EQ(spy.Received().size(), 1u) << "the replayed data was not delivered again";
}

// A caller of another version is told ours and served nothing; one of the
// version before is served unkeyed, but only when no key is shared.
TEST_F(Keys, CallersOfOtherVersionsAreToldOursOrServedUnkeyedWhenNoKeyIsShared) {
  Start();
  const std::pair<std::uint16_t, bool> callers[] = {
      {2, false}, {host::kUnkeyedVersion, false}, {host::kUnkeyedVersion, true}};
  std::int32_t n = 0;
  for (const auto& [version, keyed] : callers) {
    SCOPED_TRACE("version " + std::to_string(version) + (keyed ? ", keyed" : ""));
    const bool served = version == host::kUnkeyedVersion && !keyed;
    if (keyed) spy.SetKey(kCaller, key_);
    const auto conn = net.Dial(client.get());
    ASSERT_TRUE(conn);
    host::TMessage hello = host::MakeHello(1, kCaller, 7);
    hello.Version = version;
    ASSERT_TRUE(conn->Send(0, host::EncodeMessage(hello), *client));
    const auto welcome = host::DecodeMessage(conn->Receive(0, 10000, *client));
    ASSERT_TRUE(welcome);
    EXPECT_EQ(welcome->Version, served ? host::kUnkeyedVersion : host::kProtocolVersion);
    if (version == 2) {
      EXPECT_TRUE(Logged("Peer speaks another version"));
      EXPECT_TRUE(Eventually([&] { return net.DisConnects.load() == 1; })) << "the session ended";
    }
    // Not served: the session has ended and the line is down.
    const bool taken =
        conn->Send(0, host::EncodeMessage(host::MakeData(2, {{Ref(++n), 13, 0, "version three"}})), *client);
    EXPECT_EQ(taken && host::DecodeMessage(conn->Receive(0, 10000, *client)).has_value(), served);
  }
  EXPECT_EQ(spy.Received().size(), 1u);
  EXPECT_THAT(Sessions(),
              ::testing::ElementsAre("1:0:", "1:2:" + std::string(host::RefusalText(host::TRefusal::OldVersion))));
}

class Stop : public Exchange {};

TEST_F(Stop, StopTransmitReportsEveryUnsentPacketFailedExactlyOnce) {
  // 64 KiB take over 3 s: the stop comes long before a second packet could
  // be delivered, however busy the machine.
  net.Faults.BytesPerMs = 20;
  Start({.MaxFragment = 4096});
  for (std::int32_t n = 1; n <= 5; ++n) Send(n, 65536);
  ASSERT_TRUE(spy.WaitUntil([](const TCoreSpy& s) { return s.ProgressCalls() > 0; }, 10000));
  ASSERT_TRUE(client->StopTransmit(tx));
  ASSERT_TRUE(Settled(sent.size()));
  ExpectEachSettledOnce();
  EXPECT_GE(spy.Failed().size(), 4u);
  // The handle is gone at once; the process is freed once it has ended.
  EXPECT_FALSE(client->StopTransmit(tx));
  const TRefPack ref = Ref(9);
  EXPECT_THROW(client->SendToGate("x", 1, &ref, tx), host::EHostError);
  EXPECT_TRUE(Eventually([&] {
    client->ProcessList->Reap();
    return client->ProcessList->Count() == 0;
  }));
  EXPECT_EQ(spy.Failed().size() + spy.Confirmed().size(), sent.size()) << "nothing reported late";
}

TEST_F(Stop, StopListenLeavesTheRunningSessionAlone) {
  net.Times.StayOnLineMs = 5000;
  Start({}, {.KeepAliveMs = 200});  // the session outlives a slow moment between the packets
  Send(1, 100);
  ASSERT_TRUE(Settled(1));
  ASSERT_TRUE(server->StopListen(listen, true));
  EXPECT_FALSE(server->StopListen(listen, true));
  EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 0);
  Send(2, 100);  // still on line: the session that the listener started serves it
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1);
}

TEST_F(Stop, AServerGateStopEndsItsSessionsAndTheClientFailsNothingSilently) {
  net.Times.StayOnLineMs = 5000;
  Start({}, {.KeepAliveMs = 50});
  Send(1, 100);
  ASSERT_TRUE(Settled(1));
  EXPECT_TRUE(server->StopGate(false));
  EXPECT_EQ(server->ProcessList->Count(), 0u);
  EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 0);
  // The client finds the line gone at its next keep-alive; with no listener
  // the next packet cannot go and is reported.
  ASSERT_TRUE(Eventually([&] { return net.DisConnects.load() >= 2; }));
  Send(2, 100);
  ASSERT_TRUE(Settled(2));
  EXPECT_EQ(Failed(), std::vector<std::int32_t>({2}));
  ExpectEachSettledOnce();
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::EHostError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// The slots' neutral answers are the header's to state; what matters is
// that a gate with neither exchanger nor listener starts nothing.
TEST(GateManager, AGateWithoutExchangerOrListenerStartsNothing) {
  host::TPlainGate gate;
  EXPECT_EQ(gate.StartListen(nullptr, 0, 1, 3, 0), 0u);
  EXPECT_EQ(ErrorOf([&] { gate.StartTransmit(nullptr, 0, 1, 3, 0); }), "The gate created no exchanger");
  EXPECT_EQ(gate.ProcessList->Count(), 0u);
  EXPECT_TRUE(gate.StopGate(true));
}

TEST(GateManager, SendToGateRaisesForWhatItCannotQueueAndAListenerThatCannotListenIsFreed) {
  TFakeNetwork net;
  TTestGate gate(net);
  const KHandle tx = gate.StartTransmit(nullptr, 0, 1, 3, 0);
  ASSERT_TRUE(gate.StartListen(nullptr, 0, 1, 3, 0) != 0);
  const TRefPack ref{1, 2, 3};
  // 0 names no process either; the text for a stray handle is in the exports' test.
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", 1, &ref, 0); }), "Transmit process $00000000 does not exist");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", 1, nullptr, tx); }), "No packet reference");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate(nullptr, 5, &ref, tx); }), "No packet data (size 5)");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", -1, &ref, tx); }), "No packet data (size -1)");
  EXPECT_FALSE(gate.StopListen(tx, true)) << "a transmit handle is no listener";
  EXPECT_FALSE(gate.StopListen(0, true));
  EXPECT_THROW(gate.ProcessList->AddProcess(nullptr, host::TKindOfProcess::Exchange), host::EHostError);

  // The network takes one listener: a second cannot listen, gets no handle
  // and is freed at once.
  const std::size_t processes = gate.ProcessList->Count();
  EXPECT_EQ(gate.StartListen(nullptr, 0, 1, 3, 0), 0u);
  EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 1);
  EXPECT_EQ(gate.ProcessList->Count(), processes);
}

TEST(GateManager, MessagesLogLinesAndLocalisedTextsGoThroughTheCore) {
  TFakeNetwork net;
  TTestGate gate(net);
  testing::TCoreSpy spy;
  gate.StartListen(nullptr, 0, 1, 1234, 0);  // sets the gate code
  const TRefPack ref{5, 738000, 3723004};
  gate.OnLineGateInfo(1, std::string("Сбой линии"_cp), &ref, true, false);
  gate.OnLineGateInfo(1, "no ref", nullptr, true, false);
  const auto infos = spy.Errors();
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(std::tuple(infos[0].text, infos[0].details, infos[0].code),
            std::tuple(std::string("Сбой линии"_cp), "No=5; Date=29.07.2021; Time=01:02:03.004", 1234));
  EXPECT_EQ(std::pair(infos[1].text, infos[1].null_details), std::pair(std::string("no ref"), true));
  const auto listening = spy.LinesWith("TGateManager.StartListen:(Listening)");
  ASSERT_EQ(listening.size(), 1u);
  EXPECT_EQ(listening[0].prefix.rfind("[$", 0), 0u) << "thread prefix";
  EXPECT_EQ(listening[0].code, 1234);
  // A gate that wants no log gets no framework lines.
  const std::size_t lines = spy.Lines().size();
  gate.NeedLog = false;
  (void)gate.StopGate(true);
  EXPECT_EQ(spy.Lines().size(), lines);

  // A text of its own: the progress caption of a transfer, above.
  spy.SetText("Long", std::string(1000, 'L') + "!");
  spy.SetText("Empty", "");
  EXPECT_EQ(gate.GetLocalizResourse("Long", "x"), std::string(1000, 'L') + "!");
  EXPECT_EQ(gate.GetLocalizResourse("Empty", "x"), "");
  EXPECT_EQ(gate.GetLocalizResourse("Missing", "fallback"), "fallback");
}

}  // namespace
}  // namespace kestrel::framework_test
