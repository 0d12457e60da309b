// The library's entry point only notes why the library is detached;
// everything else a load and an unload do runs in the library's static
// objects, which the C runtime makes and destroys around it.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/ModuleEntry.h"

namespace kestrel::platform {
namespace {

std::atomic<bool> g_process_ending{false};
std::mutex g_hold_mutex;
HMODULE g_held = nullptr;

}  // namespace

bool ProcessEnding() { return g_process_ending.load(); }

void HoldThisModule() {
  std::lock_guard lock(g_hold_mutex);
  if (g_held != nullptr) return;
  // One more reference to the module that holds this function.
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldThisModule),
                            &g_held))
    g_held = nullptr;
}

void ReleaseThisModule() {
  HMODULE held = nullptr;
  {
    std::lock_guard lock(g_hold_mutex);
    held = g_held;
    g_held = nullptr;
  }
  if (held != nullptr) ::FreeLibrary(held);
}

}  // namespace kestrel::platform

// Detached with a non-null `reserved`: the process is ending.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) kestrel::platform::g_process_ending.store(true);
  return TRUE;
}
