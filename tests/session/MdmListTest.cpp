// The listener: arming the allowed channels, the report of an answered call
// (a server session bound to the channel), a report that cannot be served,
// and giving the channels back.
//
// The gate manager: initialisation from the settings the core stores, the
// stop that always drops the pool, and the framework's modem-specific slots.
//
// The exchanger: reading its address block, and how each operation reports
// failures (logged, never raised) with and without a channel.
#include "session/MdmList.h"

#include <tuple>

#include "gate/common/GateLog.h"
#include "host/MonitorSource.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "session/MdmExch.h"
#include "session/MdmMngr.h"
#include "store/MdmAddrList.h"
#include "store/MdmSettList.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "host/HostObject.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/CoreSpy.h"
#include "tests/kit/FakeGate.h"
#include "tests/kit/SimRig.h"

namespace kestrel::session {
namespace {

// The fixture of the session tests: a modem gate manager that the modem layer
// knows of, simulated modems for its COM ports, and a core with the log on.
class GateFixture : public ::testing::Test {
 protected:
  GateFixture() {
    const TMdmGateManager* m = manager.get();
    gate.Watch([m](const void* channel) { return m->PoolIndexOf(channel); }, [m] { return m->GateStopping.load(); });
  }

  static std::string Id(const host::THostObject& object) { return host::Hex8(object.Identity()); }
  // A listener or exchanger of the manager, made from `block`.
  template <class T>
  std::unique_ptr<T> Make(const std::string& block) {
    return std::make_unique<T>(manager.get(), block.data(), static_cast<std::int32_t>(block.size()));
  }
  // Simulated modems numbered 10<port> on the COM `ports`, stored as the
  // gate's channels; whether InitGate takes them.
  bool InitGateOn(std::initializer_list<int> ports) {
    std::vector<store::TMdmChannelSettings> channels;
    for (const int port : ports) {
      modems.OnCom(port, "10" + std::to_string(port));
      channels.push_back(testing::ChannelOn(port));
    }
    core.StoreSettings(1, testing::SettingsBlock(channels));
    return manager->InitGate(1);
  }

  testing::TSimRig modems;
  testing::TLoggingCore core;
  testing::TFakeGate gate;
  std::unique_ptr<TMdmGateManager> manager = std::make_unique<TMdmGateManager>();  // goes first
};

using namespace kestrel::literals;
using testing::OwnBlock;
using testing::QuickAddress;
using testing::SettingsBlock;

class MdmList : public GateFixture {
 protected:
  std::unique_ptr<TMdmListener> Make(const std::string& block) { return GateFixture::Make<TMdmListener>(block); }
  // "TML[$<id>].<op>:(<what>)"
  static std::string Line(const TMdmListener& l, const std::string& op, std::string_view what) {
    return "TML[$" + Id(l) + "]." + op + ":(" + std::string(what) + ")";
  }
  // The channel waits for calls again (or never stopped).
  bool Rearmed(std::int32_t index) {
    const modem::TMdmDriver& ch = manager->Pool()->Channels(index);
    return core.WaitUntil([&](const testing::TCoreSpy&) { return ch.Listening() && !ch.Sending(); }, 10000);
  }
  // A terminal that calls `number`; null when it got no CONNECT.
  testing::TTerminal* Call(const std::string& number) {
    testing::TTerminal& t = modems.Terminal("900");
    return t.Type("ATE0DT" + number + "\r") && t.ReadUntil("CONNECT", 10000).find("CONNECT") != std::string::npos
               ? &t
               : nullptr;
  }
  // A gate whose only channel is a modem numbered 10<port> on COM<port>,
  // with a listener armed on it.
  std::unique_ptr<TMdmListener> ListenOn(int port) {
    if (!InitGateOn({port})) return nullptr;
    auto l = Make(OwnBlock(QuickAddress({port})));
    return l->Listen() ? std::move(l) : nullptr;
  }
};

TEST_F(MdmList, ListenFailsOnAShortOwnAddressOrWithoutAnAllowedConfiguredChannel) {
  ASSERT_TRUE(manager->InitGate(1));  // nothing stored
  const std::string own = OwnBlock(QuickAddress({1}));
  EXPECT_TRUE(Make(own)->Initialized()) << "168 bytes are enough: the phone section is not read";
  auto l = Make(own.substr(0, 100));
  EXPECT_EQ((std::pair{l->Initialized(), l->Listen()}), std::pair(false, false));
  ASSERT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Errors()[0].text,
            Line(*l, "Listen", std::string("Ошибка"_cp) + " Exception:(Listener not initialized)"));
  EXPECT_EQ(core.LinesWith(Line(*l, "Listen", "Конец функции"_cp))[0].details, "Result: FALSE");

  // The pool's reason is the listener's error. (The pool's other texts are
  // its own test.)
  EXPECT_FALSE(Make(own)->Listen());
  EXPECT_NE(core.Errors().back().text.find(
                "TMPM.GetChannelsFromSetForListening:(There no initialized channels.Check gate settings!)"),
            std::string::npos);
}

TEST_F(MdmList, ReportOfAChannelOutsideTheRangeCreatesNothing) {
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({1})));
  // The frame of begin, error and end lines is the exchanger's test.
  for (const std::int32_t bad : {16, -1}) {
    l->DoOnTwoMdmConnected(bad);
    EXPECT_EQ(core.Errors().back().text, Line(*l, "DoOnTwoMdmConnected", std::string("Ошибка"_cp) +
                                                                            " Exception:(Received ConChannelIndex(" +
                                                                            std::to_string(bad) + ") out of bounds [0..15])"));
  }
  EXPECT_EQ(manager->ProcessList->Count(), 0u);
}

TEST_F(MdmList, DestroyingAListenerGivesBackEachOfItsChannels) {
  ASSERT_TRUE(InitGateOn({1, 2, 3}));
  auto l = Make(OwnBlock(QuickAddress({1, 2, 3, 4})));
  ASSERT_TRUE(l->Listen());
  EXPECT_EQ(l->ListenChannels(), (pool::TChannelFlags{true, true, true}));
  const std::string lost = Line(*l, "DoOnLoseChannel", "Конец функции"_cp);
  l.reset();
  // Each release calls the listener back; that a released channel stops
  // listening and closes its port is the pool's test.
  EXPECT_EQ(core.LinesWith(lost).size(), 3u) << "the listener heard of each";
}

TEST_F(MdmList, CallAnsweredOnCom7IsServedByAnExchangerThatOwnsTheChannel) {
  const auto l = ListenOn(7);
  ASSERT_NE(l, nullptr);
  // What the monitor window shows of the channel, before and during the call.
  const auto row = [this] {
    const auto rows = manager->MonitorChannels();
    return rows.size() == 1 ? std::tuple(rows[0].Index, rows[0].Alias, rows[0].Activity, rows[0].Owner)
                            : std::tuple(-1, std::string(), host::TChannelActivity::kIdle, 0u);
  };
  EXPECT_EQ(row(), std::tuple(6, "line7", host::TChannelActivity::kListening, l->Identity()));
  testing::TTerminal* caller = Call("107");
  ASSERT_NE(caller, nullptr);
  const std::string started = Line(*l, "DoOnTwoMdmConnected", "Start ExchangeThread for modem on com port COM7");
  ASSERT_TRUE(core.WaitUntil([&](const testing::TCoreSpy& c) { return !c.LinesWith(started).empty(); }, 10000));
  const modem::TMdmDriver& ch = manager->Pool()->Channels(6);
  EXPECT_EQ(std::tuple(ch.Sending(), ch.Listening(), ch.SendingOwner() != 0, manager->ProcessList->RunningThreads()),
            std::tuple(true, true, true, 1u));
  EXPECT_EQ(row(), std::tuple(6, "line7", host::TChannelActivity::kConnected, ch.SendingOwner()));
  EXPECT_TRUE(core.Errors().empty());

  // The caller hangs up: the session ends, its exchanger gives the channel back.
  caller->Close();
  EXPECT_TRUE(Rearmed(6));
  EXPECT_TRUE(core.WaitUntil([&](const testing::TCoreSpy&) { return manager->ProcessList->RunningThreads() == 0; }));
}

// Stopping one listener touches only its own channels: it does not wait for
// a dial on another channel of the gate, which holds that channel for up to
// the dial time-out.
TEST_F(MdmList, StopListenReturnsAtOnceWhileAnotherChannelDialsASilentNumber) {
  ASSERT_TRUE(InitGateOn({1, 2}));
  const std::string own = OwnBlock(QuickAddress({1}));
  const KHandle listen = manager->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 1, 1, 0);
  ASSERT_NE(listen, 0u);
  store::TMdmAddress remote = QuickAddress({2});
  remote.DialTimeOut = store::MsToTimeSpan(30000);
  const std::string block = testing::RemoteBlock(remote, {"555"});  // rings, nobody answers
  const KHandle tx = manager->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 1, 1, 0);
  ASSERT_NE(tx, 0u);
  const TRefPack ref{1, 738000, 1000};
  ASSERT_TRUE(manager->SendToGate("x", 1, &ref, tx));
  ASSERT_TRUE(core.WaitUntil(
      [](const testing::TCoreSpy& c) { return !c.LinesWith("BEGIN establishing modem connection. Dial:<555>").empty(); },
      10000));

  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_TRUE(manager->StopListen(listen, false));
  // Well under a second here; the limit leaves room for a busy machine and
  // stays far below the 30 s a stop must not sit out.
  EXPECT_LE(platform::Elapsed(t0, platform::GetTickCount()), 1500u);
  EXPECT_EQ(std::pair(manager->Pool()->Channels(0).Listening(), manager->Pool()->Channels(1).Sending()),
            std::pair(false, true))
      << "the dial goes on";
  EXPECT_TRUE(manager->StopGate(true));
}

TEST_F(MdmList, CallThatCannotBeServedIsHungUpAndTheChannelListensAgain) {
  const auto l = ListenOn(1);
  ASSERT_NE(l, nullptr);
  // No session can be started without the framework's process list.
  host::TListOfProcess* processes = manager->ProcessList;
  manager->ProcessList = nullptr;
  testing::TTerminal* caller = Call("101");
  ASSERT_NE(caller, nullptr);

  ASSERT_TRUE(core.WaitUntil([](const testing::TCoreSpy& c) { return !c.Errors().empty(); }, 10000));
  EXPECT_NE(core.Errors()[0].text.find("].DoOnTwoMdmConnected:(" + std::string("Ошибка"_cp) + " Exception:("),
            std::string::npos)
      << core.Errors()[0].text;
  // Given back off the poll thread, and armed for the next call.
  EXPECT_TRUE(Rearmed(0));
  EXPECT_NE(caller->ReadUntil("NO CARRIER", 10000).find("NO CARRIER"), std::string::npos);
  manager->ProcessList = processes;
  EXPECT_EQ(processes->Count(), 0u);
}


class MdmMngr : public GateFixture {};

TEST_F(MdmMngr, NothingStoredInitialisesWithoutChannelsShowingProgressAndReadsOnce) {
  EXPECT_FALSE(manager->Init());
  EXPECT_EQ(manager->Pool(), nullptr);
  ASSERT_TRUE(manager->InitGate(5));
  EXPECT_EQ((std::tuple{manager->Initialized(), manager->Init(), manager->GetToShowProgress(),
                        manager->Pool()->GetNumberOfChannelsInitialized()}),
            std::tuple(true, true, true, 0));
  EXPECT_TRUE(manager->InitGate(6)) << "initialised already: the gate code of the first start holds";
  EXPECT_EQ(core.SettingsReads(), 1);
}

TEST_F(MdmMngr, ShortOrMissingBlocksLeaveThePoolUninitialisedAndAreReadAgain) {
  const std::string header = SettingsBlock({}).substr(0, 104);
  core.StoreSettings(1, header.substr(0, 103));
  EXPECT_FALSE(manager->InitGate(1));
  EXPECT_NE(manager->Pool(), nullptr) << "the pool is built before the settings are read";
  EXPECT_EQ((std::tuple{manager->Initialized(), manager->Init(), manager->InitGate(1), core.SettingsReads()}),
            std::tuple(false, false, false, 2));
  EXPECT_TRUE(core.Errors().empty()) << "a block too short for its record says nothing of channels";

  // Blocks that configure no channel: the host is told why nothing can work.
  const std::string no_channel(std::string_view("TMGM[].InitGate:(Не настроен ни один модемный канал)"_cp));
  core.StoreSettings(1, header);  // the record alone: the channel part is missing
  EXPECT_EQ((std::pair{manager->InitGate(1), manager->Initialized()}), std::pair(false, false));
  ASSERT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Errors()[0].text, no_channel);

  core.StoreSettings(1, SettingsBlock({}, false));  // 108 bytes: no channels
  EXPECT_TRUE(manager->InitGate(1));
  EXPECT_FALSE(manager->GetToShowProgress()) << "the stored record says so";
  ASSERT_EQ(core.Errors().size(), 2u);
  EXPECT_EQ(core.Errors()[1].text, no_channel);
}

// Its log lines are in the exports' transcripts of the whole-gate stops.
TEST_F(MdmMngr, StopGateDropsThePoolAndLetsTheNextInitReadAgain) {
  ASSERT_TRUE(InitGateOn({2}));
  ASSERT_TRUE(manager->Pool()->Channels(1).Connected()) << "the modem test leaves the port open";
  EXPECT_TRUE(manager->StopGate(false));
  EXPECT_EQ(std::tuple(manager->Pool(), manager->Initialized()), std::tuple(nullptr, false));
  ASSERT_TRUE(manager->InitGate(1));
  EXPECT_EQ(std::pair(core.SettingsReads(), manager->Pool()->Channels(1).Initialized()), std::pair(2, true));
}

TEST_F(MdmMngr, ProgressCaptionIsTheCoresTextOrTheDefault) {
  EXPECT_EQ(manager->GetProgressCaption(), "Modem Gate Progress ");
  core.SetText("M_Kestrel_MdmType_idCaption", std::string("Ход обмена"_cp));
  EXPECT_EQ(manager->GetProgressCaption(), "Ход обмена"_cp);
}

TEST_F(MdmMngr, ExchangersListenersAndParameterListsAreTheModemOnesAndTheClientIdIsTheAddresses) {
  store::TMdmAddress addr = QuickAddress({3});
  addr.IdCl = 4711;
  const std::string block = testing::RemoteBlock(addr, {"101", "102"});
  EXPECT_EQ(manager->GetAddrIdCl(block.data()), 4711);
  EXPECT_EQ(manager->GetAddrIdCl(nullptr), -1);
  // Made from the whole block (what an exchanger reads of it is its own
  // test); a cast that fails throws and fails the test.
  std::unique_ptr<host::TExchanger> exchanger(
      manager->CreateExchanger(block.data(), static_cast<std::int32_t>(block.size())));
  EXPECT_EQ(dynamic_cast<TMdmExchanger&>(*exchanger).Phones(), (std::vector<std::string>{"101", "102"}));
  // The third argument means nothing to a modem gate.
  std::unique_ptr<host::TListener> listener(manager->CreateListener(block.data(), 168, 12345));
  EXPECT_TRUE(dynamic_cast<TMdmListener&>(*listener).Initialized()) << "made from 168 bytes";
  EXPECT_EQ(core.LinesWith("TMGM[].CreateListener:(Конец функции)"_cp).at(0).details, "Return: $" + Id(*listener));
  manager->CreateAddrList();
  manager->CreateSettList();
  EXPECT_NE(dynamic_cast<store::TMdmAddrList*>(manager->AddrList), nullptr);
  EXPECT_NE(dynamic_cast<store::TMdmSettList*>(manager->SettList), nullptr);
}

TEST_F(MdmMngr, SetNeedLogFollowsTheLogSwitchOrAStopAndSaysSo) {
  core.ClearLines();
  EXPECT_TRUE(manager->SetNeedLog());
  ASSERT_EQ(core.LinesWith("TMGM[].SetNeedLog:(GateManager проинициализирован)"_cp).size(), 1u);
  gate::LogState().NeedLog = false;
  EXPECT_FALSE(manager->SetNeedLog());
  manager->GateStopping = true;
  EXPECT_TRUE(manager->SetNeedLog());
  manager->GateStopping = false;
}

using testing::RemoteBlock;

const std::string kBegin = ":(" + std::string("Начало функции"_cp) + ")";
const std::string kEnd = ":(" + std::string("Конец функции"_cp) + ")";
const std::string kError = ":(" + std::string("Ошибка"_cp) + " ";

class MdmExch : public GateFixture {
 protected:
  std::unique_ptr<TMdmExchanger> Make(const std::string& block) { return GateFixture::Make<TMdmExchanger>(block); }
};

TEST_F(MdmExch, AddressBlockDecidesInitialisationRestoreParametersAndTimeOuts) {
  store::TMdmAddress addr = QuickAddress({2});
  addr.RestoreConnAfterBreakTimeOut = 1.0 + store::MsToTimeSpan(90000);  // a whole day is dropped
  addr.RestoreConnTimeOut = store::MsToTimeSpan(4000);
  addr.RestoreConnTries = 7;
  addr.StayOnLineTimeOut = store::MsToTimeSpan(5000);
  const std::string record = testing::OwnBlock(addr);

  auto bare = Make(record);  // 168 bytes: no phone section
  double timeout = 0;
  std::int32_t tries = 0;
  bare->GetRestoreConnParams(timeout, tries);
  EXPECT_EQ(std::tuple(bare->Initialized(), bare->Phones().empty(), bare->GetRestoreConnAfterBreakTimeOut(), tries),
            std::tuple(true, true, 90000, 7));
  EXPECT_DOUBLE_EQ(bare->GetStayOnLineTimeOut(), store::MsToTimeSpan(5000));
  EXPECT_DOUBLE_EQ(timeout, store::MsToTimeSpan(4000));

  auto with_phones = Make(RemoteBlock(addr, {" 101 ", "102"}));
  EXPECT_EQ(std::pair(with_phones->Initialized(), with_phones->Phones()),
            std::pair(true, std::vector<std::string>{"101", "102"}));
  auto broken_phones = Make(RemoteBlock(addr, {"101"}).substr(0, 168 + 4 + 99));
  EXPECT_EQ(std::pair(broken_phones->Initialized(), broken_phones->Phones().empty()), std::pair(false, true));

  auto short_block = Make(record.substr(0, 100));
  EXPECT_EQ(std::pair(short_block->Initialized(), std::int32_t{short_block->Addr().RestoreConnTries}), std::pair(false, 2))
      << "the default record stays";
  EXPECT_FALSE(TMdmExchanger(manager.get(), nullptr, 0).Initialized());
}

TEST_F(MdmExch, UninitialisedExchangerRefusesConnectAndDisConnectWithErrorLines) {
  ASSERT_TRUE(manager->InitGate(1));
  auto e = Make(std::string(100, '\0'));
  core.ClearLines();
  EXPECT_EQ((std::pair{e->Connect(), e->DisConnect()}), std::pair(false, false));
  std::vector<std::string> expected;
  for (const std::string op : {".Connect", ".DisConnect"}) {
    const std::string error = "TME[$" + Id(*e) + "]" + op + kError + "Exception:(Exchanger not initialized)) | ";
    expected.insert(expected.end(), {"2 TME[$" + Id(*e) + "]" + op + kBegin + " | ", "1 " + error, "2 " + error,
                                     "2 TME[$" + Id(*e) + "]" + op + kEnd + " | Result: FALSE"});
  }
  EXPECT_EQ(core.Transcript(), expected);
}

TEST_F(MdmExch, WithoutAChannelConnectCarriesThePoolsTextSendAndReceiveFailAndDisConnectSucceeds) {
  ASSERT_TRUE(manager->InitGate(1));  // nothing stored: no channel
  auto e = Make(RemoteBlock(QuickAddress({1}), {"101"}));
  const std::string id = "TME[$" + Id(*e) + "]";
  EXPECT_EQ((std::tuple{e->Connect(), e->ChannelIndex(), e->Send(""), e->Receive()}),
            std::tuple(false, -1, false, std::string()));
  std::vector<std::string> errors;
  for (const testing::TCoreLine& l : core.Errors()) errors.push_back(l.text);
  EXPECT_EQ(errors, (std::vector<std::string>{
                        id + ".Connect" + kError +
                            "Exception:(TMPM.GetChannelFromSetForSending:(There no initialized channels.Check "
                            "gate settings!)))",
                        id + ".Send" + kError + "EListError:(List index out of bounds (-1)))",
                        id + ".Receive" + kError + "EListError:(List index out of bounds (-1)))"}));
  EXPECT_EQ(core.Transcript({id + ".Send" + kBegin}),
            std::vector<std::string>{"2 " + id + ".Send" + kBegin + "; DETAILS: ToSend: OCTET(0) | "});
  // Elapsed time is at least 1 ms; the rate of 0 bytes is 0 whatever it was.
  EXPECT_THAT(core.Transcript({id + ".Send" + kEnd}),
              ::testing::ElementsAre(
                  ::testing::ContainsRegex("\\| Result: FALSE; 0 bytes for [1-9][0-9]* ms; Rate: 0 Bit / sec$")));
  EXPECT_EQ(core.LinesWith(id + ".Receive" + kEnd).at(0).details, "ResLen: 0");

  // A DisConnect that never connected releases nothing and succeeds.
  core.ClearLines();
  EXPECT_TRUE(e->DisConnect());
  EXPECT_EQ(core.LinesWith("TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: -1; vSeOwner: " + Id(*e) + ")").size(),
            1u);
  EXPECT_EQ(core.LinesWith(id + ".DisConnect" + kEnd).at(0).details, "Result: TRUE");
}

TEST_F(MdmExch, ConnectedExchangerReportsALostCarrierOnReceiveAndGivesTheChannelBack) {
  ASSERT_TRUE(InitGateOn({1}));
  testing::TTerminal& far = modems.Terminal("200");
  ASSERT_TRUE(far.Type("ATE0S0=1\r"));
  ASSERT_NE(far.ReadUntil("OK").find("OK"), std::string::npos);

  auto e = Make(RemoteBlock(QuickAddress({1}), {"200"}));
  ASSERT_TRUE(e->Connect());
  EXPECT_EQ(std::pair(e->ChannelIndex(), manager->Pool()->Channels(0).SendingOwner()), std::pair(0, e->Identity()));
  ASSERT_TRUE(e->Send("hello"));
  const auto sent = core.LinesWith("].Send" + kEnd);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].details.rfind("Result: TRUE; 5 bytes for ", 0), 0u) << sent[0].details;

  far.Close();  // the far modem hangs up
  EXPECT_EQ(e->Receive(), "");
  EXPECT_EQ(core.Transcript({"].Receive:(Channels[i].RecvByChannel: FALSE)"}),
            std::vector<std::string>{"2 TME[$" + Id(*e) +
                                     "].Receive:(Channels[i].RecvByChannel: FALSE); ErrStr: TMD.MdmRecvExch:(Carrier "
                                     "Detect is not in GetLineStatus set) | PortName: \\\\.\\COM1; Result : "});
  EXPECT_TRUE(core.Errors().empty()) << "a failed receive is no error report";

  EXPECT_TRUE(e->DisConnect());
  EXPECT_EQ(std::pair(e->ChannelIndex(), manager->Pool()->Channels(0).Sending()), std::pair(-1, false));
}

}  // namespace
}  // namespace kestrel::session
