// Stopping processes, listeners and a server gate: nothing is lost, nothing
// reported twice. (The whole-gate stop in the middle of a transfer, with
// every thread it must end, is tests/e2e/StopsTest.cpp's.)
#include "tests/host/Fixture.h"
#include "host/HostError.h"

namespace kestrel::framework_test {
namespace {

class Stop : public Exchange {
 protected:
  bool Progressed() {
    return spy.WaitUntil([](const TCoreSpy& s) { return s.ProgressCalls() > 0; }, 10000);
  }
};

TEST_F(Stop, StopTransmitReportsEveryUnsentPacketFailedExactlyOnce) {
  // 64 KiB take over 3 s: the stop comes long before a second packet could
  // be delivered, however busy the machine.
  net.Faults.BytesPerMs = 20;
  Start({.MaxFragment = 4096});
  for (std::int32_t n = 1; n <= 5; ++n) Send(n, 65536);
  ASSERT_TRUE(Progressed());
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
  ASSERT_TRUE(Settled(2));
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

TEST_F(Stop, DestroyingAGateWithQueuedPacketsReportsThem) {
  net.Faults.BytesPerMs = 50;
  Start();
  net.DialGate.Reset();
  Send(1, 100);
  Send(2, 100);
  net.DialGate.Set();
  client.reset();
  ExpectEachSettledOnce();
}

}  // namespace
}  // namespace kestrel::framework_test
