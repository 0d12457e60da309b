// The listener: arming the allowed channels, the report of an answered call
// (a server session bound to the channel), a report that cannot be served,
// and giving the channels back.
#include "session/MdmList.h"

#include <tuple>

#include "host/MonitorSource.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "tests/session/GateFixture.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::OwnBlock;
using testing::QuickAddress;
using testing::SettingsBlock;

class MdmList : public GateFixture {
 protected:
  std::unique_ptr<TMdmListener> Make(const std::string& block) {
    return std::make_unique<TMdmListener>(manager.get(), block.data(), static_cast<std::int32_t>(block.size()));
  }
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
    modems.OnCom(port, "10" + std::to_string(port));
    core.StoreSettings(1, SettingsBlock({ChannelOn(port)}));
    if (!manager->InitGate(1)) return nullptr;
    auto l = Make(OwnBlock(QuickAddress({port})));
    return l->Listen() ? std::move(l) : nullptr;
  }
};

TEST_F(MdmList, ListenFailsOnAShortOwnAddressOrWithoutAnAllowedConfiguredChannel) {
  ASSERT_TRUE(manager->InitGate(1));  // nothing stored
  const std::string own = OwnBlock(QuickAddress({1}));
  EXPECT_TRUE(Make(own)->Initialized()) << "168 bytes are enough: the phone section is not read";
  auto l = Make(own.substr(0, 100));
  EXPECT_FALSE(l->Initialized());
  EXPECT_FALSE(l->Listen());
  ASSERT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Errors()[0].text,
            Line(*l, "Listen", std::string("Ошибка"_cp) + " Exception:(Listener not initialized)"));
  EXPECT_EQ(core.LinesWith(Line(*l, "Listen", "Конец функции"_cp))[0].details, "Result: FALSE");

  EXPECT_FALSE(Make(own)->Listen());
  EXPECT_NE(core.Errors().back().text.find(
                "TMPM.GetChannelsFromSetForListening:(There no initialized channels.Check gate settings!)"),
            std::string::npos);
  ASSERT_TRUE(manager->StopGate(true));
  modems.Missing(2);
  core.StoreSettings(1, SettingsBlock({ChannelOn(2)}));
  ASSERT_TRUE(manager->InitGate(1));
  EXPECT_FALSE(Make(OwnBlock(QuickAddress({6})))->Listen());
  EXPECT_NE(core.Errors().back().text.find("TMPM.GetChannelsFromSetForListening:(No channels got for listening)"),
            std::string::npos);
}

TEST_F(MdmList, ReportOfAChannelOutsideTheRangeCreatesNothing) {
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({1})));
  for (const std::int32_t bad : {16, -1}) {
    core.ClearLines();
    l->DoOnTwoMdmConnected(bad);
    const std::string error = Line(*l, "DoOnTwoMdmConnected", std::string("Ошибка"_cp) +
                                                                  " Exception:(Received ConChannelIndex(" +
                                                                  std::to_string(bad) + ") out of bounds [0..15])");
    EXPECT_EQ(Transcript(), (std::vector<std::string>{
                                "2 " + Line(*l, "DoOnTwoMdmConnected", "Начало функции"_cp) + " | ",
                                "1 " + error + " | ", "2 " + error + " | ",
                                "2 " + Line(*l, "DoOnTwoMdmConnected", "Конец функции"_cp) + " | "}));
  }
  EXPECT_EQ(manager->ProcessList->Count(), 0u);
}

TEST_F(MdmList, DestroyingAListenerGivesBackEachOfItsChannelsBetweenItsLines) {
  for (const int port : {1, 2, 3}) modems.OnCom(port, "10" + std::to_string(port));
  core.StoreSettings(1, SettingsBlock({ChannelOn(1), ChannelOn(2), ChannelOn(3)}));
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({1, 2, 3, 4})));
  ASSERT_TRUE(l->Listen());
  EXPECT_EQ(l->ListenChannels(), (pool::TChannelFlags{true, true, true}));
  const std::string destroy_begin = Line(*l, "Destroy", "Начало функции"_cp);
  const std::string destroy_end = Line(*l, "Destroy", "Конец функции"_cp);
  const std::string lose_begin = Line(*l, "DoOnLoseChannel", "Начало функции"_cp);
  const std::string lose_end = Line(*l, "DoOnLoseChannel", "Конец функции"_cp);
  const std::string id = "TML[$" + Id(*l) + "]";
  core.ClearLines();
  l.reset();

  std::vector<std::string> texts;
  for (const auto& line : core.LinesWith(id)) texts.push_back(line.text);
  EXPECT_EQ(texts, (std::vector<std::string>{destroy_begin, lose_begin, lose_end, lose_begin, lose_end, lose_begin,
                                             lose_end, destroy_end}));
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(manager->Pool()->Channels(i).Listening());
    EXPECT_FALSE(manager->Pool()->Channels(i).Connected());
  }
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
  EXPECT_TRUE(ch.Sending());
  EXPECT_TRUE(ch.Listening());
  EXPECT_NE(ch.SendingOwner(), 0u);
  EXPECT_EQ(manager->ProcessList->RunningThreads(), 1u);
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
  modems.OnCom(1, "101");
  modems.OnCom(2, "102");
  core.StoreSettings(1, SettingsBlock({ChannelOn(1), ChannelOn(2)}));
  ASSERT_TRUE(manager->InitGate(1));
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
  EXPECT_FALSE(manager->Pool()->Channels(0).Listening());
  EXPECT_TRUE(manager->Pool()->Channels(1).Sending()) << "the dial goes on";
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
  EXPECT_TRUE(manager->Pool()->Channels(0).Listening());
}

}  // namespace
}  // namespace kestrel::session
