// The dial string of an ATD command.
//
// ParseDialString reads what follows "D" on a command line (already upper
// case, blanks removed) up to the end of the line or a ';'. It collects the
// number to route (digits, '*', '#', and A..D when tone dialling) and the
// modifiers: T/P tone or pulse, ',' pause (S8 seconds), '!' hook flash
// (0.5 s), '/' short pause (0.125 s), 'W' wait for a second dial tone, '@'
// wait for quiet answer, 'R' reverse mode (accepted, no effect here), ';'
// return to command mode after dialling. '-', '(', ')' and '.' are ignored,
// as telephone numbers are written with them. Anything else makes the whole
// command fail (ERROR).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sim/SimTime.h"

namespace kestrel::sim {

struct TDialPlan {
  std::string number;          // what the exchange routes on
  bool pulse = false;          // the dialling mode in force at the end
  TSimTime pause = 0;          // time spent on ',', '!' and '/'
  bool wait_dial_tone = false;  // a 'W' was given
  bool quiet_answer = false;   // an '@' was given
  bool stay_in_command = false;  // the string ended with ';'
  std::size_t consumed = 0;    // characters used, the ';' included
};

// Returns false for a character that no dial string may hold.
[[nodiscard]] bool ParseDialString(std::string_view text, bool pulse_default, TSimTime comma_pause, TDialPlan& plan);

// The digits of a telephone number as the exchange compares them: every
// character but 0-9, '*', '#' and A-D is dropped. "8 (812) 555-01-02" and
// "88125550102" are the same line.
std::string NormaliseNumber(std::string_view number);

}  // namespace kestrel::sim
