#include "tests/e2e/Harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <sstream>

#include "platform/Tick.h"
#include "tests/e2e/Payload.h"

namespace kestrel::e2e {

using platform::TChildProcess;

sim::TExchangeOptions QuickExchange(std::uint32_t rate) {
  sim::TExchangeOptions o = testing::QuickExchange(rate);
  o.ring_off_ms = 4000;
  return o;
}

bool TGateSide::AddCom(testing::TSimRig& rig, const sim::TModemSetup& setup) {
  const sim::TModemId id = rig.OnPty(dir / ("com" + std::to_string(modems.size() + 1)), setup);
  if (id == sim::kNoModem) return false;
  modems.push_back(id);
  return true;
}

// ---- Processes ----

std::unique_ptr<TChildProcess> StartHost(const std::vector<std::string>& args, const std::string& com_dir,
                                         bool capture) {
  TChildProcess::TStartInfo desc;
  desc.argv = {GATE_HOST_PATH, KESTREL_LIBRARY_PATH};
  desc.argv.insert(desc.argv.end(), args.begin(), args.end());
  desc.env = {{"KESTREL_COM_DIR", com_dir}};
  desc.capture_output = capture;
  std::string error;
  auto child = TChildProcess::Start(desc, error);
  EXPECT_NE(child, nullptr) << error;
  return child;
}

std::unique_ptr<TChildProcess> StartListener(const TGateSide& side, int channels,
                                             const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"listen",     "--channels", std::to_string(channels), "--report",
                                   side.File("arrivals"), "--log", side.File("log")};
  args.insert(args.end(), extra.begin(), extra.end());
  auto child = StartHost(args, side.Folder(), true);
  if (!child) return nullptr;
  std::string said;
  // Listening starts once every channel's modem is initialised.
  const TChildProcess::TRead r = child->ReadLine(said, 60000);
  EXPECT_EQ(r, TChildProcess::TRead::Line);
  EXPECT_EQ(said, "ready") << Tail(side.File("log"));
  if (r != TChildProcess::TRead::Line || said != "ready") return nullptr;
  return child;
}

bool WaitForArrivals(TChildProcess& listener, std::size_t count, std::uint32_t timeout_ms) {
  const std::uint32_t start = platform::GetTickCount();
  for (std::size_t seen = 0; seen < count;) {
    const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
    if (left == 0) return false;
    std::string line;
    const TChildProcess::TRead r = listener.ReadLine(line, left);
    if (r == TChildProcess::TRead::End) return false;
    if (r == TChildProcess::TRead::Line && line.rfind("got ", 0) == 0) ++seen;
  }
  return true;
}

std::unique_ptr<TChildProcess> StartSender(const TGateSide& side, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"send", "--report", side.File("outcomes"), "--log", side.File("log")};
  all.insert(all.end(), args.begin(), args.end());
  return StartHost(all, side.Folder(), false);
}

TSenderReport FinishSender(std::unique_ptr<TChildProcess> sender, const TGateSide& side, std::uint32_t timeout_ms,
                           TChildProcess* listener) {
  const bool ended = sender && sender->Wait(timeout_ms);
  EXPECT_TRUE(ended) << Tail(side.File("log"));
  EXPECT_EQ(ended ? sender->ExitCode() : -1, 0) << "every packet settled" << Tail(side.File("log"));
  if (listener != nullptr) {
    listener->RequestStop();
    EXPECT_TRUE(listener->Wait(30000));
    EXPECT_EQ(listener->ExitCode(), 0);
  }
  return ReadSenderReport(side.File("outcomes"));
}

// ---- Reports ----

std::map<std::int32_t, int> TSenderReport::Times() const {
  std::map<std::int32_t, int> times;
  for (const auto* m : {&ok, &fail, &refused})
    for (const auto& [n, k] : *m) times[n] += k;
  return times;
}

std::vector<std::int32_t> TSenderReport::SettledTwice() const {
  std::vector<std::int32_t> out;
  for (const auto& [n, k] : Times())
    if (k > 1) out.push_back(n);
  return out;
}

TSenderReport ReadSenderReport(const std::string& path) {
  TSenderReport r;
  std::ifstream in(path);
  std::string what;
  while (in >> what) {
    if (what == "done") {
      r.done = static_cast<bool>(in >> r.done_ms);
      continue;
    }
    std::int32_t n = 0;
    std::uint32_t ms = 0;
    if (!(in >> n >> ms)) break;
    if (what == "ok") ++r.ok[n];
    if (what == "fail") ++r.fail[n];
    if (what == "refused") ++r.refused[n];
    r.last_ms[n] = ms;
  }
  return r;
}

std::vector<TArrival> ReadArrivals(const std::string& path) {
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

TPlan::TPlan(const std::string& text) : text(text), sizes(PlanSizes(text)) {}

std::uint64_t TPlan::DigestOf(std::int32_t n) const { return Digest(PacketBytes(n, Size(n))); }

std::vector<std::int32_t> CheckArrivals(const std::vector<TArrival>& arrivals, const TPlan& plan,
                                        std::size_t processes) {
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

std::string Tail(const std::string& path, std::size_t lines) {
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

}  // namespace kestrel::e2e
