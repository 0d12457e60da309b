// What the pool and session tests share: a stand-in core that records what
// the gate tells it, builders of address and settings blocks, an accessor
// that answers from the pools and managers under test, and simulated modems
// on in-process sim lines that COM numbers are pointed at.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gate/GateAccess.h"
#include "kestrel/kestrel.h"
#include "platform/Port.h"
#include "sim/ExchangeRunner.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace kestrel::pool {
class TMdmPoolManager;
}
namespace kestrel::session {
class TMdmGateManager;
}

namespace kestrel::testing {

// One call of the core's GateInfo: kind 1 error report, 2 log line. `text`
// is the line without its "[$<thread>] " prefix.
struct TCoreLine {
  std::int32_t kind;
  std::string text;
  std::string details;
};

struct TCorePacket {
  std::int32_t sender;
  TRefPack ref;
  std::string data;
};

// Installs itself as the core's handlers (heron.h) for its lifetime, and
// switches the gate's log on. Thread-safe.
class TCoreSpy {
 public:
  TCoreSpy();
  ~TCoreSpy();
  TCoreSpy(const TCoreSpy&) = delete;
  TCoreSpy& operator=(const TCoreSpy&) = delete;

  // What ReadGateSettings answers for `code`: the block; nothing stored until then.
  void StoreSettings(std::int16_t code, const std::string& block);
  int SettingsReads() const;

  std::vector<TCoreLine> Lines() const;
  // Log lines (kind 2) whose text contains `part`, in order.
  std::vector<TCoreLine> LinesWith(std::string_view part) const;
  // Error reports (kind 1).
  std::vector<TCoreLine> Errors() const;
  void ClearLines();

  std::vector<TCorePacket> Received() const;
  std::vector<TRefPack> Failed() const;     // RecvFromGate(ref, -10, -1)
  std::vector<TRefPack> Confirmed() const;  // PacketDeliveredFromGate
  void SetRecvFromGateAnswer(bool answer);

  // Waits up to `timeout_ms` until `done` holds (looked at on every change).
  bool WaitUntil(const std::function<bool(const TCoreSpy&)>& done, std::uint32_t timeout_ms = 20000) const;

 private:
  static const void* OnRead(void* ctx, std::int16_t code, std::int32_t* size);
  static KBool OnInfo(void* ctx, std::int32_t kind, std::int16_t code, const char* text, const char* details);
  static KBool OnRecvFromGate(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param);
  static KBool OnPacket(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size);
  static KBool OnDelivered(void* ctx, KHandle process, const TRefPack* ref);
  void Changed();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::int16_t, std::string> blocks_;
  int reads_ = 0;
  std::vector<TCoreLine> lines_;
  std::vector<TCorePacket> received_;
  std::vector<TRefPack> failed_;
  std::vector<TRefPack> confirmed_;
  bool recv_from_gate_answer_ = true;
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

// ---- Blocks ----

// The default address with short waits (data 10 s, restore 1 s, dial 10 s)
// and the given COM ports allowed.
store::TMdmAddress QuickAddress(std::initializer_list<int> ports);
std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones);
std::string OwnBlock(const store::TMdmAddress& addr);  // the 168 bytes alone
store::TMdmChannelSettings ChannelOn(int port, const std::string& init = "ATX3");
std::string SettingsBlock(const std::vector<store::TMdmChannelSettings>& channels, bool show_progress = false);

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
  // A modem numbered `number` that nobody answers: calls to it ring on.
  sim::TModemId Unanswered(const std::string& number);
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
