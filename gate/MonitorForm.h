// The gate's monitor window, as the stop exports release it.
//
// The window itself (shown by the GateMonitor export, created and released on
// the process's main thread) is not built yet: until it is, there is never a
// window to release.
#pragma once

namespace kestrel::gate {

// Releases the monitor window when there is one. Any thread; returns once the
// window is gone. Never throws: a failure is reported to the core as an error
// message "ERROR in GLFreeMonitorForm: <message>".
void GLFreeMonitorForm();

}  // namespace kestrel::gate
