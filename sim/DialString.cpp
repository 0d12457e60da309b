#include "sim/DialString.h"

namespace kestrel::sim {
namespace {

bool IsDialDigit(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; }
bool IsToneLetter(char c) { return c >= 'A' && c <= 'D'; }

}  // namespace

bool ParseDialString(std::string_view text, bool pulse_default, TSimTime comma_pause, TDialPlan& plan) {
  plan = TDialPlan{};
  plan.pulse = pulse_default;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDialDigit(c)) {
      plan.number += c;
    } else if (IsToneLetter(c)) {
      // A pulse dial cannot send the four extra tone keys; a modem skips them.
      if (!plan.pulse) plan.number += c;
    } else if (c == 'T' || c == 'P') {
      plan.pulse = c == 'P';
    } else if (c == ',') {
      plan.pause += comma_pause;
    } else if (c == '!') {
      plan.pause += Millis(500);
    } else if (c == '/') {
      plan.pause += Millis(125);
    } else if (c == 'W') {
      plan.wait_dial_tone = true;
    } else if (c == '@') {
      plan.quiet_answer = true;
    } else if (c == ';') {
      plan.stay_in_command = true;
      ++i;
      break;
    } else if (c == 'R' || c == '-' || c == '(' || c == ')' || c == '.') {
      // accepted without effect
    } else {
      return false;
    }
  }
  plan.consumed = i;
  return true;
}

std::string NormaliseNumber(std::string_view number) {
  std::string out;
  for (char c : number) {
    if (c >= 'a' && c <= 'd') c = static_cast<char>(c - 'a' + 'A');
    if (IsDialDigit(c) || IsToneLetter(c)) out += c;
  }
  return out;
}

}  // namespace kestrel::sim
