// Prints, measured over the modem simulator's pseudo-terminals with two gate
// processes (gate_host) and 20 ms one-way latency:
//  - rates: one packet of 1 MiB at 9 600, 33 600, 57 600, 115 200 and
//    921 600 bit/s, from CONNECT to the far core having it, against what the
//    line carries (ten bits a byte; goal >= 0.95 at each), and the CPU
//    seconds each gate process spent per MiB carried;
//  - sixteen: sixteen transfers of 256 KiB at once over sixteen 57 600 bit/s
//    lines (sixteen channels and transmit processes in one process, sixteen
//    listening channels in the other), from the first CONNECT to the last
//    packet, against sixteen lines (goal >= 0.93), and the CPU of each gate
//    process per wall second of its life;
//  - keys: the same 1 MiB at 57 600 and 921 600 bit/s, unkeyed and keyed
//    (authenticated and sealed sessions) one after the other, with the keyed
//    transfer's time against the unkeyed one's (goal: no measurable loss at
//    57 600, under 5 % at 921 600).
//   bench_lines [rates [KIB]|sixteen|keys [KIB]]   (default: rates and sixteen;
//   rates about 30 minutes, keys about 7)
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/e2e/BenchLine.h"
#include "platform/ChildProcess.h"

namespace {

using namespace kestrel;
using namespace kestrel::bench;
using platform::TChildProcess;

struct TResult {
  double seconds = 0;  // from the first CONNECT to the last packet at the far end
  double calls_spread = 0;  // from the first CONNECT to the last
  double sender_cpu = 0, listener_cpu = 0;
  double sender_life = 0, listener_life = 0;  // wall seconds each process lived
};

// `channels` packets of `bytes` bytes, one per transmit process and line,
// over lines of `rate` bit/s.
std::optional<TResult> Transfer(std::uint32_t rate, int channels, std::size_t bytes, bool keyed = false) {
  TTempDir a, b;
  TLine line(20, rate);
  std::string phones, plan = "list:";
  for (int i = 1; i <= channels; ++i) {
    if (!line.Add(a / ("com" + std::to_string(i)), std::to_string(300 + i)) ||
        !line.Add(b / ("com" + std::to_string(i)), std::to_string(200 + i)))
      return std::nullopt;
    phones += (i > 1 ? "," : "") + std::to_string(200 + i);
    plan += (i > 1 ? "," : "") + std::to_string(bytes);
  }
  line.Start();
  const std::string n = std::to_string(channels);
  const auto limit_ms = static_cast<std::uint32_t>(bytes * 10.0 / rate * 3000) + 120000;
  const std::string deadline = std::to_string(limit_ms);
  const std::string key = keyed ? std::string(64, 'a') : std::string();
  const auto with_key = [&](std::vector<std::string> args) {
    if (keyed) args.insert(args.end(), {"--key", key});
    return args;
  };
  const Clock::time_point listener_start = Clock::now();
  auto listener = Start(with_key({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "listen", "--channels", n, "--report",
                                  b / "arrivals", "--data-wait", "60000", "--deadline", deadline}),
                        b.Path(), true);
  std::string said;
  if (!listener || listener->ReadLine(said, 60000) != TChildProcess::TRead::Line || said != "ready") return std::nullopt;
  const Clock::time_point sender_start = Clock::now();
  auto sender = Start(with_key({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "send", "--channels", n, "--processes", n,
                                "--phones", phones, "--plan", plan, "--report", a / "outcomes", "--data-wait", "60000",
                                "--stay", "1000", "--deadline", deadline}),
                      a.Path(), false);
  if (!sender) return std::nullopt;
  for (int got = 0; got < channels; ++got)
    if (listener->ReadLine(said, limit_ms) != TChildProcess::TRead::Line || said.rfind("got ", 0) != 0) {
      std::fprintf(stderr, "%d of %d packets arrived\n", got, channels);
      return std::nullopt;
    }
  const Clock::time_point arrived = Clock::now();
  TResult r;
  if (!sender->Wait(60000)) return std::nullopt;
  r.sender_life = Seconds(sender_start, Clock::now());
  listener->RequestStop();
  if (!listener->Wait(30000)) return std::nullopt;
  r.listener_life = Seconds(listener_start, Clock::now());
  const auto connected = line.Connected();
  if (!connected) return std::nullopt;
  r.seconds = Seconds(*connected, arrived);
  r.calls_spread = Seconds(*connected, *line.LastConnected());
  r.sender_cpu = sender->CpuSeconds();
  r.listener_cpu = listener->CpuSeconds();
  return r;
}

void Rates(std::size_t kib) {
  const double mib = static_cast<double>(kib) / 1024;
  std::printf("rates: one packet of %zu KiB, 20 ms one way\n", kib);
  for (const std::uint32_t rate : {9600u, 33600u, 57600u, 115200u, 921600u}) {
    const auto r = Transfer(rate, 1, kib * 1024);
    if (!r) {
      std::printf("  %6u bit/s: the transfer did not complete\n", rate);
      continue;
    }
    const double share = static_cast<double>(kib * 1024) / r->seconds / (rate / 10.0);
    std::printf("  %6u bit/s: %7.1f s, %.3f of the line (goal >= 0.95); CPU per MiB: sender %.3f s, listener %.3f s\n",
                rate, r->seconds, share, r->sender_cpu / mib, r->listener_cpu / mib);
    std::fflush(stdout);
  }
}

void Keys(std::size_t kib) {
  std::printf("keys: one packet of %zu KiB, 20 ms one way, unkeyed and keyed\n", kib);
  for (const std::uint32_t rate : {57600u, 921600u}) {
    const auto plain = Transfer(rate, 1, kib * 1024, false);
    const auto keyed = Transfer(rate, 1, kib * 1024, true);
    if (!plain || !keyed) {
      std::printf("  %6u bit/s: a transfer did not complete\n", rate);
      continue;
    }
    const double mib = static_cast<double>(kib) / 1024;
    std::printf("  %6u bit/s: unkeyed %7.2f s, keyed %7.2f s: keyed takes %.3f x the time (goal: %s); CPU per MiB "
                "keyed/unkeyed: sender %.3f/%.3f s, listener %.3f/%.3f s\n",
                rate, plain->seconds, keyed->seconds, keyed->seconds / plain->seconds,
                rate == 57600u ? "no measurable loss" : "< 1.05", keyed->sender_cpu / mib, plain->sender_cpu / mib,
                keyed->listener_cpu / mib, plain->listener_cpu / mib);
    std::fflush(stdout);
  }
}

void Sixteen() {
  constexpr int kChannels = 16;
  constexpr std::size_t kBytes = 256 * 1024;
  const auto r = Transfer(kLineRate, kChannels, kBytes);
  if (!r) {
    std::printf("sixteen: the transfers did not complete\n");
    return;
  }
  const double share = static_cast<double>(kChannels * kBytes) / r->seconds / (kChannels * kLineBytesPerSecond);
  std::printf("sixteen: %d x %zu KiB at %u bit/s in %.1f s, %.3f of sixteen lines (goal >= 0.93); the last call "
              "connected %.1f s after the first; CPU per wall second: sender %.4f, listener %.4f\n",
              kChannels, kBytes / 1024, kLineRate, r->seconds, share, r->calls_spread, r->sender_cpu / r->sender_life,
              r->listener_cpu / r->listener_life);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  std::size_t kib = 1024;
  const bool sized = which == "rates" || which == "keys";
  if (sized && argc > 2) kib = std::strtoul(argv[2], nullptr, 10);
  if ((!which.empty() && !sized && which != "sixteen") || kib < 1 || kib > 65536 || argc > (sized ? 3 : 2)) {
    std::fputs("usage: bench_lines [rates [KIB]|sixteen|keys [KIB]]\n", stderr);
    return 2;
  }
  if (which == "keys") {
    Keys(kib);
    return 0;
  }
  if (which.empty() || which == "sixteen") Sixteen();
  std::fflush(stdout);
  if (which.empty() || which == "rates") Rates(kib);
  return 0;
}
