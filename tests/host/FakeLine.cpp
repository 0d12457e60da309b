#include "tests/host/FakeLine.h"

#include <algorithm>
#include <chrono>

#include "host/Message.h"
#include "host/Protocol.h"

namespace kestrel::framework_test {

std::atomic<int> TFakeNetwork::LiveExchangers{0};
std::atomic<int> TFakeNetwork::LiveListeners{0};

namespace {

constexpr double kMsPerDay = 86400000.0;
// A real gate's waits look at GateStopping between short slices; so do ours.
constexpr std::uint32_t kSliceMs = 10;

}  // namespace

// ---- network ----

bool TFakeNetwork::Attach(TFakeListener* listener) {
  std::lock_guard lock(mutex_);
  if (listener_ != nullptr) return false;  // one listening gate at a time
  listener_ = listener;
  return true;
}

void TFakeNetwork::Detach(TFakeListener* listener) {
  std::lock_guard lock(mutex_);
  if (listener_ == listener) listener_ = nullptr;
}

std::shared_ptr<TFakeConnection> TFakeNetwork::Dial(TGateManager* caller) {
  DialGate.WaitFor(10000);
  if (caller->GateStopping.load()) return nullptr;
  if (RefuseConnects.load() > 0) {
    --RefuseConnects;
    return nullptr;
  }
  // The listener stays attached while it answers: its destructor waits here.
  std::lock_guard lock(mutex_);
  if (listener_ == nullptr) return nullptr;
  auto conn = std::make_shared<TFakeConnection>(*this, Faults);
  listener_->Answer(conn);
  ++Connects;
  return conn;
}

// ---- connection ----

template <typename Ready>
bool TFakeConnection::WaitLocked(std::unique_lock<std::mutex>& lock, std::uint32_t timeout_ms,
                                 const TGateManager& gate, Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (ready()) return true;
    if (broken_ || gate.GateStopping.load()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    cv_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                      std::chrono::milliseconds(kSliceMs)));
  }
}

bool TFakeConnection::Send(int side, const std::string& bytes, const TGateManager& sender) {
  std::unique_lock lock(mutex_);
  if (broken_) return false;
  if (faults_.BytesPerMs > 0) {
    // The line is busy for as long as the message takes to go out.
    const auto ms = static_cast<std::uint32_t>(bytes.size() / faults_.BytesPerMs);
    WaitLocked(lock, ms, sender, [] { return false; });
    if (broken_ || sender.GateStopping.load()) return false;
  }
  const int n = ++carried_;
  if (faults_.BreakAfter > 0 && n > faults_.BreakAfter) {
    broken_ = true;
    cv_.notify_all();
    return false;
  }
  if (side == 0 && !bytes.empty() && bytes[0] == 5) ++net_.Pings;
  if (side == 0 && !bytes.empty() && bytes[0] == 3) {
    ++net_.DataMessages;
    if (const auto msg = host::DecodeMessage(bytes))
      for (const host::TPart& part : msg->Parts) net_.DataBytes += part.Payload.size();
  }
  if (faults_.DropEvery > 0 && n % faults_.DropEvery == 0) return true;
  if (faults_.DropIf && faults_.DropIf(side, bytes)) return true;
  std::deque<std::string>& q = queue_[side];
  q.push_back(bytes);
  if (faults_.Alter) faults_.Alter(side, q.back());
  if (faults_.DuplicateEvery > 0 && n % faults_.DuplicateEvery == 0) q.push_back(q.back());
  cv_.notify_all();
  return true;
}

std::string TFakeConnection::Receive(int side, std::uint32_t timeout_ms, const TGateManager& receiver) {
  std::unique_lock lock(mutex_);
  std::deque<std::string>& q = queue_[1 - side];
  if (!WaitLocked(lock, timeout_ms, receiver, [&] { return !q.empty(); })) return {};
  std::string out = std::move(q.front());
  q.pop_front();
  return out;
}

void TFakeConnection::Break() {
  std::lock_guard lock(mutex_);
  broken_ = true;
  cv_.notify_all();
}

// ---- exchanger ----

TFakeExchanger::TFakeExchanger(TGateManager* manager, TFakeNetwork& net, std::shared_ptr<TFakeConnection> answered)
    : TExchanger(manager, nullptr, 0), net_(net), conn_(std::move(answered)), side_(conn_ ? 1 : 0) {
  ++TFakeNetwork::LiveExchangers;
}

TFakeExchanger::~TFakeExchanger() { --TFakeNetwork::LiveExchangers; }

bool TFakeExchanger::Connect() {
  conn_ = net_.Dial(Manager());
  return conn_ != nullptr;
}

bool TFakeExchanger::DisConnect() {
  ++net_.DisConnects;
  if (conn_) conn_->Break();
  conn_.reset();
  return true;
}

bool TFakeExchanger::Send(const std::string& data) { return conn_ && conn_->Send(side_, data, *Manager()); }

std::string TFakeExchanger::Receive() { return conn_ ? conn_->Receive(side_, net_.Times.DataWaitMs, *Manager()) : ""; }

double TFakeExchanger::GetStayOnLineTimeOut() { return net_.Times.StayOnLineMs / kMsPerDay; }

std::int32_t TFakeExchanger::GetRestoreConnAfterBreakTimeOut() { return net_.Times.RestoreWindowMs; }

void TFakeExchanger::GetRestoreConnParams(double& timeout, std::int32_t& tries) {
  timeout = net_.Times.RestorePauseMs / kMsPerDay;
  tries = net_.Times.RestoreTries;
}

// ---- listener ----

TFakeListener::TFakeListener(TGateManager* manager, TFakeNetwork& net, const void* addr, std::int32_t size)
    : TListener(manager, addr, size), net_(net) {
  ++TFakeNetwork::LiveListeners;
}

TFakeListener::~TFakeListener() {
  net_.Detach(this);
  --TFakeNetwork::LiveListeners;
}

bool TFakeListener::Listen() { return net_.Attach(this); }

void TFakeListener::Answer(std::shared_ptr<TFakeConnection> conn) {
  using namespace host;
  auto* exchanger = new TFakeExchanger(Manager, net_, std::move(conn));
  auto* protocol = new TProtocol(Manager, TWhoIsIt::Server, SelfAddrPtr(), SelfAddrSize);
  protocol->Exchanger = exchanger;
  protocol->InitServer(1, 30.0 / 86400.0, 2);
  auto* thread = new TExchangeThread(protocol, Manager, 0);
  Manager->ProcessList->AddProcess(thread, TKindOfProcess::Exchange);
}

}  // namespace kestrel::framework_test
