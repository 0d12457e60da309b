// What the end-to-end tests share: the COM folders of the gate processes
// (each process finds its COMn as <folder>/comn through KESTREL_COM_DIR, a
// pseudo-terminal of the kit's simulated exchange), the gate_host processes
// themselves, and the reports they write.
//
// Real time throughout: every wait has a generous deadline.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/kit/Program.h"
#include "tests/kit/SimRig.h"
#include "tests/kit/TempDir.h"

namespace kestrel::e2e {

// The kit's quick exchange at `rate` bit/s, its rings four seconds apart as
// a real line rings.
sim::TExchangeOptions QuickExchange(std::uint32_t rate);

// One gate process's COM folder.
struct TGateSide {
  testing::TTempDir dir;
  std::vector<sim::TModemId> modems;  // COM1, COM2, ... in order
  std::string Folder() const { return dir.Path().string(); }
  std::string File(const std::string& name) const { return dir / name; }
  // Gives the side its next COM port: a modem of `rig` on a pseudo-terminal.
  bool AddCom(testing::TSimRig& rig, const sim::TModemSetup& setup);
};

// What a sending gate_host wrote: how often each packet was settled each way.
struct TSenderReport {
  std::map<std::int32_t, int> ok, fail, refused;
  // Packets settled more than once, in any mix of ways.
  std::vector<std::int32_t> SettledTwice() const;
};

// One packet as the listening gate_host's core received it.
struct TArrival {
  std::int32_t sender = 0;
  std::int32_t number = 0;
  std::size_t size = 0;
  std::uint64_t digest = 0;
};
std::vector<TArrival> ReadArrivals(const std::string& path);

// The packets of a plan (Payload.h) by number, as the sender makes them.
struct TPlan {
  explicit TPlan(const std::string& text);
  std::size_t Count() const { return sizes.size(); }
  std::size_t Size(std::int32_t n) const { return sizes[static_cast<std::size_t>(n - 1)]; }
  std::uint64_t DigestOf(std::int32_t n) const;
  std::string text;
  std::vector<std::size_t> sizes;
};

// Checks what arrived against what was sent, with test failures: every
// arrival a packet of the plan, intact, from the sending core (client id 1),
// none twice, and in the order sent by each of `processes` transmit
// processes (packet n went to process (n-1) mod processes). Returns the
// numbers that arrived, in arrival order.
std::vector<std::int32_t> CheckArrivals(const std::vector<TArrival>& arrivals, const TPlan& plan,
                                        std::size_t processes = 1);

// Starts a listening gate_host on `side` and waits for its "ready". It says
// "got <number>" for each packet its core takes.
std::unique_ptr<testing::TProgram> StartListener(const TGateSide& side, int channels);
// Starts a sending gate_host on `side` with `args`; its report and log go
// to the side's "outcomes" and "log".
std::unique_ptr<testing::TProgram> StartSender(const TGateSide& side, const std::vector<std::string>& args);
// Waits for `sender`, which must end by itself within `timeout_ms` with
// code 0 (every packet settled); then stops `listener` (when given), which
// must exit with 0 too. Returns what the sender reported.
TSenderReport FinishSender(std::unique_ptr<testing::TProgram> sender, const TGateSide& side, std::uint32_t timeout_ms,
                           testing::TProgram* listener = nullptr);

// The last `lines` lines of a file, for a failure message.
std::string Tail(const std::string& path, std::size_t lines = 40);

}  // namespace kestrel::e2e
