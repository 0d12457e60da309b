// The tests' stand-in core, the one recorder of core calls: records what
// the gate and its framework tell the core through libHeron (log lines,
// error reports, packets received, delivered and failed, progress) and
// answers ReadGateSettings and localised texts from what the test stores.
// Uses libHeron only, so it serves tests that load the gate as a library as
// well as those linked with its parts.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "heron.h"
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

struct TCoreSession {
  std::int32_t id_cl;
  std::int32_t direction;  // HERON_PROGRESS_*
  std::int32_t kind;       // HERON_SESSION_*
  std::string reason;
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
  std::vector<TCoreLine> LinesWith(std::string_view part) const {
    std::vector<TCoreLine> out;
    for (const TCoreLine& l : Lines())
      if (l.kind == 2 && l.text.find(part) != std::string::npos) out.push_back(l);
    return out;
  }
  // Error reports (kind 1).
  std::vector<TCoreLine> Errors() const {
    std::vector<TCoreLine> out;
    for (const TCoreLine& l : Lines())
      if (l.kind == 1) out.push_back(l);
    return out;
  }
  // "<kind> <text> | <details>" of every line but the log's separator, or of
  // those whose text holds one of `parts`, in order.
  std::vector<std::string> Transcript(std::initializer_list<std::string_view> parts = {}) const {
    std::vector<std::string> out;
    for (const TCoreLine& l : Lines()) {
      const bool wanted = parts.size() == 0 || std::any_of(parts.begin(), parts.end(), [&](std::string_view p) {
        return l.text.find(p) != std::string::npos;
      });
      if (wanted && l.text != std::string(300, '=')) out.push_back(std::to_string(l.kind) + " " + l.text + " | " + l.details);
    }
    return out;
  }
  void ClearLines() { Set([&] { lines_.clear(); }); }
  // What GateInfo answers to log lines (kind 2); error reports always get true.
  void SetLogAnswer(bool answer) { Set([&] { log_answer_ = answer; }); }

  std::vector<TCorePacket> Received() const { return Copy(received_); }
  std::vector<TRefPack> Failed() const { return Copy(failed_); }     // RecvFromGate(ref, -10, -1)
  std::vector<TRefPack> Confirmed() const { return Copy(confirmed_); }  // PacketDeliveredFromGate
  void SetRecvFromGateAnswer(bool answer) { Set([&] { recv_from_gate_answer_ = answer; }); }
  // Packets with this number are refused by RecvPacketFromGate, not recorded.
  void RefusePacket(std::int32_t number) { Set([&] { refused_.insert(number); }); }

  // What PartyKeyFromCore answers for `id_cl`: unset, known without a key.
  void ForgetParty(std::int32_t id_cl) { Set([&] { parties_[id_cl] = std::nullopt; }); }
  void SetKey(std::int32_t id_cl, const std::string& key) { Set([&] { parties_[id_cl] = key; }); }
  // SessionFromGate's reports, in order.
  std::vector<TCoreSession> Sessions() const { return Copy(sessions_); }

  int ProgressCalls() const { return Copy(progress_); }
  std::string LastCaption() const { return Copy(caption_); }
  // What GetLocalizResource answers for `key`; unknown keys have no text.
  void SetText(const std::string& key, const std::string& text) { Set([&] { texts_[key] = text; }); }

  // Waits up to `timeout_ms` until `done` holds (looked at on every change).
  bool WaitUntil(const std::function<bool(const TCoreSpy&)>& done, std::uint32_t timeout_ms = 20000) const {
    using std::chrono::steady_clock, std::chrono::milliseconds;
    const auto deadline = steady_clock::now() + milliseconds(timeout_ms);
    while (!done(*this)) {
      if (steady_clock::now() >= deadline) return false;
      std::unique_lock lock(mutex_);
      // Woken by every change; the periodic look covers conditions that do not
      // come from the core (channel states).
      changed_.wait_until(lock, std::min(deadline, steady_clock::now() + milliseconds(20)));
    }
    return true;
  }

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
  std::map<std::int32_t, std::optional<std::string>> parties_;  // nullopt: not known
  std::vector<TCoreSession> sessions_;
};

// Each handler records under the spy's lock, then wakes the waiters.
struct TCoreSpy::Handlers {
  template <typename Record>
  static auto Locked(void* ctx, Record record) {
    auto& self = *static_cast<TCoreSpy*>(ctx);
    std::unique_lock lock(self.mutex_);
    auto result = record(self);
    lock.unlock();
    self.changed_.notify_all();
    return result;
  }

  static const void* Read(void* ctx, std::int16_t code, std::int32_t* size) {
    return Locked(ctx, [&](TCoreSpy& s) -> const void* {
      ++s.reads_;
      const auto it = s.blocks_.find(code);
      *size = it != s.blocks_.end() ? static_cast<std::int32_t>(it->second.size()) : 0;
      return it != s.blocks_.end() ? it->second.data() : nullptr;
    });
  }
  static KBool Info(void* ctx, std::int32_t kind, std::int16_t code, const char* text, const char* details) {
    std::string line = text != nullptr ? text : "";
    std::string prefix;
    // "[$XXXXXXXX] " names the thread; the tests look at what follows.
    if (line.size() >= 12 && line.compare(0, 2, "[$") == 0 && line[10] == ']') {
      prefix = line.substr(0, 12);
      line.erase(0, 12);
    }
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      s.lines_.push_back({kind, std::move(line), details != nullptr ? details : "", code, details == nullptr,
                          std::move(prefix)});
      return kind != 2 || s.log_answer_;
    });
  }
  static KBool RecvFromGate(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      if (code == -10 && param == -1 && ref != nullptr) s.failed_.push_back(*ref);
      return s.recv_from_gate_answer_;
    });
  }
  static KBool Packet(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      if (s.refused_.count(ref->Number) != 0) return 0;
      s.received_.push_back(
          {sender, *ref, size > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : ""});
      return 1;
    });
  }
  static KBool Delivered(void* ctx, KHandle, const TRefPack* ref) {
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      s.confirmed_.push_back(*ref);
      return 1;
    });
  }
  static void Progress(void* ctx, KHandle, const char* caption, std::int32_t, std::int32_t, std::int32_t) {
    Locked(ctx, [&](TCoreSpy& s) {
      ++s.progress_;
      s.caption_ = caption != nullptr ? caption : "";
      return 0;
    });
  }
  static std::int32_t Text(void* ctx, const char* key, char* dest, std::int32_t size) {
    return Locked(ctx, [&](TCoreSpy& s) -> std::int32_t {
      const auto it = s.texts_.find(key);
      if (it == s.texts_.end()) return -1;
      if (dest != nullptr && size > 0) {
        const std::size_t n = std::min<std::size_t>(it->second.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(dest, it->second.data(), n);
        dest[n] = '\0';
      }
      return static_cast<std::int32_t>(it->second.size());
    });
  }
  static std::int32_t Party(void* ctx, std::int32_t id_cl, void* key, std::int32_t) {
    return Locked(ctx, [&](TCoreSpy& s) -> std::int32_t {
      const auto it = s.parties_.find(id_cl);
      if (it == s.parties_.end()) return 0;
      if (!it->second) return -1;
      if (key != nullptr) std::memcpy(key, it->second->data(), std::min<std::size_t>(it->second->size(), HERON_KEY_SIZE));
      return HERON_KEY_SIZE;
    });
  }
  static void Session(void* ctx, std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const char* reason) {
    Locked(ctx, [&](TCoreSpy& s) {
      s.sessions_.push_back({id_cl, direction, kind, reason});
      return 0;
    });
  }
  // With `spy` null, libHeron's own answers again.
  static void Install(TCoreSpy* spy) {
    HeronSetReadGateSettings(spy ? &Read : nullptr, spy);
    HeronSetGateInfo(spy ? &Info : nullptr, spy);
    HeronSetRecvFromGate(spy ? &RecvFromGate : nullptr, spy);
    HeronSetRecvPacketFromGate(spy ? &Packet : nullptr, spy);
    HeronSetPacketDeliveredFromGate(spy ? &Delivered : nullptr, spy);
    HeronSetProgressFromGate(spy ? &Progress : nullptr, spy);
    HeronSetGetLocalizResource(spy ? &Text : nullptr, spy);
    HeronSetPartyKeyFromCore(spy ? &Party : nullptr, spy);
    HeronSetSessionFromGate(spy ? &Session : nullptr, spy);
  }
};

inline TCoreSpy::TCoreSpy() { Handlers::Install(this); }
inline TCoreSpy::~TCoreSpy() { Handlers::Install(nullptr); }

// The core of a test that links the gate's parts: the gate's log is switched
// on for its lifetime (and put back to its load-time state afterwards).
class TLoggingCore : public TCoreSpy {
 public:
  TLoggingCore();
  ~TLoggingCore();
};

}  // namespace kestrel::testing
