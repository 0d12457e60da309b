// A telephone exchange on a fake clock, with every modem's terminal reading
// what its modem says as soon as it is said.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "sim/Exchange.h"

namespace kestrel::sim::testing {

struct TExchangeBench {
  TExchange ex;
  TSimTime now = 0;
  std::map<TModemId, std::string> heard;

  explicit TExchangeBench(TExchangeOptions options = {}) : ex(options) {}

  // A modem with echo off, as the gate sets it up.
  TModemId Add(std::string number, TModemSetup setup = {}) {
    setup.number = std::move(number);
    const TModemId id = ex.AddModem(setup);
    ex.FromDte(id, now, "ATE0\r");
    Drain();
    heard[id].clear();
    return id;
  }
  // Modems "1" and "2", the second set up as given.
  std::pair<TModemId, TModemId> Pair(TModemSetup second = {}) {
    const TModemId first = Add("1");
    return {first, Add("2", std::move(second))};
  }
  void Type(TModemId id, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const std::size_t n = ex.FromDte(id, now, text.substr(done));
      done += n;
      Drain();
      if (n == 0) Step(now + Millis(1));  // the modem is full: let the line take some
    }
  }
  // What modem `id` said since the last call.
  std::string Heard(TModemId id) { return std::exchange(heard[id], {}); }
  // Runs until `t` and returns what modem `id` said since the last look.
  std::string HeardBy(TModemId id, TSimTime t) {
    RunUntil(t);
    return Heard(id);
  }
  // Types `text` on modem `id`, lets `time` pass, and returns what the modem said meanwhile.
  std::string Run(TModemId id, std::string_view text, TSimTime time) {
    Type(id, text);
    RunFor(time);
    return Heard(id);
  }
  void Drain() {
    for (TModemId id = 1; id <= ex.ModemCount(); ++id) heard[id] += ex.Modem(id).TakeToDte(now);
  }
  // Moves time to `target`, stopping at every deadline on the way, as the
  // threaded runner would.
  void RunUntil(TSimTime target) {
    int at_once = 0;
    for (int i = 0; i < 1000000; ++i) {
      const TSimTime next = std::max(ex.NextDeadline(), now);
      if (next > target) break;
      // Something always due at once would be a fault of the exchange; the
      // tests would see it as a wrong result rather than hang.
      at_once = next == now ? at_once + 1 : 0;
      if (at_once > 5) break;
      Step(next);
    }
    Step(target);
  }
  void RunFor(TSimTime duration) { RunUntil(now + duration); }
  void Step(TSimTime t) {
    now = std::max(now, t);
    ex.Advance(now);
    Drain();
  }
  // Dials `to` from `from`, answers by ATA on `to` and runs until both are on line.
  void Call(TModemId from, TModemId to, const std::string& number) {
    Type(from, "ATD" + number + "\r");
    RunFor(Millis(ex.Options().dial_ms));
    Type(to, "ATA\r");
    RunFor(Millis(ex.Options().handshake_ms));
    Heard(from);
    Heard(to);
  }
};

}  // namespace kestrel::sim::testing
