#include <windows.h>
// windows.h names its own function so; ours is meant below.
#undef SetEnvironmentVariable

#include <cstdlib>

#include "platform/ProcessEnv.h"

namespace kestrel::platform {

bool SetEnvironmentVariable(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  // Both the C runtime's copy (getenv) and the process's own (what the gate's
  // Windows calls and child processes see) change.
  if (_putenv_s(name.c_str(), value.c_str()) != 0) return false;
  return ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str()) != 0;
}

std::string ExecutablePath() {
  char buf[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, buf, MAX_PATH);
  return n == 0 || n == MAX_PATH ? std::string() : std::string(buf, n);
}

std::uint32_t ProcessId() { return static_cast<std::uint32_t>(::GetCurrentProcessId()); }

bool ProcessRuns(std::uint32_t pid) {
  if (pid == 0) return false;
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return runs;
}

// Windows ends no program for writing to a closed pipe: the write fails.
void IgnoreBrokenPipes() {}

}  // namespace kestrel::platform
