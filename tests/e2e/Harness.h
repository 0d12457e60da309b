// What the end-to-end tests share: a simulated exchange whose modems sit on
// pseudo-terminals, grouped into the COM folders of the gate processes
// (each process finds its COMn as <folder>/comn through KESTREL_COM_DIR),
// the gate_host processes themselves, and the reports they write.
//
// Real time throughout: every wait has a generous deadline.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
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

// Starts gate_host with the library and `args`, its COM folder `com_dir`.
// With `capture`, its standard output is read with ReadLine.
std::unique_ptr<platform::TChildProcess> StartHost(const std::vector<std::string>& args, const std::string& com_dir,
                                                   bool capture);

// Starts a listening gate_host on `side` and waits for its "ready".
std::unique_ptr<platform::TChildProcess> StartListener(const TGateSide& side, int channels,
                                                       const std::vector<std::string>& extra = {});

// What a sending gate_host wrote: how often each packet was settled each way.
struct TSenderReport {
  std::map<std::int32_t, int> ok, fail, refused;
  std::map<std::int32_t, std::uint32_t> last_ms;  // when each was last settled
  bool done = false;
  std::uint32_t done_ms = 0;
  // How often each packet was settled, in any way.
  std::map<std::int32_t, int> Times() const;
  // Packets settled more than once, in any mix of ways.
  std::vector<std::int32_t> SettledTwice() const;
  std::size_t Settled() const { return Times().size(); }
};
TSenderReport ReadSenderReport(const std::string& path);

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

// The last `lines` lines of a file, for a failure message.
std::string Tail(const std::string& path, std::size_t lines = 40);

// Reads the listener's standard output (one "got <number>" line a packet)
// until `count` packets have arrived since the call or `timeout_ms` passed.
bool WaitForArrivals(platform::TChildProcess& listener, std::size_t count, std::uint32_t timeout_ms);

// Starts a sending gate_host on `side` with `args`; its report and log go
// to the side's "outcomes" and "log".
std::unique_ptr<platform::TChildProcess> StartSender(const TGateSide& side, const std::vector<std::string>& args);
// Waits for `sender`, which must end by itself within `timeout_ms` with
// code 0 (every packet settled); then stops `listener` (when given), which
// must exit with 0 too. Returns what the sender reported.
TSenderReport FinishSender(std::unique_ptr<platform::TChildProcess> sender, const TGateSide& side,
                           std::uint32_t timeout_ms, platform::TChildProcess* listener = nullptr);

}  // namespace kestrel::e2e
