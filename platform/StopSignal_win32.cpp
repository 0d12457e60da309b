// Stop requests of a Windows console program: Ctrl-C, Ctrl-Break and the
// console's close arrive on a thread of the system, which hands them to the
// waiting thread through an event.
#include <windows.h>

#include <mutex>

#include "platform/StopSignal.h"

namespace kestrel::platform {
namespace {

HANDLE g_stop_event = nullptr;
std::mutex g_mutex;
const char* g_name = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD type) {
  {
    std::lock_guard lock(g_mutex);
    g_name = type == CTRL_C_EVENT ? "SIGINT" : "SIGTERM";
  }
  ::SetEvent(g_stop_event);
  return TRUE;  // handled: the program ends by itself after its clean-up
}

}  // namespace

void BlockStopSignals() {
  if (g_stop_event != nullptr) return;
  g_stop_event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

std::string WaitStopSignal(std::uint32_t timeout_ms) {
  if (g_stop_event == nullptr) BlockStopSignals();
  if (::WaitForSingleObject(g_stop_event, timeout_ms == kWaitForever ? INFINITE : timeout_ms) != WAIT_OBJECT_0)
    return {};
  std::lock_guard lock(g_mutex);
  return g_name != nullptr ? g_name : "SIGTERM";
}

}  // namespace kestrel::platform
