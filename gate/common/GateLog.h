// The diagnostic log and its module state.
//
// Every line goes to the core's GateInfo (heron.h) with the gate code; nothing
// is written to files. A line is "[$XXXXXXXX] " (the calling thread's id as 8
// upper-case hex digits) followed by the message; the detail text travels
// separately. All texts are Windows-1251.
//
// The first call of a process (FirstLogLine set) sends a line of 300 "="
// before its own line, if NeedLog is set; its detail text names the build,
// "Kestrel <version>" (kestrel/version.h). A line goes to
// the core when its level is at or below LogLevel and NeedLog is set; a false
// answer from the core clears NeedLog, and only an entry point sets it again.
//
// Thread-safe: called from every thread of the gate. The state flags are
// atomics: a line accepted on one thread never switches logging back on after
// another thread's line was refused. Exactly one thread writes the separator,
// holding no lock while the core takes it; lines of other threads wait for it,
// so none comes before it, and the core may log back from inside GateInfo
// without waiting. If the core keeps the separator over 2 s, the waiting lines
// go on then and later ones do not wait. Otherwise blocks only as long as the
// core's GateInfo.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::gate {

// The module log state (one per loaded library).
struct TLogState {
  std::atomic<std::int32_t> LogLevel{10};     // lines at or below it are logged
  std::atomic<std::int32_t> GateCode{0};      // low 16 bits go with every call
  std::atomic<bool> NeedLog{false};           // the core accepts lines
  std::atomic<bool> FirstLogLine{true};       // no thread has taken on the separator yet
};
TLogState& LogState();

// Puts the state back to its load-time values (NeedLog false, FirstLogLine
// true, LogLevel 10, GateCode 0). Not while any thread is logging.
void ResetLogState();

// Logs `msg` at `level` with `details`; returns the finished line (prefix + msg).
std::string GateLog(std::int32_t level, std::string_view msg, std::string_view details = {});
// Reports the line to the core as an error (kind 1) whatever the level, then
// logs it like GateLog.
std::string GateLogError(std::int32_t level, std::string_view msg, std::string_view details = {});

// The prefix of a line written by the calling thread: "[$%08X] ".
std::string LogPrefix();

}  // namespace kestrel::gate
