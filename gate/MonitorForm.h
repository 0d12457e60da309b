// The gate's monitor window: the framework's monitor form
// (host/OnlineGateMonitorForm.h) connected to the module's gate manager and
// captioned from the host's localised texts, and the two module functions
// that show and release it.
//
// The window is created, shown and released only on the process's main
// thread (platform/MainThread.h). GLCreateMonitorForm and GLFreeMonitorForm
// may be called on any thread: on another one a short-lived hand-over thread
// carries the work to the main thread and the caller waits until it has run
// there (or until kMonitorHandOverMs passed without the main thread taking
// it: then nothing happens and the failure is reported). The main thread must
// therefore be handling its events (a toolkit loop, or the host pumping
// through heron.h's HeronPumpMainThread).
//
// MonitorForm, the one window, is made and released only on the main thread;
// other threads only look whether it exists.
#pragma once

#include <cstdint>
#include <exception>

#include "host/OnlineGateMonitorForm.h"
#include "platform/Thread.h"

namespace kestrel::gate {

// How long a caller on another thread waits for the main thread to take the
// work.
inline constexpr std::uint32_t kMonitorHandOverMs = 10000;

class TModemGateMonitorForm : public host::TOnlineGateMonitorFormEx {
 public:
  TModemGateMonitorForm() : TOnlineGateMonitorFormEx("TModemGateMonitorForm") {}

  // Stores the module's gate manager (null when there is none) into
  // GateManager, then runs the framework's FormCreate.
  void FormCreate(forms::TForm* sender) override;
  // The framework's texts, then the caption: the host's text for
  // "M_Kestrel_ModemMon_FormCaption", else "Монитор модемного шлюза".
  void GetLocalRes() override;
};

// A hand-over thread: its Execute gives the work to the main thread and
// waits there; what the work threw is kept for the thread that waits for
// this one (no exception crosses a thread).
class TMonitorHandOverThread : public platform::TThread {
 public:
  std::exception_ptr Failure() const { return failure_; }

 protected:
  std::exception_ptr failure_;
};

// Carries the showing to the main thread.
class TCreateMonitorFormThread : public TMonitorHandOverThread {
 protected:
  void Execute() override;
};

// Carries the release to the main thread.
class TFreeMonitorFormThread : public TMonitorHandOverThread {
 protected:
  void Execute() override;
};

// Shows the window, creating it when there is none, and brings it to the
// front. Never throws: a failure (no forms backend, the main thread not taking
// the work) is reported through the gate manager's OnLineGateInfo as kind 1
// "ERROR in GLCreateMonitorForm: <message>" (lost without a manager).
void GLCreateMonitorForm();

// Releases the window when there is one. Without a window it returns at
// once on any thread (no hand-over to the main thread). Never throws: a
// failure is reported as "ERROR in GLFreeMonitorForm: <message>".
void GLFreeMonitorForm();

// The window, or null. Main thread only.
TModemGateMonitorForm* MonitorForm();

}  // namespace kestrel::gate
