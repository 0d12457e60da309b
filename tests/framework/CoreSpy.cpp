#include "CoreSpy.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "heron.h"

namespace kestrel::framework_test {

struct SpyHandlers {
  static CoreSpy& Of(void* ctx) { return *static_cast<CoreSpy*>(ctx); }

  static KBool Packet(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
    CoreSpy& s = Of(ctx);
    std::lock_guard lock(s.mutex_);
    if (s.Refuse.count(ref->Number) != 0) return 0;
    s.received_list_.push_back({sender, *ref, std::string(static_cast<const char*>(data), size > 0 ? size : 0)});
    ++s.received_;
    s.cv_.notify_all();
    return 1;
  }
  static KBool Delivered(void* ctx, KHandle, const TRefPack* ref) {
    CoreSpy& s = Of(ctx);
    std::lock_guard lock(s.mutex_);
    s.confirmed_list_.push_back(ref->Number);
    ++s.confirmed_;
    s.cv_.notify_all();
    return 1;
  }
  static KBool Failed(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
    CoreSpy& s = Of(ctx);
    std::lock_guard lock(s.mutex_);
    if (code == -10 && param == -1) {
      s.failed_list_.push_back(ref->Number);
      ++s.failed_;
    }
    s.cv_.notify_all();
    return 1;
  }
  static void Progress(void* ctx, KHandle, const char* caption, std::int32_t, std::int32_t, std::int32_t) {
    CoreSpy& s = Of(ctx);
    std::lock_guard lock(s.mutex_);
    ++s.progress_;
    s.caption_ = caption;
    s.cv_.notify_all();
  }
  static KBool Info(void* ctx, std::int32_t kind, std::int16_t, const char* text, const char* details) {
    CoreSpy& s = Of(ctx);
    std::lock_guard lock(s.mutex_);
    (kind == 2 ? s.logs_ : s.infos_).push_back(std::string(text) + "|" + (details ? details : "(null)"));
    s.cv_.notify_all();
    return 1;
  }
  static std::int32_t Localiz(void* ctx, const char* key, char* dest, std::int32_t size) {
    CoreSpy& s = Of(ctx);
    std::lock_guard lock(s.mutex_);
    const auto it = s.Texts.find(key);
    if (it == s.Texts.end()) return -1;
    if (dest != nullptr && size > 0) {
      const std::size_t n = std::min<std::size_t>(it->second.size(), static_cast<std::size_t>(size) - 1);
      std::memcpy(dest, it->second.data(), n);
      dest[n] = '\0';
    }
    return static_cast<std::int32_t>(it->second.size());
  }
};

CoreSpy::CoreSpy() {
  HeronSetRecvPacketFromGate(&SpyHandlers::Packet, this);
  HeronSetPacketDeliveredFromGate(&SpyHandlers::Delivered, this);
  HeronSetRecvFromGate(&SpyHandlers::Failed, this);
  HeronSetProgressFromGate(&SpyHandlers::Progress, this);
  HeronSetGateInfo(&SpyHandlers::Info, this);
  HeronSetGetLocalizResource(&SpyHandlers::Localiz, this);
}

CoreSpy::~CoreSpy() {
  HeronSetRecvPacketFromGate(nullptr, nullptr);
  HeronSetPacketDeliveredFromGate(nullptr, nullptr);
  HeronSetRecvFromGate(nullptr, nullptr);
  HeronSetProgressFromGate(nullptr, nullptr);
  HeronSetGateInfo(nullptr, nullptr);
  HeronSetGetLocalizResource(nullptr, nullptr);
}

bool CoreSpy::WaitUntil(const std::function<bool(const CoreSpy&)>& done, std::uint32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return done(*this); });
}

std::vector<TReceived> CoreSpy::Received() const {
  std::lock_guard lock(mutex_);
  return received_list_;
}
std::vector<std::int32_t> CoreSpy::Confirmed() const {
  std::lock_guard lock(mutex_);
  return confirmed_list_;
}
std::vector<std::int32_t> CoreSpy::Failed() const {
  std::lock_guard lock(mutex_);
  return failed_list_;
}
std::vector<std::string> CoreSpy::Logs() const {
  std::lock_guard lock(mutex_);
  return logs_;
}
std::vector<std::string> CoreSpy::Infos() const {
  std::lock_guard lock(mutex_);
  return infos_;
}
int CoreSpy::ProgressCalls() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(progress_);
}
std::string CoreSpy::LastCaption() const {
  std::lock_guard lock(mutex_);
  return caption_;
}
bool CoreSpy::LogContains(const std::string& part) const {
  std::lock_guard lock(mutex_);
  return std::any_of(logs_.begin(), logs_.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

}  // namespace kestrel::framework_test
