// The channel pool over sim lines with simulated modems: configuration from a
// settings block, the choice of a channel for sending (idle before listening,
// lowest COM first), listening, and owner-checked releases.
#include "pool/MdmPool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "platform/Cp1251.h"
#include "platform/Event.h"
#include "tests/kit/CoreSpy.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::pool {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::QuickAddress;
using testing::SettingsBlock;

constexpr modem::TOwnerId kOwnerA = 0xA0000001;
constexpr modem::TOwnerId kOwnerB = 0xB0000002;
constexpr modem::TOwnerId kOwnerC = 0xC0000003;

// The list index error of `index`. (That the gate names it EListError shows in
// the exports' and the sessions' error texts.)
auto ListIndexError(std::int32_t index) {
  return ::testing::ThrowsMessage<std::out_of_range>("List index out of bounds (" + std::to_string(index) + ")");
}

// Numbers 200 and 201 answer calls.
class MdmPool : public ::testing::Test {
 protected:
  MdmPool() {
    gate.Watch([this](const void* channel) { return pool->IndexOf(channel); });
    modems.Answering("200");
    modems.Answering("201");
  }

  bool Init(const std::string& block) { return pool->Init(block.data(), static_cast<std::int32_t>(block.size())); }
  // A channel for sending `phones` from one of `ports`: its index, or -1 with the reason in err_.
  std::int32_t Send(std::initializer_list<int> ports, const std::vector<std::string>& phones, modem::TOwnerId owner) {
    std::int32_t index = 7;
    const bool ok = pool->GetChannelFromSetForSending(QuickAddress(ports), phones, index, owner, nullptr, err_);
    EXPECT_EQ(ok, index >= 0) << err_;
    return index;
  }
  // The channels listening for `owner` on `ports`; none, with the reason in err_, when it failed.
  TChannelFlags Listen(std::initializer_list<int> ports, modem::TOwnerId owner) {
    TChannelFlags got{};
    const bool ok = pool->GetChannelsFromSetForListening(
        QuickAddress(ports), got, owner, [](std::int32_t) {}, [this](std::int32_t i) { lost.push_back(i); }, err_);
    EXPECT_EQ(ok, got != TChannelFlags{}) << err_;
    return got;
  }
  std::size_t InitLines(std::string_view which) {
    return core.LinesWith("TMPM[].Init:(" + std::string(which) + ")").size();
  }
  std::string Roles(std::int32_t index) { return modem::testing::Roles(pool->Channels(index)); }

  testing::TSimRig modems;
  testing::TLoggingCore core;
  testing::TFakeGate gate;
  std::unique_ptr<TMdmPoolManager> pool = std::make_unique<TMdmPoolManager>();
  std::vector<std::int32_t> lost;
  std::string err_;
};

TEST_F(MdmPool, ChannelIndicesOutsideZeroToFifteenAreRejected) {
  EXPECT_EQ(std::tuple(pool->Channels(15).PortName(), pool->IndexOf(&pool->Channels(6)), pool->IndexOf(this)),
            std::tuple("\\\\.\\COM16", 6, -1));
  for (const std::int32_t bad : {-1, 16}) {
    EXPECT_THAT([&] { (void)pool->Channels(bad); }, ListIndexError(bad));
    // A release of such an index logs only its first and last line.
    core.ClearLines();
    pool->ReleaseSendingChannelByIndOwner(bad, 0xABC);
    EXPECT_EQ(core.Transcript({"TMPM[].ReleaseSendingChannelByIndOwner:"}),
              (std::vector<std::string>{"2 TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: " +
                                            std::to_string(bad) + "; vSeOwner: 00000ABC) | ",
                                        "2 TMPM[].ReleaseSendingChannelByIndOwner:(end-function) | "}));
  }
}

TEST_F(MdmPool, EmptyChannelListLeavesNoChannelAndMalformedBlocksFailWithoutTouchingChannels) {
  EXPECT_TRUE(pool->Init(nullptr, 0));
  EXPECT_TRUE(Init(SettingsBlock({})));  // 108 bytes: the record and a count of 0
  EXPECT_EQ(pool->GetNumberOfChannelsInitialized(), 0);
  const auto ends = core.LinesWith("TMPM[].Init:(Конец функции)"_cp);
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[1].details, "Return: TRUE; NumberOfChannelsInitialized: 0");
  // That listening and sending then fail with the pool's texts is the
  // sessions' test (MdmListTest.cpp: the listener's ListenFailsOnAShort...,
  // the exchanger's WithoutAChannelConnectCarriesThePoolsText...).

  modems.Missing(2);
  core.ClearLines();
  // A channel part the store cannot decode (its cases are the store's test),
  // a gate record cut short, a negative size, a size without data.
  const std::string good = SettingsBlock({ChannelOn(2)});
  for (const std::string& bad : {good + "x", good.substr(0, 50)}) EXPECT_FALSE(Init(bad)) << bad.size() << " bytes";
  EXPECT_FALSE(pool->Init(good.data(), -5));
  EXPECT_FALSE(pool->Init(nullptr, 400));
  EXPECT_EQ(pool->GetNumberOfChannelsInitialized(), 0);
  EXPECT_EQ(InitLines("Конец функции"_cp), 0u);
  EXPECT_EQ(InitLines("Начало функции"_cp), 4u);
}

TEST_F(MdmPool, PortNumberOutsideOneToSixteenRaisesListIndexErrorAfterEarlierRecords) {
  modems.Missing(2);
  for (const int bad : {17, 0}) {
    store::TMdmChannelSettings wrong = ChannelOn(1);
    wrong.PortNumber = static_cast<gate::TPortNumber>(bad);
    EXPECT_THAT([&] { (void)Init(SettingsBlock({ChannelOn(2), wrong})); }, ListIndexError(bad - 1));
  }
  EXPECT_TRUE(pool->Channels(1).Initialized()) << "the record before the bad one was applied";
  EXPECT_EQ(pool->GetNumberOfChannelsInitialized(), 1);
  EXPECT_EQ(InitLines("Конец функции"_cp), 0u);
}

TEST_F(MdmPool, InitLogsEveryChannelAndItsTestAndStillOffersAChannelWhoseTestFailed) {
  modems.OnCom(3, "103");
  modems.Missing(4);
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(3), ChannelOn(4, "ATX4")})));
  EXPECT_EQ(pool->GetNumberOfChannelsInitialized(), 2);
  EXPECT_EQ(core.Transcript({"Инициализируем канал COM3"_cp}),
            std::vector<std::string>{std::string("2 TMPM[].Init:(Инициализируем канал COM3 ...)"_cp) +
                                     "(Port:COM3; BaudRate:br115200; DataBits:db8BITS; HwFlow:hfRTSCTS; SwFlow:sfNONE; "
                                     "Parity:ptNONE; StopBits:sb1BITS; InitSt:ATX3; Alias:line3) | "});
  EXPECT_EQ(InitLines("Канал COM3 успешно протестирован"_cp), 1u);
  const auto com4 = core.LinesWith("TMPM[].Init:(Канал COM4 при тестировании выдал ошибку:("_cp);
  ASSERT_EQ(com4.size(), 1u);
  EXPECT_GT(com4[0].text.size(), std::string("TMPM[].Init:(Канал COM4 при тестировании выдал ошибку:())"_cp).size());
  EXPECT_EQ(core.Transcript({"TMPM[].Init:(Конец функции)"_cp}),
            std::vector<std::string>{std::string("2 TMPM[].Init:(Конец функции) | Return: TRUE; NumberOfChannelsInitialized: 2"_cp)});

  modems.OnCom(4, "104");  // the modem is plugged in after the test
  ASSERT_EQ(Send({4}, {"200"}, kOwnerA), 3);
  pool->ReleaseSendingChannelByIndOwner(3, kOwnerA);
  EXPECT_FALSE(pool->Channels(3).Sending());
}

TEST_F(MdmPool, SendingPrefersLowestIdleChannelThenTakesOverAListeningOne) {
  modems.OnCom(3, "103");
  modems.OnCom(5, "105");
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(3), ChannelOn(5)})));
  ASSERT_TRUE(Listen({3}, kOwnerA)[2]);

  // COM3 listens, COM5 is idle: the idle one wins although COM3 is lower.
  ASSERT_EQ(Send({3, 5}, {"200"}, kOwnerB), 4);
  EXPECT_EQ(std::pair(Roles(4), Roles(2)), std::pair(std::string("SB0000002 -0 C"), std::string("-0 LA0000001 C")));
  // COM5 is busy now: the second pass takes COM3 away from listening.
  ASSERT_EQ(Send({3, 5}, {"201"}, kOwnerC), 2);
  EXPECT_EQ(Roles(2), "SC0000003 LA0000001 C");

  pool->ReleaseSendingChannelByIndOwner(2, kOwnerC);
  pool->ReleaseSendingChannelByIndOwner(4, kOwnerB);
  EXPECT_EQ(Roles(2), "-0 LA0000001 C") << "the channel went back to waiting for calls";
  EXPECT_EQ(Roles(4), "-0 -0");
  pool->ReleaseListeningChannelsByOwner(kOwnerA);
}

TEST_F(MdmPool, ASenderPassesOverAnIdleChannelAnotherThreadIsClaimingAndWaitsForItOnlyWhenNoneElseIsFree) {
  modems.OnCom(1, "101");
  modems.OnCom(2, "102");
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(1), ChannelOn(2)})));
  // Another thread works on COM1 (as one claiming it does, for a modem's
  // initialisation): the sender takes COM2 meanwhile instead of queueing.
  std::promise<void> holding, done;
  std::thread other([&] {
    platform::TLockGuard hold(pool->Channels(0).Lock());
    holding.set_value();
    done.get_future().wait();
  });
  holding.get_future().wait();
  auto sent = std::async(std::launch::async, [&] { return Send({1, 2}, {"200"}, kOwnerA); });
  const bool in_time = sent.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  EXPECT_TRUE(in_time) << "the sender waited for COM1";
  // With COM2 taken, the next sender waits for COM1 and gets it once free.
  auto next = std::async(std::launch::async, [&] { return Send({1, 2}, {"201"}, kOwnerB); });
  done.set_value();
  other.join();
  ASSERT_EQ(sent.get(), 1);
  EXPECT_EQ(next.get(), 0);
  pool->ReleaseSendingChannelByIndOwner(0, kOwnerB);
  pool->ReleaseSendingChannelByIndOwner(1, kOwnerA);
}

TEST_F(MdmPool, NoChannelToTakeOrAFailedDialIsReportedAndLeavesTheChannelFree) {
  modems.OnCom(3, "103");
  modems.Missing(2);
  modems.Bare({.number = "300", .busy = true});
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(2), ChannelOn(3)})));

  EXPECT_EQ(Send({3}, {"300"}, kOwnerA), -1);
  EXPECT_EQ(err_.rfind("TMD[2].DialForSending: DialPhone: <300> failed with message '", 0), 0u) << err_;
  EXPECT_FALSE(pool->Channels(2).Sending());
  EXPECT_EQ(Send({3}, {}, kOwnerA), -1);
  EXPECT_EQ(err_, "TMD[2].DialForSending: (PhoneNumbers List is empty)");
  EXPECT_FALSE(pool->Channels(2).Sending());

  // COM6 is not configured; COM2 is, but its port cannot be opened.
  for (const int port : {6, 2}) {
    EXPECT_EQ(Send({port}, {"200"}, kOwnerA), -1);
    EXPECT_EQ(err_, "TMPM.GetChannelFromSetForSending:(No free initialized channel for sending)");
  }
  Listen({6}, kOwnerA);
  EXPECT_EQ(err_, "TMPM.GetChannelsFromSetForListening:(No channels got for listening)");
}

TEST_F(MdmPool, StaleReleaseLeavesTheNewOwnersConnectionAlone) {
  modems.OnCom(3, "103");
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(3)})));
  ASSERT_EQ(Send({3}, {"200"}, kOwnerA), 2);
  pool->ReleaseSendingChannelByIndOwner(2, kOwnerA);
  // 200 is still hanging up; B calls another party.
  ASSERT_EQ(Send({3}, {"201"}, kOwnerB), 2);

  core.ClearLines();
  pool->ReleaseSendingChannelByIndOwner(2, kOwnerA);  // A's second release comes late
  EXPECT_EQ(std::pair(Roles(2), pool->Channels(2).ModemConnected()), std::pair(std::string("SB0000002 -0 C"), true));
  const auto lines = core.LinesWith("TMPM[].ReleaseSendingChannelByIndOwner:");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].text,
            "TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: 2; vSeOwner: A0000001; "
            "Channels[vChannelIndex].SendingOwner: B0000002; Channels[vChannelIndex].ListeningOwner: 00000000; "
            "Channels[vChannelIndex].Sending: TRUE; Channels[vChannelIndex].Listening: FALSE)");
  pool->ReleaseSendingChannelByIndOwner(2, kOwnerB);
  EXPECT_FALSE(pool->Channels(2).Sending());
}

TEST_F(MdmPool, ListeningReleaseByOwnerEndsOnlyThatOwnersChannels) {
  modems.OnCom(3, "103");
  modems.OnCom(5, "105");
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(3), ChannelOn(5)})));
  ASSERT_TRUE(Listen({5}, kOwnerA)[4]);
  const TChannelFlags got_b = Listen({3, 5}, kOwnerB);
  EXPECT_TRUE(got_b[2]);
  EXPECT_FALSE(got_b[4]) << "COM5 listens for A already";
  EXPECT_EQ(err_, "TMD[4].InitForListening: (Channel busy)") << "the refusal text stays when another channel accepted";

  pool->ReleaseListeningChannelsByOwner(kOwnerA);
  EXPECT_EQ(std::tuple(Roles(4), Roles(2), lost), std::tuple("-0 -0", "-0 LB0000002 C", std::vector<std::int32_t>{4}));
  pool->ReleaseListeningChannelsByOwner(kOwnerB);
  EXPECT_EQ(std::pair(pool->Channels(2).Listening(), lost), std::pair(false, std::vector<std::int32_t>{4, 2}));
}

// Modems that stay in their call when the gate closes the port: set to
// ignore DTR (&D0), or on a cable without DTR. The answering side finds its
// modem still on line when it re-arms after each call, brings it back to
// command state and hangs it up, so every call of a series gets through.
struct TLeftOnLine {
  const char* name;
  sim::TModemSetup setup;
  int calls;
};

// The fixture's pool calls; a second pool answers.
class MdmPoolLeftOnLine : public MdmPool, public ::testing::WithParamInterface<TLeftOnLine> {
 protected:
  MdmPoolLeftOnLine() { gate.Watch([this](const void* channel) { return callee->IndexOf(channel); }); }

  std::unique_ptr<TMdmPoolManager> callee = std::make_unique<TMdmPoolManager>();
  platform::TEvent answered;
};

TEST_P(MdmPoolLeftOnLine, EveryCallOfASeriesGetsThroughAndTheModemIsRecovered) {
  modems.OnCom(1, "101", GetParam().setup);
  modems.OnCom(2, "102", GetParam().setup);
  const std::string b = SettingsBlock({ChannelOn(2)});
  ASSERT_TRUE(Init(SettingsBlock({ChannelOn(1)})));
  ASSERT_TRUE(callee->Init(b.data(), static_cast<std::int32_t>(b.size())));
  TChannelFlags got{};
  ASSERT_TRUE(callee->GetChannelsFromSetForListening(
      QuickAddress({2}), got, kOwnerB, [this](std::int32_t) { answered.Set(); }, nullptr, err_))
      << err_;
  modem::TMdmDriver& out = pool->Channels(0);
  modem::TMdmDriver& in = callee->Channels(1);
  const std::string recovered = "END returning modem to command state. Result:<success>";

  for (int call = 1; call <= GetParam().calls; ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    answered.Reset();
    const std::int32_t index = Send({1}, {"102"}, kOwnerA);
    ASSERT_EQ(index, 0) << err_;
    ASSERT_TRUE(answered.WaitFor(10000)) << "not answered";
    // The call carries data (both ways is the driver's test, MdmRoles).
    std::string got_data;
    ASSERT_TRUE(out.SendByChannel("to the callee " + std::to_string(call), err_)) << err_;
    ASSERT_TRUE(in.RecvByChannel(got_data, err_)) << err_;
    EXPECT_EQ(got_data, "to the callee " + std::to_string(call));

    // Both ends close their ports; neither modem hangs up by itself.
    const std::size_t recoveries = core.LinesWith(recovered).size();
    pool->ReleaseSendingChannelByIndOwner(index, kOwnerA);
    in.ReleaseSendingChannel();
    ASSERT_TRUE(in.Listening()) << "re-armed for the next call";
    EXPECT_EQ(core.LinesWith(recovered).size(), recoveries + 1) << "the re-arm found the modem still in the call";
  }
  const auto begins = core.LinesWith("BEGIN returning modem to command state. Reason:<Timeout reached>");
  EXPECT_EQ(begins.size(), static_cast<std::size_t>(GetParam().calls));
  callee->ReleaseListeningChannelsByOwner(kOwnerB);
}

INSTANTIATE_TEST_SUITE_P(Modems, MdmPoolLeftOnLine,
                         ::testing::Values(TLeftOnLine{"IgnoringDtr", {.dtr_mode = 0}, 10},
                                           TLeftOnLine{"OnACableWithoutDtr", {.dtr_wired = false}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::pool
