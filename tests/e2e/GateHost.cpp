// A minimal host of the gate for the two-process tests: loads libKestrel
// through the dynamic loader, plugs its core handlers into libHeron and plays
// one side of an exchange on COM1 (which KESTREL_COM_DIR points at a
// pseudo-terminal of the simulated exchange).
//
//   gate_host <library> listen <count> <report-file>
//       listens, says "ready" on its standard output once listening, writes
//       one line "<number> <size> <sum>" per packet received to the report;
//       stops when asked to (SIGTERM), and exits 0 when <count> packets had
//       arrived by then.
//   gate_host <library> send <phone> <count> <size>
//       sends <count> packets of <size> bytes to <phone>; exits 0 when every
//       one was confirmed delivered.
// Either side gives up after 60 s and exits 1.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "heron.h"
#include "platform/SharedLibrary.h"
#include "platform/StopSignal.h"
#include "tests/pool/Blocks.h"

namespace {

using namespace kestrel;

struct TCore {
  std::mutex mutex;
  std::condition_variable changed;
  std::string settings;
  int received = 0;
  int confirmed = 0;
  int failed = 0;
  std::FILE* report = nullptr;
};
TCore g_core;

const void* ReadSettings(void*, std::int16_t, std::int32_t* size) {
  *size = static_cast<std::int32_t>(g_core.settings.size());
  return g_core.settings.data();
}
KBool Info(void*, std::int32_t kind, std::int16_t, const char* text, const char* details) {
  if (kind == 1) std::fprintf(stderr, "gate error: %s | %s\n", text, details != nullptr ? details : "");
  return 1;
}
KBool Failed(void*, const TRefPack*, std::int32_t, std::int32_t) {
  std::lock_guard lock(g_core.mutex);
  ++g_core.failed;
  g_core.changed.notify_all();
  return 1;
}
KBool Delivered(void*, KHandle, const TRefPack*) {
  std::lock_guard lock(g_core.mutex);
  ++g_core.confirmed;
  g_core.changed.notify_all();
  return 1;
}
KBool Packet(void*, std::int32_t, const TRefPack* ref, const void* data, std::int32_t size) {
  unsigned sum = 0;
  for (std::int32_t i = 0; i < size; ++i) sum = sum * 31 + static_cast<const unsigned char*>(data)[i];
  std::lock_guard lock(g_core.mutex);
  std::fprintf(g_core.report, "%d %d %u\n", ref->Number, size, sum);
  std::fflush(g_core.report);
  ++g_core.received;
  g_core.changed.notify_all();
  return 1;
}

template <typename Done>
bool WaitFor(Done done) {
  std::unique_lock lock(g_core.mutex);
  return g_core.changed.wait_for(lock, std::chrono::seconds(60), done);
}

template <typename F>
F Export(const platform::TSharedLibrary& lib, const char* name) {
  return reinterpret_cast<F>(lib.Symbol(name));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  // Before any thread starts: the stop request waits for the listener's main thread.
  platform::BlockStopSignals();
  g_core.settings = testing::SettingsBlock({testing::ChannelOn(1)});
  HeronSetReadGateSettings(&ReadSettings, nullptr);
  HeronSetGateInfo(&Info, nullptr);
  HeronSetRecvFromGate(&Failed, nullptr);
  HeronSetPacketDeliveredFromGate(&Delivered, nullptr);
  HeronSetRecvPacketFromGate(&Packet, nullptr);

  std::string error;
  std::unique_ptr<platform::TSharedLibrary> lib = platform::TSharedLibrary::Open(argv[1], error);
  if (!lib) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  auto start_transmit = Export<decltype(&::StartTransmit)>(*lib, "StartTransmit");
  auto send_to_gate = Export<decltype(&::SendToGate)>(*lib, "SendToGate");
  auto stop_transmit = Export<decltype(&::StopTransmit)>(*lib, "StopTransmit");
  auto start_listen = Export<decltype(&::StartListen)>(*lib, "StartListen");
  const std::string role = argv[2];
  bool ok = false;

  if (role == "listen") {
    const int count = std::atoi(argv[3]);
    g_core.report = std::fopen(argv[4], "w");
    if (g_core.report == nullptr) return 2;
    const std::string own = testing::OwnBlock(testing::QuickAddress({1}));
    const KHandle h = start_listen(own.data(), static_cast<std::int32_t>(own.size()), 2, 1, 0);
    std::printf(h != 0 ? "ready\n" : "failed\n");
    std::fflush(stdout);
    // Until the test says the sender is done: the session here may still be
    // acknowledging the last packet when it has arrived.
    (void)platform::WaitStopSignal(60000);
    std::lock_guard lock(g_core.mutex);
    ok = h != 0 && g_core.received >= count;
  } else if (role == "send" && argc >= 6) {
    const int count = std::atoi(argv[4]);
    const std::size_t size = static_cast<std::size_t>(std::atoi(argv[5]));
    const std::string remote = testing::RemoteBlock(testing::QuickAddress({1}), {argv[3]});
    const KHandle h = start_transmit(remote.data(), static_cast<std::int32_t>(remote.size()), 1, 1, 0);
    for (int n = 1; h != 0 && n <= count; ++n) {
      std::string data(size, '\0');
      for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(n * 7 + i * 13);
      const TRefPack ref{n, 738000, n};
      if (send_to_gate(data.data(), static_cast<std::int32_t>(size), &ref, h) == 0) break;
    }
    ok = h != 0 && WaitFor([&] { return g_core.confirmed + g_core.failed >= count; }) && g_core.confirmed == count;
  }
  stop_transmit(0);
  lib.reset();
  if (g_core.report != nullptr) std::fclose(g_core.report);
  return ok ? 0 : 1;
}
