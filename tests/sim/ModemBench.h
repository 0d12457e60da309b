// A simulated modem on a fake clock, for tests of the pure state machine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/HayesModem.h"

namespace kestrel::sim::testing {

struct TModemBench {
  THayesModem modem;
  TSimTime now = 0;

  // Types `text` at the current time and returns what the modem says at once.
  std::string Type(std::string_view text) {
    modem.FromDte(now, text);
    modem.Advance(now);  // what is due at once (a dial without pauses) happens now
    return Out();
  }
  std::string Out() { return modem.TakeToDte(now); }
  // Lets `duration` pass and returns what the modem said meanwhile.
  std::string Wait(TSimTime duration) {
    now += duration;
    modem.Advance(now);
    return Out();
  }
  std::vector<THayesModem::TRequest::TKind> RequestKinds() {
    std::vector<THayesModem::TRequest::TKind> kinds;
    for (const auto& r : modem.TakeRequests()) kinds.push_back(r.kind);
    return kinds;
  }
  // A modem with echo off and verbose results, as the gate sets it up.
  static TModemBench Quiet() {
    TModemBench b;
    b.Type("ATE0\r");
    return b;
  }
  // Brings the modem on line: dial, and the far end's carrier at `rate`.
  void Connect(std::uint32_t rate = 33600) {
    Type("ATD1\r");
    modem.TakeRequests();
    modem.CallConnected(now, rate);
    Out();
  }
};

}  // namespace kestrel::sim::testing
