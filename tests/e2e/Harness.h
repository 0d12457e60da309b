// What the end-to-end tests share: the COM folders of the gate processes
// (each process finds its COMn as <folder>/comn through KESTREL_COM_DIR, a
// pseudo-terminal of the kit's simulated exchange), the gate_host processes
// themselves, and the reports they write.
//
// Real time throughout: every wait has a generous deadline.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/Payload.h"
#include "tests/kit/Program.h"
#include "tests/kit/SimRig.h"
#include "tests/kit/TempDir.h"

namespace kestrel::e2e {

// The kit's quick exchange at `rate` bit/s, its rings four seconds apart as
// a real line rings.
inline sim::TExchangeOptions QuickExchange(std::uint32_t rate) {
  sim::TExchangeOptions o = testing::QuickExchange(rate);
  o.ring_off_ms = 4000;
  return o;
}

// The last `lines` lines of a file, for a failure message.
inline std::string Tail(const std::string& path, std::size_t lines = 40) {
  std::ifstream in(path);
  std::deque<std::string> last;
  for (std::string line; std::getline(in, line);) {
    last.push_back(line);
    if (last.size() > lines) last.pop_front();
  }
  std::string out = "--- last lines of " + path + ":\n";
  for (const std::string& l : last) out += l + "\n";
  return out;
}

// A Windows gate: gate_host.exe and Kestrel.dll of the x64 build that
// KESTREL_WIN64_BUILD names, run by wine64 in the WINEPREFIX of the
// environment (scripts/test-windows sets both up). Its COMn is the prefix's
// dosdevices/comn link to the side's pseudo-terminal.
struct TWindows {
  std::string build, wine, prefix;
  // The Windows build this run was given, if any.
  static std::optional<TWindows> FromEnvironment() {
    const char* build = std::getenv("KESTREL_WIN64_BUILD");
    const char* prefix = std::getenv("WINEPREFIX");
    if (build == nullptr || prefix == nullptr) return std::nullopt;
    const char* wine = std::getenv("KESTREL_WINE");
    return TWindows{build, wine != nullptr ? wine : "/usr/lib/wine/wine64", prefix};
  }
};

// One gate process's COM folder.
struct TGateSide {
  testing::TTempDir dir;
  std::vector<sim::TModemId> modems;  // COM1, COM2, ... in order
  const TWindows* windows = nullptr;  // a Windows gate under Wine, or a Linux one
  std::string Folder() const { return dir.Path().string(); }
  std::string File(const std::string& name) const { return dir / name; }
  // Gives the side its next COM port: a modem of `rig` on a pseudo-terminal.
  bool AddCom(testing::TSimRig& rig, const sim::TModemSetup& setup) {
    const std::string com = "com" + std::to_string(modems.size() + 1);
    const sim::TModemId id = rig.OnPty(dir / com, setup);
    if (id == sim::kNoModem) return false;
    modems.push_back(id);
    if (windows != nullptr) {
      const std::filesystem::path link = std::filesystem::path(windows->prefix) / "dosdevices" / com;
      std::error_code ignored;
      std::filesystem::remove(link, ignored);
      std::filesystem::create_symlink(dir / com, link);
    }
    return true;
  }
};

// What a sending gate_host wrote: how often each packet was settled each way,
// and how long a whole-gate stop took (-1 without one).
struct TSenderReport {
  std::map<std::int32_t, int> ok, fail, refused;
  std::int64_t stop_ms = -1;
  // Packets settled more than once, in any mix of ways.
  std::vector<std::int32_t> SettledTwice() const {
    std::map<std::int32_t, int> times;
    for (const auto* m : {&ok, &fail, &refused})
      for (const auto& [n, k] : *m) times[n] += k;
    std::vector<std::int32_t> out;
    for (const auto& [n, k] : times)
      if (k > 1) out.push_back(n);
    return out;
  }
};

// One packet as the listening gate_host's core received it.
struct TArrival {
  std::int32_t sender = 0;
  std::int32_t number = 0;
  std::size_t size = 0;
  std::uint64_t digest = 0;
};
inline std::vector<TArrival> ReadArrivals(const std::string& path) {
  std::vector<TArrival> out;
  std::ifstream in(path);
  TArrival a;
  std::string digest;
  while (in >> a.sender >> a.number >> a.size >> digest) {
    a.digest = std::stoull(digest, nullptr, 16);
    out.push_back(a);
  }
  return out;
}

// The packets of a plan (Payload.h) by number, as the sender makes them.
struct TPlan {
  explicit TPlan(const std::string& text) : text(text), sizes(PlanSizes(text)) {}
  std::size_t Count() const { return sizes.size(); }
  std::size_t Size(std::int32_t n) const { return sizes[static_cast<std::size_t>(n - 1)]; }
  std::uint64_t DigestOf(std::int32_t n) const { return Digest(PacketBytes(n, Size(n))); }
  std::string text;
  std::vector<std::size_t> sizes;
};

// Checks what arrived against what was sent, with test failures: every
// arrival a packet of the plan, intact, from the sending core (client id 1),
// none twice, and in the order sent by each of `processes` transmit
// processes (packet n went to process (n-1) mod processes). Returns the
// numbers that arrived, in arrival order.
inline std::vector<std::int32_t> CheckArrivals(const std::vector<TArrival>& arrivals, const TPlan& plan,
                                               std::size_t processes = 1) {
  std::vector<std::int32_t> numbers;
  std::map<std::int32_t, int> times;
  std::map<std::size_t, std::int32_t> last_of;  // per transmit process
  for (const TArrival& a : arrivals) {
    EXPECT_EQ(a.sender, 1) << "packet " << a.number;
    if (a.number < 1 || static_cast<std::size_t>(a.number) > plan.Count()) {
      ADD_FAILURE() << "unknown packet " << a.number;
      continue;
    }
    EXPECT_EQ(a.size, plan.Size(a.number)) << "packet " << a.number;
    EXPECT_EQ(a.digest, plan.DigestOf(a.number)) << "packet " << a.number << " damaged";
    EXPECT_EQ(++times[a.number], 1) << "packet " << a.number << " delivered twice";
    std::int32_t& last = last_of[static_cast<std::size_t>(a.number - 1) % processes];
    EXPECT_GT(a.number, last) << "packet " << a.number << " out of order";
    last = a.number;
    numbers.push_back(a.number);
  }
  return numbers;
}

// gate_host with the library and `args`, its COM folder the side's.
inline std::unique_ptr<testing::TProgram> StartHost(const TGateSide& side, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {GATE_HOST_PATH, KESTREL_LIBRARY_PATH};
  if (side.windows != nullptr)
    argv = {side.windows->wine, side.windows->build + "/bin/gate_host.exe", side.windows->build + "/bin/Kestrel.dll"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.end(), {"--log", side.File("log")});
  auto host = std::make_unique<testing::TProgram>(argv, testing::TProgram::TEnv{{"KESTREL_COM_DIR", side.Folder()}});
  if (side.windows != nullptr) host->StopByInterrupt();  // Wine hands SIGINT over as Ctrl-C
  return host;
}

// Starts a listening gate_host on `side` and waits for its "ready". It says
// "got <number>" for each packet its core takes.
inline std::unique_ptr<testing::TProgram> StartListener(const TGateSide& side, int channels,
                                                       const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"listen", "--channels", std::to_string(channels), "--report", side.File("arrivals")};
  args.insert(args.end(), extra.begin(), extra.end());
  auto host = StartHost(side, args);
  // Listening starts once every channel's modem is initialised.
  const bool ready = host->WaitForLine("ready", 60000);
  EXPECT_TRUE(ready) << host->Output() << Tail(side.File("log"));
  return ready ? std::move(host) : nullptr;
}
// Starts a sending gate_host on `side` with `args`; its report and log go
// to the side's "outcomes" and "log".
inline std::unique_ptr<testing::TProgram> StartSender(const TGateSide& side, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"send", "--report", side.File("outcomes")};
  all.insert(all.end(), args.begin(), args.end());
  return StartHost(side, all);
}
// Waits for `sender`, which must end by itself within `timeout_ms` with
// code 0 (every packet settled); then stops `listener` (when given), which
// must exit with 0 too. Returns what the sender reported.
inline TSenderReport FinishSender(std::unique_ptr<testing::TProgram> sender, const TGateSide& side,
                                  std::uint32_t timeout_ms, testing::TProgram* listener = nullptr) {
  EXPECT_EQ(sender->Wait(timeout_ms), 0) << "every packet settled in time\n" << sender->Output() << Tail(side.File("log"));
  if (listener != nullptr) {
    EXPECT_EQ(listener->Stop(), 0);
  }
  // "<how> <number> <ms>" a settlement, "done <ms>" the end.
  TSenderReport r;
  std::ifstream in(side.File("outcomes"));
  std::string how;
  std::int32_t n = 0;
  for (std::uint32_t ms = 0; in >> how && how != "done";) {  // ms: when it was settled
    if (how == "stopped") {
      in >> r.stop_ms;
      continue;
    }
    if (!(in >> n >> ms)) break;
    ++(how == "ok" ? r.ok : how == "fail" ? r.fail : r.refused)[n];
  }
  return r;
}

}  // namespace kestrel::e2e
