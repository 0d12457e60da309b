// Prints, measured in one run:
//  - payload throughput of SendByChannel/RecvByChannel round trips of 16 KiB
//    frames over a simulated 57 600 bps line, against the line's limit for
//    that payload (goal >= 0.97);
//  - CPU seconds per wall second of the whole process while a dial waits
//    10 s for an answer that never comes (goal <= 0.01).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gate/common/GateAccess.h"
#include "modem/MdmFrame.h"
#include "modem/MdmMain.h"
#include "platform/Event.h"
#include "platform/PortNames.h"
#include "sim/ExchangeRunner.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace {

using namespace kestrel;

class TBenchGate final : public gate::IGateAccess {
 public:
  bool HasManager() const override { return true; }
  bool GateStopping() const override { return false; }
  std::int32_t PoolIndexOf(const void*) const override { return 0; }
};

store::TMdmChannelSettings Channel(int port) {
  auto s = store::DefaultChannelSettings();
  s.PortNumber = static_cast<gate::TPortNumber>(port);
  return s;
}

store::TMdmAddress Address(std::uint32_t dial_ms) {
  auto a = store::DefaultAddress();
  a.DialPhoneType = gate::TDialType::dtDialTone;
  a.DialTimeOut = store::MsToTimeSpan(dial_ms);
  a.DataWaitTimeOut = store::MsToTimeSpan(30000);
  return a;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void Throughput() {
  sim::TExchangeOptions options;
  options.rate = 57600;
  options.latency_ms = 20;
  sim::TExchangeRunner runner(options);
  sim::TModemSetup a_setup, b_setup;
  a_setup.number = "101";
  b_setup.number = "102";
  runner.AddSimModem("bench-a", a_setup);
  runner.AddSimModem("bench-b", b_setup);
  runner.Start();
  platform::SetComPortTarget(1, "sim:bench-a");
  platform::SetComPortTarget(2, "sim:bench-b");

  modem::TMdmDriver a, b;
  a.SetChannelSettings(Channel(1));
  b.SetChannelSettings(Channel(2));
  platform::TEvent answered;
  std::string err;
  if (!b.InitForListening(Address(5000), 2, [&](std::int32_t) { answered.Set(); }, nullptr, err) ||
      !a.InitForSending(false, Address(5000), 1, nullptr, err) || !a.DialForSending({"102"}, err) ||
      !answered.WaitFor(5000)) {
    std::printf("throughput: could not connect: %s\n", err.c_str());
    return;
  }
  constexpr int kFrames = 6;
  const std::string payload(16384, 'p');
  std::thread peer([&] {
    std::string got, e;
    for (int i = 0; i < kFrames; ++i) {
      if (!b.RecvByChannel(got, e) || !b.SendByChannel("ack", e)) return;
    }
  });
  const auto t0 = std::chrono::steady_clock::now();
  int done = 0;
  for (; done < kFrames; ++done) {
    std::string ack;
    if (!a.SendByChannel(payload, err) || !a.RecvByChannel(ack, err)) break;
  }
  const auto t1 = std::chrono::steady_clock::now();
  peer.join();
  const double bytes = static_cast<double>(done) * payload.size();
  const double rate = bytes / Seconds(t0, t1);
  // The line carries 10 bits a byte; a frame adds its header, and each round
  // trip a 3-byte acknowledgement frame.
  const double limit = 57600.0 / 10.0 * payload.size() / (payload.size() + modem::kFrameHeaderSize);
  std::printf("throughput: %d frames of %zu B round trip in %.2f s: %.0f B/s payload; line limit %.0f B/s; "
              "ratio %.3f (goal >= 0.97)\n",
              done, payload.size(), Seconds(t0, t1), rate, limit, rate / limit);
  a.ReleaseSendingChannel();
  b.ReleaseSendingChannel();
  b.ReleaseListeningChannel();
  platform::ClearComPortTargets();
}

void DialWaitCpu() {
  sim::TExchangeOptions options;
  options.unknown_number = sim::TExchangeOptions::TUnknownNumber::kRingNoAnswer;
  sim::TExchangeRunner runner(options);
  sim::TModemSetup setup;
  setup.number = "101";
  runner.AddSimModem("bench-c", setup);
  runner.Start();
  platform::SetComPortTarget(3, "sim:bench-c");
  modem::TMdmDriver a;
  a.SetChannelSettings(Channel(3));
  std::string err;
  if (!a.InitForSending(false, Address(10000), 1, nullptr, err)) {
    std::printf("dial wait: could not take the channel: %s\n", err.c_str());
    return;
  }
  const std::clock_t c0 = std::clock();
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = a.DialPhone("999", err);  // rings for ever; the dial time-out ends it
  const auto t1 = std::chrono::steady_clock::now();
  const std::clock_t c1 = std::clock();
  const double cpu = static_cast<double>(c1 - c0) / CLOCKS_PER_SEC;
  std::printf("dial wait: %s after %.2f s wall, %.4f s CPU (whole process, simulator included): "
              "%.5f CPU s per wall s (goal <= 0.01)\n",
              ok ? "connected?!" : "no answer", Seconds(t0, t1), cpu, cpu / Seconds(t0, t1));
  a.ReleaseSendingChannel();
  platform::ClearComPortTargets();
}

}  // namespace

int main() {
  TBenchGate gate;
  kestrel::gate::SetGateAccess(&gate);
  Throughput();
  DialWaitCpu();
  kestrel::gate::SetGateAccess(nullptr);
  return 0;
}
