#include "sim/Exchange.h"

#include <algorithm>
#include <utility>

#include "sim/DialString.h"

namespace kestrel::sim {

struct TExchange::TCall {
  enum class TState : std::uint8_t {
    kRouting,    // the number is on its way through the exchange
    kSilence,    // nobody there: nothing on the line
    kRingback,   // an unknown number that rings and never answers
    kBusy,       // busy tone
    kRinging,    // the called line rings
    kHandshake,  // answered; carriers are being negotiated
    kConnected,  // carrying data
    kDraining,   // one end hung up; its last bytes are still on their way to the other
  };

  std::uint32_t id = 0;
  TModemId caller = kNoModem;
  TModemId callee = kNoModem;
  std::string number;
  TState state = TState::kRouting;
  TSimTime timer = kNever;
  bool ring_on = false;
  std::uint32_t rate = 0;
  TSimTime connected_at = 0;
  std::unique_ptr<TWire> up;    // caller to callee
  std::unique_ptr<TWire> down;  // callee to caller
  TLineFaults own_faults;
  TLineFaults faults;
  std::uint64_t delivered = 0;
  TModemId drain_to = kNoModem;
  bool done = false;
};

TExchange::TExchange(TExchangeOptions options) : options_(options) {
  if (options_.rate < 300) options_.rate = 300;
  if (options_.ring_on_ms == 0) options_.ring_on_ms = 1;
}

TExchange::~TExchange() = default;

TModemId TExchange::AddModem(const TModemSetup& setup) {
  auto& entry = modems_.emplace_back();
  entry.setup = setup;
  entry.digits = NormaliseNumber(setup.number);
  entry.modem.SetLinePresent(setup.line);
  entry.modem.SetFaults(setup.faults);
  if (setup.dtr_mode != entry.modem.Profile().dtr_mode) {
    TModemProfile profile = entry.modem.Profile();
    profile.dtr_mode = setup.dtr_mode;
    entry.modem.StoreProfile(profile);
  }
  return static_cast<TModemId>(modems_.size());
}

TModemId TExchange::Find(std::string_view number) const {
  const std::string digits = NormaliseNumber(number);
  if (digits.empty()) return kNoModem;
  for (std::size_t i = 0; i < modems_.size(); ++i)
    if (modems_[i].digits == digits) return static_cast<TModemId>(i + 1);
  return kNoModem;
}

void TExchange::Event(TSimTime time, TModemId modem, TExchangeEvent::TKind kind, std::string text) {
  events_.push_back({time, modem, kind, std::move(text)});
}

std::vector<TExchangeEvent> TExchange::TakeEvents() { return std::exchange(events_, {}); }

// ---------------------------------------------------------------- settings

void TExchange::SetModemFaults(TModemId id, const TModemFaults& faults) {
  At(id).setup.faults = faults;
  At(id).modem.SetFaults(faults);
}

void TExchange::SetLineFaults(TModemId id, const TLineFaults& faults) {
  At(id).setup.line_faults = faults;
  if (auto it = calls_.find(At(id).call); it != calls_.end()) ApplyFaults(*it->second);
}

bool TExchange::SetCallFaults(TModemId id, const TLineFaults& faults) {
  const auto it = calls_.find(At(id).call);
  if (it == calls_.end()) return false;
  it->second->own_faults = faults;
  ApplyFaults(*it->second);
  return true;
}

void TExchange::SetLinePresent(TModemId id, bool present) {
  At(id).setup.line = present;
  At(id).modem.SetLinePresent(present);
  if (present) return;
  // A pulled line ends whatever call it carried.
  if (auto it = calls_.find(At(id).call); it != calls_.end()) {
    TCall& call = *it->second;
    if (call.state == TCall::TState::kConnected || call.state == TCall::TState::kDraining) {
      DropCarrier(call, now_);
    } else {
      if (call.callee != kNoModem && call.state == TCall::TState::kRinging) At(call.callee).modem.IncomingCallGone(now_);
      Unlink(call);
    }
  }
}

void TExchange::SetBusy(TModemId id, bool busy) { At(id).setup.busy = busy; }

void TExchange::ApplyFaults(TCall& call) {
  TLineFaults f = call.own_faults;
  f = Combine(f, At(call.caller).setup.line_faults);
  if (call.callee != kNoModem) f = Combine(f, At(call.callee).setup.line_faults);
  call.faults = f;
  if (call.up) call.up->SetFaults(f.bit_error_rate, f.loss_rate);
  if (call.down) call.down->SetFaults(f.bit_error_rate, f.loss_rate);
}

// ---------------------------------------------------------------- terminal side

std::size_t TExchange::FromDte(TModemId id, TSimTime now, std::string_view bytes) {
  const std::size_t n = At(id).modem.FromDte(now, bytes);
  Advance(now);
  return n;
}

void TExchange::SetDtr(TModemId id, TSimTime now, bool on) {
  if (At(id).modem.Dtr() != on) Event(now, id, TExchangeEvent::TKind::kDtr, on ? "on" : "off");
  At(id).modem.SetDtr(now, on);
  Advance(now);
}

// ---------------------------------------------------------------- requests

void TExchange::HandleRequests(TSimTime now) {
  // A request may cause another (an answer that finds nobody, a busy tone
  // that makes the caller hang up): go round until all are handled.
  for (int round = 0; round < 8; ++round) {
    // Results first: a modem says BUSY and then hangs up, hears RING and then answers.
    CollectReports();
    bool any = false;
    for (std::size_t i = 0; i < modems_.size(); ++i) {
      const auto id = static_cast<TModemId>(i + 1);
      for (auto& request : modems_[i].modem.TakeRequests()) {
        any = true;
        switch (request.kind) {
          case THayesModem::TRequest::TKind::kPlaceCall:
            PlaceCall(id, now, request.number);
            break;
          case THayesModem::TRequest::TKind::kAnswer:
            Answer(id, now);
            break;
          case THayesModem::TRequest::TKind::kHangUp:
            HangUp(id, now);
            break;
        }
      }
    }
    if (!any) return;
  }
}

void TExchange::PlaceCall(TModemId caller, TSimTime now, const std::string& number) {
  Event(now, caller, TExchangeEvent::TKind::kDial, number);
  if (At(caller).call != 0) HangUp(caller, now);
  auto call = std::make_unique<TCall>();
  call->id = next_call_++;
  call->caller = caller;
  call->number = number;
  call->timer = now + Millis(options_.dial_ms);
  At(caller).call = call->id;
  calls_.emplace(call->id, std::move(call));
}

void TExchange::Answer(TModemId callee, TSimTime now) {
  Event(now, callee, TExchangeEvent::TKind::kAnswer);
  const auto it = calls_.find(At(callee).call);
  if (it == calls_.end()) return;  // nobody calls: the modem waits for a carrier that never comes
  TCall& call = *it->second;
  if (call.callee != callee || call.state != TCall::TState::kRinging) return;
  call.state = TCall::TState::kHandshake;
  call.timer = now + Millis(options_.handshake_ms);
  call.ring_on = false;
  At(callee).modem.RingSignal(now, false);
}

void TExchange::HangUp(TModemId who, TSimTime now) {
  Event(now, who, TExchangeEvent::TKind::kHangUp);
  const auto it = calls_.find(At(who).call);
  if (it == calls_.end()) return;
  TCall& call = *it->second;
  const TModemId other = who == call.caller ? call.callee : call.caller;
  At(who).call = 0;
  switch (call.state) {
    case TCall::TState::kConnected: {
      // The far end loses the carrier once what this end sent has arrived.
      TWire& toward_other = who == call.caller ? *call.up : *call.down;
      if (other != kNoModem && !toward_other.Empty()) {
        call.state = TCall::TState::kDraining;
        call.drain_to = other;
        call.timer = toward_other.LastArrival();
      } else {
        if (other != kNoModem) At(other).modem.CarrierLost(now);
        Unlink(call);
      }
      break;
    }
    case TCall::TState::kDraining:
      if (who == call.drain_to) Unlink(call);
      break;
    case TCall::TState::kRinging:
      if (who == call.caller) At(call.callee).modem.IncomingCallGone(now);
      Unlink(call);
      break;
    default:
      // Routing, busy, silence, handshake: the other end (if any) finds out
      // by itself when its wait for a carrier runs out.
      Unlink(call);
      break;
  }
}

void TExchange::Unlink(TCall& call) {
  if (call.caller != kNoModem && At(call.caller).call == call.id) At(call.caller).call = 0;
  if (call.callee != kNoModem && At(call.callee).call == call.id) At(call.callee).call = 0;
  call.done = true;
}

// ---------------------------------------------------------------- calls

void TExchange::Route(TCall& call, TSimTime now) {
  const TModemId callee = Find(call.number);
  if (callee == kNoModem) {
    if (options_.unknown_number == TExchangeOptions::TUnknownNumber::kRingNoAnswer) {
      call.state = TCall::TState::kRingback;
      At(call.caller).modem.CallRingback(now);
    } else {
      call.state = TCall::TState::kSilence;
    }
    return;
  }
  TEntry& entry = At(callee);
  if (!entry.setup.line) {
    call.state = TCall::TState::kSilence;
    return;
  }
  if (entry.setup.busy || entry.call != 0 || entry.modem.OffHook()) {
    call.state = TCall::TState::kBusy;
    At(call.caller).modem.CallBusy(now);
    return;
  }
  call.callee = callee;
  entry.call = call.id;
  call.state = TCall::TState::kRinging;
  call.ring_on = true;
  call.timer = now + Millis(options_.ring_on_ms);
  At(call.caller).modem.CallRingback(now);
  entry.modem.RingSignal(now, true);
}

void TExchange::Connect(TCall& call, TSimTime now) {
  THayesModem& a = At(call.caller).modem;
  THayesModem& b = At(call.callee).modem;
  if (!a.Originating() || !b.AwaitingCarrier()) {
    // The caller went back to command mode after dialling (';'): nothing
    // to negotiate with until it asks for the carrier. The answerer's S7 runs.
    call.timer = kNever;
    return;
  }
  std::uint32_t rate = options_.rate;
  for (const TModemId id : {call.caller, call.callee})
    if (At(id).setup.max_rate != 0) rate = std::min(rate, At(id).setup.max_rate);
  call.rate = rate;
  const TSimTime latency = Millis(options_.latency_ms);
  call.up = std::make_unique<TWire>(rate, latency, options_.seed * 1000003u + call.id * 2);
  call.down = std::make_unique<TWire>(rate, latency, options_.seed * 1000003u + call.id * 2 + 1);
  ApplyFaults(call);
  call.state = TCall::TState::kConnected;
  call.connected_at = now;
  call.timer = kNever;
  a.CallConnected(now, rate);
  b.CallConnected(now, rate);
}

void TExchange::DropCarrier(TCall& call, TSimTime now) {
  for (const TModemId id : {call.caller, call.callee}) {
    if (id == kNoModem || At(id).call != call.id) continue;
    Event(now, id, TExchangeEvent::TKind::kCarrierDrop);
    At(id).modem.CarrierLost(now);
  }
  Unlink(call);
}

void TExchange::Transfer(TCall& call, TSimTime now) {
  const std::uint64_t limit = call.faults.drop_after_bytes;
  std::string buffer;
  for (int dir = 0; dir < 2; ++dir) {
    TWire& wire = dir == 0 ? *call.up : *call.down;
    THayesModem& from = At(dir == 0 ? call.caller : call.callee).modem;
    THayesModem& to = At(dir == 0 ? call.callee : call.caller).modem;
    const std::size_t n = std::min(wire.Room(), from.LineBytesPending());
    if (n > 0) wire.Send(now, from.TakeLineBytes(n));
    std::size_t room = to.LineRoom();
    if (limit != 0) room = static_cast<std::size_t>(std::min<std::uint64_t>(room, limit - std::min(limit, call.delivered)));
    buffer.clear();
    call.delivered += wire.Receive(now, room, buffer);
    to.FromLine(now, buffer);
  }
  if (limit != 0 && call.delivered >= limit) DropCarrier(call, now);
}

void TExchange::StepCall(TCall& call, TSimTime now) {
  using S = TCall::TState;
  // Timed steps may follow one another within one Advance (a ring cadence
  // that was not looked at for a while); each runs at its own time.
  for (int guard = 0; guard < 64 && !call.done; ++guard) {
    switch (call.state) {
      case S::kRouting:
        if (call.timer > now) return;
        Route(call, call.timer);
        continue;
      case S::kRinging:
        if (call.timer > now) return;
        call.ring_on = !call.ring_on;
        At(call.callee).modem.RingSignal(call.timer, call.ring_on);
        call.timer += Millis(call.ring_on ? options_.ring_on_ms : options_.ring_off_ms);
        HandleRequests(now);  // an automatic answer switches the call to the handshake
        continue;
      case S::kHandshake:
        if (call.timer > now) {
          // Set to kNever when the caller is not ready: look again each time.
          if (call.timer != kNever) return;
        }
        Connect(call, std::min(call.timer, now));
        if (call.state == S::kHandshake) return;
        continue;
      case S::kConnected:
        if (call.faults.drop_after_ms != 0 && now >= call.connected_at + Millis(call.faults.drop_after_ms)) {
          Transfer(call, call.connected_at + Millis(call.faults.drop_after_ms));
          if (!call.done) DropCarrier(call, now);
          return;
        }
        Transfer(call, now);
        return;
      case S::kDraining: {
        TWire& wire = call.drain_to == call.callee ? *call.up : *call.down;
        THayesModem& to = At(call.drain_to).modem;
        std::string buffer;
        wire.Receive(now, to.LineRoom(), buffer);
        to.FromLine(now, buffer);
        if (wire.Empty() || now >= call.timer) {
          to.CarrierLost(now);
          Unlink(call);
        }
        return;
      }
      case S::kSilence:
      case S::kRingback:
      case S::kBusy:
        return;
    }
  }
}

void TExchange::CollectReports() {
  for (std::size_t i = 0; i < modems_.size(); ++i) {
    for (const auto& r : modems_[i].modem.TakeReports()) {
      const auto kind = r.code == TResultCode::kRing ? TExchangeEvent::TKind::kRing : TExchangeEvent::TKind::kResult;
      Event(r.time, static_cast<TModemId>(i + 1), kind, ResultText(r.code, r.rate));
    }
  }
}

void TExchange::Advance(TSimTime now) {
  now_ = std::max(now_, now);
  for (auto& entry : modems_) entry.modem.Advance(now);
  HandleRequests(now);
  for (auto it = calls_.begin(); it != calls_.end(); ++it) {
    StepCall(*it->second, now);
    HandleRequests(now);
  }
  for (auto it = calls_.begin(); it != calls_.end();) it = it->second->done ? calls_.erase(it) : std::next(it);
  CollectReports();
}

TSimTime TExchange::NextDeadline() const {
  TSimTime t = kNever;
  for (const auto& entry : modems_) {
    if (entry.modem.HasRequests()) return now_;
    t = std::min(t, entry.modem.NextDeadline());
  }
  for (const auto& [id, call] : calls_) {
    switch (call->state) {
      case TCall::TState::kRouting:
      case TCall::TState::kRinging:
      case TCall::TState::kHandshake:
        t = std::min(t, call->timer);
        break;
      case TCall::TState::kConnected: {
        if (call->faults.drop_after_ms != 0) t = std::min(t, call->connected_at + Millis(call->faults.drop_after_ms));
        // A byte that has arrived but finds no room waits for the terminal to
        // read; the port's activity wakes the runner then, not a timer.
        if (At(call->callee).modem.LineRoom() > 0) t = std::min(t, call->up->NextArrival());
        if (At(call->caller).modem.LineRoom() > 0) t = std::min(t, call->down->NextArrival());
        if (At(call->caller).modem.LineBytesPending() > 0 && call->up->Room() > 0) return now_;
        if (At(call->callee).modem.LineBytesPending() > 0 && call->down->Room() > 0) return now_;
        break;
      }
      case TCall::TState::kDraining: {
        const TWire& wire = call->drain_to == call->callee ? *call->up : *call->down;
        t = std::min(t, call->timer);
        if (At(call->drain_to).modem.LineRoom() > 0) t = std::min(t, wire.NextArrival());
        break;
      }
      default:
        break;
    }
  }
  return t;
}

}  // namespace kestrel::sim
