// The command interpreter of THayesModem: assembling "AT" lines from the
// terminal's characters and executing the commands on them.
#include <cctype>
#include <cstdio>

#include "sim/HayesModem.h"

namespace kestrel::sim {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

void THayesModem::CommandByte(TSimTime now, char c) {
  // Everything typed in command mode is echoed, whether or not it makes a command.
  Echo(now, c);
  switch (line_state_) {
    case TLineState::kSeekA:
      if (Upper(c) == 'A') line_state_ = TLineState::kSeekT;
      break;
    case TLineState::kSeekT:
      if (Upper(c) == 'T') {
        line_state_ = TLineState::kInLine;
        line_.clear();
        line_overflow_ = false;
      } else if (c == '/') {
        line_state_ = TLineState::kSeekA;
        StartLine(now, last_line_);
      } else if (Upper(c) != 'A') {
        line_state_ = TLineState::kSeekA;
      }
      break;
    case TLineState::kInLine:
      if (c == profile_.Cr()) {
        line_state_ = TLineState::kSeekA;
        if (line_overflow_) {
          SayResult(now, TResultCode::kError);
        } else {
          last_line_ = line_;
          StartLine(now, line_);
        }
      } else if (c == profile_.Backspace()) {
        if (!line_.empty()) line_.pop_back();
      } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        // other control characters are not part of a command
      } else if (line_.size() >= kMaxLine) {
        line_overflow_ = true;
      } else {
        line_ += c;
      }
      break;
  }
}

void THayesModem::StartLine(TSimTime now, std::string line) {
  exec_.clear();
  for (char c : line)
    if (c != ' ') exec_ += Upper(c);
  exec_pos_ = 0;
  exec_active_ = true;
  RunLine(now);
}

void THayesModem::RunLine(TSimTime now) {
  while (exec_active_) {
    if (exec_pos_ >= exec_.size()) {
      exec_active_ = false;
      SayResult(now, TResultCode::kOk);
      return;
    }
    switch (Execute(now)) {
      case TStep::kNext:
        break;
      case TStep::kError:
        exec_active_ = false;
        SayResult(now, TResultCode::kError);
        return;
      case TStep::kEnd:
        exec_active_ = false;
        return;
      case TStep::kSuspend:
        return;
    }
  }
}

bool THayesModem::ReadArg(unsigned& value, unsigned max_value) {
  // A missing number means 0, as on every Hayes modem.
  value = 0;
  while (exec_pos_ < exec_.size() && exec_[exec_pos_] >= '0' && exec_[exec_pos_] <= '9') {
    value = value * 10 + static_cast<unsigned>(exec_[exec_pos_++] - '0');
    if (value > max_value) return false;
  }
  return true;
}

THayesModem::TStep THayesModem::Execute(TSimTime now) {
  const char c = exec_[exec_pos_++];
  unsigned v = 0;
  switch (c) {
    case 'E':
      if (!ReadArg(v, 1)) return TStep::kError;
      profile_.echo = v == 1;
      return TStep::kNext;
    case 'V':
      if (!ReadArg(v, 1)) return TStep::kError;
      profile_.verbose = v == 1;
      return TStep::kNext;
    case 'Q':
      if (!ReadArg(v, 1)) return TStep::kError;
      profile_.quiet = v == 1;
      return TStep::kNext;
    case 'X':
      if (!ReadArg(v, 4)) return TStep::kError;
      profile_.x_level = static_cast<std::uint8_t>(v);
      return TStep::kNext;
    case 'L':  // speaker volume
    case 'M':  // speaker on/off
      return ReadArg(v, 3) ? TStep::kNext : TStep::kError;
    case 'B':  // ITU or Bell modulation at 300/1200 bit/s
      return ReadArg(v, 1) ? TStep::kNext : TStep::kError;
    case 'H':
      if (!ReadArg(v, 1)) return TStep::kError;
      if (v == 0) {
        if (OffHook()) GoOnHook(now);
      } else if (state_ == TState::kIdle) {
        state_ = TState::kOffHook;
      } else if (state_ != TState::kOffHook) {
        return TStep::kError;
      }
      return TStep::kNext;
    case 'Z':
      if (!ReadArg(v, 1)) return TStep::kError;
      if (OffHook()) GoOnHook(now);
      ResetProfile(stored_);
      // Whatever follows Z on the line is not executed.
      SayResult(now, TResultCode::kOk);
      return TStep::kEnd;
    case 'O':
      if (!ReadArg(v, 1)) return TStep::kError;
      if (state_ == TState::kOnlineCommand && carrier_) {
        state_ = TState::kOnlineData;
        esc_count_ = 0;
        esc_at_ = kNever;
        last_dte_at_ = now;
        SayResult(now, TResultCode::kConnect, rate_);
      } else {
        SayResult(now, TResultCode::kNoCarrier);
      }
      return TStep::kEnd;
    case 'I':
      if (!ReadArg(v, 9)) return TStep::kError;
      return ExecuteInfo(v);
    case 'A':
      return ExecuteAnswer(now);
    case 'D':
      return ExecuteDial(now);
    case 'S': {
      unsigned reg = 0;
      if (!ReadArg(reg, TModemProfile::kRegisterCount - 1)) return TStep::kError;
      selected_register_ = reg;
      return ExecuteRegister(now, reg);
    }
    case '?':
    case '=':
      --exec_pos_;
      return ExecuteRegister(now, selected_register_);
    case '&':
      return ExecuteAmpersand(now);
    default:
      return TStep::kError;
  }
}

THayesModem::TStep THayesModem::ExecuteAmpersand(TSimTime) {
  if (exec_pos_ >= exec_.size()) return TStep::kError;
  const char c = exec_[exec_pos_++];
  unsigned v = 0;
  switch (c) {
    case 'F':
      if (!ReadArg(v, 0)) return TStep::kError;
      ResetProfile(TModemProfile::Factory());
      return TStep::kNext;
    case 'C':
      if (!ReadArg(v, 1)) return TStep::kError;
      profile_.dcd_mode = static_cast<std::uint8_t>(v);
      return TStep::kNext;
    case 'D':
      if (!ReadArg(v, 3)) return TStep::kError;
      profile_.dtr_mode = static_cast<std::uint8_t>(v);
      return TStep::kNext;
    case 'W':
      if (!ReadArg(v, 1)) return TStep::kError;
      stored_ = profile_;
      stored_.s[1] = 0;
      return TStep::kNext;
    case 'K':  // flow control selection: the simulated line never overruns
      return ReadArg(v, 6) ? TStep::kNext : TStep::kError;
    default:
      return TStep::kError;
  }
}

THayesModem::TStep THayesModem::ExecuteRegister(TSimTime now, unsigned reg) {
  if (exec_pos_ >= exec_.size()) return TStep::kNext;  // "S7" alone selects the register
  if (exec_[exec_pos_] == '?') {
    ++exec_pos_;
    char text[4];
    std::snprintf(text, sizeof text, "%03u", static_cast<unsigned>(profile_.s[reg]));
    SayInfo(now, text);
    return TStep::kNext;
  }
  if (exec_[exec_pos_] == '=') {
    ++exec_pos_;
    unsigned v = 0;
    // The characters that frame every line must stay 7-bit.
    const unsigned max_value = reg == 3 || reg == 4 || reg == 5 ? 127 : 255;
    if (!ReadArg(v, max_value)) return TStep::kError;
    profile_.s[reg] = static_cast<std::uint8_t>(v);
  }
  return TStep::kNext;
}

THayesModem::TStep THayesModem::ExecuteDial(TSimTime now) {
  if (state_ == TState::kOnlineCommand) return TStep::kError;
  std::string_view rest(exec_);
  rest.remove_prefix(exec_pos_);
  std::string redial;
  if (!rest.empty() && rest.front() == 'L') {
    // "DL": the last number dialled, then whatever follows.
    redial = last_number_;
    rest.remove_prefix(1);
    ++exec_pos_;
  }
  TDialPlan plan;
  if (!ParseDialString(rest, false, profile_.CommaPause(), plan)) return TStep::kError;
  plan.number = redial + plan.number;
  if (call_placed_ && !plan.number.empty()) return TStep::kError;
  exec_pos_ += plan.consumed;
  dial_ = plan;
  StartDial(now);
  return plan.stay_in_command ? TStep::kSuspend : TStep::kEnd;
}

THayesModem::TStep THayesModem::ExecuteAnswer(TSimTime now) {
  if (state_ != TState::kIdle && state_ != TState::kOffHook) return TStep::kError;
  StartAnswer(now);
  return TStep::kEnd;
}

THayesModem::TStep THayesModem::ExecuteInfo(unsigned which) {
  switch (which) {
    case 0:
      SayInfo(now_, "336");
      break;
    case 1:
      SayInfo(now_, "255");
      break;
    case 3:
      SayInfo(now_, "Kestrel software modem 1.0");
      break;
    case 4:
      SayInfo(now_, "V.34 33600, simulated telephone exchange");
      break;
    default:
      break;  // nothing to tell: just OK
  }
  return TStep::kNext;
}

}  // namespace kestrel::sim
