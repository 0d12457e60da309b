// The fixture of the end-to-end framework tests: a core spy, a fake network,
// a listening server gate and a client gate with one transmit process.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CoreSpy.h"
#include "FakeLine.h"
#include "host/ProcessList.h"
#include "platform/Event.h"

namespace kestrel::framework_test {

inline TRefPack Ref(std::int32_t n) { return TRefPack{n, 738000 + n, n * 1000}; }

// Bytes of a packet that differ from packet to packet and from byte to byte.
inline std::string PacketBytes(std::int32_t n, std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 2654435761u * static_cast<std::uint32_t>(n + 1);
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
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
    sent[n] = PacketBytes(n, size);
    const TRefPack ref = Ref(n);
    ASSERT_TRUE(client->SendToGate(sent[n].data(), static_cast<std::int32_t>(size), &ref, tx));
  }

  // Waits until `count` packets are confirmed or reported failed.
  bool Settled(std::size_t count, std::uint32_t timeout_ms = 20000) {
    return spy.WaitUntil([count](const CoreSpy& s) { return s.confirmed_ + s.failed_ >= count; }, timeout_ms);
  }

  // Every sent packet was delivered once, intact, in the order of its number,
  // and confirmed once; none failed.
  void ExpectAllDeliveredOnceInOrder() {
    const auto received = spy.Received();
    ASSERT_EQ(received.size(), sent.size());
    std::vector<std::int32_t> numbers;
    auto it = sent.begin();
    for (const TReceived& r : received) {
      EXPECT_EQ(r.Sender, 42);
      EXPECT_EQ(r.Ref.Number, it->first);
      EXPECT_EQ(r.Ref.Date, Ref(it->first).Date);
      EXPECT_EQ(r.Ref.Time, Ref(it->first).Time);
      EXPECT_TRUE(r.Bytes == it->second) << "packet " << it->first << " arrived altered";
      numbers.push_back(it->first);
      ++it;
    }
    EXPECT_EQ(spy.Confirmed(), numbers);
    EXPECT_TRUE(spy.Failed().empty());
  }

  // Each packet sent was either confirmed or reported failed, exactly once.
  void ExpectEachSettledOnce() {
    std::map<std::int32_t, int> seen;
    for (std::int32_t n : spy.Confirmed()) ++seen[n];
    for (std::int32_t n : spy.Failed()) ++seen[n];
    EXPECT_EQ(seen.size(), sent.size());
    for (const auto& [n, bytes] : sent) EXPECT_EQ(seen[n], 1) << "packet " << n;
  }

  void TearDown() override {
    client.reset();
    server.reset();
    EXPECT_EQ(TFakeNetwork::LiveExchangers.load(), 0);
    EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 0);
  }

  CoreSpy spy;
  TFakeNetwork net;
  std::unique_ptr<TTestGate> server;
  std::unique_ptr<TTestGate> client;
  KHandle listen = 0;
  KHandle tx = 0;
  std::map<std::int32_t, std::string> sent;
};

}  // namespace kestrel::framework_test
