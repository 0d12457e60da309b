// A small host of the gate for the two-process tests and the benchmark: loads
// libKestrel through the dynamic loader, plugs its core handlers into
// libHeron, builds its gate settings and addresses through the store's
// parameter lists, and plays one side of an exchange on COM1..COMn (which
// KESTREL_COM_DIR points at pseudo-terminals of the simulated exchange).
//
//   gate_host <library> listen --report <file> [--channels <n>]
//       listens on COM1..COMn, says "ready" on its standard output once
//       listening (or "failed"), and writes one line per packet handed to
//       its core: "<sender> <number> <size> <digest>" (digest in hex), and
//       "got <number>" on its standard output. Ends
//       when asked to (SIGTERM) or after the deadline; exits 0 when listening
//       had started.
//   gate_host <library> send --phones <p1,p2,...> --plan <plan> --report <file>
//                            [--channels <n>] [--processes <k>]
//       starts k transmit processes over COM1..COMn and hands packet n
//       (1, 2, ...; sizes and bytes as tests/e2e/Payload.h makes them for
//       the plan) to process (n-1) mod k. With one process it dials the
//       phones in turn; with several, process i dials phone i mod (count).
//       Writes "ok <n> <ms>" for each delivery its core hears of, "fail <n>
//       <ms>" for each failure reported with RecvFromGate, "refused <n> <ms>"
//       for each packet SendToGate did not take (ms since the start), then
//       "done <ms>". Exits 0 once every packet was settled in one of these
//       ways, 1 when the deadline passed first.
// Common options: --deadline <ms> (default 300000), --log <file> (every line
// of the gate's log), and the address time-outs --dial-timeout, --data-wait,
// --stay, --pause (restore pause), --window (restore window) in ms and
// --tries (restore tries).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "heron.h"
#include "platform/SharedLibrary.h"
#include "platform/StopSignal.h"
#include "platform/Tick.h"
#include "tests/e2e/HostBlocks.h"
#include "tests/e2e/Payload.h"

namespace {

using namespace kestrel;

struct TCore {
  std::mutex mutex;
  std::condition_variable changed;
  std::string settings;
  std::uint32_t start = 0;
  int settled = 0;
  std::FILE* report = nullptr;
  std::FILE* log = nullptr;
};
TCore g_core;

void Report(const char* what, std::int32_t number) {
  std::lock_guard lock(g_core.mutex);
  std::fprintf(g_core.report, "%s %d %u\n", what, number, platform::Elapsed(g_core.start, platform::GetTickCount()));
  std::fflush(g_core.report);
  ++g_core.settled;
  g_core.changed.notify_all();
}

const void* ReadSettings(void*, std::int16_t, std::int32_t* size) {
  *size = static_cast<std::int32_t>(g_core.settings.size());
  return g_core.settings.data();
}
KBool Info(void*, std::int32_t kind, std::int16_t, const char* text, const char* details) {
  std::lock_guard lock(g_core.mutex);
  if (g_core.log != nullptr)
    std::fprintf(g_core.log, "%u %s %s | %s\n", platform::Elapsed(g_core.start, platform::GetTickCount()),
                 kind == 1 ? "ERROR" : "log", text, details != nullptr ? details : "");
  return 1;
}
KBool Failed(void*, const TRefPack* ref, std::int32_t, std::int32_t) {
  Report("fail", ref->Number);
  return 1;
}
KBool Delivered(void*, KHandle, const TRefPack* ref) {
  Report("ok", ref->Number);
  return 1;
}
KBool Packet(void*, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
  const std::uint64_t digest =
      e2e::Digest(std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size)));
  std::lock_guard lock(g_core.mutex);
  std::fprintf(g_core.report, "%d %d %d %016llx\n", sender, ref->Number, size,
               static_cast<unsigned long long>(digest));
  std::fflush(g_core.report);
  std::printf("got %d\n", ref->Number);
  std::fflush(stdout);
  return 1;
}

template <typename F>
F Export(const platform::TSharedLibrary& lib, const char* name) {
  return reinterpret_cast<F>(lib.Symbol(name));
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> out;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

struct TOptions {
  std::map<std::string, std::string> values;
  std::string Get(const std::string& name, const std::string& fallback = {}) const {
    const auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
  }
  std::uint32_t Number(const std::string& name, std::uint32_t fallback) const {
    const auto it = values.find(name);
    return it == values.end() ? fallback : static_cast<std::uint32_t>(std::strtoul(it->second.c_str(), nullptr, 10));
  }
};

e2e::TAddressParams AddressOf(const TOptions& o, int channels) {
  e2e::TAddressParams desc;
  desc.ports = channels;
  desc.dial_timeout_ms = o.Number("--dial-timeout", desc.dial_timeout_ms);
  desc.data_wait_ms = o.Number("--data-wait", desc.data_wait_ms);
  desc.stay_on_line_ms = o.Number("--stay", desc.stay_on_line_ms);
  desc.restore_pause_ms = o.Number("--pause", desc.restore_pause_ms);
  desc.restore_window_ms = o.Number("--window", desc.restore_window_ms);
  desc.restore_tries = static_cast<std::int32_t>(o.Number("--tries", static_cast<std::uint32_t>(desc.restore_tries)));
  return desc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  // Before any thread starts: the stop request waits for the listener's main thread.
  platform::BlockStopSignals();
  TOptions o;
  for (int i = 3; i + 1 < argc; i += 2) o.values[argv[i]] = argv[i + 1];
  const std::string role = argv[2];
  const int channels = static_cast<int>(o.Number("--channels", 1));
  const std::uint32_t deadline_ms = o.Number("--deadline", 300000);
  g_core.report = std::fopen(o.Get("--report").c_str(), "w");
  if (g_core.report == nullptr) return 2;
  if (!o.Get("--log").empty()) g_core.log = std::fopen(o.Get("--log").c_str(), "w");
  g_core.start = platform::GetTickCount();
  try {
    g_core.settings = e2e::GateSettingsBlock(channels);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "settings: %s\n", e.what());
    return 2;
  }
  HeronSetReadGateSettings(&ReadSettings, nullptr);
  HeronSetGateInfo(&Info, nullptr);
  HeronSetRecvFromGate(&Failed, nullptr);
  HeronSetPacketDeliveredFromGate(&Delivered, nullptr);
  HeronSetRecvPacketFromGate(&Packet, nullptr);

  std::string error;
  // Loaded for the rest of the process, as the reference host keeps it: the
  // gate's unload runs at exit.
  std::unique_ptr<platform::TSharedLibrary> lib = platform::TSharedLibrary::Open(argv[1], error, true);
  if (!lib) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  auto start_transmit = Export<decltype(&::StartTransmit)>(*lib, "StartTransmit");
  auto send_to_gate = Export<decltype(&::SendToGate)>(*lib, "SendToGate");
  auto stop_transmit = Export<decltype(&::StopTransmit)>(*lib, "StopTransmit");
  auto start_listen = Export<decltype(&::StartListen)>(*lib, "StartListen");
  bool ok = false;

  if (role == "listen") {
    const std::string own = e2e::AddressBlock(AddressOf(o, channels));
    const KHandle h = start_listen(own.data(), static_cast<std::int32_t>(own.size()), 2, 1, 0);
    std::printf(h != 0 ? "ready\n" : "failed\n");
    std::fflush(stdout);
    // Until the test says the sender is done: a session here may still be
    // acknowledging the last packet when it has arrived.
    (void)platform::WaitStopSignal(deadline_ms);
    ok = h != 0;
  } else if (role == "send") {
    const std::vector<std::string> phones = Split(o.Get("--phones"));
    const std::vector<std::size_t> sizes = e2e::PlanSizes(o.Get("--plan"));
    const auto processes = static_cast<std::size_t>(o.Number("--processes", 1));
    if (phones.empty() || sizes.empty() || processes == 0) return 2;
    std::vector<KHandle> handles;
    for (std::size_t i = 0; i < processes; ++i) {
      e2e::TAddressParams desc = AddressOf(o, channels);
      desc.phones = processes == 1 ? phones : std::vector<std::string>{phones[i % phones.size()]};
      const std::string remote = e2e::AddressBlock(desc);
      const KHandle h = start_transmit(remote.data(), static_cast<std::int32_t>(remote.size()), 1, 1, 0);
      if (h == 0) {
        std::fprintf(stderr, "StartTransmit failed for process %zu\n", i);
        break;
      }
      handles.push_back(h);
    }
    const int count = static_cast<int>(sizes.size());
    if (handles.size() == processes) {
      for (int n = 1; n <= count; ++n) {
        const std::string data = e2e::PacketBytes(n, sizes[static_cast<std::size_t>(n - 1)]);
        const TRefPack ref{n, 738000, n};
        if (send_to_gate(data.data(), static_cast<std::int32_t>(data.size()), &ref,
                         handles[static_cast<std::size_t>(n - 1) % processes]) == 0)
          Report("refused", n);
      }
      std::unique_lock lock(g_core.mutex);
      ok = g_core.changed.wait_for(lock, std::chrono::milliseconds(deadline_ms),
                                   [&] { return g_core.settled >= count; });
    }
  }
  stop_transmit(0);
  lib.reset();
  std::fprintf(g_core.report, "done %u\n", platform::Elapsed(g_core.start, platform::GetTickCount()));
  std::fclose(g_core.report);
  if (g_core.log != nullptr) std::fclose(g_core.log);
  return ok ? 0 : 1;
}
