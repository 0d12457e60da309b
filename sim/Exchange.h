// A telephone exchange that connects simulated modems by number.
//
// Each modem has a line and, usually, a number. A modem that dials places a
// call; after `dial_ms` the exchange routes it: a number nobody has gives
// silence (or endless ringing, as the options say), a line that is off hook,
// already called or marked busy gives the busy tone, a free line rings with
// the cadence `ring_on_ms`/`ring_off_ms`. When the called modem answers, both
// ends get CONNECT after `handshake_ms`, and from then on each direction
// carries bytes at the call's rate (the lowest of the exchange's rate and both
// modems' limits; 10 bits a byte) with `latency_ms` of delay. A hang-up on one
// end is carrier loss on the other, once the bytes already on the line have
// arrived. Which result a modem reports for each of these (BUSY, NO ANSWER,
// NO CARRIER, NO DIALTONE...) is the modem's own business, as its X level and
// S registers say.
//
// Pure: nothing reads a clock; FromDte/SetDtr/Advance are given `now` and
// NextDeadline says when something is next due. Not thread-safe: the runner
// (ExchangeRunner.h) or a test serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Faults.h"
#include "sim/HayesModem.h"
#include "sim/SimTime.h"
#include "sim/Wire.h"

namespace kestrel::sim {

using TModemId = std::uint32_t;  // 1, 2, ... in the order modems were added; 0 is none
inline constexpr TModemId kNoModem = 0;

struct TExchangeOptions {
  enum class TUnknownNumber : std::uint8_t {
    kSilence,       // nothing happens on the line: the caller ends with NO CARRIER
    kRingNoAnswer,  // ringback that nobody answers: NO ANSWER (X3 and above)
  };

  std::uint32_t rate = 33600;        // carrier rate of a call, bits per second
  std::uint32_t latency_ms = 20;     // one-way delay of the line
  std::uint32_t dial_ms = 100;       // end of dialling until the far line rings (or the busy tone)
  std::uint32_t handshake_ms = 200;  // answer until CONNECT on both ends
  std::uint32_t ring_on_ms = 2000;   // ring cadence
  std::uint32_t ring_off_ms = 4000;
  TUnknownNumber unknown_number = TUnknownNumber::kSilence;
  std::uint64_t seed = 1;  // of the fault generator: the same seed gives the same faults
};

struct TModemSetup {
  std::string number{};        // empty: the modem may call out, but nobody can call it
  std::uint32_t max_rate = 0;  // 0: no limit of its own
  bool line = true;            // false: no line plugged in (no dial tone, calls to it find silence)
  bool busy = false;           // calls to it always get the busy tone
  // false: the cable or adapter carries no DTR; the modem always sees it on,
  // so closing the port never ends its call, whatever &D says.
  bool dtr_wired = true;
  // The &D setting of its stored profile (what ATZ restores): 2 hangs up when
  // DTR drops, 0 ignores DTR and stays in the call when the port closes.
  std::uint8_t dtr_mode = 2;
  TModemFaults faults{};
  TLineFaults line_faults{};   // for every call this modem takes part in
};

struct TExchangeEvent {
  enum class TKind : std::uint8_t {
    kDial,         // text: the number dialled
    kRing,         // an incoming ring reported to the terminal
    kAnswer,       // the modem went off hook to answer
    kResult,       // text: the call result reported ("CONNECT 33600", "BUSY", "NO CARRIER"...)
    kHangUp,       // the modem went on hook
    kDtr,          // text: "on" or "off"
    kCarrierDrop,  // a fault or a pulled line dropped the carrier
  };
  TSimTime time;
  TModemId modem;
  TKind kind;
  std::string text;
};

class TExchange {
 public:
  explicit TExchange(TExchangeOptions options = {});
  ~TExchange();
  TExchange(const TExchange&) = delete;
  TExchange& operator=(const TExchange&) = delete;

  const TExchangeOptions& Options() const { return options_; }

  TModemId AddModem(const TModemSetup& setup);
  std::size_t ModemCount() const { return modems_.size(); }
  bool Valid(TModemId id) const { return id >= 1 && id <= modems_.size(); }
  // `id` must be valid.
  THayesModem& Modem(TModemId id) { return modems_[id - 1].modem; }
  const THayesModem& Modem(TModemId id) const { return modems_[id - 1].modem; }
  const TModemSetup& Setup(TModemId id) const { return modems_[id - 1].setup; }
  // The modem whose number is `number` (compared as NormaliseNumber does), or kNoModem.
  TModemId Find(std::string_view number) const;

  // Faults and line state, effective at once. `id` must be valid.
  void SetModemFaults(TModemId id, const TModemFaults& faults);
  void SetLineFaults(TModemId id, const TLineFaults& faults);
  // Faults of the call `id` takes part in now; false when it is in none.
  bool SetCallFaults(TModemId id, const TLineFaults& faults);
  void SetLinePresent(TModemId id, bool present);
  void SetBusy(TModemId id, bool busy);
  bool InCall(TModemId id) const { return modems_[id - 1].call != 0; }

  // The terminal side of modem `id`; both run Advance(now) afterwards.
  std::size_t FromDte(TModemId id, TSimTime now, std::string_view bytes);
  void SetDtr(TModemId id, TSimTime now, bool on);

  void Advance(TSimTime now);
  // The earliest time something is due, kNever when nothing is; a time at or
  // before the last `now` means "at once".
  TSimTime NextDeadline() const;

  std::vector<TExchangeEvent> TakeEvents();

 private:
  struct TCall;
  struct TEntry {
    TModemSetup setup;
    std::string digits;  // the normalised number
    THayesModem modem;
    std::uint32_t call = 0;  // the call it takes part in
  };

  TEntry& At(TModemId id) { return modems_[id - 1]; }
  const TEntry& At(TModemId id) const { return modems_[id - 1]; }
  void HandleRequests(TSimTime now);
  void PlaceCall(TModemId caller, TSimTime now, const std::string& number);
  void Answer(TModemId callee, TSimTime now);
  void HangUp(TModemId who, TSimTime now);
  void StepCall(TCall& call, TSimTime now);
  void Route(TCall& call, TSimTime now);
  void Connect(TCall& call, TSimTime now);
  void Transfer(TCall& call, TSimTime now);
  void DropCarrier(TCall& call, TSimTime now);
  void ApplyFaults(TCall& call);
  void Unlink(TCall& call);
  void CollectReports();
  void Event(TSimTime time, TModemId modem, TExchangeEvent::TKind kind, std::string text = {});

  TExchangeOptions options_;
  std::deque<TEntry> modems_;  // a deque keeps references to modems valid as more are added
  std::map<std::uint32_t, std::unique_ptr<TCall>> calls_;
  std::uint32_t next_call_ = 1;
  TSimTime now_ = 0;
  std::vector<TExchangeEvent> events_;
};

}  // namespace kestrel::sim
