// End-to-end transfers between two gates over the fake line, with faults.
#include <atomic>

#include "Fixture.h"
#include "platform/Cp1251.h"

namespace kestrel::framework_test {
namespace {

using namespace kestrel::literals;

class Transfer : public Exchange {};

TEST_F(Transfer, PacketsOfEverySizeArriveOnceInOrderAndIntact) {
  spy.Texts["Caption"] = std::string("Передача пакетов"_cp);
  Start();
  const std::size_t sizes[] = {0, 1, 255, 256, 1023, 1024, 1025, 4096, 65536, 100001, 1 << 20, 0, 7};
  std::int32_t n = 0;
  for (std::size_t size : sizes) Send(++n, size);
  ASSERT_TRUE(Settled(sent.size()));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1);
  EXPECT_GT(spy.ProgressCalls(), 13);
  EXPECT_EQ(spy.LastCaption(), std::string("Передача пакетов"_cp));
}

TEST_F(Transfer, BrokenConnectionsAreRestoredAndPacketsResumeWhereTheyStopped) {
  net.Faults.BreakAfter = 9;  // a few fragments per connection, then the line drops
  host::TProtocolTuning tuning;
  tuning.MaxFragment = 8192;
  Start(tuning);
  Send(1, 200000);
  Send(2, 10);
  Send(3, 150000);
  Send(4, 0);
  ASSERT_TRUE(Settled(sent.size()));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_GT(net.Connects.load(), 10);
  // Resumed where the server stood: not one byte went twice.
  EXPECT_EQ(net.DataBytes.load(), 200000u + 10 + 150000);
}

TEST_F(Transfer, DuplicatedMessagesDeliverNothingTwice) {
  net.Faults.DuplicateEvery = 1;
  Start();
  for (std::int32_t n = 1; n <= 5; ++n) Send(n, static_cast<std::size_t>(n) * 3000);
  ASSERT_TRUE(Settled(sent.size()));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1);
}

TEST_F(Transfer, LostMessagesEndInATimeOutAndTheTransferResumes) {
  net.Faults.DropEvery = 7;
  net.Times.DataWaitMs = 150;
  host::TProtocolTuning tuning;
  tuning.FirstFragment = 4096;
  Start(tuning);
  Send(1, 10000);
  Send(2, 3);
  Send(3, 12000);
  ASSERT_TRUE(Settled(sent.size()));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_GT(net.Connects.load(), 1);
}

TEST_F(Transfer, ARepeatAfterAReconnectIsAcknowledgedButNotDeliveredAgain) {
  // The acknowledgement of the delivered packet is lost: the client cannot
  // know, reconnects, and asks again.
  auto dropped = std::make_shared<std::atomic<bool>>(false);
  net.Faults.DropIf = [dropped](int side, const std::string& m) {
    return side == 1 && m.size() == 26 && m[0] == 4 && m[17] == 1 && !dropped->exchange(true);
  };
  net.Times.DataWaitMs = 200;
  Start();
  Send(1, 5000);
  ASSERT_TRUE(Settled(1));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 2);
  EXPECT_TRUE(spy.LogContains("Repeat of a delivered packet"));
}

TEST_F(Transfer, APacketTheFarCoreRefusesIsReportedFailed) {
  spy.Refuse = {2};
  Start();
  Send(1, 100);
  Send(2, 100);
  Send(3, 100);
  ASSERT_TRUE(Settled(3));
  EXPECT_EQ(spy.Failed(), std::vector<std::int32_t>({2}));
  EXPECT_EQ(spy.Confirmed(), std::vector<std::int32_t>({1, 3}));
  EXPECT_EQ(spy.Received().size(), 2u);
}

TEST_F(Transfer, NoConnectionFailsThePacketsAndTheNextPacketDialsAgain) {
  net.RefuseConnects = 1;
  Start();
  net.DialGate.Reset();
  Send(1, 100);
  Send(2, 100);
  net.DialGate.Set();
  ASSERT_TRUE(Settled(2));
  EXPECT_EQ(spy.Failed(), std::vector<std::int32_t>({1, 2}));
  Send(3, 100);
  ASSERT_TRUE(Settled(3));
  EXPECT_EQ(spy.Confirmed(), std::vector<std::int32_t>({3}));
  EXPECT_EQ(net.Connects.load(), 1);
}

TEST_F(Transfer, ABreakThatCannotBeRestoredFailsTheCurrentAndQueuedPackets) {
  net.Faults.BreakAfter = 4;  // hello, welcome, one fragment and its acknowledgement
  net.Times.RestoreTries = 0;
  Start();
  net.DialGate.Reset();
  Send(1, 5000);
  Send(2, 10);
  net.DialGate.Set();
  ASSERT_TRUE(Settled(2));
  EXPECT_EQ(spy.Failed(), std::vector<std::int32_t>({1, 2}));
  // The process lives on: with a sound line the next packet goes through.
  net.Faults.BreakAfter = 0;
  Send(3, 10);
  ASSERT_TRUE(Settled(3));
  EXPECT_EQ(spy.Confirmed(), std::vector<std::int32_t>({3}));
  EXPECT_EQ(net.Connects.load(), 2);
}

TEST_F(Transfer, ALineThatAlwaysBreaksBeforeProgressIsGivenUpAfterTheRestoreTries) {
  net.Faults.BreakAfter = 3;  // every acknowledgement of data is lost with the line
  net.Times.RestoreTries = 3;
  Start();
  Send(1, 5000);
  ASSERT_TRUE(Settled(1));
  EXPECT_EQ(spy.Failed(), std::vector<std::int32_t>({1}));
  EXPECT_EQ(net.Connects.load(), 4) << "the first connection and three restores, not one more";
}

// Real time: about one second on line.
TEST_F(Transfer, StaysOnLineWithKeepAlivesThenSaysGoodbye) {
  net.Times.StayOnLineMs = 1200;
  net.Times.DataWaitMs = 300;  // the server gives up after 300 ms of silence
  host::TProtocolTuning server_tuning;
  server_tuning.KeepAliveMs = 80;
  Start({}, server_tuning);
  Send(1, 100);
  ASSERT_TRUE(Settled(1));
  platform::TEvent idle;
  idle.WaitFor(600);  // twice the server's data wait
  Send(2, 100);
  ASSERT_TRUE(Settled(2));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1) << "the line stayed up between the packets";
  EXPECT_GE(net.Pings.load(), 2);
  ASSERT_TRUE(Eventually([&] { return spy.LogContains("Session ended)|goodbye"); }, 5000));
}

}  // namespace
}  // namespace kestrel::framework_test
