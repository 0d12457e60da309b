// End-to-end transfers between two gates over the fake line, with faults.
#include <atomic>

#include "tests/host/Fixture.h"
#include "platform/Cp1251.h"

namespace kestrel::framework_test {
namespace {

using namespace kestrel::literals;

class Transfer : public Exchange {};

TEST_F(Transfer, PacketsOfEverySizeArriveOnceInOrderAndIntact) {
  spy.SetText("Caption", std::string("Передача пакетов"_cp));
  Start();
  std::int32_t n = 0;
  for (std::size_t size : {0, 1, 255, 256, 1023, 1024, 1025, 4096, 65536, 100001, 1 << 20, 0, 7}) Send(++n, size);
  ASSERT_TRUE(Settled(sent.size()));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1);
  EXPECT_GT(spy.ProgressCalls(), 13);
  EXPECT_EQ(spy.LastCaption(), std::string("Передача пакетов"_cp));
}

TEST_F(Transfer, BrokenConnectionsAreRestoredAndPacketsResumeWhereTheyStopped) {
  net.Faults.BreakAfter = 9;  // a few fragments per connection, then the line drops
  Start({.MaxFragment = 8192});
  for (std::int32_t n = 1; std::size_t size : {200000, 10, 150000, 0}) Send(n++, size);
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
  Start({.FirstFragment = 4096});
  for (std::int32_t n = 1; std::size_t size : {10000, 3, 12000}) Send(n++, size);
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
  // Long enough that only the lost acknowledgement, not a slow moment of a
  // loaded machine, makes the client give up on the connection.
  net.Times.DataWaitMs = 2500;
  Start();
  Send(1, 5000);
  ASSERT_TRUE(Settled(1));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 2);
  EXPECT_TRUE(Logged("Repeat of a delivered packet"));
}

TEST_F(Transfer, APacketTheFarCoreRefusesIsReportedFailed) {
  spy.RefusePacket(2);
  Start();
  for (std::int32_t n = 1; n <= 3; ++n) Send(n, 100);
  ASSERT_TRUE(Settled(3));
  EXPECT_EQ(Failed(), std::vector<std::int32_t>({2}));
  EXPECT_EQ(Confirmed(), std::vector<std::int32_t>({1, 3}));
  EXPECT_EQ(spy.Received().size(), 2u);
}

// Packets queued before the line exists; the first call fails in the way of
// the parameter: refused (not dialled again for these packets), or broken for
// good after one fragment (hello, welcome, one fragment and its
// acknowledgement) with no restore allowed.
struct TUnreachable {
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

INSTANTIATE_TEST_SUITE_P(Transfer, Unreachable, ::testing::Values(TUnreachable{1, 0, 5, 1}, TUnreachable{0, 4, 0, 2}),
                         [](const auto& info) { return info.param.RefuseConnects ? "NoConnection" : "BreakForGood"; });

TEST_F(Transfer, ALineThatAlwaysBreaksBeforeProgressIsGivenUpAfterTheRestoreTries) {
  net.Faults.BreakAfter = 3;  // every acknowledgement of data is lost with the line
  net.Times.RestoreTries = 3;
  Start();
  Send(1, 5000);
  ASSERT_TRUE(Settled(1));
  EXPECT_EQ(Failed(), std::vector<std::int32_t>({1}));
  EXPECT_EQ(net.Connects.load(), 4) << "the first connection and three restores, not one more";
}

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
  ASSERT_TRUE(Settled(2));
  ExpectAllDeliveredOnceInOrder();
  EXPECT_EQ(net.Connects.load(), 1) << "the line stayed up between the packets";
  EXPECT_GE(net.Pings.load(), 2);
  ASSERT_TRUE(Eventually([&] {
    for (const testing::TCoreLine& l : spy.LinesWith("Serve:(Session ended)"))
      if (l.details.rfind("goodbye", 0) == 0) return true;
    return false;
  }, 10000));
}

}  // namespace
}  // namespace kestrel::framework_test
