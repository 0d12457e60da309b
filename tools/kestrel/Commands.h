// The commands of the kestrel program. Each returns the program's exit code
// (0 success, 1 failure) and throws EToolError for a failure that ends it
// with one line ("kestrel: <message>"). Main thread only; stop signals must
// be blocked (BlockStopSignals) before any of them runs.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "kestrel/kestrel.h"
#include "platform/StopNotifier.h"
#include "tools/kestrel/Options.h"

namespace kestrel::app {

int RunSend(const TOptions& options);
int RunListen(const TOptions& options);
int RunMonitor(const TOptions& options);
int RunSettings(const TOptions& options);
int RunAddress(const TOptions& options);
int RunParty(const TOptions& options);
int RunJournal(const TOptions& options);
int RunLog(const TOptions& options);
int RunSim(const TOptions& options);
int RunDemo(const TOptions& options);
int RunPorts(const TOptions& options);
int RunDeliver(const TOptions& options);
int RunOutbox(const TOptions& options);

class TRuntime;
class TSendRun;

// Delivers the outbox as `kestrel run` does (options once, until_empty,
// timeout_s) until `run` is stopped; lines start with `prefix`. Returns the
// number of calls that left documents undelivered.
int DeliverOutbox(TRuntime& rt, TSendRun& run, const TOptions& options, const std::string& prefix);

// Opens the gate's monitor window through its GateMonitor export `monitor`
// (main thread). Throws EToolError when the gate reports that it could not.
void OpenMonitor(TRuntime& rt, decltype(&::GateMonitor) monitor);

// Lends the main thread to the gate (its monitor window lives there) until
// `done` answers true; `done` is asked at least every 100 ms.
void PumpMainThreadUntil(const std::function<bool()>& done);

// The stop signal (Ctrl-C, termination) of a command that runs until it is
// told to stop; watched from construction to destruction.
class TStopWait {
 public:
  TStopWait();
  // Blocks until a signal came; returns its name.
  std::string Wait();
  // The name of the signal that came, or "" while none did.
  std::string Signal();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::string signal_;
  platform::TStopNotifier notifier_;  // last: stops watching before the rest goes
};

// Dispatches to the command `options` names.
int RunCommand(const TOptions& options);

}  // namespace kestrel::app
