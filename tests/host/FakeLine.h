// An in-memory stand-in for the gate beneath the framework: a "network" on
// which a client gate's exchanger Connect rings the server gate's listener,
// which serves the call exactly as a real gate's listener does (server
// protocol, exchange thread, AddProcess). Each connection is a duplex message
// pipe with fault injection. The gates' waits end when their manager's
// GateStopping is set, as a real gate's do.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "host/Exchanger.h"
#include "host/GateManager.h"
#include "host/Listener.h"
#include "host/Message.h"
#include "host/Protocol.h"
#include "platform/Event.h"

namespace kestrel::framework_test {

using host::TGateManager;

inline constexpr double kMsPerDay = 86400000.0;

// Faults of every connection made while they are set.
struct TFaults {
  int DropEvery = 0;           // every Nth message of a connection is lost (0: none)
  int DuplicateEvery = 0;      // every Nth message arrives twice (0: none)
  int BreakAfter = 0;          // the connection breaks when it would carry message N+1 (0: never)
  std::uint32_t BytesPerMs = 0;  // line speed; 0 is instantaneous
  // Drops a message when it answers true (side 0 client→server, 1 back).
  std::function<bool(int side, const std::string& bytes)> DropIf;
  // May change a message on its way (after DropIf let it pass).
  std::function<void(int side, std::string& bytes)> Alter;
};

// Time-outs and restore parameters the fake exchangers report, in ms.
struct TLineTimes {
  std::uint32_t DataWaitMs = 2000;
  std::uint32_t StayOnLineMs = 3000;
  std::uint32_t RestorePauseMs = 10;
  std::int32_t RestoreTries = 5;
  std::int32_t RestoreWindowMs = 3000;
};

class TFakeConnection;
class TFakeListener;

class TFakeNetwork {
 public:
  TFaults Faults;
  TLineTimes Times;
  std::atomic<int> RefuseConnects{0};
  // Dialling waits (up to 10 s) while this is reset: lets a test queue
  // packets before the line exists.
  platform::TEvent DialGate{true};

  // Counters, for the tests.
  std::atomic<int> Connects{0};
  std::atomic<int> DisConnects{0};
  std::atomic<int> Pings{0};
  std::atomic<std::uint64_t> DataBytes{0};  // fragment bytes the clients sent
  std::atomic<int> DataMessages{0};         // DATA messages the clients sent
  static inline std::atomic<int> LiveExchangers{0};
  static inline std::atomic<int> LiveListeners{0};

  bool Attach(TFakeListener* listener) {
    std::lock_guard lock(mutex_);
    if (listener_ != nullptr) return false;  // one listening gate at a time
    listener_ = listener;
    return true;
  }
  void Detach(TFakeListener* listener) {
    std::lock_guard lock(mutex_);
    if (listener_ == listener) listener_ = nullptr;
  }
  // Rings the listening gate; the new connection, or null.
  std::shared_ptr<TFakeConnection> Dial(TGateManager* caller);

 private:
  std::mutex mutex_;
  TFakeListener* listener_ = nullptr;
};

class TFakeConnection {
 public:
  TFakeConnection(TFakeNetwork& net, TFaults faults) : net_(net), faults_(std::move(faults)) {}

  bool Send(int side, const std::string& bytes, const TGateManager& sender) {
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

  // Empty on time-out, break or stop.
  std::string Receive(int side, std::uint32_t timeout_ms, const TGateManager& receiver) {
    std::unique_lock lock(mutex_);
    std::deque<std::string>& q = queue_[1 - side];
    if (!WaitLocked(lock, timeout_ms, receiver, [&] { return !q.empty(); })) return {};
    std::string out = std::move(q.front());
    q.pop_front();
    return out;
  }

  void Break() {
    std::lock_guard lock(mutex_);
    broken_ = true;
    cv_.notify_all();
  }

 private:
  // Waits until `ready` or the deadline, a break or the gate's stop; true
  // when ready. A real gate's waits look at GateStopping between short
  // slices; so do these.
  template <typename Ready>
  bool WaitLocked(std::unique_lock<std::mutex>& lock, std::uint32_t timeout_ms, const TGateManager& gate,
                  Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      if (ready()) return true;
      if (broken_ || gate.GateStopping.load()) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      cv_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(10)));
    }
  }

  TFakeNetwork& net_;
  TFaults faults_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::string> queue_[2];  // [0] to the server, [1] to the client
  int carried_ = 0;
  bool broken_ = false;
};

class TFakeExchanger : public host::TExchanger {
 public:
  TFakeExchanger(TGateManager* manager, TFakeNetwork& net, std::shared_ptr<TFakeConnection> answered)
      : TExchanger(manager, nullptr, 0), net_(net), conn_(std::move(answered)), side_(conn_ ? 1 : 0) {
    ++TFakeNetwork::LiveExchangers;
  }
  ~TFakeExchanger() override { --TFakeNetwork::LiveExchangers; }

  bool Connect() override {
    conn_ = net_.Dial(Manager());
    return conn_ != nullptr;
  }
  bool DisConnect() override {
    ++net_.DisConnects;
    if (conn_) conn_->Break();
    conn_.reset();
    return true;
  }
  bool Send(const std::string& data) override { return conn_ && conn_->Send(side_, data, *Manager()); }
  std::string Receive() override { return conn_ ? conn_->Receive(side_, net_.Times.DataWaitMs, *Manager()) : ""; }
  double GetStayOnLineTimeOut() override { return net_.Times.StayOnLineMs / kMsPerDay; }
  std::int32_t GetRestoreConnAfterBreakTimeOut() override { return net_.Times.RestoreWindowMs; }
  void GetRestoreConnParams(double& timeout, std::int32_t& tries) override {
    timeout = net_.Times.RestorePauseMs / kMsPerDay;
    tries = net_.Times.RestoreTries;
  }

 private:
  TFakeNetwork& net_;
  std::shared_ptr<TFakeConnection> conn_;
  int side_;
};

class TFakeListener : public host::TListener {
 public:
  TFakeListener(TGateManager* manager, TFakeNetwork& net, const void* addr, std::int32_t size)
      : TListener(manager, addr, size), net_(net) {
    ++TFakeNetwork::LiveListeners;
  }
  ~TFakeListener() override {
    net_.Detach(this);
    --TFakeNetwork::LiveListeners;
  }
  bool Listen() override { return net_.Attach(this); }

  // Serves an answered call the way a gate's listener does.
  void Answer(std::shared_ptr<TFakeConnection> conn) {
    using namespace host;
    auto* exchanger = new TFakeExchanger(Manager, net_, std::move(conn));
    auto* protocol = new TProtocol(Manager, TWhoIsIt::Server, SelfAddrPtr(), SelfAddrSize);
    protocol->Exchanger = exchanger;
    protocol->InitServer(1, 30.0 / 86400.0, 2);
    auto* thread = new TExchangeThread(protocol, Manager, 0);
    Manager->ProcessList->AddProcess(thread, TKindOfProcess::Exchange);
  }

 private:
  TFakeNetwork& net_;
};

inline std::shared_ptr<TFakeConnection> TFakeNetwork::Dial(TGateManager* caller) {
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

// A minimal gate: fakes for its exchangers and listeners, logging on,
// progress shown with a caption looked up through the core.
class TTestGate : public TGateManager {
 public:
  explicit TTestGate(TFakeNetwork& net) : net_(net) {}
  ~TTestGate() override { (void)StopGate(true); }

  host::TExchanger* CreateExchanger(const void*, std::int32_t) override {
    return new TFakeExchanger(this, net_, nullptr);
  }
  host::TListener* CreateListener(const void* addr, std::int32_t size, std::int32_t) override {
    return new TFakeListener(this, net_, addr, size);
  }
  bool SetNeedLog() override { return NeedLog.load(); }
  bool GetToShowProgress() override { return true; }
  std::string GetProgressCaption() override { return GetLocalizResourse("Caption", "Progress "); }

  std::atomic<bool> NeedLog{true};

 private:
  TFakeNetwork& net_;
};

}  // namespace kestrel::framework_test
