// A simulated modem on a fake clock, for tests of the pure state machine,
// with scripts of what is typed or waited for and what the modem says.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/HayesModem.h"

namespace kestrel::sim::testing {

// One step of a script: text typed, or time let pass; and what the modem says meanwhile.
struct TStep {
  TStep(std::string typed, std::string said) : in(std::move(typed)), out(std::move(said)) {}
  TStep(TSimTime pause, std::string said) : wait(pause), out(std::move(said)) {}
  std::string in;
  TSimTime wait = 0;
  std::string out;
};

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
  void Expect(const std::vector<TStep>& script) {
    for (const TStep& s : script) {
      if (s.wait != 0) {
        EXPECT_EQ(Wait(s.wait), s.out) << "after " << s.wait / 1000 << " ms more";
      } else {
        EXPECT_EQ(Type(s.in), s.out) << "typing " << ::testing::PrintToString(s.in);
      }
    }
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
  // On line in data mode, with the last terminal byte `quiet` ago.
  static TModemBench Online(TSimTime quiet = Seconds(2)) {
    auto b = Quiet();
    b.Connect();
    b.Wait(quiet);
    return b;
  }
};

}  // namespace kestrel::sim::testing
