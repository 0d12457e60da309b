#include "tests/kit/FakeGate.h"

#include <algorithm>

namespace kestrel::testing {

TFakeGate::TFakeGate() : previous_(gate::SetGateAccess(this)) {}
TFakeGate::~TFakeGate() { gate::SetGateAccess(previous_); }

bool TFakeGate::GateStopping() const {
  std::lock_guard lock(mutex_);
  return stopping.load() || std::any_of(stops_.begin(), stops_.end(), [](const auto& stop) { return stop(); });
}

std::int32_t TFakeGate::PoolIndexOf(const void* channel) const {
  std::lock_guard lock(mutex_);
  if (const auto it = std::find(pool_.begin(), pool_.end(), channel); channel != nullptr && it != pool_.end())
    return static_cast<std::int32_t>(it - pool_.begin());
  for (const TIndexOf& index_of : pools_)
    if (const std::int32_t i = index_of(channel); i >= 0) return i;
  return -1;
}

void TFakeGate::PutInPool(std::size_t index, const void* channel) {
  std::lock_guard lock(mutex_);
  if (pool_.size() <= index) pool_.resize(index + 1, nullptr);
  pool_[index] = channel;
}

void TFakeGate::Watch(TIndexOf index_of, std::function<bool()> stopping_of) {
  std::lock_guard lock(mutex_);
  pools_.push_back(std::move(index_of));
  if (stopping_of) stops_.push_back(std::move(stopping_of));
}

}  // namespace kestrel::testing
