// The channel roles: sending and listening over the simulated exchange, and
// the answering of calls against a scripted modem.
#include <random>

#include "sim/ExchangeRunner.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

using testing::Quick;
using testing::Roles;
using Indexes = std::vector<std::int32_t>;

// Records the calls of a channel callback.
struct TCalls {
  std::vector<std::int32_t> Seen() {
    std::lock_guard lock(mutex);
    return indexes;
  }
  TChannelEvent Callback() {
    return [this](std::int32_t i) {
      std::lock_guard lock(mutex);
      indexes.push_back(i);
      event.Set();
    };
  }
  std::mutex mutex;
  std::vector<std::int32_t> indexes;
  platform::TEvent event;
};

// Two channels, COM1 (a, pool index 0, number 101) and COM2 (b, index 1,
// number 102), on simulated modems of one exchange; 201 and 202 are busy.
class MdmRoles : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = rig_.OnCom(1, "101");
    rig_.OnCom(2, "102");
    for (const char* number : {"201", "202"}) rig_.Bare({.number = number, .busy = true});
    a_.SetChannelSettings(testing::ChannelOn(1));
    b_.SetChannelSettings(testing::ChannelOn(2));
    gate_.PutInPool(0, &a_);
    gate_.PutInPool(1, &b_);
  }
  void TearDown() override { ReleaseAll(); }
  void ReleaseAll() {
    a_.ReleaseSendingChannel();
    b_.ReleaseSendingChannel();
    b_.ReleaseListeningChannel();
  }
  // Has b listen for owner 0x77.
  bool Listen(TCalls& on_connected) {
    return b_.InitForListening(Quick(), 0x77, on_connected.Callback(), lost.Callback(), err_);
  }
  // Has a (owner 0x56) call 102.
  bool Call(std::uint32_t dial_ms = 3000) {
    EXPECT_TRUE(a_.InitForSending(false, Quick(dial_ms), 0x56, a_lost.Callback(), err_)) << err_;
    return a_.DialForSending({"102"}, err_);
  }

  testing::TFakeGate gate_;
  // Callback records outlive the tests' bodies: releases in TearDown call them.
  TCalls connected, lost, a_lost;
  testing::TSimRig rig_{{.latency_ms = 5, .dial_ms = 50, .handshake_ms = 100}};
  sim::TModemId first_ = sim::kNoModem;
  TMdmDriver a_;
  TMdmDriver b_;
  std::string err_;
};

TEST_F(MdmRoles, CallIsAnsweredCarriesFramesBothWaysAndTheListenerIsReArmed) {
  ASSERT_TRUE(Listen(connected)) << err_;
  EXPECT_EQ(Roles(b_), "-0 L77 C");
  ASSERT_TRUE(Call()) << err_;
  ASSERT_TRUE(connected.event.WaitFor(5000)) << "the listening channel did not answer";
  EXPECT_EQ(connected.Seen(), Indexes{1});
  EXPECT_EQ(Roles(a_), "S56 -0 C");
  // The listener records the owner of an answered call itself.
  EXPECT_EQ(Roles(b_), "S0 L77 C");
  EXPECT_TRUE(b_.ModemConnected());

  for (const auto& [from, to, data] : {std::tuple{&a_, &b_, std::string("hello")}, {&b_, &a_, std::string(3000, 'x')}}) {
    std::string got;
    ASSERT_TRUE(from->SendByChannel(data, err_)) << err_;
    ASSERT_TRUE(to->RecvByChannel(got, err_)) << err_;
    EXPECT_EQ(got, data);
  }

  a_.ReleaseSendingChannel();
  a_.ReleaseSendingChannel();  // not sending: nothing, no second callback
  EXPECT_EQ(a_lost.Seen(), Indexes{0});
  EXPECT_EQ(Roles(a_), "-0 -0");
  b_.ReleaseSendingChannel();
  EXPECT_EQ(Roles(b_), "-0 L77 C") << "the listening role survives the call, re-armed";
  EXPECT_TRUE(lost.Seen().empty());
}

TEST_F(MdmRoles, ListeningChannelIsBorrowedOnlyWhenAllowedAndIgnoresRingsMeanwhile) {
  ASSERT_TRUE(Listen(connected)) << err_;
  EXPECT_FALSE(b_.InitForSending(false, Quick(), 0x55, nullptr, err_));
  EXPECT_EQ(err_, "TMD[1].InitForSending: (Channel busy)");
  ASSERT_TRUE(b_.InitForSending(true, Quick(), 0x55, nullptr, err_)) << err_;
  EXPECT_EQ(Roles(b_), "S55 L77 C");

  // A call to the borrowed channel rings unanswered: its poll is paused.
  EXPECT_FALSE(Call(1500));
  EXPECT_TRUE(connected.Seen().empty());
  a_.ReleaseSendingChannel();
  b_.ReleaseSendingChannel();
  EXPECT_EQ(Roles(b_), "-0 L77 C");
  // Listening again: the next call is answered.
  ASSERT_TRUE(Call()) << err_;
  EXPECT_TRUE(connected.event.WaitFor(5000));
}

TEST_F(MdmRoles, RolesNeedAnInitialisedChannelAndListeningOnASendingOneIsArmedOnRelease) {
  TMdmDriver fresh;
  EXPECT_FALSE(fresh.InitForSending(false, Quick(), 1, nullptr, err_));
  EXPECT_EQ(err_, "TMD[-1].InitForSending: (Channel not initialized)");
  EXPECT_FALSE(fresh.InitForListening(Quick(), 1, nullptr, nullptr, err_));
  EXPECT_EQ(err_, "TMD[-1].InitForListening: (Channel not initialized)");

  ASSERT_TRUE(b_.InitForSending(false, Quick(), 0x55, nullptr, err_)) << err_;
  ASSERT_TRUE(b_.InitForListening(Quick(), 0x78, connected.Callback(), lost.Callback(), err_)) << err_;
  EXPECT_EQ(Roles(b_), "S55 L78 C");
  EXPECT_FALSE(b_.InitForListening(Quick(), 0x79, nullptr, nullptr, err_));
  EXPECT_EQ(err_, "TMD[1].InitForListening: (Channel busy)");
  b_.ReleaseListeningChannel();  // sending keeps the port
  EXPECT_EQ(Roles(b_), "S55 -0 C");
  EXPECT_EQ(lost.Seen(), Indexes{1});
}

TEST_F(MdmRoles, FailedReArmReleasesTheListeningRoleAndTellsTheListener) {
  ASSERT_TRUE(Listen(connected)) << err_;
  ASSERT_TRUE(b_.InitForSending(true, Quick(), 0x55, nullptr, err_)) << err_;
  rig_.Missing(2);  // the port will not open again
  b_.ReleaseSendingChannel();
  EXPECT_EQ(Roles(b_), "-0 -0");
  EXPECT_EQ(lost.Seen(), Indexes{1});
}

TEST_F(MdmRoles, DialListReportsEveryFailedNumberAndPausesBeforeTheNext) {
  ASSERT_TRUE(a_.InitForSending(false, Quick(3000, 300), 0x55, nullptr, err_)) << err_;
  EXPECT_FALSE(a_.DialForSending({"201", "202"}, err_));
  const std::string busy =
      "failed with message '" + testing::BadResponse(gate::TRespCode::rcBusy, "$0D$0ABUSY$0D$0A") + "'";
  EXPECT_EQ(err_, "TMD[0].DialForSending: DialPhone: <201> " + busy + ";DialPhone: <202> " + busy);

  ASSERT_TRUE(Listen(connected)) << err_;
  const std::uint32_t t0 = platform::GetTickCount();
  ASSERT_TRUE(a_.DialForSending({"201", "202", "102"}, err_)) << err_;
  EXPECT_EQ(err_, "") << "a connection clears the failures";
  EXPECT_GE(platform::Elapsed(t0, platform::GetTickCount()), 600u) << "two pauses of the restore time-out";
}

TEST_F(MdmRoles, GateStopDuringThePauseEndsTheDialList) {
  ASSERT_TRUE(a_.InitForSending(false, Quick(3000, 20000), 0x55, nullptr, err_)) << err_;
  auto dial = std::async(std::launch::async, [this] { return a_.DialForSending({"201", "102"}, err_); });
  // The stop comes once the busy number failed, in its hang-up or in the
  // pause after it: either way the list ends without the pause or the next number.
  const auto busy = [&](const sim::TExchangeEvent& e) {
    return e.modem == first_ && e.kind == sim::TExchangeEvent::TKind::kResult && e.text == "BUSY";
  };
  ASSERT_TRUE(rig_.WaitForEvents([&](const auto& events) { return std::ranges::any_of(events, busy); }, 10000));
  gate_.stopping = true;
  // Well before the 20 s pause is over.
  ASSERT_EQ(dial.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(dial.get());
  EXPECT_EQ(err_.rfind("TMD[0].DialForSending: DialPhone: <201> failed", 0), 0u) << err_;
  EXPECT_EQ(err_.substr(err_.size() - 23), "; Then gate was stopped");
  gate_.stopping = false;
}

TEST_F(MdmRoles, RingRacingAnOutgoingTakeOverHasExactlyOneWinner) {
  std::mt19937 rng(7);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    TCalls round_connected;
    ASSERT_TRUE(Listen(round_connected)) << err_;
    auto dial = std::async(std::launch::async, [this] { return Call(1500); });
    platform::SleepFor(std::uniform_int_distribution<std::uint32_t>(0, 300)(rng));
    std::string take_err;
    const bool took = b_.InitForSending(true, Quick(), 0x57, nullptr, take_err);
    const bool dialled = dial.get();
    const bool answered = round_connected.event.WaitFor(took ? 200 : 3000);
    EXPECT_NE(took, answered) << take_err;
    EXPECT_EQ(dialled, answered);
    EXPECT_EQ(take_err, took ? "" : "TMD[1].InitForSending: (Channel busy)");
    ReleaseAll();
  }
}

// Answering against a scripted modem: exact bytes and their splits.
class MdmAnswerByScript : public ::testing::Test {
 protected:
  void SetUp() override {
    drv_.SetChannelSettings(testing::ChannelOn(6));
    gate_.PutInPool(5, &drv_);
  }
  void Listen() { ASSERT_TRUE(drv_.InitForListening(Quick(), 7, connected.Callback(), lost.Callback(), err_)) << err_; }
  // The commands heard since the first `from`.
  std::vector<std::string> CommandsFrom(std::size_t from) {
    const auto all = modem_.Commands();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
  }

  testing::TFakeGate gate_;
  TCalls connected, lost;
  std::atomic<bool> answer_connects_{true};
  std::string before_connect_;  // said before CONNECT in the same write
  std::string after_connect_;   // what the caller sent at once, said in the same write as CONNECT
  std::atomic<bool> connect_later_{false};  // ATA answered by before_connect_ alone; the test says CONNECT
  testing::TScriptedModem modem_{6, [this](const std::string& cmd) -> std::string {
                                    if (cmd != "ATA") return "\r\nOK\r\n";
                                    if (connect_later_) return before_connect_;
                                    return answer_connects_
                                               ? before_connect_ + "\r\nCONNECT 33600\r\n" + after_connect_
                                               : "\r\nNO CARRIER\r\n";
                                  }};
  TMdmDriver drv_;
  std::string err_;
};

TEST_F(MdmAnswerByScript, ArmingInitialisesAndOnlyAWholeRingInOneDeliveryIsAnswered) {
  Listen();
  EXPECT_EQ(modem_.Commands(), (std::vector<std::string>{"ATE0V1S0=0", "ATX3", "ATE0V1S0=0"}));
  // Each of these is read by the poll before the next is said: a RING after
  // other words, and a RING split over two deliveries, are not answered.
  for (const char* delivery : {"\r\nCONNECT\r\nRING\r\n", "\r\nRI", "NG\r\n"})
    ASSERT_TRUE(modem_.SayAndWaitRead(delivery)) << delivery;
  EXPECT_FALSE(modem_.WaitCommands(4, 350)) << "answered with " << modem_.Commands().back();
  EXPECT_FALSE(drv_.Sending());
  ASSERT_TRUE(modem_.SayAndWaitRead("\r\nRING\r\n"));
  ASSERT_TRUE(connected.event.WaitFor(3000));
  EXPECT_EQ(CommandsFrom(3), std::vector<std::string>{"ATA"});
  EXPECT_EQ(connected.Seen(), Indexes{5});
  EXPECT_TRUE(drv_.Sending());
}

// A caller that sends at once: its first frames arrive in the same read as
// the answer's CONNECT, and are the first frames the exchange receives.
TEST_F(MdmAnswerByScript, FramesThatArriveWithConnectAreReceivedFirst) {
  after_connect_ = BuildFrame(2, "greeting") + BuildFrame(3, "");
  Listen();
  ASSERT_TRUE(modem_.SayAndWaitRead("\r\nRING\r\n"));
  ASSERT_TRUE(connected.event.WaitFor(3000));
  for (const char* expected : {"greeting", ""}) {
    std::string data;
    ASSERT_TRUE(drv_.RecvByChannel(data, err_)) << err_;
    EXPECT_EQ(data, expected);
  }
  EXPECT_EQ(drv_.LastRecvKind(), 3u);
}

// The caller's next ring may reach the port just before the modem takes ATA:
// that RING is not the answer; the CONNECT after it is, whether it comes in
// the same read or later.
TEST_F(MdmAnswerByScript, ARingJustBeforeTheAnswerIsNotTakenForIt) {
  before_connect_ = "\r\nRING\r\n";
  Listen();
  for (const bool later : {false, true}) {
    SCOPED_TRACE(later ? "CONNECT later" : "RING and CONNECT in one write");
    connect_later_ = later;
    const std::size_t heard = modem_.Commands().size();
    ASSERT_TRUE(modem_.SayAndWaitRead("\r\nRING\r\n"));
    ASSERT_TRUE(modem_.WaitCommands(heard + 1));
    ASSERT_TRUE(!later || modem_.SayAndWaitRead("\r\nCONNECT 33600\r\n"));
    ASSERT_TRUE(connected.event.WaitFor(3000));
    connected.event.Reset();
    EXPECT_EQ(CommandsFrom(heard), std::vector<std::string>{"ATA"}) << "no hang-up after the answer";
    EXPECT_TRUE(drv_.Sending());
    drv_.ReleaseSendingChannel();  // listening again once it returns
    ASSERT_TRUE(drv_.Listening());
  }
}

// The poll must never wait for the channel's lock; a ring that finds it held
// (here by the test, as by a role operation) is answered once it is free, and
// the rings that came meanwhile belong to the same call.
TEST_F(MdmAnswerByScript, RingsWhileTheChannelIsBusyAreAnsweredOnceWhenItIsFree) {
  Listen();
  const std::size_t heard = modem_.Commands().size();
  {
    platform::TLockGuard busy(drv_.Lock());
    ASSERT_TRUE(modem_.SayAndWaitRead("\r\nRING\r\n"));
    ASSERT_TRUE(modem_.SayAndWaitRead("\r\nRING\r\n"));
    EXPECT_FALSE(modem_.WaitCommands(heard + 1, 1500)) << "answered while the lock was held";
  }
  ASSERT_TRUE(connected.event.WaitFor(5000)) << "the ring was lost";
  EXPECT_FALSE(modem_.WaitCommands(heard + 2, 500));
  EXPECT_EQ(CommandsFrom(heard), std::vector<std::string>{"ATA"});
  EXPECT_EQ(connected.Seen(), Indexes{5});
}

TEST_F(MdmAnswerByScript, FailedAnswerHangsUpAndKeepsListening) {
  answer_connects_ = false;
  Listen();
  ASSERT_TRUE(modem_.SayAndWaitRead("\r\nRING\r\n"));
  ASSERT_TRUE(modem_.WaitCommands(3 + 4));
  EXPECT_EQ(CommandsFrom(3), (std::vector<std::string>{"ATA", "+++", "ATH", "ATH"}));
  EXPECT_EQ(Roles(drv_), "-0 L7 C");
  EXPECT_TRUE(connected.Seen().empty());
}

}  // namespace
}  // namespace kestrel::modem
