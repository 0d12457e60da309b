// The running program's own environment: its variables, where its file
// lies, its id and whether another process still runs. Thread safety: SetEnvironmentVariable must not run while other
// threads read the environment (call it before starting them, as the host
// program does before it loads the gate, which reads KESTREL_COM_DIR).
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::platform {

// Sets (replaces) `name` in this process's environment; an empty `value`
// removes it. False when the name is empty or holds '='.
bool SetEnvironmentVariable(const std::string& name, const std::string& value);

// The absolute path of the running program's file; empty when unknown.
std::string ExecutablePath();

// This process's id.
std::uint32_t ProcessId();

// Whether a process with id `pid` runs now (one that ended but was not yet
// waited for does not). A process of another user counts too.
bool ProcessRuns(std::uint32_t pid);

// Writing to a pipe whose reader has gone fails with an error instead of
// ending the program (a program that cleans up after itself must live to do
// so when its output is cut off). Call in main before threads start.
void IgnoreBrokenPipes();

}  // namespace kestrel::platform
