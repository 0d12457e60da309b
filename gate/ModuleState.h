// The module state of the loaded library: its one gate manager
// (MdmGateManager), what the library does when it is loaded and unloaded,
// and the accessor through which the layers below learn of the manager
// (gate/GateAccess.h). The log state lives in gate/GateLog.h.
//
// Threads: no lock guards the state. LoadModule and UnloadModule run when the
// library is loaded and unloaded; FreeGateManager on the core's thread, never
// concurrently with another export (the core's promise). MdmGateManager may
// be read from any thread.
#pragma once

namespace kestrel::session {
class TMdmGateManager;
}

namespace kestrel::gate {

// The module's gate manager, or null (construction failed at load, or
// StopTransmit(null) destroyed it).
session::TMdmGateManager* MdmGateManager();

// Load: NeedLog false, FirstLogLine true, LogLevel 10, GateCode 0, no
// manager; then constructs the manager (a failure leaves it null) and
// installs the accessor. Never throws.
void LoadModule();
// Unload: NeedLog false, the manager destroyed (its processes end first),
// the accessor removed. Never throws.
void UnloadModule();
// The unload at the end of a process whose other threads the system has
// ended already (Windows): NeedLog false and the manager forgotten without
// being destroyed, since nothing may be joined or waited for then.
void AbandonModule();

// Destroys the manager, if any. The module forgets it before it goes, so
// that the layers below see "no manager" (and stop waiting) meanwhile.
void FreeGateManager();

}  // namespace kestrel::gate
