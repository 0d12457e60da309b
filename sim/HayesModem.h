// A Hayes-compatible modem as a pure state machine.
//
// Bytes from the terminal (DTE) go in through FromDte; what the modem says
// comes out through the *ToDte calls; its requests to the telephone line (the
// exchange) come out of TakeRequests, and the line's signals come in through
// the Call*/Ring*/Carrier* calls. Timers run only when Advance is called with
// a later `now`; NextDeadline says when the next one is due. Nothing here
// reads a clock, blocks, allocates a thread or does I/O, so every rule can be
// tested with a fake clock and the whole interpreter can be fuzzed.
//
// Command mode: "AT" (any case) starts a command line, S3 (CR) ends it, S5
// (backspace) edits it, "A/" repeats the last line. One line may hold several
// commands: E V Q X Z &F &W &C &D &K S<n>=<v> S<n>? ? = D A H O I L M B.
// Results are verbose (CR LF word CR LF) or numeric (<code> CR) as V says,
// none with Q1. Echo follows E (or the echo_stuck fault).
//
// Data mode: bytes from the terminal are carried to the far end; "+++" (S2)
// with S12 guard time of silence before and after returns to command mode
// with the call kept (OK), ATO goes back on line. Dropping DTR acts as &D
// says: &D0 nothing, &D1 like the escape, &D2 hang up, &D3 hang up and reset.
// While DTR is off under &D2/&D3 the modem takes no commands and does not
// answer automatically.
//
// Not thread-safe: one owner (the exchange) serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sim/DialString.h"
#include "sim/Faults.h"
#include "sim/ModemProfile.h"
#include "sim/ResultCode.h"
#include "sim/SimTime.h"

namespace kestrel::sim {

class THayesModem {
 public:
  enum class TState : std::uint8_t {
    kIdle,           // on hook, command mode
    kWaitDialTone,   // off hook, no dial tone yet (S6), then NO DIALTONE
    kDialing,        // off hook, working through the dial string's pauses
    kOriginating,    // dialled, waiting for the answerer's carrier (S7)
    kAnswering,      // ATA or automatic answer, waiting for the caller's carrier (S7)
    kOffHook,        // off hook in command mode (H1, or a dial string that ended with ';')
    kOnlineData,     // connected, data mode
    kOnlineCommand,  // connected, command mode after the escape or &D1
  };

  struct TRequest {
    enum class TKind : std::uint8_t { kPlaceCall, kAnswer, kHangUp };
    TKind kind;
    std::string number;  // kPlaceCall: the number as dialled (routing digits only)
  };

  // A call result the modem reported (also with Q1, when nothing was sent).
  struct TReport {
    TSimTime time;
    TResultCode code;
    std::uint32_t rate;
  };

  static constexpr std::size_t kTxCapacity = 4096;   // terminal bytes waiting for the line
  static constexpr std::size_t kOutCapacity = 8192;  // line bytes waiting for the terminal
  static constexpr std::size_t kMaxLine = 255;       // command characters after "AT"

  THayesModem();

  // ---- terminal side ----
  // Takes bytes the terminal sent and returns how many were taken: all of
  // them in command mode, at most DteRoom() in data mode (the rest must be
  // offered again later, as hardware flow control would hold them back).
  std::size_t FromDte(TSimTime now, std::string_view bytes);
  std::size_t DteRoom() const;
  void SetDtr(TSimTime now, bool on);
  bool Dtr() const { return dtr_; }
  // What the modem says, as far as it is due at `now`: Available counts the
  // bytes, Peek copies up to `max` of them without taking them, Consume takes
  // `n` of them (n <= Available). DiscardToDte forgets everything pending.
  std::size_t ToDteAvailable(TSimTime now) const;
  std::size_t PeekToDte(TSimTime now, char* out, std::size_t max) const;
  void ConsumeToDte(std::size_t n);
  void DiscardToDte();
  std::string TakeToDte(TSimTime now);  // Peek + Consume of everything due

  // ---- telephone line side ----
  void SetLinePresent(bool present) { line_present_ = present; }
  bool LinePresent() const { return line_present_; }
  // Ring voltage on or off; each rising edge is one ring.
  void RingSignal(TSimTime now, bool on);
  // The caller gave up before the call was answered.
  void IncomingCallGone(TSimTime now);
  // Progress of a placed call.
  void CallBusy(TSimTime now);
  void CallRingback(TSimTime now);
  // The handshake ended: carrier at `rate` bits per second.
  void CallConnected(TSimTime now, std::uint32_t rate);
  // The far carrier went away (hang-up on the other end, a line fault).
  void CarrierLost(TSimTime now);
  // Data toward the far end, and from it. LineRoom is 0 unless on line in
  // data mode: received bytes then wait on the line.
  std::size_t LineBytesPending() const { return tx_.size(); }
  std::string TakeLineBytes(std::size_t max);
  std::size_t LineRoom() const;
  void FromLine(TSimTime now, std::string_view bytes);
  std::vector<TRequest> TakeRequests();
  bool HasRequests() const { return !requests_.empty(); }
  std::vector<TReport> TakeReports();

  // ---- time ----
  void Advance(TSimTime now);
  TSimTime NextDeadline() const;

  // ---- state ----
  TState State() const { return state_; }
  bool OffHook() const { return state_ != TState::kIdle; }
  bool Carrier() const { return carrier_; }
  bool AwaitingCarrier() const { return state_ == TState::kOriginating || state_ == TState::kAnswering; }
  bool Originating() const { return state_ == TState::kOriginating; }
  // The CD line as &C drives it, and the RI line.
  bool DcdLine() const { return profile_.dcd_mode == 0 || carrier_; }
  bool RingLine() const { return ring_line_ && !faults_.dead; }
  std::uint32_t Rate() const { return rate_; }
  const TModemProfile& Profile() const { return profile_; }
  const TModemFaults& Faults() const { return faults_; }
  void SetFaults(const TModemFaults& faults);
  // Makes `profile` the current and the stored one, as setting it by commands
  // and AT&W would; for a modem its owner configured before it is used.
  void StoreProfile(const TModemProfile& profile);

 private:
  enum class TLineState : std::uint8_t { kSeekA, kSeekT, kInLine };
  enum class TStep : std::uint8_t { kNext, kError, kEnd, kSuspend };
  struct TOutPiece {
    TSimTime at;
    std::string bytes;
  };

  // Command characters (HayesCommands.cpp).
  void CommandByte(TSimTime now, char c);
  void StartLine(TSimTime now, std::string line);
  void RunLine(TSimTime now);
  TStep Execute(TSimTime now);
  TStep ExecuteAmpersand(TSimTime now);
  TStep ExecuteRegister(TSimTime now, unsigned reg);
  TStep ExecuteDial(TSimTime now);
  TStep ExecuteAnswer(TSimTime now);
  TStep ExecuteInfo(unsigned which);
  bool ReadArg(unsigned& value, unsigned max_value);

  // Modes and the call (HayesModem.cpp).
  void DataByte(TSimTime now, char c);
  void StartDial(TSimTime now);
  void DialDone(TSimTime now);
  void StartAnswer(TSimTime now);
  void GoOnHook(TSimTime now);
  void FailCall(TSimTime now, TResultCode code);
  void Abort(TSimTime now);
  void ResetProfile(const TModemProfile& profile);

  // Output.
  void Say(TSimTime now, std::string_view bytes);
  void SayResult(TSimTime now, TResultCode code, std::uint32_t rate = 0);
  void SayInfo(TSimTime now, std::string_view text);
  void Echo(TSimTime now, char c);
  void Report(TSimTime now, TResultCode code, std::uint32_t rate = 0);

  TModemProfile profile_;
  TModemProfile stored_;
  TModemFaults faults_;
  TState state_ = TState::kIdle;
  TSimTime now_ = 0;  // the latest time the modem was told
  bool dtr_ = true;
  bool line_present_ = true;

  // Command line assembly and execution.
  TLineState line_state_ = TLineState::kSeekA;
  std::string line_;
  bool line_overflow_ = false;
  std::string last_line_;
  std::string exec_;
  std::size_t exec_pos_ = 0;
  bool exec_active_ = false;
  unsigned selected_register_ = 0;

  // The call.
  TDialPlan dial_;
  std::string last_number_;
  TSimTime timer_ = kNever;  // deadline of the current state (dial tone, dial pauses, carrier wait)
  bool ringback_heard_ = false;
  bool call_placed_ = false;
  bool carrier_ = false;
  std::uint32_t rate_ = 0;
  TSimTime carrier_lost_at_ = kNever;  // hang up when it plus S10 has passed
  bool ring_line_ = false;

  // Escape sequence detection.
  unsigned esc_count_ = 0;
  TSimTime last_dte_at_ = 0;
  TSimTime esc_at_ = kNever;  // third escape character seen; OK when the guard time after it passes

  std::string tx_;
  std::deque<TOutPiece> out_;
  std::size_t out_pos_ = 0;  // bytes of out_.front() already taken
  std::size_t out_size_ = 0;
  std::vector<TRequest> requests_;
  std::vector<TReport> reports_;
};

}  // namespace kestrel::sim
