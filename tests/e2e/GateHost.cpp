// A small host of the gate for the two-process tests and the benchmark: loads
// libKestrel and plays its core with the parts every host shares
// (tools/host), builds its gate settings and addresses through the store's
// parameter lists, and plays one side of an exchange on COM1..COMn (which
// KESTREL_COM_DIR points at pseudo-terminals of the simulated exchange).
// Unlike kestrel it keeps no database, so it builds where SQLite is missing.
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

#include "platform/StopSignal.h"
#include "platform/Tick.h"
#include "tests/e2e/HostBlocks.h"
#include "tests/e2e/Payload.h"
#include "tools/host/Core.h"
#include "tools/host/GateLibrary.h"

namespace {

using namespace kestrel;

// What the core hears, as the report and the log say it.
class TReports final : public app::TCoreEvents {
 public:
  TReports(std::FILE* report, std::FILE* log) : report_(report), log_(log) {}

  void OnGateLine(const app::TLogLine& l) override {
    std::lock_guard lock(mutex_);
    if (log_ != nullptr)
      std::fprintf(log_, "%u %s [%s] %s | %s\n", Now(), l.error ? "ERROR" : "log", l.thread.c_str(), l.text.c_str(),
                   l.details.c_str());
  }
  bool OnPacketFailed(const TRefPack& ref, std::int32_t, std::int32_t) override {
    Settle("fail", ref.Number);
    return true;
  }
  void OnDelivered(KHandle, const TRefPack& ref) override { Settle("ok", ref.Number); }
  bool OnPacket(std::int32_t sender, const TRefPack& ref, std::string_view data) override {
    std::lock_guard lock(mutex_);
    std::fprintf(report_, "%d %d %zu %016llx\n", sender, ref.Number, data.size(),
                 static_cast<unsigned long long>(e2e::Digest(data)));
    std::fflush(report_);
    std::printf("got %d\n", ref.Number);
    std::fflush(stdout);
    return true;
  }
  void Settle(const char* what, std::int32_t number) {
    std::lock_guard lock(mutex_);
    std::fprintf(report_, "%s %d %u\n", what, number, Now());
    std::fflush(report_);
    ++settled_;
    changed_.notify_all();
  }
  bool WaitSettled(int count, std::uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return settled_ >= count; });
  }
  std::uint32_t Now() const { return platform::Elapsed(start_, platform::GetTickCount()); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::uint32_t start_ = platform::GetTickCount();
  int settled_ = 0;
  std::FILE* report_;
  std::FILE* log_;
};

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
  std::FILE* report = std::fopen(o.Get("--report").c_str(), "w");
  if (report == nullptr) return 2;
  std::FILE* log = o.Get("--log").empty() ? nullptr : std::fopen(o.Get("--log").c_str(), "w");
  TReports reports(report, log);
  bool ok = false;
  try {
    app::TCore core(reports);
    core.SetGateSettings(1, e2e::GateSettingsBlock(channels));
    const auto gate = app::TGateLibrary::Load(argv[1]);
    if (role == "listen") {
      const std::string own = e2e::AddressBlock(AddressOf(o, channels));
      const KHandle h = gate->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 2, 1, 0);
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
        const KHandle h = gate->StartTransmit(remote.data(), static_cast<std::int32_t>(remote.size()), 1, 1, 0);
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
          if (gate->SendToGate(data.data(), static_cast<std::int32_t>(data.size()), &ref,
                               handles[static_cast<std::size_t>(n - 1) % processes]) == 0)
            reports.Settle("refused", n);
        }
        ok = reports.WaitSettled(count, deadline_ms);
      }
    }
    gate->StopTransmit(0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  std::fprintf(report, "done %u\n", reports.Now());
  std::fclose(report);
  if (log != nullptr) std::fclose(log);
  return ok ? 0 : 1;
}
