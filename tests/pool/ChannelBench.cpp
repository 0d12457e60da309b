#include "tests/pool/ChannelBench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "gate/GateLog.h"
#include "heron.h"
#include "platform/PortNames.h"
#include "platform/Tick.h"
#include "pool/MdmPool.h"
#include "session/MdmMngr.h"

namespace kestrel::testing {

// ---- TCoreSpy ----

TCoreSpy::TCoreSpy() {
  gate::ResetLogState();
  gate::LogState().NeedLog = true;
  HeronSetReadGateSettings(&OnRead, this);
  HeronSetGateInfo(&OnInfo, this);
  HeronSetRecvFromGate(&OnRecvFromGate, this);
  HeronSetRecvPacketFromGate(&OnPacket, this);
  HeronSetPacketDeliveredFromGate(&OnDelivered, this);
}

TCoreSpy::~TCoreSpy() {
  HeronSetReadGateSettings(nullptr, nullptr);
  HeronSetGateInfo(nullptr, nullptr);
  HeronSetRecvFromGate(nullptr, nullptr);
  HeronSetRecvPacketFromGate(nullptr, nullptr);
  HeronSetPacketDeliveredFromGate(nullptr, nullptr);
  gate::ResetLogState();
}

void TCoreSpy::Changed() { changed_.notify_all(); }

void TCoreSpy::StoreSettings(std::int16_t code, const std::string& block) {
  std::lock_guard lock(mutex_);
  blocks_[code] = block;
}

int TCoreSpy::SettingsReads() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

const void* TCoreSpy::OnRead(void* ctx, std::int16_t code, std::int32_t* size) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  std::lock_guard lock(self->mutex_);
  ++self->reads_;
  *size = 0;
  if (auto it = self->blocks_.find(code); it != self->blocks_.end()) {
    *size = static_cast<std::int32_t>(it->second.size());
    return it->second.data();
  }
  return nullptr;
}

KBool TCoreSpy::OnInfo(void* ctx, std::int32_t kind, std::int16_t, const char* text, const char* details) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  std::string line = text != nullptr ? text : "";
  // "[$XXXXXXXX] " names the thread; the tests look at what follows.
  if (line.size() >= 12 && line.compare(0, 2, "[$") == 0 && line[10] == ']') line.erase(0, 12);
  {
    std::lock_guard lock(self->mutex_);
    self->lines_.push_back({kind, std::move(line), details != nullptr ? details : ""});
  }
  self->Changed();
  return 1;
}

KBool TCoreSpy::OnRecvFromGate(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  bool answer;
  {
    std::lock_guard lock(self->mutex_);
    if (code == -10 && param == -1 && ref != nullptr) self->failed_.push_back(*ref);
    answer = self->recv_from_gate_answer_;
  }
  self->Changed();
  return answer ? 1 : 0;
}

KBool TCoreSpy::OnPacket(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  {
    std::lock_guard lock(self->mutex_);
    self->received_.push_back(
        {sender, *ref, size > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : ""});
  }
  self->Changed();
  return 1;
}

KBool TCoreSpy::OnDelivered(void* ctx, KHandle, const TRefPack* ref) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  {
    std::lock_guard lock(self->mutex_);
    self->confirmed_.push_back(*ref);
  }
  self->Changed();
  return 1;
}

std::vector<TCoreLine> TCoreSpy::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<TCoreLine> TCoreSpy::LinesWith(std::string_view part) const {
  std::vector<TCoreLine> out;
  for (const TCoreLine& l : Lines())
    if (l.kind == 2 && l.text.find(part) != std::string::npos) out.push_back(l);
  return out;
}

std::vector<TCoreLine> TCoreSpy::Errors() const {
  std::vector<TCoreLine> out;
  for (const TCoreLine& l : Lines())
    if (l.kind == 1) out.push_back(l);
  return out;
}

void TCoreSpy::ClearLines() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

std::vector<TCorePacket> TCoreSpy::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<TRefPack> TCoreSpy::Failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

std::vector<TRefPack> TCoreSpy::Confirmed() const {
  std::lock_guard lock(mutex_);
  return confirmed_;
}

void TCoreSpy::SetRecvFromGateAnswer(bool answer) {
  std::lock_guard lock(mutex_);
  recv_from_gate_answer_ = answer;
}

bool TCoreSpy::WaitUntil(const std::function<bool(const TCoreSpy&)>& done, std::uint32_t timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done(*this)) return true;
    std::unique_lock lock(mutex_);
    // Woken by every change; the periodic look covers conditions that do not
    // come from the core (channel states).
    if (changed_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      return done(*this);
    }
  }
}

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

// ---- Blocks ----

store::TMdmAddress QuickAddress(std::initializer_list<int> ports) {
  store::TMdmAddress a = store::DefaultAddress();
  a.DataWaitTimeOut = store::MsToTimeSpan(10000);
  a.RestoreConnTimeOut = store::MsToTimeSpan(1000);
  a.DialTimeOut = store::MsToTimeSpan(10000);
  a.DialPhoneType = gate::TDialType::dtDialTone;
  for (int p : ports) a.UseComPorts[p - 1] = 1;
  return a;
}

std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones) {
  std::string block(reinterpret_cast<const char*>(&addr), sizeof addr);
  return block + store::EncodePhones(phones);
}

std::string OwnBlock(const store::TMdmAddress& addr) {
  return std::string(reinterpret_cast<const char*>(&addr), sizeof addr);
}

store::TMdmChannelSettings ChannelOn(int port, const std::string& init) {
  store::TMdmChannelSettings c = store::DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  c.BaudRate = gate::TBaudRate::br115200;
  (void)store::SetShortText(c.InitString, init);
  (void)store::SetShortText(c.Alias, "line" + std::to_string(port));
  return c;
}

std::string SettingsBlock(const std::vector<store::TMdmChannelSettings>& channels, bool show_progress) {
  store::TMdmGateSettings g = store::DefaultGateSettings();
  g.ToShowProgress = show_progress ? 1 : 0;
  return std::string(reinterpret_cast<const char*>(&g), sizeof g) + store::EncodeChannels(channels);
}

// ---- TModemBench ----

namespace {
sim::TExchangeOptions QuickExchange() {
  sim::TExchangeOptions o;
  o.dial_ms = 20;
  o.handshake_ms = 30;
  o.latency_ms = 5;
  o.ring_on_ms = 200;
  o.ring_off_ms = 300;
  o.rate = 115200;
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

sim::TModemId TModemBench::Unanswered(const std::string& number) {
  sim::TModemSetup setup;
  setup.number = number;
  return runner_->AddModem(setup, nullptr);
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
