// The forms backend's event loop as the main-thread loop of the platform's
// dispatcher (platform/MainThread.h): calls handed to the main thread run
// from the toolkit's loop (with Qt, queued onto the GUI thread), and the
// host's pump lets the toolkit handle its events.
//
// A module that uses modeless forms installs it while it loads (from a
// static object's constructor: what it makes then outlives that object) and
// removes it before it is unloaded. Any thread.
#pragma once

namespace kestrel::forms {

// Installs the loop (again: nothing changes).
void InstallUiLoop();
// Removes the loop and drops the calls it queued that have not run: after
// this nothing queued by this module is left in the toolkit's queue.
void RemoveUiLoop();

}  // namespace kestrel::forms
