// Prints, for many documents over a simulated 57 600 bit/s line at 20 ms and
// at 300 ms one-way latency, measured side by side in one run: the gate (two
// gate processes, one transmit process carrying every document) against
// ZMODEM batch (lrzsz's sz/rz with each document a file) over the same
// simulated modems. Each is timed from the start of the sending program to
// the last document at the far end, so dial and modem initialisation count
// for both; they are shown apart, and for the gate where the rest of its
// time goes. Goals: at 20 ms the gate at >= 0.92 of the line and >= 1.15 x
// ZMODEM; at 300 ms >= 0.80 of the line and >= 2 x ZMODEM.
//   bench_many [small|mixed|all [20|300|both]]
// small: 100 documents of 2 KiB (default); mixed: 1 B to 64 KiB spread
// log-uniformly, 1 MiB in all. About five minutes for small at both
// latencies, twenty for all.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/e2e/BenchLine.h"
#include "platform/ChildProcess.h"
#include "tests/e2e/Payload.h"

namespace {

using namespace kestrel;
using namespace kestrel::bench;
using platform::TChildProcess;

struct TSet {
  std::string name;
  std::vector<std::size_t> sizes;
  std::size_t Bytes() const {
    std::size_t n = 0;
    for (std::size_t s : sizes) n += s;
    return n;
  }
};

TSet SmallSet() { return {"small", std::vector<std::size_t>(100, 2048)}; }

// Sizes from 1 B to 64 KiB, log-uniform from a fixed seed, until 1 MiB; the
// last one is cut to make exactly 1 MiB.
TSet MixedSet() {
  std::mt19937 random(1);
  TSet set{"mixed", {}};
  std::size_t left = 1 << 20;
  while (left > 0) {
    const double exponent = std::ldexp(static_cast<double>(random()), -32) * 16.0;
    const std::size_t size = std::min(left, static_cast<std::size_t>(std::exp2(exponent)));
    set.sizes.push_back(size);
    left -= size;
  }
  return set;
}

struct TRun {
  double total = 0;    // from the program's start to the last document at the far end
  double connect = 0;  // from the start to CONNECT: modem initialisation, dialling, handshake
  // The gate only: CONNECT to the greeting's end, and the frames its sender sent.
  double greeting = 0;
  std::size_t frames = 0;
};

// The time of the first line of `log` (the gate host's: "<ms> ...") holding `what`.
std::optional<double> LoggedAt(const std::string& log, const std::string& what) {
  std::ifstream in(log);
  for (std::string l; std::getline(in, l);)
    if (l.find(what) != std::string::npos) return std::strtoul(l.c_str(), nullptr, 10) / 1000.0;
  return std::nullopt;
}

std::optional<TRun> Gate(const TSet& set, std::uint32_t latency_ms) {
  TTempDir a, b;
  TLine line(latency_ms);
  if (!line.Add(a / "com1", "101") || !line.Add(b / "com1", "102")) return std::nullopt;
  line.Start();
  const auto limit_ms = static_cast<std::uint32_t>(set.Bytes() / kLineBytesPerSecond * 6000) + 120000;
  const std::string deadline = std::to_string(limit_ms);
  auto listener = Start({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "listen", "--report", b / "arrivals", "--data-wait",
                         "60000", "--deadline", deadline},
                        b.Path(), true);
  std::string said;
  if (!listener || listener->ReadLine(said, 30000) != TChildProcess::TRead::Line || said != "ready") return std::nullopt;
  std::string plan = "list:";
  for (std::size_t s : set.sizes) plan += std::to_string(s) + ",";
  plan.pop_back();
  const Clock::time_point start = Clock::now();
  auto sender = Start({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "send", "--phones", "102", "--plan", plan, "--report",
                       a / "outcomes", "--data-wait", "60000", "--log", a / "log", "--deadline", deadline},
                      a.Path(), false);
  if (!sender) return std::nullopt;
  for (std::size_t got = 0; got < set.sizes.size(); ++got)
    if (listener->ReadLine(said, limit_ms) != TChildProcess::TRead::Line || said.rfind("got ", 0) != 0) {
      std::fprintf(stderr, "gate: %zu of %zu documents arrived\n", got, set.sizes.size());
      return std::nullopt;
    }
  const Clock::time_point done = Clock::now();
  (void)sender->Wait(60000);
  listener->RequestStop();
  (void)listener->Wait(30000);
  const auto connected = line.Connected();
  const auto greeted = LoggedAt(a / "log", "Connect:(Connected)");
  if (!connected || !greeted) return std::nullopt;
  TRun run;
  run.total = Seconds(start, done);
  run.connect = Seconds(start, *connected);
  run.greeting = *greeted - run.connect;
  std::ifstream log(a / "log");
  for (std::string l; std::getline(log, l);)
    if (l.find("TMdmDriver.MdmSendExch") != std::string::npos) ++run.frames;
  return run;
}

std::optional<TRun> Zmodem(const TSet& set, std::uint32_t latency_ms) {
  TTempDir dir;
  TLine line(latency_ms);
  if (!line.Add(dir / "za", "401") || !line.Add(dir / "zb", "402")) return std::nullopt;
  line.Start();
  std::filesystem::create_directories(dir / "in");
  std::filesystem::create_directories(dir / "out");
  std::string files;
  for (std::size_t n = 1; n <= set.sizes.size(); ++n) {
    const std::string name = "d" + std::to_string(n);
    const std::string data = e2e::PacketBytes(static_cast<std::int32_t>(n), set.sizes[n - 1]);
    std::ofstream(dir / ("out/" + name), std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    files += " " + name;
  }
  auto answer = Start({"/bin/sh", "-c", "cd '" + (dir / "in") + "' && " + OnLine(dir / "zb", "ATS0=1", "rz -b -y -q")},
                      "", false);
  const Clock::time_point start = Clock::now();
  auto call = Start({"/bin/sh", "-c", "cd '" + (dir / "out") + "' && " + OnLine(dir / "za", "ATX3D402", "sz -b -q" + files)},
                    "", false);
  if (!answer || !call) return std::nullopt;
  const auto limit_ms = static_cast<std::uint32_t>(set.Bytes() / kLineBytesPerSecond * 6000) + 120000;
  if (!answer->Wait(limit_ms) || answer->ExitCode() != 0) {
    std::fprintf(stderr, "zmodem: rz did not end well\n");
    return std::nullopt;
  }
  const Clock::time_point done = Clock::now();
  (void)call->Wait(30000);
  for (std::size_t n = 1; n <= set.sizes.size(); ++n) {
    std::ifstream in(dir / ("in/d" + std::to_string(n)), std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (got != e2e::PacketBytes(static_cast<std::int32_t>(n), set.sizes[n - 1])) {
      std::fprintf(stderr, "zmodem: document %zu arrived damaged or not at all\n", n);
      return std::nullopt;
    }
  }
  const auto connected = line.Connected();
  if (!connected) return std::nullopt;
  return TRun{Seconds(start, done), Seconds(start, *connected), 0, 0};
}

void Compare(const TSet& set, std::uint32_t latency_ms) {
  const double limit = static_cast<double>(set.Bytes()) / kLineBytesPerSecond;
  std::printf("%s, %zu documents, %zu B, %u ms one way: the line carries them in %.1f s\n", set.name.c_str(),
              set.sizes.size(), set.Bytes(), latency_ms, limit);
  std::fflush(stdout);
  const auto gate = Gate(set, latency_ms);
  if (gate) {
    // After the greeting the line carries the payload at its rate at best;
    // what is left over went to turnarounds (a message's round trip),
    // acknowledgements and the frames' and messages' headers.
    const double rest = gate->total - gate->connect - gate->greeting - limit;
    std::printf("  gate   %6.1f s, %.3f of the line: dial and initialisation %.1f s, greeting %.2f s, payload %.1f s, "
                "turnarounds, acknowledgements and headers %.1f s (%zu frames sent, %.1f s of round trips)\n",
                gate->total, limit / gate->total, gate->connect, gate->greeting, limit, rest, gate->frames,
                static_cast<double>(gate->frames) * 2 * latency_ms / 1000.0);
  } else {
    std::printf("  gate: the transfer did not complete\n");
  }
  std::fflush(stdout);
  const auto zmodem = Zmodem(set, latency_ms);
  if (zmodem)
    std::printf("  zmodem %6.1f s, %.3f of the line: dial and initialisation %.1f s, the rest %.1f s\n", zmodem->total,
                limit / zmodem->total, zmodem->connect, zmodem->total - zmodem->connect);
  else
    std::printf("  zmodem: the transfer did not complete\n");
  if (gate && zmodem)
    std::printf("  gate against zmodem %.2f x (goals: %s)\n", zmodem->total / gate->total,
                latency_ms < 100 ? ">= 0.92 of the line, >= 1.15 x" : ">= 0.80 of the line, >= 2 x");
  std::fflush(stdout);
}

constexpr const char* kUsage = "usage: bench_many [small|mixed|all [20|300|both]]\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "small";
  const std::string latency = argc > 2 ? argv[2] : "both";
  if (argc > 3 || (which != "small" && which != "mixed" && which != "all") ||
      (latency != "20" && latency != "300" && latency != "both")) {
    std::fputs(kUsage, which == "--help" || which == "-h" ? stdout : stderr);
    return which == "--help" || which == "-h" ? 0 : 2;
  }
  std::vector<TSet> sets;
  if (which != "mixed") sets.push_back(SmallSet());
  if (which != "small") sets.push_back(MixedSet());
  std::vector<std::uint32_t> latencies;
  if (latency != "300") latencies.push_back(20);
  if (latency != "20") latencies.push_back(300);
  std::printf("line: %u bit/s, %.0f B/s\n", kLineRate, kLineBytesPerSecond);
  for (const TSet& set : sets)
    for (std::uint32_t ms : latencies) Compare(set, ms);
  return 0;
}
