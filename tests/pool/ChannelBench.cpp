#include "tests/pool/ChannelBench.h"

#include <algorithm>
#include <atomic>

#include "gate/common/GateLog.h"
#include "platform/PortNames.h"
#include "platform/Tick.h"
#include "pool/MdmPool.h"
#include "session/MdmMngr.h"
#include "tests/sim/QuickExchange.h"

namespace kestrel::testing {

// ---- TLoggingCore ----

TLoggingCore::TLoggingCore() {
  gate::ResetLogState();
  gate::LogState().NeedLog = true;
}

TLoggingCore::~TLoggingCore() { gate::ResetLogState(); }

// ---- TTestAccess ----

TTestAccess::TTestAccess() : previous_(gate::SetGateAccess(this)) {}
TTestAccess::~TTestAccess() { gate::SetGateAccess(previous_); }

void TTestAccess::Add(const pool::TMdmPoolManager* pool) {
  std::lock_guard lock(mutex_);
  pools_.push_back(pool);
}

void TTestAccess::Add(const session::TMdmGateManager* manager) {
  std::lock_guard lock(mutex_);
  managers_.push_back(manager);
}

void TTestAccess::Remove(const session::TMdmGateManager* manager) {
  std::lock_guard lock(mutex_);
  std::erase(managers_, manager);
}

bool TTestAccess::GateStopping() const {
  std::lock_guard lock(mutex_);
  return std::any_of(managers_.begin(), managers_.end(),
                     [](const session::TMdmGateManager* m) { return m->GateStopping.load(); });
}

std::int32_t TTestAccess::PoolIndexOf(const void* channel) const {
  std::lock_guard lock(mutex_);
  for (const pool::TMdmPoolManager* p : pools_)
    if (const std::int32_t i = p->IndexOf(channel); i >= 0) return i;
  for (const session::TMdmGateManager* m : managers_)
    if (const std::int32_t i = m->PoolIndexOf(channel); i >= 0) return i;
  return -1;
}

// ---- TModemBench ----

namespace {
sim::TExchangeOptions QuickExchange() {
  sim::TExchangeOptions o = sim::testing::QuickExchange();
  o.unknown_number = sim::TExchangeOptions::TUnknownNumber::kRingNoAnswer;
  return o;
}
}  // namespace

TModemBench::TModemBench() : runner_(std::make_unique<sim::TExchangeRunner>(QuickExchange())) { runner_->Start(); }

TModemBench::~TModemBench() {
  for (platform::TPortHandle t : terminals_) (void)platform::PortClose(t);
  runner_.reset();
  for (int p : ports_) platform::SetComPortTarget(p, "");
}

std::string TModemBench::NewLineName() {
  static std::atomic<int> counter{0};
  return "bench-" + std::to_string(platform::GetTickCount()) + "-" + std::to_string(++counter);
}

sim::TModemId TModemBench::OnCom(int port, const std::string& number, const sim::TModemSetup& extra) {
  sim::TModemSetup setup = extra;
  setup.number = number;
  const std::string line = NewLineName();
  const sim::TModemId id = runner_->AddSimModem(line, setup);
  platform::SetComPortTarget(port, std::string(platform::kSimPortPrefix) + line);
  ports_.push_back(port);
  return id;
}

void TModemBench::Missing(int port) {
  platform::SetComPortTarget(port, std::string(platform::kSimPortPrefix) + NewLineName());
  ports_.push_back(port);
}

platform::TPortHandle TModemBench::Terminal(const std::string& number) {
  sim::TModemSetup setup;
  setup.number = number;
  const std::string line = NewLineName();
  if (runner_->AddSimModem(line, setup) == sim::kNoModem) return platform::kInvalidPortHandle;
  const platform::TPortHandle port = platform::PortOpen(std::string(platform::kSimPortPrefix) + line);
  if (port == platform::kInvalidPortHandle) return port;
  terminals_.push_back(port);
  (void)platform::PortSetState(port, platform::TPortDcb{});  // raises DTR
  return port;
}

bool TModemBench::Type(platform::TPortHandle terminal, const std::string& text) {
  std::uint32_t done = 0;
  return platform::PortWrite(terminal, text.data(), static_cast<std::uint32_t>(text.size()), done) &&
         done == text.size();
}

std::string TModemBench::ReadUntil(platform::TPortHandle terminal, const std::string& needle,
                                   std::uint32_t timeout_ms) {
  std::string got;
  const std::uint32_t start = platform::GetTickCount();
  while (got.find(needle) == std::string::npos) {
    const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
    if (left == 0) break;
    if (platform::PortWaitReceive(terminal, left) != platform::TPortWait::kReady) continue;
    char buf[256];
    std::uint32_t n = 0;
    if (!platform::PortRead(terminal, buf, sizeof buf, n)) break;
    got.append(buf, n);
  }
  return got;
}

void TModemBench::Close(platform::TPortHandle terminal) {
  if (std::erase(terminals_, terminal) > 0) (void)platform::PortClose(terminal);
}

sim::TModemId TModemBench::Answering(const std::string& number) {
  const platform::TPortHandle port = Terminal(number);
  if (port == platform::kInvalidPortHandle) return sim::kNoModem;
  // Until the modem said OK: the next call is answered by itself.
  if (!Type(port, "ATE0S0=1\r") || ReadUntil(port, "OK", 3000).find("OK") == std::string::npos) return sim::kNoModem;
  sim::TModemId id = sim::kNoModem;
  runner_->Configure([&](sim::TExchange& exchange, sim::TSimTime) { id = exchange.Find(number); });
  return id;
}

}  // namespace kestrel::testing
