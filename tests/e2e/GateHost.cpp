// A small host of the gate for the two-process tests and the benchmark: loads libKestrel and
// plays its core with the parts every host shares (tools/host), builds its
// gate settings and addresses through the store's parameter lists, and plays
// one side of an exchange on COM1..COMn (which KESTREL_COM_DIR points at
// pseudo-terminals of the simulated exchange). It keeps no database.
//
//   gate_host <library> listen --report <file> [--channels <n>]
//       listens on COM1..COMn, says "ready" (or "failed") once listening,
//       and for each packet handed to its core writes "<sender> <number>
//       <size> <digest>" (digest in hex) to the report and says "got
//       <number>". Ends when asked to (SIGTERM); exits 0 when listening had
//       started.
//   gate_host <library> send --phones <p1,p2,...> --plan <plan> --report <file>
//                            [--channels <n>] [--processes <k>]
//       starts k transmit processes over COM1..COMn and hands packet n (sizes
//       and bytes as Payload.h makes them for the plan) to process (n-1) mod
//       k; with one process it dials the phones in turn, with several,
//       process i dials phone i mod (count). Reports "ok <n> <ms>" for each
//       delivery, "fail <n> <ms>" for each failure, "refused <n> <ms>" for
//       each packet SendToGate did not take, then "done <ms>". Exits 0 once
//       every packet was settled, 1 when five minutes passed first.
//       With --stop-after <m>, the whole gate stops once m packets were
//       settled, and the report says "stopped <ms the stop took>".
// Other options: --log <file> (the gate's log), and the address's
// --data-wait, --stay, --pause (restore pause), --window (restore window) in
// ms and --tries; --deadline, how long a listener serves and a sender waits
// for its packets to settle (ms, default five minutes); --key <64 hex
// digits>, a key shared with every party (keyed sessions). The end-to-end
// benchmarks (bench/e2e) run it too.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/StopSignal.h"
#include "platform/Tick.h"
#include "tests/e2e/HostBlocks.h"
#include "tests/e2e/Payload.h"
#include "tools/host/Core.h"
#include "tools/host/GateLibrary.h"
#include "tools/host/PartyKey.h"

namespace {

using namespace kestrel;

constexpr std::uint32_t kDefaultDeadlineMs = 300000;


// What the core hears, as the report and the log say it.
class TReports final : public app::TCoreEvents {
 public:
  TReports(std::FILE* report, std::FILE* log) : report_(report), log_(log) {}

  void OnGateLine(const app::TLogLine& l) override {
    if (log_ != nullptr)
      Write(log_, "%u %s [%s] %s | %s\n", Now(), l.error ? "ERROR" : "log", l.thread.c_str(), l.text.c_str(),
            l.details.c_str());
  }
  bool OnPacketFailed(const TRefPack& ref, std::int32_t, std::int32_t) override {
    Settle("fail", ref.Number);
    return true;
  }
  void OnDelivered(KHandle, const TRefPack& ref) override { Settle("ok", ref.Number); }
  // The key of --key, shared with every party; empty for none.
  std::vector<std::uint8_t> key;
  std::int32_t OnPartyKey(std::int32_t, std::span<std::uint8_t> out) override {
    std::copy_n(key.begin(), std::min(out.size(), key.size()), out.begin());
    return static_cast<std::int32_t>(key.size());
  }
  bool OnPacket(std::int32_t sender, const TRefPack& ref, std::string_view data) override {
    Write(report_, "%d %d %zu %016llx\n", sender, ref.Number, data.size(),
          static_cast<unsigned long long>(e2e::Digest(data)));
    Write(stdout, "got %d\n", ref.Number);
    return true;
  }
  void Settle(const char* what, std::int32_t number) {
    Write(report_, "%s %d %u\n", what, number, Now());
    std::lock_guard lock(mutex_);
    ++settled_;
    changed_.notify_all();
  }
  bool WaitSettled(std::size_t count, std::uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return settled_ >= count; });
  }
  std::uint32_t Now() const { return platform::Elapsed(start_, platform::GetTickCount()); }
  template <typename... T>
  void Write(std::FILE* to, const char* format, T... args) {
    std::lock_guard lock(mutex_);
    std::fprintf(to, format, args...);
    std::fflush(to);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::uint32_t start_ = platform::GetTickCount();
  std::size_t settled_ = 0;
  std::FILE* report_;
  std::FILE* log_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  // Before any thread starts: the stop request waits for the listener's main thread.
  platform::BlockStopSignals();
  std::map<std::string, std::string> o;
  for (int i = 3; i + 1 < argc; i += 2) o[argv[i]] = argv[i + 1];
  const auto number = [&](const std::string& name, std::uint32_t fallback) {
    return o.count(name) ? static_cast<std::uint32_t>(std::strtoul(o[name].c_str(), nullptr, 10)) : fallback;
  };
  const std::string role = argv[2];
  const int channels = static_cast<int>(number("--channels", 1));
  const std::uint32_t deadline_ms = number("--deadline", kDefaultDeadlineMs);
  e2e::TAddressParams address;
  address.ports = channels;
  address.data_wait_ms = number("--data-wait", address.data_wait_ms);
  address.stay_on_line_ms = number("--stay", address.stay_on_line_ms);
  address.restore_pause_ms = number("--pause", address.restore_pause_ms);
  address.restore_window_ms = number("--window", address.restore_window_ms);
  address.restore_tries = static_cast<std::int32_t>(number("--tries", 2));
  std::FILE* report = std::fopen(o["--report"].c_str(), "w");
  if (report == nullptr) return 2;
  std::FILE* log = o["--log"].empty() ? nullptr : std::fopen(o["--log"].c_str(), "w");
  TReports reports(report, log);
  if (o.count("--key")) {
    const auto key = app::PartyKeyFromText(o["--key"]);
    if (!key) return 2;
    reports.key.assign(key->begin(), key->end());
  }
  bool ok = false;
  try {
    app::TCore core(reports);
    core.SetGateSettings(1, e2e::GateSettingsBlock(channels));
    const auto gate = app::TGateLibrary::Load(argv[1]);
    if (role == "listen") {
      const std::string own = e2e::AddressBlock(address);
      const KHandle h = gate->StartListen(own.data(), static_cast<std::int32_t>(own.size()), 2, 1, 0);
      reports.Write(stdout, h != 0 ? "ready\n" : "failed\n");
      // Until the test says the sender is done: a session here may still be
      // acknowledging the last packet when it has arrived.
      (void)platform::WaitStopSignal(deadline_ms);
      ok = h != 0;
    } else if (role == "send") {
      std::vector<std::string> phones;
      std::istringstream list(o["--phones"]);
      for (std::string phone; std::getline(list, phone, ',');)
        if (!phone.empty()) phones.push_back(phone);
      const std::vector<std::size_t> sizes = e2e::PlanSizes(o["--plan"]);
      const std::size_t processes = number("--processes", 1);
      if (phones.empty() || sizes.empty() || processes == 0) return 2;
      std::vector<KHandle> handles;
      for (std::size_t i = 0; i < processes; ++i) {
        address.phones = processes == 1 ? phones : std::vector<std::string>{phones[i % phones.size()]};
        const std::string remote = e2e::AddressBlock(address);
        handles.push_back(gate->StartTransmit(remote.data(), static_cast<std::int32_t>(remote.size()), 1, 1, 0));
        if (handles.back() == 0) throw std::runtime_error("StartTransmit failed for process " + std::to_string(i));
      }
      for (std::size_t n = 1; n <= sizes.size(); ++n) {
        const std::string data = e2e::PacketBytes(static_cast<std::int32_t>(n), sizes[n - 1]);
        const TRefPack ref{static_cast<std::int32_t>(n), 738000, static_cast<std::int32_t>(n)};
        if (gate->SendToGate(data.data(), static_cast<std::int32_t>(data.size()), &ref, handles[(n - 1) % processes]) == 0)
          reports.Settle("refused", ref.Number);
      }
      if (const std::size_t stop_after = number("--stop-after", 0); stop_after > 0) {
        // The whole gate stops in the middle of the transfer: what was still
        // queued is reported failed before the stop returns.
        if (!reports.WaitSettled(stop_after, deadline_ms))
          throw std::runtime_error("too few packets settled before the stop");
        const std::uint32_t before = reports.Now();
        gate->StopTransmit(0);
        reports.Write(report, "stopped %u\n", reports.Now() - before);
        ok = reports.WaitSettled(sizes.size(), 0);
      } else {
        ok = reports.WaitSettled(sizes.size(), deadline_ms);
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
