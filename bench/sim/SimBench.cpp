// Measures, in one run:
//  - the data rate of a connected call between two simulated modems, from the
//    terminal of one to the terminal of the other, against the call's nominal
//    rate (10 bits a byte), over pseudo-terminals and over sim lines;
//  - the CPU seconds per wall second of an idle exchange of 16 modems: on
//    pseudo-terminals nobody has open, on pseudo-terminals held open by idle
//    terminals, and on sim lines held open by idle gate ends.
// Goals: a rate ratio of 0.98..1.02, at most 0.01 CPU s per wall s when idle.
// Prints figures; never fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Port.h"
#include "platform/PtyPeer.h"
#include "sim/ExchangeRunner.h"

namespace {

using namespace kestrel;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A directory for the benchmark's links.
std::string LinkDir() {
  const auto dir = std::filesystem::temp_directory_path() / ("kestrel-sim-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

sim::TExchangeOptions Options(std::uint32_t rate) {
  sim::TExchangeOptions o;
  o.rate = rate;
  o.dial_ms = 10;
  o.handshake_ms = 10;
  o.ring_on_ms = 100;
  o.ring_off_ms = 100;
  return o;
}

// --------------------------------------------------------------- over ptys

struct TRate {
  double measured = 0;  // bit/s, 10 bits a byte
  std::size_t bytes = 0;
};

TRate PtyRate(std::uint32_t rate, double seconds) {
  const std::string dir = LinkDir();
  TRate result;
  {
    sim::TExchangeRunner runner(Options(rate));
    std::string error;
    runner.AddPtyModem(dir + "/a", {.number = "1"}, error);
    runner.AddPtyModem(dir + "/b", {.number = "2"}, error);
    runner.Start();
    auto a = platform::TPtyPeer::Open(dir + "/a", error);
    auto b = platform::TPtyPeer::Open(dir + "/b", error);
    if (!a || !b) {
      std::printf("  pty set-up failed: %s\n", error.c_str());
      return result;
    }
    // A read may take the rest of the CONNECT line along; the line's end is
    // only waited for when it has not come yet.
    const auto connected = [](platform::TPtyPeer& p) {
      const std::string got = p.ReadUntil("CONNECT", 3000);
      const auto at = got.find("CONNECT");
      if (at != std::string::npos && got.find('\n', at) == std::string::npos) (void)p.ReadUntil("\n", 1000);
      return at != std::string::npos;
    };
    if (!b->Write("ATE0S0=1\r") || b->ReadUntil("OK\r\n", 2000).find("OK") == std::string::npos ||
        !a->Write("ATE0D2\r") || !connected(*a) || !connected(*b)) {
      std::printf("  the two modems did not connect\n");
      return result;
    }

    const std::size_t total = static_cast<std::size_t>(rate / 10 * seconds);
    std::thread writer([&] {
      const std::string chunk(1024, 'D');
      for (std::size_t sent = 0; sent < total; sent += chunk.size())
        if (!a->Write(std::string_view(chunk).substr(0, std::min(chunk.size(), total - sent)), 10000)) break;
    });
    // From the first byte to the last: neither the connect nor the latency counts.
    std::string first = b->ReadCount(1, 5000);
    const auto t0 = Clock::now();
    std::string rest = b->ReadCount(total - 1, static_cast<std::uint32_t>(seconds * 3000) + 5000);
    const auto t1 = Clock::now();
    writer.join();
    result.bytes = first.size() + rest.size();
    if (result.bytes == total) result.measured = (total - 1) * 10.0 / Seconds(t1 - t0);
  }
  std::filesystem::remove_all(dir);
  return result;
}

// --------------------------------------------------------------- over sim lines

struct TGate {
  platform::TPortHandle port = platform::kInvalidPortHandle;
  explicit TGate(const std::string& line) {
    port = platform::PortOpen("sim:" + line);
    (void)platform::PortSetState(port, platform::TPortDcb{});
    (void)platform::PortSetupComm(port, 8192, 8192);
  }
  ~TGate() { (void)platform::PortClose(port); }
  void Send(std::string_view s) {
    while (!s.empty()) {
      std::uint32_t done = 0;
      if (!platform::PortWrite(port, s.data(), static_cast<std::uint32_t>(s.size()), done)) return;
      s.remove_prefix(done);
      if (done == 0) platform::PortWaitTransmit(port, 1000);
    }
  }
  std::string Read(std::size_t count, std::uint32_t timeout_ms) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[4096];
    while (got.size() < count && Clock::now() < deadline) {
      std::uint32_t n = 0;
      if (!platform::PortRead(port, buf, static_cast<std::uint32_t>(std::min(sizeof buf, count - got.size())), n)) break;
      got.append(buf, n);
      if (n == 0) platform::PortWaitReceive(port, 100);
    }
    return got;
  }
  std::string ReadUntil(const std::string& needle, std::uint32_t timeout_ms) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got.find(needle) == std::string::npos && Clock::now() < deadline) got += Read(1, 100);
    return got;
  }
};

TRate SimLineRate(std::uint32_t rate, double seconds, int round) {
  TRate result;
  sim::TExchangeRunner runner(Options(rate));
  const std::string la = "bench-a-" + std::to_string(round), lb = "bench-b-" + std::to_string(round);
  runner.AddSimModem(la, {.number = "1"});
  runner.AddSimModem(lb, {.number = "2"});
  runner.Start();
  TGate a(la), b(lb);
  b.Send("ATE0S0=1\r");
  b.ReadUntil("OK\r\n", 2000);
  a.Send("ATE0D2\r");
  a.ReadUntil("CONNECT", 3000);
  a.ReadUntil("\n", 1000);
  b.ReadUntil("CONNECT", 3000);
  b.ReadUntil("\n", 1000);
  const std::size_t total = static_cast<std::size_t>(rate / 10 * seconds);
  std::thread writer([&] { a.Send(std::string(total, 'S')); });
  std::string first = b.Read(1, 5000);
  const auto t0 = Clock::now();
  std::string rest = b.Read(total - 1, static_cast<std::uint32_t>(seconds * 3000) + 5000);
  const auto t1 = Clock::now();
  writer.join();
  result.bytes = first.size() + rest.size();
  if (result.bytes == total) result.measured = (total - 1) * 10.0 / Seconds(t1 - t0);
  return result;
}

// --------------------------------------------------------------- idle CPU

double CpuPerWallSecond(double wall_seconds) {
  const std::clock_t c0 = std::clock();
  const auto t0 = Clock::now();
  platform::TEvent never;
  never.WaitFor(static_cast<std::uint32_t>(wall_seconds * 1000));
  const std::clock_t c1 = std::clock();
  const auto t1 = Clock::now();
  return (static_cast<double>(c1 - c0) / CLOCKS_PER_SEC) / Seconds(t1 - t0);
}

void IdleCost(double wall_seconds) {
  std::printf("\nIdle exchange of 16 modems, CPU seconds per wall second (goal <= 0.01), %.0f s each:\n", wall_seconds);
  {
    const std::string dir = LinkDir();
    sim::TExchangeRunner runner;
    std::string error;
    for (int i = 0; i < 16; ++i) runner.AddPtyModem(dir + "/m" + std::to_string(i), {.number = std::to_string(100 + i)}, error);
    runner.Start();
    platform::TEvent settle;
    settle.WaitFor(200);
    const std::uint64_t p0 = runner.Passes();
    const double closed = CpuPerWallSecond(wall_seconds);
    std::printf("  pseudo-terminals, nobody attached:      %.5f  (runner passes: %llu)\n", closed,
                static_cast<unsigned long long>(runner.Passes() - p0));
    std::vector<std::unique_ptr<platform::TPtyPeer>> peers;
    for (int i = 0; i < 16; ++i) peers.push_back(platform::TPtyPeer::Open(dir + "/m" + std::to_string(i), error));
    settle.WaitFor(200);
    const std::uint64_t p1 = runner.Passes();
    const double open = CpuPerWallSecond(wall_seconds);
    std::printf("  pseudo-terminals, 16 idle terminals:    %.5f  (runner passes: %llu)\n", open,
                static_cast<unsigned long long>(runner.Passes() - p1));
    peers.clear();
    runner.Stop();
    std::filesystem::remove_all(dir);
  }
  {
    sim::TExchangeRunner runner;
    std::vector<std::unique_ptr<TGate>> gates;
    for (int i = 0; i < 16; ++i) {
      const std::string name = "bench-idle-" + std::to_string(i);
      runner.AddSimModem(name, {.number = std::to_string(100 + i)});
      gates.push_back(std::make_unique<TGate>(name));
    }
    runner.Start();
    platform::TEvent settle;
    settle.WaitFor(200);
    const std::uint64_t p0 = runner.Passes();
    const double cost = CpuPerWallSecond(wall_seconds);
    std::printf("  sim lines, 16 idle gate ends:           %.5f  (runner passes: %llu)\n", cost,
                static_cast<unsigned long long>(runner.Passes() - p0));
  }
}

}  // namespace

int main() {
  const double seconds = 3.0;
  std::printf("Throughput of a connected call, terminal to terminal, %.0f s of data each (goal 0.98..1.02):\n",
              seconds);
  std::printf("  %-16s %10s %14s %14s %8s\n", "transport", "rate", "bytes", "measured bit/s", "ratio");
  int round = 0;
  for (const std::uint32_t rate : {9600u, 33600u, 115200u}) {
    const TRate pty = PtyRate(rate, seconds);
    std::printf("  %-16s %10u %14zu %14.0f %8.4f\n", "pseudo-terminal", rate, pty.bytes, pty.measured,
                pty.measured / rate);
    const TRate line = SimLineRate(rate, seconds, round++);
    std::printf("  %-16s %10u %14zu %14.0f %8.4f\n", "sim line", rate, line.bytes, line.measured,
                line.measured / rate);
  }
  IdleCost(3.0);
  return 0;
}
