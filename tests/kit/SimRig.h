// The simulated telephone exchange as the tests use it: running for the
// rig's lifetime with quick timers, its events recorded, and its modems
// reached as COM ports (sim lines), as pseudo-terminals, as terminals the
// test types on, or with no terminal at all.
//
// Real time: every wait has a deadline.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Port.h"
#include "platform/PortNames.h"
#include "platform/Tick.h"
#include "sim/ExchangeRunner.h"

namespace kestrel::testing {

// A call connects in some 50 ms, rings come every half second, bytes cross
// at `rate` bit/s with 5 ms of latency, and numbers nobody has ring
// unanswered.
inline sim::TExchangeOptions QuickExchange(std::uint32_t rate = 115200) {
  return {.rate = rate, .latency_ms = 5, .dial_ms = 20, .handshake_ms = 30, .ring_on_ms = 200, .ring_off_ms = 300,
          .unknown_number = sim::TExchangeOptions::TUnknownNumber::kRingNoAnswer};
}

// A terminal on a sim line, as a terminal program uses its port: opened
// with line settings applied (DTR up), written, read until a text comes,
// closed (DTR drops).
class TTerminal {
 public:
  explicit TTerminal(std::string line) : line_(std::move(line)) { Open(); }  // opens "sim:<line>"
  ~TTerminal() { Close(); }
  TTerminal(const TTerminal&) = delete;
  TTerminal& operator=(const TTerminal&) = delete;

  void Open() {
    port_ = platform::PortOpen(std::string(platform::kSimPortPrefix) + line_);
    if (port_ != platform::kInvalidPortHandle) (void)platform::PortSetState(port_, platform::TPortDcb{});
  }
  void Close() {
    if (port_ != platform::kInvalidPortHandle) (void)platform::PortClose(port_);
    port_ = platform::kInvalidPortHandle;
  }
  bool Type(const std::string& text) {
    std::uint32_t done = 0;
    return platform::PortWrite(port_, text.data(), static_cast<std::uint32_t>(text.size()), done) &&
           done == text.size();
  }
  // What arrived until `needle` was read or `timeout_ms` passed.
  std::string ReadUntil(const std::string& needle, std::uint32_t timeout_ms = 3000) {
    std::string got;
    const std::uint32_t start = platform::GetTickCount();
    while (got.find(needle) == std::string::npos) {
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
      if (left == 0) break;
      if (platform::PortWaitReceive(port_, left) != platform::TPortWait::kReady) continue;
      char buf[512];
      std::uint32_t n = 0;
      if (!platform::PortRead(port_, buf, sizeof buf, n)) break;
      got.append(buf, n);
    }
    return got;
  }
  // The modem status lines (platform::kModem*On).
  std::uint32_t Lines() {
    std::uint32_t status = 0;
    (void)platform::PortGetModemStatus(port_, status);
    return status;
  }

 private:
  std::string line_;
  platform::TPortHandle port_ = platform::kInvalidPortHandle;
};

class TSimRig {
 public:
  explicit TSimRig(const sim::TExchangeOptions& options = QuickExchange());
  // Closes the terminals, stops the exchange and forgets the COM ports it set.
  ~TSimRig();
  TSimRig(const TSimRig&) = delete;
  TSimRig& operator=(const TSimRig&) = delete;

  // A modem numbered `number` that the gate reaches as COM `port`.
  sim::TModemId OnCom(int port, const std::string& number, sim::TModemSetup setup = {});
  // Points COM `port` at a sim line nobody made: the port cannot be opened.
  void Missing(int port);
  // A modem on a pseudo-terminal whose slave `link` points at (a test
  // failure when it cannot be made).
  sim::TModemId OnPty(const std::string& link, const sim::TModemSetup& setup);
  // A modem with no terminal: nobody answers its calls.
  sim::TModemId Bare(const sim::TModemSetup& setup);
  // A modem numbered `number` and its terminal, open; closed with the rig.
  TTerminal& Terminal(const std::string& number, sim::TModemSetup setup = {});
  // A modem numbered `number` whose terminal switched automatic answering on.
  sim::TModemId Answering(const std::string& number);
  // A sim line name no other test uses.
  static std::string NewLine(const std::string& stem = "rig");

  sim::TExchangeRunner& Runner() { return *runner_; }
  // Events so far, of one kind and optionally one modem.
  std::vector<sim::TExchangeEvent> Events(sim::TExchangeEvent::TKind kind, sim::TModemId modem = sim::kNoModem) const;
  // Waits up to `timeout_ms` until `done` holds for the events so far.
  bool WaitForEvents(const std::function<bool(const std::vector<sim::TExchangeEvent>&)>& done,
                     std::uint32_t timeout_ms) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<sim::TExchangeEvent> events_;
  std::unique_ptr<sim::TExchangeRunner> runner_;
  std::vector<int> ports_;
  std::vector<std::unique_ptr<TTerminal>> terminals_;
};

}  // namespace kestrel::testing
