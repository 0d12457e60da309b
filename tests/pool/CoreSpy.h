// A stand-in core for tests: records what the gate and its framework tell
// the core through libHeron (log lines, error reports, packets received,
// delivered and failed) and answers ReadGateSettings from blocks the test
// stores. Uses libHeron only, so it serves tests that load the gate as a
// library as well as those linked with its parts.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::testing {

// One call of the core's GateInfo: kind 1 error report, 2 log line. `text`
// is the line without its "[$<thread>] " prefix.
struct TCoreLine {
  std::int32_t kind;
  std::string text;
  std::string details;
  std::int16_t code = 0;       // the gate code passed with it
  bool null_details = false;   // the detail pointer was null
};

struct TCorePacket {
  std::int32_t sender;
  TRefPack ref;
  std::string data;
};

// Installs itself as the core's handlers (heron.h) for its lifetime.
// Thread-safe.
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

}  // namespace kestrel::testing
