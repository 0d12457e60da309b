// An in-memory stand-in for the gate beneath the framework: a "network" on
// which a client gate's exchanger Connect rings the server gate's listener,
// which serves the call exactly as a real gate's listener does (server
// protocol, exchange thread, AddProcess). Each connection is a duplex message
// pipe with fault injection. The gates' waits end when their manager's
// GateStopping is set, as a real gate's do.
#pragma once

#include <atomic>
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
#include "platform/Event.h"

namespace kestrel::framework_test {

using host::TGateManager;

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
  static std::atomic<int> LiveExchangers;
  static std::atomic<int> LiveListeners;

  bool Attach(TFakeListener* listener);
  void Detach(TFakeListener* listener);
  // Rings the listening gate; the new connection, or null.
  std::shared_ptr<TFakeConnection> Dial(TGateManager* caller);

 private:
  std::mutex mutex_;
  TFakeListener* listener_ = nullptr;
};

class TFakeConnection {
 public:
  TFakeConnection(TFakeNetwork& net, TFaults faults) : net_(net), faults_(std::move(faults)) {}
  bool Send(int side, const std::string& bytes, const TGateManager& sender);
  // Empty on time-out, break or stop.
  std::string Receive(int side, std::uint32_t timeout_ms, const TGateManager& receiver);
  void Break();

 private:
  // Waits until `ready` or the deadline, a break or the gate's stop; true when ready.
  template <typename Ready>
  bool WaitLocked(std::unique_lock<std::mutex>& lock, std::uint32_t timeout_ms, const TGateManager& gate,
                  Ready ready);

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
  TFakeExchanger(TGateManager* manager, TFakeNetwork& net, std::shared_ptr<TFakeConnection> answered);
  ~TFakeExchanger() override;

  bool Connect() override;
  bool DisConnect() override;
  bool Send(const std::string& data) override;
  std::string Receive() override;
  double GetStayOnLineTimeOut() override;
  std::int32_t GetRestoreConnAfterBreakTimeOut() override;
  void GetRestoreConnParams(double& timeout, std::int32_t& tries) override;

 private:
  TFakeNetwork& net_;
  std::shared_ptr<TFakeConnection> conn_;
  int side_;
};

class TFakeListener : public host::TListener {
 public:
  TFakeListener(TGateManager* manager, TFakeNetwork& net, const void* addr, std::int32_t size);
  ~TFakeListener() override;
  bool Listen() override;
  // Serves an answered call the way a gate's listener does.
  void Answer(std::shared_ptr<TFakeConnection> conn);

 private:
  TFakeNetwork& net_;
};

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
