#include "tests/pool/CoreSpy.h"

#include <algorithm>
#include <chrono>

#include "heron.h"

namespace kestrel::testing {

// ---- TCoreSpy ----

TCoreSpy::TCoreSpy() {
  HeronSetReadGateSettings(&OnRead, this);
  HeronSetGateInfo(&OnInfo, this);
  HeronSetRecvFromGate(&OnRecvFromGate, this);
  HeronSetRecvPacketFromGate(&OnPacket, this);
  HeronSetPacketDeliveredFromGate(&OnDelivered, this);
}

TCoreSpy::~TCoreSpy() {
  HeronSetReadGateSettings(nullptr, nullptr);
  HeronSetGateInfo(nullptr, nullptr);
  HeronSetRecvFromGate(nullptr, nullptr);
  HeronSetRecvPacketFromGate(nullptr, nullptr);
  HeronSetPacketDeliveredFromGate(nullptr, nullptr);
}

void TCoreSpy::Changed() { changed_.notify_all(); }

void TCoreSpy::StoreSettings(std::int16_t code, const std::string& block) {
  std::lock_guard lock(mutex_);
  blocks_[code] = block;
}

int TCoreSpy::SettingsReads() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

const void* TCoreSpy::OnRead(void* ctx, std::int16_t code, std::int32_t* size) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  std::lock_guard lock(self->mutex_);
  ++self->reads_;
  *size = 0;
  if (auto it = self->blocks_.find(code); it != self->blocks_.end()) {
    *size = static_cast<std::int32_t>(it->second.size());
    return it->second.data();
  }
  return nullptr;
}

KBool TCoreSpy::OnInfo(void* ctx, std::int32_t kind, std::int16_t code, const char* text, const char* details) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  std::string line = text != nullptr ? text : "";
  // "[$XXXXXXXX] " names the thread; the tests look at what follows.
  if (line.size() >= 12 && line.compare(0, 2, "[$") == 0 && line[10] == ']') line.erase(0, 12);
  {
    std::lock_guard lock(self->mutex_);
    self->lines_.push_back({kind, std::move(line), details != nullptr ? details : "", code, details == nullptr});
  }
  self->Changed();
  return 1;
}

KBool TCoreSpy::OnRecvFromGate(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  bool answer;
  {
    std::lock_guard lock(self->mutex_);
    if (code == -10 && param == -1 && ref != nullptr) self->failed_.push_back(*ref);
    answer = self->recv_from_gate_answer_;
  }
  self->Changed();
  return answer ? 1 : 0;
}

KBool TCoreSpy::OnPacket(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  {
    std::lock_guard lock(self->mutex_);
    self->received_.push_back(
        {sender, *ref, size > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : ""});
  }
  self->Changed();
  return 1;
}

KBool TCoreSpy::OnDelivered(void* ctx, KHandle, const TRefPack* ref) {
  auto* self = static_cast<TCoreSpy*>(ctx);
  {
    std::lock_guard lock(self->mutex_);
    self->confirmed_.push_back(*ref);
  }
  self->Changed();
  return 1;
}

std::vector<TCoreLine> TCoreSpy::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

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

void TCoreSpy::ClearLines() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

std::vector<TCorePacket> TCoreSpy::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<TRefPack> TCoreSpy::Failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

std::vector<TRefPack> TCoreSpy::Confirmed() const {
  std::lock_guard lock(mutex_);
  return confirmed_;
}

void TCoreSpy::SetRecvFromGateAnswer(bool answer) {
  std::lock_guard lock(mutex_);
  recv_from_gate_answer_ = answer;
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
