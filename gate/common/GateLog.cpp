#include "gate/common/GateLog.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "gate/common/RecentLog.h"
#include "heron.h"
#include "host/HostObject.h"
#include "kestrel/version.h"
#include "platform/ModuleEntry.h"
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

// The separator: FirstLogLine picks the one thread that writes it, which
// holds no lock while the core takes it. Lines of other threads wait until it
// is written, so none reaches the core before it. A core that keeps the
// separator longer than kSeparatorWait (waiting, say, for a thread that is
// logging) holds them up once: the order is then given up, not the lines.
constexpr auto kSeparatorWait = std::chrono::seconds(2);
// The separator's text stays the bare line a reader of the log looks for;
// which build wrote the lines below it goes in its details.
constexpr const char* kBannerDetails = "Kestrel " KESTREL_VERSION;
struct TSeparatorWait {
  std::mutex mutex;
  std::condition_variable written;
};
// Made when the library loads (ResetLogState), so it is destroyed only after
// everything that runs at unload, which still logs; left to the system at
// process end, when a thread may have been ended inside the wait.
TSeparatorWait& SeparatorWait() {
  static platform::TProcessStatic<TSeparatorWait> wait;
  return *wait;
}
std::atomic<bool> g_separator_written{false};
std::atomic<std::uint32_t> g_separator_writer{0};

void WriteSeparatorOnce(bool keep_result) {
  if (g_separator_written.load(std::memory_order_acquire)) return;
  const std::uint32_t self = platform::CurrentThreadId();
  if (g_state.FirstLogLine.exchange(false, std::memory_order_acq_rel)) {
    g_separator_writer.store(self, std::memory_order_relaxed);
    if (g_state.NeedLog.load(std::memory_order_relaxed)) {
      static const std::string kSeparator(300, '=');
      const KBool accepted = ::GateInfo(kKindLine, CodeForCore(), kSeparator.c_str(), kBannerDetails, 0);
      if (keep_result) TakeLineResult(accepted);
    }
    g_separator_writer.store(0, std::memory_order_relaxed);
    TSeparatorWait& wait = SeparatorWait();
    {
      std::lock_guard lock(wait.mutex);
      g_separator_written.store(true, std::memory_order_release);
    }
    wait.written.notify_all();
    return;
  }
  // The core may log back into the gate from inside its GateInfo: that line
  // follows the separator on its way and must not wait for it.
  if (g_separator_writer.load(std::memory_order_relaxed) == self) return;
  TSeparatorWait& wait = SeparatorWait();
  std::unique_lock lock(wait.mutex);
  if (!wait.written.wait_for(lock, kSeparatorWait,
                             [] { return g_separator_written.load(std::memory_order_acquire); }))
    g_separator_written.store(true, std::memory_order_release);
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
  g_separator_written.store(false);
  (void)SeparatorWait();
}

std::string GateLog(std::int32_t level, std::string_view msg, std::string_view details) {
  return WriteLine(false, level, msg, details);
}

std::string GateLogError(std::int32_t level, std::string_view msg, std::string_view details) {
  return WriteLine(true, level, msg, details);
}

std::string LogPrefix() { return "[$" + host::Hex8(platform::CurrentThreadId()) + "] "; }

}  // namespace kestrel::gate
