#include "tools/host/Core.h"

#include <cctype>

#include "heron.h"
#include "platform/Cp1251.h"
#include "platform/PortNames.h"

namespace kestrel::app {
namespace {

// The channel pool says so when a channel fails its test at start-up:
//   TMPM[].Init:(Канал COM1 при тестировании выдал ошибку:(<problem>))
// That is the one place that names the port and the system's reason, which
// the later "no free channel" error does not.
bool ParseChannelProblem(const std::string& text, std::string& port, std::string& problem) {
  static const std::string kHead = "TMPM[].Init:(Канал ";
  static const std::string kMiddle = " при тестировании выдал ошибку:(";
  if (text.rfind(kHead, 0) != 0) return false;
  const std::size_t middle = text.find(kMiddle, kHead.size());
  if (middle == std::string::npos || text.size() < middle + kMiddle.size() + 2) return false;
  port = text.substr(kHead.size(), middle - kHead.size());
  problem = text.substr(middle + kMiddle.size(), text.size() - middle - kMiddle.size() - 2);
  return true;
}

TCore* Self(void* ctx) { return static_cast<TCore*>(ctx); }

// Runs a handler's work: no exception may go back into the gate. One that
// comes is logged, and the handler answers `failed`, as a core that could
// not take the call.
template <typename R, typename F>
R Guarded(void* ctx, const char* handler, R failed, F&& work) {
  try {
    return work(*Self(ctx));
  } catch (const std::exception& e) {
    Self(ctx)->HandlerFailed(handler, e.what());
  } catch (...) {
    Self(ctx)->HandlerFailed(handler, "unknown failure");
  }
  return failed;
}

const void* OnRead(void* ctx, std::int16_t gate_code, std::int32_t* size) {
  return Self(ctx)->ReadSettings(gate_code, size);
}
KBool OnInfo(void* ctx, std::int32_t kind, std::int16_t gate_code, const char* text, const char* details) {
  return Self(ctx)->Info(kind, gate_code, text, details);
}
KBool OnFailed(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
  return Guarded<KBool>(ctx, "RecvFromGate", 0, [&](TCore& core) -> KBool {
    return ref != nullptr && core.Events().OnPacketFailed(*ref, code, param) ? 1 : 0;
  });
}
KBool OnPacket(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
  return Guarded<KBool>(ctx, "RecvPacketFromGate", 0, [&](TCore& core) -> KBool {
    if (ref == nullptr || size < 0 || (data == nullptr && size > 0)) return 0;
    const std::string_view bytes(static_cast<const char*>(data), static_cast<std::size_t>(size));
    return core.Events().OnPacket(sender, *ref, bytes) ? 1 : 0;
  });
}
KBool OnDelivered(void* ctx, KHandle process, const TRefPack* ref) {
  return Guarded<KBool>(ctx, "PacketDeliveredFromGate", 1, [&](TCore& core) -> KBool {
    if (ref != nullptr) core.Events().OnDelivered(process, *ref);
    return 1;
  });
}
void OnProgress(void* ctx, KHandle process, const char* caption, std::int32_t done, std::int32_t total,
                std::int32_t direction) {
  Guarded(ctx, "ProgressFromGate", 0, [&](TCore& core) {
    core.Events().OnProgress(process, text::Cp1251ToUtf8(caption != nullptr ? caption : ""), done, total,
                             direction);
    return 0;
  });
}
std::int32_t OnPartyKey(void* ctx, std::int32_t id_cl, void* key, std::int32_t key_size) {
  return Guarded<std::int32_t>(ctx, "PartyKeyFromCore", -1, [&](TCore& core) {
    const bool fits = key != nullptr && key_size >= HERON_KEY_SIZE;
    const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(fits ? key : nullptr),
                                         fits ? static_cast<std::size_t>(HERON_KEY_SIZE) : 0);
    return core.Events().OnPartyKey(id_cl, buffer);
  });
}
void OnSession(void* ctx, std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const char* reason) {
  Guarded(ctx, "SessionFromGate", 0, [&](TCore& core) {
    core.Events().OnSession(id_cl, direction, kind, reason != nullptr ? reason : "");
    return 0;
  });
}

}  // namespace

void SplitThreadPrefix(const std::string& line, std::string& thread, std::string& text) {
  // "[$" + 8 hex digits + "] "
  constexpr std::size_t kPrefix = 12;
  bool ok = line.size() >= kPrefix && line.compare(0, 2, "[$") == 0 && line.compare(10, 2, "] ") == 0;
  for (std::size_t i = 2; ok && i < 10; ++i) ok = std::isxdigit(static_cast<unsigned char>(line[i])) != 0;
  if (ok) {
    thread = line.substr(2, 8);
    text = line.substr(kPrefix);
  } else {
    thread.clear();
    text = line;
  }
}

TCore::TCore(TCoreEvents& events, std::function<void(TLogLine)> keep) : events_(events), keep_(std::move(keep)) {
  HeronSetReadGateSettings(&OnRead, this);
  HeronSetGateInfo(&OnInfo, this);
  HeronSetRecvFromGate(&OnFailed, this);
  HeronSetRecvPacketFromGate(&OnPacket, this);
  HeronSetPacketDeliveredFromGate(&OnDelivered, this);
  HeronSetProgressFromGate(&OnProgress, this);
  HeronSetPartyKeyFromCore(&OnPartyKey, this);
  HeronSetSessionFromGate(&OnSession, this);
}

TCore::~TCore() {
  HeronSetReadGateSettings(nullptr, nullptr);
  HeronSetGateInfo(nullptr, nullptr);
  HeronSetRecvFromGate(nullptr, nullptr);
  HeronSetRecvPacketFromGate(nullptr, nullptr);
  HeronSetPacketDeliveredFromGate(nullptr, nullptr);
  HeronSetProgressFromGate(nullptr, nullptr);
  HeronSetPartyKeyFromCore(nullptr, nullptr);
  HeronSetSessionFromGate(nullptr, nullptr);
}

void TCore::HandlerFailed(const char* handler, const std::string& why) noexcept {
  try {
    TLogLine line;
    line.error = true;
    line.text = std::string(handler) + ": the host failed: " + why;
    events_.OnGateLine(line);
    if (keep_) keep_(std::move(line));
  } catch (...) {
    // Nowhere left to tell it.
  }
}

void TCore::SetGateSettings(std::int16_t gate_code, const std::string& block) {
  std::lock_guard lock(mutex_);
  // Replacing a block the gate may be reading would pull it away under it;
  // a gate code's block is set once, before the gate starts.
  settings_.emplace(gate_code, block);
}

std::string TCore::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::string TCore::ChannelProblems() const {
  std::lock_guard lock(mutex_);
  std::string out;
  for (const auto& [port, problem] : channel_problems_)
    out += (out.empty() ? "" : "; ") + port + " (" + platform::ResolvePortName(port) + "): " + problem;
  return out;
}

const void* TCore::ReadSettings(std::int16_t gate_code, std::int32_t* size) {
  std::lock_guard lock(mutex_);
  const auto it = settings_.find(gate_code);
  if (it == settings_.end() || it->second.empty()) {
    if (size != nullptr) *size = 0;
    return nullptr;
  }
  if (size != nullptr) *size = static_cast<std::int32_t>(it->second.size());
  return it->second.data();
}

KBool TCore::Info(std::int32_t kind, std::int16_t gate_code, const char* text, const char* details) {
  try {
    TLogLine line;
    line.error = kind == 1;
    line.gate_code = gate_code;
    SplitThreadPrefix(text::Cp1251ToUtf8(text != nullptr ? text : ""), line.thread, line.text);
    line.details = text::Cp1251ToUtf8(details != nullptr ? details : "");
    {
      std::lock_guard lock(mutex_);
      if (line.error) {
        last_error_ = line.text;
        if (!line.details.empty()) last_error_ += " (" + line.details + ")";
        pending_echo_[line.thread] = {line.text, line.details};
      } else {
        const auto it = pending_echo_.find(line.thread);
        const bool echo =
            it != pending_echo_.end() && it->second.first == line.text && it->second.second == line.details;
        if (it != pending_echo_.end()) pending_echo_.erase(it);
        if (echo) return 1;
      }
    }
    std::string port, problem;
    if (ParseChannelProblem(line.text, port, problem)) {
      {
        std::lock_guard lock(mutex_);
        channel_problems_[port] = problem;
      }
      events_.OnChannelProblem(port, problem);
    }
    events_.OnGateLine(line);
    if (keep_) keep_(std::move(line));
  } catch (...) {
    // A line that cannot be kept is lost; the gate goes on logging.
  }
  return 1;
}

}  // namespace kestrel::app
