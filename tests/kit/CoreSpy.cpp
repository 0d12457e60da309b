#include "tests/kit/CoreSpy.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "heron.h"

namespace kestrel::testing {

// Each handler records under the spy's lock, then wakes the waiters.
struct TCoreSpy::Handlers {
  template <typename Record>
  static auto Locked(void* ctx, Record record) {
    auto& self = *static_cast<TCoreSpy*>(ctx);
    std::unique_lock lock(self.mutex_);
    auto result = record(self);
    lock.unlock();
    self.changed_.notify_all();
    return result;
  }

  static const void* Read(void* ctx, std::int16_t code, std::int32_t* size) {
    return Locked(ctx, [&](TCoreSpy& s) -> const void* {
      ++s.reads_;
      const auto it = s.blocks_.find(code);
      *size = it != s.blocks_.end() ? static_cast<std::int32_t>(it->second.size()) : 0;
      return it != s.blocks_.end() ? it->second.data() : nullptr;
    });
  }
  static KBool Info(void* ctx, std::int32_t kind, std::int16_t code, const char* text, const char* details) {
    std::string line = text != nullptr ? text : "";
    std::string prefix;
    // "[$XXXXXXXX] " names the thread; the tests look at what follows.
    if (line.size() >= 12 && line.compare(0, 2, "[$") == 0 && line[10] == ']') {
      prefix = line.substr(0, 12);
      line.erase(0, 12);
    }
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      s.lines_.push_back({kind, std::move(line), details != nullptr ? details : "", code, details == nullptr,
                          std::move(prefix)});
      return kind != 2 || s.log_answer_;
    });
  }
  static KBool RecvFromGate(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      if (code == -10 && param == -1 && ref != nullptr) s.failed_.push_back(*ref);
      return s.recv_from_gate_answer_;
    });
  }
  static KBool Packet(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      if (s.refused_.count(ref->Number) != 0) return 0;
      s.received_.push_back(
          {sender, *ref, size > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : ""});
      return 1;
    });
  }
  static KBool Delivered(void* ctx, KHandle, const TRefPack* ref) {
    return Locked(ctx, [&](TCoreSpy& s) -> KBool {
      s.confirmed_.push_back(*ref);
      return 1;
    });
  }
  static void Progress(void* ctx, KHandle, const char* caption, std::int32_t, std::int32_t, std::int32_t) {
    Locked(ctx, [&](TCoreSpy& s) {
      ++s.progress_;
      s.caption_ = caption != nullptr ? caption : "";
      return 0;
    });
  }
  static std::int32_t Text(void* ctx, const char* key, char* dest, std::int32_t size) {
    return Locked(ctx, [&](TCoreSpy& s) -> std::int32_t {
      const auto it = s.texts_.find(key);
      if (it == s.texts_.end()) return -1;
      if (dest != nullptr && size > 0) {
        const std::size_t n = std::min<std::size_t>(it->second.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(dest, it->second.data(), n);
        dest[n] = '\0';
      }
      return static_cast<std::int32_t>(it->second.size());
    });
  }
  // With `spy` null, libHeron's own answers again.
  static void Install(TCoreSpy* spy) {
    HeronSetReadGateSettings(spy ? &Read : nullptr, spy);
    HeronSetGateInfo(spy ? &Info : nullptr, spy);
    HeronSetRecvFromGate(spy ? &RecvFromGate : nullptr, spy);
    HeronSetRecvPacketFromGate(spy ? &Packet : nullptr, spy);
    HeronSetPacketDeliveredFromGate(spy ? &Delivered : nullptr, spy);
    HeronSetProgressFromGate(spy ? &Progress : nullptr, spy);
    HeronSetGetLocalizResource(spy ? &Text : nullptr, spy);
  }
};

TCoreSpy::TCoreSpy() { Handlers::Install(this); }
TCoreSpy::~TCoreSpy() { Handlers::Install(nullptr); }

std::vector<TCoreLine> TCoreSpy::LinesWith(std::string_view part) const {
  std::vector<TCoreLine> out;
  for (const TCoreLine& l : Lines())
    if (l.kind == 2 && l.text.find(part) != std::string::npos) out.push_back(l);
  return out;
}

std::vector<TCoreLine> TCoreSpy::Errors() const {
  std::vector<TCoreLine> out;
  for (const TCoreLine& l : Lines())
    if (l.kind == 1) out.push_back(l);
  return out;
}

bool TCoreSpy::WaitUntil(const std::function<bool(const TCoreSpy&)>& done, std::uint32_t timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done(*this)) return true;
    std::unique_lock lock(mutex_);
    // Woken by every change; the periodic look covers conditions that do not
    // come from the core (channel states).
    if (changed_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      return done(*this);
    }
  }
}

}  // namespace kestrel::testing
