// Runs a telephone exchange of simulated modems in real time.
//
// The runner owns a TExchange and one thread. Each modem may have a port to
// its terminal (ModemPort.h): an in-process sim line, a pseudo-terminal, or
// a test's own. The thread moves bytes between ports and modems, keeps the
// modems' lines on the ports up to date, and advances the exchange's clock.
// It sleeps until the exchange's next deadline or until a port reports
// activity; an idle exchange costs nothing but those wake-ups, and the thread
// never wakes more than once a millisecond for timers (the data schedule is
// kept exactly, so that does not slow the line).
//
// Time: microseconds of a monotonic clock since the runner was made (Now()).
//
// Thread safety: every member may be called from any thread, but not from
// the event sink or from inside Configure.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SimLine.h"
#include "sim/Exchange.h"
#include "sim/ModemPort.h"

namespace kestrel::sim {

class TExchangeRunner {
 public:
  explicit TExchangeRunner(TExchangeOptions options = {});
  // Stops the thread; the ports go with the runner (sim lines unregister,
  // pseudo-terminals and their links disappear).
  ~TExchangeRunner();
  TExchangeRunner(const TExchangeRunner&) = delete;
  TExchangeRunner& operator=(const TExchangeRunner&) = delete;

  // Adds a modem with its port (null: a modem with no terminal). Works before
  // and after Start.
  TModemId AddModem(const TModemSetup& setup, std::unique_ptr<TModemPort> port);
  // A modem on a new sim line named `line_name` (the gate opens
  // "sim:<line_name>"). kNoModem when the name is empty or taken.
  TModemId AddSimModem(const std::string& line_name, const TModemSetup& setup);
  // A modem on a new pseudo-terminal whose slave `link_path` points at.
  // kNoModem with `error` set when it cannot be made.
  TModemId AddPtyModem(const std::string& link_path, const TModemSetup& setup, std::string& error);
  std::string PortDescription(TModemId id) const;

  // Starts the thread. A runner that was stopped does not start again.
  void Start();
  // Ends the thread and waits for it; idempotent. Modems stay as they are.
  void Stop();

  // Runs `f` on the exchange under the runner's lock, with the runner's
  // current time, then has the thread look at the result at once. For
  // faults, line changes and inspection. `f` must not call the runner.
  void Configure(const std::function<void(TExchange&, TSimTime now)>& f);

  // Receives the exchange's events on the runner's thread, no lock held. Set
  // it before Start; must not call the runner.
  void SetEventSink(std::function<void(const TExchangeEvent&)> sink);

  TSimTime Now() const;
  // Passes of the thread's loop so far: how often it woke up.
  std::uint64_t Passes() const { return passes_; }

 private:
  struct TAttached {
    TModemId id;
    std::unique_ptr<TModemPort> port;
    std::uint32_t seen_drops = 0;
    bool dtr_wired = true;
  };

  void Poke();
  void Run();
  TSimTime Pump();

  const std::chrono::steady_clock::time_point epoch_;
  mutable std::mutex mutex_;  // the exchange and the ports
  TExchange exchange_;
  std::vector<TAttached> attached_;
  std::function<void(const TExchangeEvent&)> sink_;

  std::mutex poke_mutex_;  // never held while a port or the exchange is used
  std::condition_variable poke_cv_;
  bool poked_ = false;
  bool stop_ = false;

  std::thread thread_;
  std::atomic<std::uint64_t> passes_{0};
};

}  // namespace kestrel::sim
