#include "tests/e2e/Harness.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>

#include "tests/e2e/Payload.h"

namespace kestrel::e2e {

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

// gate_host with the library and `args`, its COM folder the side's.
std::unique_ptr<testing::TProgram> StartHost(const TGateSide& side, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {GATE_HOST_PATH, KESTREL_LIBRARY_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.end(), {"--log", side.File("log")});
  return std::make_unique<testing::TProgram>(argv, testing::TProgram::TEnv{{"KESTREL_COM_DIR", side.Folder()}});
}

std::unique_ptr<testing::TProgram> StartListener(const TGateSide& side, int channels) {
  auto host = StartHost(side, {"listen", "--channels", std::to_string(channels), "--report", side.File("arrivals")});
  // Listening starts once every channel's modem is initialised.
  const bool ready = host->WaitForLine("ready", 60000);
  EXPECT_TRUE(ready) << host->Output() << Tail(side.File("log"));
  return ready ? std::move(host) : nullptr;
}

std::unique_ptr<testing::TProgram> StartSender(const TGateSide& side, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"send", "--report", side.File("outcomes")};
  all.insert(all.end(), args.begin(), args.end());
  return StartHost(side, all);
}

TSenderReport FinishSender(std::unique_ptr<testing::TProgram> sender, const TGateSide& side, std::uint32_t timeout_ms,
                           testing::TProgram* listener) {
  EXPECT_EQ(sender->Wait(timeout_ms), 0) << "every packet settled in time" << Tail(side.File("log"));
  if (listener != nullptr) {
    EXPECT_EQ(listener->Stop(), 0);
  }
  // "<how> <number> <ms>" a settlement, "done <ms>" the end.
  TSenderReport r;
  std::ifstream in(side.File("outcomes"));
  std::string how;
  std::int32_t n = 0;
  for (std::uint32_t ms = 0; in >> how && how != "done" && in >> n >> ms;)
    ++(how == "ok" ? r.ok : how == "fail" ? r.fail : r.refused)[n];
  return r;
}

std::vector<std::int32_t> TSenderReport::SettledTwice() const {
  std::map<std::int32_t, int> times;
  for (const auto* m : {&ok, &fail, &refused})
    for (const auto& [n, k] : *m) times[n] += k;
  std::vector<std::int32_t> out;
  for (const auto& [n, k] : times)
    if (k > 1) out.push_back(n);
  return out;
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
