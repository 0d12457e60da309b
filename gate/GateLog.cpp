#include "gate/GateLog.h"

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

void WriteSeparatorOnce(bool keep_result) {
  // exchange() makes exactly one thread the writer of the separator.
  if (!g_state.FirstLogLine.exchange(false, std::memory_order_relaxed)) return;
  if (!g_state.NeedLog.load(std::memory_order_relaxed)) return;
  static const std::string kSeparator(300, '=');
  const KBool accepted = ::GateInfo(kKindLine, CodeForCore(), kSeparator.c_str(), nullptr, 0);
  if (keep_result) TakeLineResult(accepted);
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
