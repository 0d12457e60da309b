// The listener: arming the allowed channels, the report of an answered call
// (a server session bound to the channel), a report that cannot be served,
// and giving the channels back.
#include "session/MdmList.h"

#include <gtest/gtest.h>

#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "session/MdmMngr.h"
#include "tests/pool/ChannelBench.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::OwnBlock;
using testing::QuickAddress;
using testing::SettingsBlock;
using testing::TModemBench;

class MdmList : public ::testing::Test {
 protected:
  MdmList() { access.Add(manager.get()); }
  ~MdmList() override { manager.reset(); }

  std::unique_ptr<TMdmListener> Make(const std::string& block) {
    return std::make_unique<TMdmListener>(manager.get(), block.data(), static_cast<std::int32_t>(block.size()));
  }
  static std::string Id(const TMdmListener& l) { return host::Hex8(l.Identity()); }
  // The channel waits for calls again (or never stopped).
  bool Rearmed(std::int32_t index, std::uint32_t timeout_ms = 10000) {
    const modem::TMdmDriver& ch = manager->Pool()->Channels(index);
    return core.WaitUntil([&](const testing::TCoreSpy&) { return ch.Listening() && !ch.Sending(); }, timeout_ms);
  }
  // A terminal that calls `number`; empty when it got no CONNECT.
  platform::TPortHandle Call(const std::string& number) {
    const platform::TPortHandle t = modems.Terminal("900");
    if (!TModemBench::Type(t, "ATE0DT" + number + "\r")) return platform::kInvalidPortHandle;
    return TModemBench::ReadUntil(t, "CONNECT", 10000).find("CONNECT") != std::string::npos
               ? t
               : platform::kInvalidPortHandle;
  }

  TModemBench modems;
  testing::TLoggingCore core;
  testing::TTestAccess access;
  std::unique_ptr<TMdmGateManager> manager = std::make_unique<TMdmGateManager>();
};

TEST_F(MdmList, OwnAddressShorterThanTheRecordCannotListen) {
  ASSERT_TRUE(manager->InitGate(1));
  const std::string own = OwnBlock(QuickAddress({1}));
  EXPECT_TRUE(Make(own)->Initialized()) << "168 bytes are enough: the phone section is not read";
  auto l = Make(own.substr(0, 100));
  EXPECT_FALSE(l->Initialized());
  EXPECT_FALSE(l->Listen());
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text,
            "TML[$" + Id(*l) + "].Listen:(" + std::string("Ошибка"_cp) + " Exception:(Listener not initialized))");
  EXPECT_EQ(core.LinesWith("TML[$" + Id(*l) + "].Listen:(" + std::string("Конец функции"_cp))[0].details,
            "Result: FALSE");
}

TEST_F(MdmList, ListenFailsWithThePoolsTextWhenNoAllowedChannelIsConfigured) {
  ASSERT_TRUE(manager->InitGate(1));  // nothing stored
  auto none = Make(OwnBlock(QuickAddress({1})));
  EXPECT_FALSE(none->Listen());
  EXPECT_NE(core.Errors().back().text.find(
                "TMPM.GetChannelsFromSetForListening:(There no initialized channels.Check gate settings!)"),
            std::string::npos);

  ASSERT_TRUE(manager->StopGate(true));
  modems.Missing(2);
  core.StoreSettings(1, SettingsBlock({ChannelOn(2)}));
  ASSERT_TRUE(manager->InitGate(1));
  auto elsewhere = Make(OwnBlock(QuickAddress({6})));
  EXPECT_FALSE(elsewhere->Listen());
  EXPECT_NE(core.Errors().back().text.find("TMPM.GetChannelsFromSetForListening:(No channels got for listening)"),
            std::string::npos);
}

TEST_F(MdmList, ReportOfAChannelOutsideTheRangeCreatesNothing) {
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({1})));
  for (const std::int32_t bad : {16, -1}) {
    core.ClearLines();
    l->DoOnTwoMdmConnected(bad);
    std::vector<std::string> texts;
    for (const auto& line : core.Lines()) texts.push_back(std::to_string(line.kind) + " " + line.text);
    const std::string error = "TML[$" + Id(*l) + "].DoOnTwoMdmConnected:(" + std::string("Ошибка"_cp) +
                              " Exception:(Received ConChannelIndex(" + std::to_string(bad) +
                              ") out of bounds [0..15]))";
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "2 TML[$" + Id(*l) + "].DoOnTwoMdmConnected:(" + std::string("Начало функции"_cp) + ")",
                         "1 " + error, "2 " + error,
                         "2 TML[$" + Id(*l) + "].DoOnTwoMdmConnected:(" + std::string("Конец функции"_cp) + ")"}));
  }
  EXPECT_EQ(manager->ProcessList->Count(), 0u);
}

TEST_F(MdmList, DestroyingAListenerGivesBackEachOfItsChannelsBetweenItsLines) {
  modems.OnCom(1, "101");
  modems.OnCom(2, "102");
  modems.OnCom(3, "103");
  core.StoreSettings(1, SettingsBlock({ChannelOn(1), ChannelOn(2), ChannelOn(3)}));
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({1, 2, 3, 4})));
  ASSERT_TRUE(l->Listen());
  EXPECT_EQ(l->ListenChannels(), (pool::TChannelFlags{true, true, true}));
  const std::string id = Id(*l);
  core.ClearLines();
  l.reset();

  std::vector<std::string> texts;
  for (const auto& line : core.LinesWith("TML[$" + id + "]")) texts.push_back(line.text);
  const std::string lose_begin = "TML[$" + id + "].DoOnLoseChannel:(" + std::string("Начало функции"_cp) + ")";
  const std::string lose_end = "TML[$" + id + "].DoOnLoseChannel:(" + std::string("Конец функции"_cp) + ")";
  EXPECT_EQ(texts, (std::vector<std::string>{"TML[$" + id + "].Destroy:(" + std::string("Начало функции"_cp) + ")",
                                             lose_begin, lose_end, lose_begin, lose_end, lose_begin, lose_end,
                                             "TML[$" + id + "].Destroy:(" + std::string("Конец функции"_cp) + ")"}));
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(manager->Pool()->Channels(i).Listening());
    EXPECT_FALSE(manager->Pool()->Channels(i).Connected());
  }
}

TEST_F(MdmList, CallAnsweredOnCom7IsServedByAnExchangerThatOwnsTheChannel) {
  modems.OnCom(7, "107");
  core.StoreSettings(1, SettingsBlock({ChannelOn(7)}));
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({7})));
  ASSERT_TRUE(l->Listen());
  const platform::TPortHandle caller = Call("107");
  ASSERT_NE(caller, platform::kInvalidPortHandle);

  const std::string started =
      "TML[$" + Id(*l) + "].DoOnTwoMdmConnected:(Start ExchangeThread for modem on com port COM7)";
  ASSERT_TRUE(core.WaitUntil([&](const testing::TCoreSpy& c) { return !c.LinesWith(started).empty(); }, 10000));
  const modem::TMdmDriver& ch = manager->Pool()->Channels(6);
  EXPECT_TRUE(ch.Sending());
  EXPECT_TRUE(ch.Listening());
  EXPECT_NE(ch.SendingOwner(), 0u);
  EXPECT_EQ(manager->ProcessList->RunningThreads(), 1u);
  EXPECT_TRUE(core.Errors().empty());

  // The caller hangs up: the session ends, its exchanger gives the channel back.
  modems.Close(caller);
  EXPECT_TRUE(Rearmed(6));
  EXPECT_TRUE(core.WaitUntil([&](const testing::TCoreSpy&) { return manager->ProcessList->RunningThreads() == 0; }));
}

TEST_F(MdmList, CallThatCannotBeServedIsHungUpAndTheChannelListensAgain) {
  modems.OnCom(1, "101");
  core.StoreSettings(1, SettingsBlock({ChannelOn(1)}));
  ASSERT_TRUE(manager->InitGate(1));
  auto l = Make(OwnBlock(QuickAddress({1})));
  ASSERT_TRUE(l->Listen());
  // No session can be started without the framework's process list.
  host::TListOfProcess* processes = manager->ProcessList;
  manager->ProcessList = nullptr;
  const platform::TPortHandle caller = Call("101");
  ASSERT_NE(caller, platform::kInvalidPortHandle);

  ASSERT_TRUE(core.WaitUntil([](const testing::TCoreSpy& c) { return !c.Errors().empty(); }, 10000));
  EXPECT_NE(core.Errors()[0].text.find("].DoOnTwoMdmConnected:(" + std::string("Ошибка"_cp) + " Exception:("),
            std::string::npos)
      << core.Errors()[0].text;
  // Given back off the poll thread, and armed for the next call.
  EXPECT_TRUE(Rearmed(0));
  EXPECT_NE(TModemBench::ReadUntil(caller, "NO CARRIER", 10000).find("NO CARRIER"), std::string::npos);
  manager->ProcessList = processes;
  EXPECT_EQ(processes->Count(), 0u);
  EXPECT_TRUE(manager->Pool()->Channels(0).Listening());
}

}  // namespace
}  // namespace kestrel::session
