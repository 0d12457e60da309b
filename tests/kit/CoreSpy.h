// The tests' stand-in core, the one recorder of core calls: records what
// the gate and its framework tell the core through libHeron (log lines,
// error reports, packets received, delivered and failed, progress) and
// answers ReadGateSettings and localised texts from what the test stores.
// Uses libHeron only, so it serves tests that load the gate as a library as
// well as those linked with its parts.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::testing {

// One call of the core's GateInfo: kind 1 error report, 2 log line. `text`
// is the line without its "[$<thread>] " prefix, which is kept in `prefix`.
struct TCoreLine {
  std::int32_t kind;
  std::string text;
  std::string details;
  std::int16_t code = 0;       // the gate code passed with it
  bool null_details = false;   // the detail pointer was null
  std::string prefix;          // "[$XXXXXXXX] ", or empty when the line had none
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
  void StoreSettings(std::int16_t code, const std::string& block) { Set([&] { blocks_[code] = block; }); }
  int SettingsReads() const { return Copy(reads_); }

  std::vector<TCoreLine> Lines() const { return Copy(lines_); }
  // Log lines (kind 2) whose text contains `part`, in order.
  std::vector<TCoreLine> LinesWith(std::string_view part) const;
  // Error reports (kind 1).
  std::vector<TCoreLine> Errors() const;
  void ClearLines() { Set([&] { lines_.clear(); }); }
  // What GateInfo answers to log lines (kind 2); error reports always get true.
  void SetLogAnswer(bool answer) { Set([&] { log_answer_ = answer; }); }

  std::vector<TCorePacket> Received() const { return Copy(received_); }
  std::vector<TRefPack> Failed() const { return Copy(failed_); }     // RecvFromGate(ref, -10, -1)
  std::vector<TRefPack> Confirmed() const { return Copy(confirmed_); }  // PacketDeliveredFromGate
  void SetRecvFromGateAnswer(bool answer) { Set([&] { recv_from_gate_answer_ = answer; }); }
  // Packets with this number are refused by RecvPacketFromGate, not recorded.
  void RefusePacket(std::int32_t number) { Set([&] { refused_.insert(number); }); }

  int ProgressCalls() const { return Copy(progress_); }
  std::string LastCaption() const { return Copy(caption_); }
  // What GetLocalizResource answers for `key`; unknown keys have no text.
  void SetText(const std::string& key, const std::string& text) { Set([&] { texts_[key] = text; }); }

  // Waits up to `timeout_ms` until `done` holds (looked at on every change).
  bool WaitUntil(const std::function<bool(const TCoreSpy&)>& done, std::uint32_t timeout_ms = 20000) const;

 private:
  struct Handlers;
  template <typename T>
  T Copy(const T& member) const {
    std::lock_guard lock(mutex_);
    return member;
  }
  template <typename F>
  void Set(F change) {
    std::lock_guard lock(mutex_);
    change();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::int16_t, std::string> blocks_;
  int reads_ = 0;
  std::vector<TCoreLine> lines_;
  std::vector<TCorePacket> received_;
  std::vector<TRefPack> failed_;
  std::vector<TRefPack> confirmed_;
  bool recv_from_gate_answer_ = true;
  bool log_answer_ = true;
  std::set<std::int32_t> refused_;
  int progress_ = 0;
  std::string caption_;
  std::map<std::string, std::string> texts_;
};

// The core of a test that links the gate's parts: the gate's log is switched
// on for its lifetime (and put back to its load-time state afterwards).
class TLoggingCore : public TCoreSpy {
 public:
  TLoggingCore();
  ~TLoggingCore();
};

}  // namespace kestrel::testing
