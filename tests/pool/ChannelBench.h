// What the pool and session tests share: a stand-in core with the gate's log
// switched on, builders of address and settings blocks, an accessor that
// answers from the pools and managers under test, and simulated modems on
// in-process sim lines that COM numbers are pointed at.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gate/common/GateAccess.h"
#include "platform/Port.h"
#include "sim/ExchangeRunner.h"
#include "tests/pool/Blocks.h"
#include "tests/pool/CoreSpy.h"

namespace kestrel::pool {
class TMdmPoolManager;
}
namespace kestrel::session {
class TMdmGateManager;
}

namespace kestrel::testing {

// The core of a test that links the gate's parts: the gate's log is switched
// on for its lifetime (and put back to its load-time state afterwards).
class TLoggingCore : public TCoreSpy {
 public:
  TLoggingCore();
  ~TLoggingCore();
};

// Answers the modem layer from the pools and managers of a test. Installed
// for its lifetime.
class TTestAccess final : public gate::IGateAccess {
 public:
  TTestAccess();
  ~TTestAccess() override;
  void Add(const pool::TMdmPoolManager* pool);
  void Add(const session::TMdmGateManager* manager);
  void Remove(const session::TMdmGateManager* manager);

  bool HasManager() const override { return true; }
  bool GateStopping() const override;
  std::int32_t PoolIndexOf(const void* channel) const override;

 private:
  mutable std::mutex mutex_;
  std::vector<const pool::TMdmPoolManager*> pools_;
  std::vector<const session::TMdmGateManager*> managers_;
  const gate::IGateAccess* previous_;
};

// ---- Modems ----

// A telephone exchange of simulated modems with quick timers, running for the
// bench's lifetime, and the COM numbers it points at their sim lines.
class TModemBench {
 public:
  TModemBench();
  ~TModemBench();
  TModemBench(const TModemBench&) = delete;
  TModemBench& operator=(const TModemBench&) = delete;

  // A modem numbered `number` that the gate reaches as COM `port`.
  sim::TModemId OnCom(int port, const std::string& number, const sim::TModemSetup& extra = {});
  // Points COM `port` at a sim line nobody made: the port cannot be opened.
  void Missing(int port);
  // A modem numbered `number` whose terminal switched automatic answering on.
  sim::TModemId Answering(const std::string& number);
  // A modem numbered `number` and its terminal (open, DTR on), which the
  // test drives with Type and ReadUntil, and Close (DTR drops).
  platform::TPortHandle Terminal(const std::string& number);
  static bool Type(platform::TPortHandle terminal, const std::string& text);
  static std::string ReadUntil(platform::TPortHandle terminal, const std::string& needle, std::uint32_t timeout_ms);
  void Close(platform::TPortHandle terminal);

  sim::TExchangeRunner& Runner() { return *runner_; }

 private:
  std::string NewLineName();

  std::unique_ptr<sim::TExchangeRunner> runner_;
  std::vector<int> ports_;
  std::vector<platform::TPortHandle> terminals_;
};

}  // namespace kestrel::testing
