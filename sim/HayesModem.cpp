#include "sim/HayesModem.h"

#include <algorithm>
#include <utility>

namespace kestrel::sim {

THayesModem::THayesModem() : profile_(TModemProfile::Factory()), stored_(profile_) {}

void THayesModem::SetFaults(const TModemFaults& faults) {
  const bool was_dead = faults_.dead;
  faults_ = faults;
  if (faults.dead && !was_dead) {
    // Power gone: the call ends, the line is released, nothing said survives.
    if (OffHook()) GoOnHook(0);
    exec_active_ = false;
    DiscardToDte();
    line_state_ = TLineState::kSeekA;
    line_.clear();
  } else if (!faults.dead && was_dead) {
    // Power back: the modem starts from its stored profile.
    ResetProfile(stored_);
  }
}

// ---------------------------------------------------------------- terminal side

std::size_t THayesModem::FromDte(TSimTime now, std::string_view bytes) {
  Advance(now);
  std::size_t i = 0;
  for (; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (faults_.dead) continue;
    if (!dtr_ && profile_.dtr_mode >= 2) continue;  // under &D2/&D3 no terminal, no commands
    switch (state_) {
      case TState::kOnlineData:
        if (tx_.size() >= kTxCapacity) return i;
        DataByte(now, c);
        break;
      case TState::kWaitDialTone:
      case TState::kDialing:
      case TState::kOriginating:
      case TState::kAnswering:
        // Any key ends a call attempt; the LF that many programs send after
        // the command's CR is not a key press.
        if (c != profile_.Lf()) Abort(now);
        break;
      case TState::kIdle:
      case TState::kOffHook:
      case TState::kOnlineCommand:
        CommandByte(now, c);
        break;
    }
  }
  return i;
}

std::size_t THayesModem::DteRoom() const {
  if (state_ != TState::kOnlineData || faults_.dead) return static_cast<std::size_t>(-1);
  return tx_.size() >= kTxCapacity ? 0 : kTxCapacity - tx_.size();
}

void THayesModem::SetDtr(TSimTime now, bool on) {
  Advance(now);
  if (on == dtr_) return;
  dtr_ = on;
  if (on || faults_.dead) return;
  switch (profile_.dtr_mode) {
    case 0:
      break;
    case 1:
      if (state_ == TState::kOnlineData) {
        state_ = TState::kOnlineCommand;
        esc_count_ = 0;
        esc_at_ = kNever;
        SayResult(now, TResultCode::kOk);
      }
      break;
    default:
      // Nobody listens any more: what was still to be said is dropped, so that
      // the next terminal to open the port does not read stale results.
      DiscardToDte();
      line_state_ = TLineState::kSeekA;
      line_.clear();
      exec_active_ = false;
      if (OffHook()) GoOnHook(now);
      if (profile_.dtr_mode == 3) ResetProfile(stored_);
      break;
  }
}

void THayesModem::DataByte(TSimTime now, char c) {
  const TSimTime guard = profile_.GuardTime();
  const bool escape_enabled = profile_.EscapeChar() <= 127;
  if (escape_enabled && c == static_cast<char>(profile_.EscapeChar())) {
    const TSimTime since = now - last_dte_at_;
    if (esc_count_ == 0) {
      if (since >= guard) esc_count_ = 1;
    } else if (esc_count_ < 3) {
      // Too slow a follower had silence before it, so it may begin a sequence itself.
      esc_count_ = since < guard || guard == 0 ? esc_count_ + 1 : 1;
    } else {
      esc_count_ = 0;  // a fourth escape character: ordinary data
    }
  } else {
    esc_count_ = 0;
  }
  last_dte_at_ = now;
  tx_ += c;
  esc_at_ = esc_count_ == 3 ? now + guard : kNever;
  if (esc_count_ == 3 && guard == 0) {
    // Without guard times the escape takes effect at once, and what follows
    // in the same write is already a command.
    state_ = TState::kOnlineCommand;
    esc_count_ = 0;
    esc_at_ = kNever;
    SayResult(now, TResultCode::kOk);
  }
}

// ---------------------------------------------------------------- output

std::size_t THayesModem::ToDteAvailable(TSimTime now) const {
  std::size_t n = 0;
  bool first = true;
  for (const auto& piece : out_) {
    if (piece.at > now) break;
    n += piece.bytes.size() - (first ? out_pos_ : 0);
    first = false;
  }
  return n;
}

std::size_t THayesModem::PeekToDte(TSimTime now, char* out, std::size_t max) const {
  std::size_t n = 0;
  std::size_t skip = out_pos_;
  for (const auto& piece : out_) {
    if (piece.at > now || n == max) break;
    const std::size_t take = std::min(piece.bytes.size() - skip, max - n);
    std::copy_n(piece.bytes.data() + skip, take, out + n);
    n += take;
    skip = 0;
  }
  return n;
}

void THayesModem::ConsumeToDte(std::size_t n) {
  out_size_ -= std::min(n, out_size_);
  while (n > 0 && !out_.empty()) {
    const std::size_t left = out_.front().bytes.size() - out_pos_;
    if (n < left) {
      out_pos_ += n;
      return;
    }
    n -= left;
    out_.pop_front();
    out_pos_ = 0;
  }
}

void THayesModem::DiscardToDte() {
  out_.clear();
  out_pos_ = 0;
  out_size_ = 0;
}

std::string THayesModem::TakeToDte(TSimTime now) {
  std::string s(ToDteAvailable(now), '\0');
  s.resize(PeekToDte(now, s.data(), s.size()));
  ConsumeToDte(s.size());
  return s;
}

void THayesModem::Say(TSimTime now, std::string_view bytes) {
  if (faults_.dead || bytes.empty()) return;
  out_size_ += bytes.size();
  if (faults_.chunk_size == 0) {
    if (!out_.empty() && out_.back().at >= now) {
      out_.back().bytes.append(bytes);  // keeps order behind a piece still due later
    } else {
      out_.push_back({now, std::string(bytes)});
    }
    return;
  }
  const TSimTime delay = Millis(faults_.chunk_delay_ms);
  TSimTime at = out_.empty() ? now : std::max(now, out_.back().at + delay);
  for (std::size_t i = 0; i < bytes.size(); i += faults_.chunk_size) {
    out_.push_back({at, std::string(bytes.substr(i, faults_.chunk_size))});
    at += delay;
  }
}

void THayesModem::SayResult(TSimTime now, TResultCode code, std::uint32_t rate) {
  switch (code) {
    case TResultCode::kOk:
    case TResultCode::kError:
      break;
    default:
      reports_.push_back({now, code, rate});
      break;
  }
  if (profile_.quiet) return;
  const TResultFormat format{profile_.verbose, profile_.ConnectWithRate(), profile_.Cr(), profile_.Lf()};
  Say(now, FormatResult(code, rate, format));
}

void THayesModem::SayInfo(TSimTime now, std::string_view text) {
  std::string out;
  if (profile_.verbose) {
    out += profile_.Cr();
    out += profile_.Lf();
  }
  out += text;
  out += profile_.Cr();
  out += profile_.Lf();
  Say(now, out);
}

void THayesModem::Echo(TSimTime now, char c) {
  if (profile_.echo || faults_.echo_stuck) Say(now, std::string_view(&c, 1));
}

// ---------------------------------------------------------------- the call

void THayesModem::StartDial(TSimTime now) {
  ringback_heard_ = false;
  if (dial_.number.empty() && state_ == TState::kOffHook && call_placed_) {
    // "ATD" after a dial string that ended in ';': go on with that call.
    state_ = TState::kOriginating;
    timer_ = now + profile_.CarrierWait();
    return;
  }
  if (!line_present_ && profile_.DetectsDialTone()) {
    state_ = TState::kWaitDialTone;
    timer_ = now + profile_.DialToneWait();
    return;
  }
  state_ = TState::kDialing;
  timer_ = now + dial_.pause;
}

void THayesModem::DialDone(TSimTime now) {
  timer_ = kNever;
  if (!dial_.number.empty()) last_number_ = dial_.number;
  // Without a line a blind dial goes on, and nothing will ever answer it.
  if (line_present_ && !dial_.number.empty()) {
    requests_.push_back({TRequest::TKind::kPlaceCall, dial_.number});
    call_placed_ = true;
  }
  if (dial_.stay_in_command) {
    state_ = TState::kOffHook;
    RunLine(now);
    return;
  }
  state_ = TState::kOriginating;
  timer_ = now + profile_.CarrierWait();
}

void THayesModem::StartAnswer(TSimTime now) {
  line_state_ = TLineState::kSeekA;
  state_ = TState::kAnswering;
  timer_ = now + profile_.CarrierWait();
  requests_.push_back({TRequest::TKind::kAnswer, {}});
}

void THayesModem::GoOnHook(TSimTime) {
  if (state_ != TState::kIdle) requests_.push_back({TRequest::TKind::kHangUp, {}});
  state_ = TState::kIdle;
  carrier_ = false;
  rate_ = 0;
  carrier_lost_at_ = kNever;
  timer_ = kNever;
  esc_count_ = 0;
  esc_at_ = kNever;
  tx_.clear();
  call_placed_ = false;
  ringback_heard_ = false;
}

void THayesModem::FailCall(TSimTime now, TResultCode code) {
  GoOnHook(now);
  SayResult(now, code);
}

void THayesModem::Abort(TSimTime now) {
  exec_active_ = false;  // a line waiting for its dial to finish ends with it
  FailCall(now, TResultCode::kNoCarrier);
}

void THayesModem::StoreProfile(const TModemProfile& profile) {
  stored_ = profile;
  ResetProfile(profile);
}

void THayesModem::ResetProfile(const TModemProfile& profile) {
  const std::uint8_t rings = profile_.s[1];
  profile_ = profile;
  profile_.s[1] = rings;  // the ring counter is state, not a setting
}

void THayesModem::RingSignal(TSimTime now, bool on) {
  Advance(now);
  const bool rising = on && !ring_line_;
  ring_line_ = on;
  if (!rising || faults_.dead || state_ != TState::kIdle) return;
  if (profile_.s[1] < 255) ++profile_.s[1];
  SayResult(now, TResultCode::kRing);
  const bool may_answer = dtr_ || profile_.dtr_mode < 2;
  if (profile_.AutoAnswerRings() > 0 && profile_.s[1] >= profile_.AutoAnswerRings() && may_answer) {
    line_.clear();
    StartAnswer(now);
  }
}

void THayesModem::IncomingCallGone(TSimTime now) {
  Advance(now);
  ring_line_ = false;
  profile_.s[1] = 0;
}

void THayesModem::CallBusy(TSimTime now) {
  Advance(now);
  // Below X3 the modem does not know the busy tone and waits out S7.
  if (state_ == TState::kOriginating && profile_.DetectsBusy()) FailCall(now, TResultCode::kBusy);
}

void THayesModem::CallRingback(TSimTime now) {
  Advance(now);
  ringback_heard_ = true;
}

void THayesModem::CallConnected(TSimTime now, std::uint32_t rate) {
  Advance(now);
  if (!AwaitingCarrier()) return;
  state_ = TState::kOnlineData;
  carrier_ = true;
  rate_ = rate;
  timer_ = kNever;
  carrier_lost_at_ = kNever;
  esc_count_ = 0;
  esc_at_ = kNever;
  last_dte_at_ = now;
  ring_line_ = false;
  profile_.s[1] = 0;
  SayResult(now, TResultCode::kConnect, rate);
}

void THayesModem::CarrierLost(TSimTime now) {
  Advance(now);
  if (!carrier_) return;
  carrier_ = false;
  carrier_lost_at_ = now;
}

std::string THayesModem::TakeLineBytes(std::size_t max) {
  const std::size_t n = std::min(max, tx_.size());
  std::string out = tx_.substr(0, n);
  tx_.erase(0, n);
  return out;
}

std::size_t THayesModem::LineRoom() const {
  if (state_ != TState::kOnlineData || !carrier_) return 0;
  return out_size_ >= kOutCapacity ? 0 : kOutCapacity - out_size_;
}

void THayesModem::FromLine(TSimTime now, std::string_view bytes) {
  if (state_ != TState::kOnlineData || bytes.empty()) return;
  out_size_ += bytes.size();
  if (!out_.empty() && out_.back().at >= now) {
    out_.back().bytes.append(bytes);
  } else {
    out_.push_back({now, std::string(bytes)});
  }
}

std::vector<THayesModem::TRequest> THayesModem::TakeRequests() { return std::exchange(requests_, {}); }
std::vector<THayesModem::TReport> THayesModem::TakeReports() { return std::exchange(reports_, {}); }

// ---------------------------------------------------------------- time

void THayesModem::Advance(TSimTime now) {
  now_ = std::max(now_, now);
  if (faults_.dead) return;
  // Each pass handles the earliest due timer at its own time, so results come
  // out in the order and at the times a real modem would give them.
  for (int guard = 0; guard < 8; ++guard) {
    const TSimTime lost_deadline =
        carrier_lost_at_ == kNever ? kNever : carrier_lost_at_ + profile_.CarrierLossDelay();
    const TSimTime esc_deadline = state_ == TState::kOnlineData ? esc_at_ : kNever;
    const TSimTime t = std::min({timer_, lost_deadline, esc_deadline});
    if (t > now) return;
    if (t == esc_deadline) {
      state_ = TState::kOnlineCommand;
      esc_count_ = 0;
      esc_at_ = kNever;
      line_state_ = TLineState::kSeekA;
      SayResult(t, TResultCode::kOk);
    } else if (t == lost_deadline) {
      FailCall(t, TResultCode::kNoCarrier);
    } else {
      timer_ = kNever;
      switch (state_) {
        case TState::kWaitDialTone:
          FailCall(t, TResultCode::kNoDialtone);
          break;
        case TState::kDialing:
          DialDone(t);
          break;
        case TState::kOriginating: {
          const bool no_answer = (ringback_heard_ || dial_.quiet_answer) && profile_.ReportsNoAnswer();
          FailCall(t, no_answer ? TResultCode::kNoAnswer : TResultCode::kNoCarrier);
          break;
        }
        case TState::kAnswering:
          FailCall(t, TResultCode::kNoCarrier);
          break;
        default:
          break;
      }
    }
  }
}

TSimTime THayesModem::NextDeadline() const {
  if (faults_.dead) return kNever;
  TSimTime t = timer_;
  if (carrier_lost_at_ != kNever) t = std::min(t, carrier_lost_at_ + profile_.CarrierLossDelay());
  if (state_ == TState::kOnlineData) t = std::min(t, esc_at_);
  // Pieces of a chunked answer become due one after another.
  for (const auto& piece : out_) {
    if (piece.at > now_) {
      t = std::min(t, piece.at);
      break;
    }
  }
  return t;
}

}  // namespace kestrel::sim
