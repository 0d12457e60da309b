// The settings of a simulated modem that AT commands change: the E, V, Q, X,
// &C and &D switches and the S registers.
//
// Factory() gives the defaults that AT&F restores; ATZ restores the profile
// last stored with AT&W (the factory one until then). The named accessors
// turn register values into the times and characters the modem works with.
#pragma once

#include <array>
#include <cstdint>

#include "sim/SimTime.h"

namespace kestrel::sim {

struct TModemProfile {
  static constexpr unsigned kRegisterCount = 100;  // S0..S99

  bool echo = true;           // E1
  bool verbose = true;        // V1
  bool quiet = false;         // Q0
  std::uint8_t x_level = 4;   // X4: all result codes, dial tone and busy detection
  std::uint8_t dcd_mode = 1;  // &C1: CD follows the carrier
  std::uint8_t dtr_mode = 2;  // &D2: DTR off hangs up
  std::array<std::uint8_t, kRegisterCount> s{};

  static TModemProfile Factory();

  std::uint8_t AutoAnswerRings() const { return s[0]; }
  std::uint8_t EscapeChar() const { return s[2]; }  // above 127 disables the escape
  char Cr() const { return static_cast<char>(s[3]); }
  char Lf() const { return static_cast<char>(s[4]); }
  char Backspace() const { return static_cast<char>(s[5]); }
  TSimTime DialToneWait() const { return Seconds(s[6] < 2 ? 2 : s[6]); }  // at least 2 s, as the register is documented
  TSimTime CarrierWait() const { return Seconds(s[7]); }
  TSimTime CommaPause() const { return Seconds(s[8]); }
  TSimTime CarrierLossDelay() const { return Millis(100 * static_cast<std::int64_t>(s[10])); }
  TSimTime GuardTime() const { return Millis(20 * static_cast<std::int64_t>(s[12])); }

  // Which results the X level lets through, and whether it detects dial tone and busy.
  bool ConnectWithRate() const { return x_level >= 1; }
  bool DetectsDialTone() const { return x_level == 2 || x_level == 4; }
  bool DetectsBusy() const { return x_level >= 3; }
  bool ReportsNoAnswer() const { return x_level >= 3; }
};

}  // namespace kestrel::sim
