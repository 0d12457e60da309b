// The commands of the kestrel program. Each returns the program's exit code
// (0 success, 1 failure) and throws EToolError for a failure that ends it
// with one line ("kestrel: <message>"). Main thread only; stop signals must
// be blocked (BlockStopSignals) before any of them runs.
#pragma once

#include <functional>

#include "kestrel/kestrel.h"
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

class TRuntime;

// Opens the gate's monitor window through its GateMonitor export `monitor`
// (main thread). Throws EToolError when the gate reports that it could not.
void OpenMonitor(TRuntime& rt, decltype(&::GateMonitor) monitor);

// Lends the main thread to the gate (its monitor window lives there) until
// `done` answers true; `done` is asked at least every 100 ms.
void PumpMainThreadUntil(const std::function<bool()>& done);

// Dispatches to the command `options` names.
int RunCommand(const TOptions& options);

}  // namespace kestrel::app
