// demo: two gates exchange generated documents over simulated modems. This
// process runs the exchange and the sending gate; a second kestrel process
// (`kestrel listen`) runs the listening gate. Each finds its COM1 through
// its own folder of links to the simulated modems.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/ProcessEnv.h"
#include "platform/StopNotifier.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/DemoDocuments.h"
#include "tools/kestrel/GateAddresses.h"
#include "tools/kestrel/GateSettings.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/Schema.h"
#include "tools/kestrel/Sender.h"
#include "tools/kestrel/SimExchange.h"
#include "tools/kestrel/TempFolder.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSenderNumber = "101";
constexpr const char* kListenerNumber = "102";
constexpr std::int32_t kSenderClient = 1;
constexpr std::int32_t kListenerClient = 2;

// One side's gate settings, own address and its one party, written only where
// the database has none (a database given with --sender-db or --listener-db
// keeps what it holds). True when the party was added now.
bool Configure(TDatabase& db, TGateAddresses& addresses, std::int16_t gate_code, std::int32_t own_client,
               const std::string& party_name, std::int32_t party_client, const std::string& party_phone) {
  TConfigStore config(db);
  if (!config.GateSettings(gate_code)) {
    TSettings s;
    s.show_progress = true;
    ApplyChannelText(s, "port=1,baud=115200,init=ATX3,alias=Demo line");
    config.SetGateSettings(gate_code, BuildSettings(s));
  }
  if (!config.OwnAddress(gate_code)) {
    TParams own = addresses.Read({});
    SetParamFromText(own, "IdCl", std::to_string(own_client));
    FindParam(own, "UseComPorts")->bytes = PortFlags("1");
    config.SetOwnAddress(gate_code, TOwnAddress{own_client, addresses.Build(own)});
  }
  if (!config.FindParty(party_name)) {
    TParams remote = addresses.Read({});
    SetParamFromText(remote, "IdCl", std::to_string(party_client));
    SetParamFromText(remote, "PhonesList", party_phone);
    SetParamFromText(remote, "DialPhoneType", "1");
    SetParamFromText(remote, "DialTimeOut", "20");
    SetParamFromText(remote, "RestoreConnTimeOut", "10");
    FindParam(remote, "UseComPorts")->bytes = PortFlags("1");
    config.AddParty(TParty{party_name, party_client, addresses.Build(remote), std::nullopt});
    return true;
  }
  return false;
}

// The listening kestrel: started and waited for until it listens; its
// output relayed to the console with a prefix; stopped (SIGTERM, then killed
// after 15 s) by Stop or, on any way out, by the destructor.
class TListenerProcess {
 public:
  TListenerProcess(platform::TChildProcess::TStartInfo launch, TConsole& console) : console_(console) {
    launch.capture_output = true;
    launch.merge_error = true;
    launch.input_pipe = true;
    std::string error;
    child_ = platform::TChildProcess::Start(launch, error);
    if (!child_) throw EToolError("cannot start the listening kestrel: " + error);
    std::string line;
    for (;;) {
      if (child_->ReadLine(line, 20000) != platform::TChildProcess::TRead::Line) break;
      console_.Line("listen | " + line);
      if (line.rfind("listening", 0) == 0) {
        // Only the relay reads the child's output from now on.
        relay_ = std::thread([this] {
          std::string l;
          while (child_->ReadLine(l, 600000) != platform::TChildProcess::TRead::End) console_.Line("listen | " + l);
        });
        return;
      }
    }
    child_->Kill();
    (void)child_->Wait(5000);  // killed: it ends now, or the system reaps it
    throw EToolError("the listening kestrel did not start listening within 20 s");
  }
  ~TListenerProcess() { Stop(); }

  // Its exit code; -1 when it had to be killed.
  int Stop() {
    if (!child_->Ended()) {
      child_->CloseInput();
      if (!child_->Wait(15000)) {
        console_.Line("demo: the listening kestrel did not stop within 15 s; ending it");
        child_->Kill();
        (void)child_->Wait(5000);  // killed: it ends now, or the system reaps it
      }
    }
    if (relay_.joinable()) relay_.join();
    return child_->ExitCode();
  }

 private:
  TConsole& console_;
  std::unique_ptr<platform::TChildProcess> child_;
  std::thread relay_;
};

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

int RunDemo(const TOptions& o) {
  TConsole& console = TConsole::Standard();
  TTempFolder root("kestrel-demo");
  if (o.demo.keep) root.Keep();
  for (const char* sub : {"sender", "listener", "outbox", "inbox"}) fs::create_directories(root / sub);
  const fs::path sender_db = o.demo.sender_db.empty() ? root / "sender.db" : fs::path(o.demo.sender_db);
  const fs::path listener_db = o.demo.listener_db.empty() ? root / "listener.db" : fs::path(o.demo.listener_db);
  const auto start = TSteadyClock::now();

  // The telephone exchange, with one modem for each side.
  sim::TExchangeOptions ex;
  ex.rate = o.demo.rate;
  ex.latency_ms = 20;
  ex.dial_ms = 300;
  ex.handshake_ms = 500;
  ex.ring_on_ms = 400;
  ex.ring_off_ms = 800;
  TSimExchange exchange(ex, console, "modem  | ", true);
  exchange.AddModem(kSenderNumber, (root / "sender" / "com1").string(), {});
  exchange.AddModem(kListenerNumber, (root / "listener" / "com1").string(), {});
  exchange.Start();
  console.Line("demo: simulated line at " + std::to_string(ex.rate) + " bit/s between modem " + kSenderNumber + " (" +
               exchange.Describe(kSenderNumber) + ") and modem " + kListenerNumber + " (" +
               exchange.Describe(kListenerNumber) + ")");

  // This process is the sending side.
  TGlobalOptions sender = o.global;
  sender.db = sender_db.string();
  sender.com_dir = (root / "sender").string();
  TRuntime rt(sender);
  TSendRun run(console, "send   | ", o.global.verbose);
  rt.LoadGate(run);
  {
    TGateAddresses addresses(rt.Gate());
    const bool new_sender =
        Configure(rt.Db(), addresses, sender.gate_code, kSenderClient, "Listener", kListenerClient, kListenerNumber);
    auto listener_store = OpenStore(listener_db.string());
    const bool new_listener = Configure(*listener_store, addresses, sender.gate_code, kListenerClient, "Sender",
                                        kSenderClient, kSenderNumber);
    // Two sides made now share a key, as `kestrel party key` makes and
    // hands over one; parties a database already held keep theirs.
    if (new_sender && new_listener) {
      const TPartyKey key = NewPartyKey();
      (void)rt.Config().SetPartyKey("Listener", key);
      (void)TConfigStore(*listener_store).SetPartyKey("Sender", key);
      console.Line("demo: the two sides share a new key, as kestrel party key hands one over");
    }
  }

  const auto docs = MakeDemoDocuments(o.demo.kib);
  std::vector<std::string> paths;
  std::uint64_t total = 0;
  for (const auto& d : docs) {
    const fs::path p = root / "outbox" / d.name;
    std::ofstream(p, std::ios::binary).write(d.content.data(), static_cast<std::streamsize>(d.content.size()));
    paths.push_back(p.string());
    total += d.content.size();
  }
  console.Line("demo: " + std::to_string(docs.size()) + " documents, " + std::to_string(total) + " bytes, in " +
               (root / "outbox").string());

  // The listening side: a second kestrel process.
  platform::TChildProcess::TStartInfo launch;
  // It stops when its input ends: when this process closes it, or ends.
  launch.argv = {platform::ExecutablePath(), "--db", listener_db.string(), "--gate-library", rt.Gate().Path(),
                 "--gate-code", std::to_string(sender.gate_code), "--com-dir", (root / "listener").string(),
                 "listen", "--into", (root / "inbox").string(), "--stop-at-end-of-input"};
  if (o.global.verbose) launch.argv.insert(launch.argv.begin() + 1, "--verbose");
  TListenerProcess listener(launch, console);

  TSendReport report;
  {
    platform::TStopNotifier stop([&](const std::string& sig) { run.RequestStop("interrupted by " + sig); });
    report = run.Run(rt, rt.Config().RequireParty("Listener"), ReadFiles(paths), o.demo.timeout_s * 1000);
  }
  const int listener_exit = listener.Stop();

  // Every document, byte for byte, as it arrived.
  int verified = 0;
  for (const auto& d : docs) {
    const std::string got = ReadWhole(root / "inbox" / d.name);
    if (got == d.content) {
      ++verified;
    } else {
      console.Line("demo: " + d.name + " " + (got.empty() ? "did not arrive" : "arrived different"));
    }
  }
  const double elapsed = std::chrono::duration<double>(TSteadyClock::now() - start).count();
  // The line carries ten bits a byte (start, eight data bits, stop): at
  // 57 600 bit/s that is 5 760 bytes of data a second, the most any transfer
  // can reach.
  const double bytes_per_second =
      report.seconds > 0 ? static_cast<double>(report.bytes_delivered) / report.seconds : 0;
  const double line_bytes_per_second = ex.rate / 10.0;
  char figures[256];
  std::snprintf(figures, sizeof figures,
                "demo: %d of %zu documents delivered and %d verified byte for byte; %llu bytes in %.1f s "
                "(%.0f bytes/s, %.0f%% of the %.0f bytes/s a %u bit/s line carries; %.1f s in all)",
                report.delivered, docs.size(), verified, static_cast<unsigned long long>(report.bytes_delivered),
                report.seconds, bytes_per_second, 100.0 * bytes_per_second / line_bytes_per_second,
                line_bytes_per_second, ex.rate, elapsed);
  console.Line(figures);
  const bool ok = report.failed == 0 && verified == static_cast<int>(docs.size()) && listener_exit == 0;
  if (o.demo.keep) console.Line("demo: kept " + root.Path().string());
  console.Line(ok ? "demo: everything arrived" : "demo: FAILED");
  return ok ? 0 : 1;
}

}  // namespace kestrel::app
