// Prints, measured in one run over the modem simulator's pseudo-terminals:
//  - CPU seconds per wall second of a gate whose 16 channels listen and
//    nothing calls (goal <= 0.01), beside the simulator's own idle cost;
//  - end-to-end payload throughput of one 1 MiB packet between two gate
//    processes over a 57 600 bit/s line, against the line's 5 760 B/s
//    (goal >= 0.95), from the moment the call connected to the moment the
//    far core had the packet;
//  - the same bytes carried by ZMODEM (sz/rz of lrzsz) between two terminals
//    of the same simulated line, and the gate's figure against it (goal:
//    at least 1.0).
// About seven minutes. `bench_e2e <KiB>` moves another amount (default 1024);
// `bench_e2e <KiB> cpu|gate|zmodem` runs one part.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/e2e/BenchLine.h"
#include "heron.h"
#include "platform/ChildProcess.h"
#include "platform/ProcessEnv.h"
#include "platform/SharedLibrary.h"
#include "platform/Thread.h"
#include "platform/Tick.h"
#include "tests/e2e/HostBlocks.h"
#include "tests/e2e/Payload.h"

namespace {

using namespace kestrel;
using namespace kestrel::bench;
using platform::TChildProcess;

// ---- CPU of idle listening channels ----

const void* BenchSettings(void* ctx, std::int16_t, std::int32_t* size) {
  const auto* block = static_cast<const std::string*>(ctx);
  *size = static_cast<std::int32_t>(block->size());
  return block->data();
}

double CpuPerWall(double wall_s) {
  const std::clock_t c0 = std::clock();
  const Clock::time_point t0 = Clock::now();
  platform::SleepFor(static_cast<std::uint32_t>(wall_s * 1000));  // a fixed measuring period, not a wait for an event
  return (static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC) / Seconds(t0, Clock::now());
}

void IdleChannels() {
  TTempDir dir;
  TLine line;
  for (int i = 1; i <= 16; ++i)
    if (!line.Add(dir / ("com" + std::to_string(i)), std::to_string(500 + i))) return;
  line.Start();
  const double simulator = CpuPerWall(10);

  // The gate in this process, as a host loads it.
  static const std::string settings = e2e::GateSettingsBlock(16);
  HeronSetReadGateSettings(&BenchSettings, const_cast<std::string*>(&settings));
  if (!platform::SetEnvironmentVariable("KESTREL_COM_DIR", dir.Path())) return;
  std::string error;
  auto lib = platform::TSharedLibrary::Open(KESTREL_LIBRARY_PATH, error);
  if (!lib) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return;
  }
  auto start_listen = reinterpret_cast<decltype(&::StartListen)>(lib->Symbol("StartListen"));
  auto stop_transmit = reinterpret_cast<decltype(&::StopTransmit)>(lib->Symbol("StopTransmit"));
  e2e::TAddressParams own;
  own.ports = 16;
  const std::string block = e2e::AddressBlock(own);
  const KHandle h = start_listen(block.data(), static_cast<std::int32_t>(block.size()), 1, 1, 0);
  if (h == 0) {
    std::fprintf(stderr, "StartListen failed\n");
    return;
  }
  platform::SleepFor(2000);  // the modems settle after their initialisation
  const double with_gate = CpuPerWall(10);
  std::printf("idle: 16 listening channels: %.4f CPU s per wall s (whole process %.4f, simulator alone %.4f; "
              "goal <= 0.01)\n",
              std::max(0.0, with_gate - simulator), with_gate, simulator);
  std::fflush(stdout);
  stop_transmit(0);
  lib.reset();
  HeronSetReadGateSettings(nullptr, nullptr);
}

// ---- The gate end to end ----

std::optional<double> GateSeconds(std::size_t bytes) {
  TTempDir a, b;
  TLine line;
  if (!line.Add(a / "com1", "101") || !line.Add(b / "com1", "102")) return std::nullopt;
  line.Start();
  auto listener = Start({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "listen", "--report", b / "arrivals", "--data-wait",
                         "60000"},
                        b.Path(), true);
  std::string said;
  if (!listener || listener->ReadLine(said, 30000) != TChildProcess::TRead::Line || said != "ready") return std::nullopt;
  auto sender = Start({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "send", "--phones", "102", "--plan",
                       "list:" + std::to_string(bytes), "--report", a / "outcomes", "--data-wait", "60000", "--log",
                       a / "log"},
                      a.Path(), false);
  if (!sender) return std::nullopt;
  // The far core has the packet when the listener says so.
  const std::uint32_t limit_ms = static_cast<std::uint32_t>(bytes / kLineBytesPerSecond * 3000) + 60000;
  if (listener->ReadLine(said, limit_ms) != TChildProcess::TRead::Line || said != "got 1") return std::nullopt;
  const Clock::time_point arrived = Clock::now();
  const auto connected = line.Connected();
  (void)sender->Wait(60000);
  listener->RequestStop();
  (void)listener->Wait(30000);
  std::ifstream log(a / "log");
  std::size_t fragments = 0;
  for (std::string l; std::getline(log, l);)
    if (l.find("TMdmDriver.MdmSendExch") != std::string::npos) ++fragments;
  std::printf("gate: %zu frames sent by the transmitting gate\n", fragments);
  if (!connected) return std::nullopt;
  return Seconds(*connected, arrived);
}

// ---- ZMODEM over the same line ----

std::optional<double> ZmodemSeconds(const std::string& data) {
  TTempDir dir;
  TLine line;
  if (!line.Add(dir / "za", "401") || !line.Add(dir / "zb", "402")) return std::nullopt;
  line.Start();
  std::filesystem::create_directories(dir / "in");
  {
    std::ofstream out(dir / "payload.bin", std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  auto answer = Start({"/bin/sh", "-c", "cd '" + (dir / "in") + "' && " + OnLine(dir / "zb", "ATS0=1", "rz -b -y -q")},
                      "", false);
  // Should the call ring before the answering modem took S0=1, it answers
  // on the next ring.
  auto call = Start({"/bin/sh", "-c", OnLine(dir / "za", "ATX3D402", "sz -b -q '" + (dir / "payload.bin") + "'")},
                    "", false);
  if (!answer || !call) return std::nullopt;
  const std::uint32_t limit_ms = static_cast<std::uint32_t>(data.size() / kLineBytesPerSecond * 3000) + 60000;
  if (!answer->Wait(limit_ms)) {
    std::fprintf(stderr, "zmodem: rz did not end\n");
    return std::nullopt;
  }
  const Clock::time_point done = Clock::now();
  (void)call->Wait(30000);
  std::ifstream in(dir / "in/payload.bin", std::ios::binary);
  const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (got != data || answer->ExitCode() != 0) {
    std::fprintf(stderr, "zmodem: rz exit %d, %zu of %zu bytes received%s\n", answer->ExitCode(), got.size(),
                 data.size(), got == data ? "" : " (not the same)");
    return std::nullopt;
  }
  const auto connected = line.Connected();
  if (!connected) return std::nullopt;
  return Seconds(*connected, done);
}

constexpr const char* kUsage =
    "usage: bench_e2e [KIB [cpu|gate|zmodem]]\n"
    "  KIB     the packet's size in KiB, 1 to 65536 (default 1024)\n"
    "  cpu     only the idle cost of sixteen listening channels\n"
    "  gate    only the gate's transfer\n"
    "  zmodem  only the ZMODEM transfer of the same bytes\n";

// The packet size and the part to run, or nothing for arguments it does not
// understand.
std::optional<std::pair<std::size_t, std::string>> ParseArguments(int argc, char** argv) {
  std::size_t kib = 1024;
  std::string only;
  if (argc > 3) return std::nullopt;
  if (argc > 1) {
    const std::string text = argv[1];
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    kib = std::stoul(text);
    if (kib < 1 || kib > 65536) return std::nullopt;
  }
  if (argc > 2) {
    only = argv[2];
    if (only != "cpu" && only != "gate" && only != "zmodem") return std::nullopt;
  }
  return std::pair{kib, only};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const auto args = ParseArguments(argc, argv);
  if (!args) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const auto& [kib, only] = *args;
  const std::size_t bytes = kib * 1024;
  const std::string data = e2e::PacketBytes(1, bytes);
  std::printf("line: %u bit/s, %.0f B/s; %zu bytes\n", kLineRate, kLineBytesPerSecond, bytes);
  std::fflush(stdout);

  if (only.empty() || only == "cpu") IdleChannels();
  std::optional<double> gate, zmodem;
  if (only.empty() || only == "gate") {
    gate = GateSeconds(bytes);
    if (gate) {
      const double rate = static_cast<double>(bytes) / *gate;
      std::printf("gate: %.1f s, %.1f B/s, %.3f of the line (goal >= 0.95)\n", *gate, rate, rate / kLineBytesPerSecond);
    } else {
      std::printf("gate: the transfer did not complete\n");
    }
    std::fflush(stdout);
  }
  if (only.empty() || only == "zmodem") {
    zmodem = ZmodemSeconds(data);
    if (zmodem) {
      const double rate = static_cast<double>(bytes) / *zmodem;
      std::printf("zmodem: %.1f s, %.1f B/s, %.3f of the line\n", *zmodem, rate, rate / kLineBytesPerSecond);
    } else {
      std::printf("zmodem: the transfer did not complete\n");
    }
  }
  if (gate && zmodem) std::printf("gate against zmodem: %.3f (goal >= 1.0)\n", *zmodem / *gate);
  return 0;
}
