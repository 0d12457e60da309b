// The fixture of the end-to-end framework tests: a core spy, a fake network,
// a listening server gate and a client gate with one transmit process.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/host/FakeLine.h"
#include "host/ProcessList.h"
#include "platform/Event.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/CoreSpy.h"

namespace kestrel::framework_test {

using testing::TCoreSpy;

inline TRefPack Ref(std::int32_t n) { return TRefPack{n, 738000 + n, n * 1000}; }

inline std::vector<std::int32_t> Numbers(const std::vector<TRefPack>& refs) {
  std::vector<std::int32_t> out;
  for (const TRefPack& r : refs) out.push_back(r.Number);
  return out;
}

// Waits for `done` with a deadline; the test fails when it does not come.
template <typename Done>
bool Eventually(Done done, std::uint32_t timeout_ms = 10000) {
  platform::TEvent never;
  for (std::uint32_t waited = 0; waited < timeout_ms; waited += 10) {
    if (done()) return true;
    never.WaitFor(10);
  }
  return done();
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

  // Every sent packet was delivered once, intact, in the order of its number,
  // and confirmed once; none failed.
  void ExpectAllDeliveredOnceInOrder() {
    const auto received = spy.Received();
    ASSERT_EQ(received.size(), sent.size());
    std::vector<std::int32_t> numbers;
    auto it = sent.begin();
    for (const testing::TCorePacket& r : received) {
      EXPECT_EQ(r.sender, 42);
      EXPECT_EQ(r.ref.Number, it->first);
      EXPECT_EQ(r.ref.Date, Ref(it->first).Date);
      EXPECT_EQ(r.ref.Time, Ref(it->first).Time);
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

}  // namespace kestrel::framework_test
