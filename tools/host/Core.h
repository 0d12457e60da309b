// A host program as the gate's transport core: it plugs its handlers into
// libHeron (heron.h) for as long as a TCore lives, and hands what the gate
// and its framework report to a TCoreEvents of the running command.
//
//  - ReadGateSettings: the settings blocks given with SetGateSettings, per
//    gate code (the block stays valid while the core lives);
//  - GateInfo: every line goes, in UTF-8, to OnGateLine and then to the
//    `keep` function (the program's log) when there is one; an error report
//    (kind 1) followed by the same text as an ordinary line (the gate logs
//    its errors both ways) is kept once, as an error; every line is
//    accepted;
//  - RecvFromGate, RecvPacketFromGate, PacketDeliveredFromGate,
//    ProgressFromGate, PartyKeyFromCore, SessionFromGate: to the events
//    object. No exception goes back into the gate: a handler whose event
//    throws gives the answer of a core that could not take the call
//    (PartyKeyFromCore: -1, the party is not known) and the failure goes to
//    the log as an error line.
//
// Handlers run on the gate's threads, also concurrently: the events object
// and `keep` must be thread-safe. Only one TCore may live at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "kestrel/kestrel.h"

namespace kestrel::app {

// One line of the gate's log as a host reads it.
struct TLogLine {
  std::string time;  // "YYYY-MM-DD HH:MM:SS.mmm", set where the line is kept; "" before
  bool error = false;
  std::string thread;  // "0000ABCD", or "" when the line carries no thread id
  std::int16_t gate_code = 0;
  std::string text;     // UTF-8, without the thread prefix
  std::string details;  // UTF-8
};

// Takes a gate line apart: "[$0000ABCD] text" gives thread "0000ABCD" and
// "text"; a line without that prefix is kept whole with an empty thread.
void SplitThreadPrefix(const std::string& line, std::string& thread, std::string& text);

class TCoreEvents {
 public:
  virtual ~TCoreEvents() = default;
  virtual void OnGateLine(const TLogLine& /*line*/) {}
  // The gate found a channel unusable when it tested it: `port` "COM1",
  // `problem` the gate's text ("Ошибка: 16; Device or resource busy").
  virtual void OnChannelProblem(const std::string& /*port*/, const std::string& /*problem*/) {}
  // RecvFromGate: code -10 with param -1 is a packet that could not be sent.
  virtual bool OnPacketFailed(const TRefPack& /*ref*/, std::int32_t /*code*/, std::int32_t /*param*/) { return true; }
  // A packet arrived; true when it was taken (false makes the sender fail it).
  virtual bool OnPacket(std::int32_t /*sender_id_cl*/, const TRefPack& /*ref*/, std::string_view /*data*/) {
    return false;
  }
  virtual void OnDelivered(KHandle /*process*/, const TRefPack& /*ref*/) {}
  // `caption` in UTF-8.
  virtual void OnProgress(KHandle /*process*/, const std::string& /*caption*/, std::int32_t /*done*/,
                          std::int32_t /*total*/, std::int32_t /*direction*/) {}
  // PartyKeyFromCore: -1 when the party with this client id is not known, 0
  // when no key is shared with it, HERON_KEY_SIZE when one is, its bytes then
  // copied to `key` (unless `key` is empty: the gate only asks). The default
  // knows every party and shares no key.
  virtual std::int32_t OnPartyKey(std::int32_t /*id_cl*/, std::span<std::uint8_t> /*key*/) { return 0; }
  // SessionFromGate: how the greeting of a session with the party went
  // (HERON_SESSION_*); `direction` HERON_PROGRESS_SEND for a call placed,
  // `reason` (UTF-8) why it was refused, "" otherwise.
  virtual void OnSession(std::int32_t /*id_cl*/, std::int32_t /*direction*/, std::int32_t /*kind*/,
                         const std::string& /*reason*/) {}
};

class TCore {
 public:
  // `events` must outlive the core; `keep` may be empty (no log kept).
  explicit TCore(TCoreEvents& events, std::function<void(TLogLine)> keep = {});
  // Uninstalls every handler; the gate must be stopped by then.
  ~TCore();
  TCore(const TCore&) = delete;
  TCore& operator=(const TCore&) = delete;

  // The block the gate reads for `gate_code`. The first block given for a
  // code stays: the gate may be copying it at any time once it runs.
  void SetGateSettings(std::int16_t gate_code, const std::string& block);
  // The text of the gate's latest error report in UTF-8, "" when none came.
  std::string LastError() const;
  // The channels the gate found unusable, one "COM1 (<device>): <problem>"
  // each, joined by "; "; "" when none.
  std::string ChannelProblems() const;

  // The handlers' work, public for tests.
  const void* ReadSettings(std::int16_t gate_code, std::int32_t* size);
  KBool Info(std::int32_t kind, std::int16_t gate_code, const char* text, const char* details);

  TCoreEvents& Events() { return events_; }
  // A handler's event failed with `why`: an error line to the events and the log.
  void HandlerFailed(const char* handler, const std::string& why) noexcept;

 private:
  TCoreEvents& events_;
  std::function<void(TLogLine)> keep_;
  mutable std::mutex mutex_;
  std::map<std::int16_t, std::string> settings_;
  std::string last_error_;
  std::map<std::string, std::string> channel_problems_;
  // Per thread: the last error report, so that its echo as a line is not kept twice.
  std::map<std::string, std::pair<std::string, std::string>> pending_echo_;
};

}  // namespace kestrel::app
