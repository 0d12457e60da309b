// The commands of the kestrel program. Each returns the program's exit code
// (0 success, 1 failure) and throws EToolError for a failure that ends it
// with one line ("kestrel: <message>"). Main thread only; stop signals must
// be blocked (BlockStopSignals) before any of them runs.
#pragma once

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

// Dispatches to the command `options` names.
int RunCommand(const TOptions& options);

}  // namespace kestrel::app
