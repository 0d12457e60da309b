#include "gate/GateLog.h"

#include <mutex>

#include "gate/RecentLog.h"
#include "heron.h"
#include "host/HostObject.h"
#include "platform/ThreadId.h"

namespace kestrel::gate {
namespace {

constexpr std::int32_t kKindError = 1;
constexpr std::int32_t kKindLine = 2;

TLogState g_state;

std::int16_t CodeForCore() {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(g_state.GateCode.load(std::memory_order_relaxed)));
}

// A refusal is stored, an acceptance is not: a thread whose line was accepted
// must not switch logging back on after another thread's line was refused.
void TakeLineResult(KBool accepted) {
  if (!accepted) g_state.NeedLog.store(false, std::memory_order_relaxed);
}

// The thread writing the separator; other threads wait for it to finish, so
// that no line reaches the core before it.
std::mutex g_separator_lock;
std::atomic<std::uint32_t> g_separator_writer{0};

void WriteSeparatorOnce(bool keep_result) {
  if (!g_state.FirstLogLine.load(std::memory_order_acquire)) return;
  // The core may log back into the gate from inside its GateInfo: that line
  // follows the separator already on its way and must not wait for it.
  const std::uint32_t self = platform::CurrentThreadId();
  if (g_separator_writer.load(std::memory_order_relaxed) == self) return;
  std::lock_guard lock(g_separator_lock);
  if (!g_state.FirstLogLine.load(std::memory_order_relaxed)) return;
  g_separator_writer.store(self, std::memory_order_relaxed);
  if (g_state.NeedLog.load(std::memory_order_relaxed)) {
    static const std::string kSeparator(300, '=');
    const KBool accepted = ::GateInfo(kKindLine, CodeForCore(), kSeparator.c_str(), nullptr, 0);
    if (keep_result) TakeLineResult(accepted);
  }
  g_separator_writer.store(0, std::memory_order_relaxed);
  g_state.FirstLogLine.store(false, std::memory_order_release);
}

std::string WriteLine(bool is_error, std::int32_t level, std::string_view msg, std::string_view details) {
  WriteSeparatorOnce(!is_error);
  std::string line = LogPrefix();
  line.append(msg);
  // The core takes NUL-terminated texts; the detail view may not end in one.
  const std::string detail_text(details);
  if (is_error) ::GateInfo(kKindError, CodeForCore(), line.c_str(), detail_text.c_str(), 0);
  if (level <= g_state.LogLevel.load(std::memory_order_relaxed)) {
    RememberLogLine(line, detail_text);  // for the monitor window
    if (g_state.NeedLog.load(std::memory_order_relaxed))
      TakeLineResult(::GateInfo(kKindLine, CodeForCore(), line.c_str(), detail_text.c_str(), 0));
  }
  return line;
}

}  // namespace

TLogState& LogState() { return g_state; }

void ResetLogState() {
  g_state.LogLevel.store(10);
  g_state.GateCode.store(0);
  g_state.NeedLog.store(false);
  g_state.FirstLogLine.store(true);
}

std::string GateLog(std::int32_t level, std::string_view msg, std::string_view details) {
  return WriteLine(false, level, msg, details);
}

std::string GateLogError(std::int32_t level, std::string_view msg, std::string_view details) {
  return WriteLine(true, level, msg, details);
}

std::string LogPrefix() { return "[$" + host::Hex8(platform::CurrentThreadId()) + "] "; }

}  // namespace kestrel::gate
