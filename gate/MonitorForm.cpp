#include "gate/MonitorForm.h"

#include <atomic>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "gate/ModuleState.h"
#include "gate/common/Boundary.h"
#include "gate/common/MdmError.h"
#include "platform/Cp1251.h"
#include "platform/MainThread.h"
#include "session/MdmMngr.h"

namespace kestrel::gate {

using namespace kestrel::literals;

namespace {

constexpr std::string_view kCaptionDefault = "Монитор модемного шлюза"_cp;

// The module variable. Written only on the main thread; other threads only
// look whether there is a window at all.
std::atomic<TModemGateMonitorForm*> g_monitor_form{nullptr};

void ShowOnMainThread() {
  if (TModemGateMonitorForm* shown = g_monitor_form.load()) {
    shown->Show();  // a visible window comes to the front
    return;
  }
  auto form = std::make_unique<TModemGateMonitorForm>();
  form->FormCreate(form.get());
  form->Show();
  g_monitor_form = form.release();
}

void FreeOnMainThread() {
  if (g_monitor_form == nullptr) return;
  std::unique_ptr<TModemGateMonitorForm> form(g_monitor_form.exchange(nullptr));
  form->Closing = true;
  form->Text.clear();
  // Destroyed at once rather than after the pending events: this never runs
  // inside one of the window's own handlers, and a later deletion could come
  // after the library that holds the window's code was unloaded.
  form->Hide();
}

// Runs `body` on the main thread through a hand-over thread of class `T`.
template <typename T>
void OnMainThread(void (*body)()) {
  if (platform::IsMainThread()) {
    body();
    return;
  }
  T thread;
  thread.Resume();
  thread.WaitFor();
  if (thread.Failure()) std::rethrow_exception(thread.Failure());
}

// Tells the core what the exception being handled was; call it only inside
// a catch block. A report that cannot be made is lost.
void Report(std::string_view what) noexcept {
  LogStep([&] {
    const std::string message = std::string(what) + CurrentExceptionInfo().Message;
    if (session::TMdmGateManager* manager = MdmGateManager()) manager->OnLineGateInfo(1, message, nullptr, true, false);
  });
}

// Hands `body` to the main thread and waits; what it threw is kept for the
// thread that started this one (the hand-over thread's body: nothing may
// escape it unseen).
void HandOver(void (*body)(), std::exception_ptr& failure) {
  try {
    if (!platform::RunOnMainThread(body, kMonitorHandOverMs))
      throw std::runtime_error("the main thread did not take the monitor window's work within " +
                               std::to_string(kMonitorHandOverMs / 1000) + " s");
  } catch (...) {
    failure = std::current_exception();
  }
}

}  // namespace

void TModemGateMonitorForm::FormCreate(forms::TForm* sender) {
  GateManager = MdmGateManager();
  TOnlineGateMonitorFormEx::FormCreate(sender);
}

void TModemGateMonitorForm::GetLocalRes() {
  TOnlineGateMonitorFormEx::GetLocalRes();
  const std::string fallback(kCaptionDefault);
  SetCaption(GateManager != nullptr ? GateManager->GetLocalizResourse("M_Kestrel_ModemMon_FormCaption", fallback)
                                    : fallback);
}

void TCreateMonitorFormThread::Execute() { HandOver(&ShowOnMainThread, failure_); }
void TFreeMonitorFormThread::Execute() { HandOver(&FreeOnMainThread, failure_); }

void GLCreateMonitorForm() {
  try {
    OnMainThread<TCreateMonitorFormThread>(&ShowOnMainThread);
  } catch (...) {
    Report("ERROR in GLCreateMonitorForm: ");
  }
}

void GLFreeMonitorForm() {
  // Without a window there is nothing to release: a host that stops the gate
  // from a worker thread and pumps no main thread must not wait for one.
  // Only the main thread makes a window, and it does not while the gate stops.
  if (g_monitor_form.load() == nullptr) return;
  try {
    OnMainThread<TFreeMonitorFormThread>(&FreeOnMainThread);
  } catch (...) {
    Report("ERROR in GLFreeMonitorForm: ");
  }
}

TModemGateMonitorForm* MonitorForm() { return g_monitor_form; }

}  // namespace kestrel::gate
