// Prints, measured in one run:
//   - CPU seconds per wall second of one ReadData waiting 2 s on a silent
//     port, and of sixteen waiting at once (goal: at most 0.01);
//   - bytes/s through a pseudo-terminal pair with the driver (SendData,
//     ReadData) against a plain write/read loop on the same pair (goal: at
//     least 0.8 of it).
// It never fails; it reports.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/ExCPDrv.h"

namespace {

using kestrel::serial::TCommPortDriver;
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct TPair {
  int master = -1;
  int slave = -1;
  std::string path;
  TPair() {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    path = ttyname(slave);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
  }
  ~TPair() {
    close(master);
    close(slave);
  }
};

// ---- waiting ----

double WaitRatio(int ports) {
  std::vector<std::unique_ptr<TPair>> pairs;
  std::vector<std::unique_ptr<TCommPortDriver>> drivers;
  for (int i = 0; i < ports; ++i) {
    pairs.push_back(std::make_unique<TPair>());
    auto d = std::make_unique<TCommPortDriver>();
    d->SetPortName(pairs.back()->path);
    d->InputTimeout = 2000;
    if (!d->Connect()) {
      std::fprintf(stderr, "connect failed: %u\n", d->LastErrorCode());
      std::exit(1);
    }
    drivers.push_back(std::move(d));
  }
  std::vector<std::thread> readers;
  std::atomic<int> not_idle{0};  // reads that got bytes or ended early: no idle wait was measured
  const double cpu0 = CpuSeconds();
  const auto wall0 = Clock::now();
  for (auto& d : drivers)
    readers.emplace_back([&d, &not_idle] {
      char buf[16];
      bool timed_out = false, lost = false;
      std::uint32_t elapsed = 0;
      if (d->ReadData(buf, sizeof buf, timed_out, elapsed, true, lost) != 0 || !timed_out) ++not_idle;
    });
  for (auto& t : readers) t.join();
  const double wall = Seconds(Clock::now() - wall0);
  if (not_idle.load() != 0) {
    std::fprintf(stderr, "%d of %d idle ports did not wait out their time-out\n", not_idle.load(), ports);
    std::exit(1);
  }
  return (CpuSeconds() - cpu0) / wall;
}

// ---- throughput ----

constexpr std::size_t kChunk = 2048;

// Reads `total` bytes from `fd` (plain reads), returning when done.
void Drain(int fd, std::size_t total) {
  std::vector<char> buf(65536);
  std::size_t got = 0;
  while (got < total) {
    const ssize_t n = read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
}

void Fill(int fd, std::size_t total) {
  std::vector<char> buf(kChunk, 'f');
  std::size_t sent = 0;
  while (sent < total) {
    const ssize_t n = write(fd, buf.data(), std::min(kChunk, total - sent));
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
}

int OpenPlain(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

double PlainSend(TPair& p, std::size_t total) {
  const int fd = OpenPlain(p.path);
  const auto t0 = Clock::now();
  std::thread reader([&] { Drain(p.master, total); });
  Fill(fd, total);
  reader.join();
  const double s = Seconds(Clock::now() - t0);
  close(fd);
  return static_cast<double>(total) / s;
}

double DriverSend(TPair& p, std::size_t total) {
  TCommPortDriver d;
  d.SetPortName(p.path);
  if (!d.Connect()) return 0;
  std::vector<char> buf(kChunk, 'd');
  const auto t0 = Clock::now();
  std::thread reader([&] { Drain(p.master, total); });
  std::size_t sent = 0;
  while (sent < total) {
    const std::uint32_t n = d.SendData(buf.data(), static_cast<std::uint32_t>(std::min(kChunk, total - sent)));
    sent += n;
  }
  reader.join();
  return static_cast<double>(total) / Seconds(Clock::now() - t0);
}

double PlainReceive(TPair& p, std::size_t total) {
  const int fd = OpenPlain(p.path);
  const auto t0 = Clock::now();
  std::thread writer([&] { Fill(p.master, total); });
  Drain(fd, total);
  writer.join();
  const double s = Seconds(Clock::now() - t0);
  close(fd);
  return static_cast<double>(total) / s;
}

double DriverReceive(TPair& p, std::size_t total) {
  TCommPortDriver d;
  d.SetPortName(p.path);
  d.InputTimeout = 2000;
  if (!d.Connect()) return 0;
  // The poll would hand bytes to a handler that is not there; the measure
  // is of the synchronous read.
  d.KillThrdTimer();
  std::vector<char> buf(65536);
  const auto t0 = Clock::now();
  std::thread writer([&] { Fill(p.master, total); });
  std::size_t got = 0;
  while (got < total) {
    bool timed_out = false, lost = false;
    std::uint32_t elapsed = 0;
    const std::uint32_t want = static_cast<std::uint32_t>(std::min(buf.size(), total - got));
    got += d.ReadData(buf.data(), want, timed_out, elapsed, false, lost);
    if (timed_out) break;
  }
  writer.join();
  return static_cast<double>(got) / Seconds(Clock::now() - t0);
}

}  // namespace

int main() {
  std::printf("Serial driver benchmark (all figures from this run)\n\n");

  const double one = WaitRatio(1);
  std::printf("ReadData waiting 2 s on a silent port:      %.5f CPU s per wall s (goal <= 0.01)\n", one);
  const double sixteen = WaitRatio(16);
  std::printf("sixteen ReadData waiting 2 s at once:        %.5f CPU s per wall s (goal <= 0.01)\n\n", sixteen);

  constexpr std::size_t kTotal = 8u << 20;
  constexpr int kRounds = 9;
  std::vector<double> plain_send, driver_send, plain_recv, driver_recv;
  // Short alternating rounds on the same pair, so that the machine's changing
  // load falls on both sides alike; the median of the rounds' ratios is the
  // figure least moved by a busy neighbour.
  TPair pair;
  for (int round = 0; round < kRounds; ++round) {
    plain_send.push_back(PlainSend(pair, kTotal));
    driver_send.push_back(DriverSend(pair, kTotal));
    plain_recv.push_back(PlainReceive(pair, kTotal));
    driver_recv.push_back(DriverReceive(pair, kTotal));
  }
  const auto report = [&](const char* what, const char* plain_name, const char* driver_name,
                          const std::vector<double>& plain, const std::vector<double>& driver) {
    std::vector<double> ratios;
    double p = 0, d = 0;
    for (int i = 0; i < kRounds; ++i) {
      ratios.push_back(driver[static_cast<std::size_t>(i)] / plain[static_cast<std::size_t>(i)]);
      p += plain[static_cast<std::size_t>(i)];
      d += driver[static_cast<std::size_t>(i)];
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("%s %zu MB x %d rounds through a pseudo-terminal:\n", what, kTotal >> 20, kRounds);
    std::printf("  %s %7.1f MB/s   %s %7.1f MB/s   median ratio %.3f (goal >= 0.8), range %.3f..%.3f\n",
                plain_name, p / kRounds / 1e6, driver_name, d / kRounds / 1e6, ratios[kRounds / 2], ratios.front(),
                ratios.back());
  };
  report("send", "plain write loop:", "SendData:", plain_send, driver_send);
  report("receive", "plain read loop: ", "ReadData:", plain_recv, driver_recv);
  return 0;
}
