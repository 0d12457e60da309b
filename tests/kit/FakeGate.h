// The gate manager as the layers below the gate see it (gate/common/
// GateAccess.h), for tests: present, stoppable by the test or by the
// managers it watches, with channels the test places in its pool or pools it
// asks. Installed for its lifetime. Thread-safe.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "gate/common/GateAccess.h"

namespace kestrel::testing {

class TFakeGate final : public gate::IGateAccess {
 public:
  using TIndexOf = std::function<std::int32_t(const void* channel)>;

  TFakeGate() : previous_(gate::SetGateAccess(this)) {}
  ~TFakeGate() override { gate::SetGateAccess(previous_); }
  TFakeGate(const TFakeGate&) = delete;
  TFakeGate& operator=(const TFakeGate&) = delete;

  bool HasManager() const override { return true; }
  // `stopping`, or any watched stop.
  bool GateStopping() const override {
    std::lock_guard lock(mutex_);
    return stopping.load() || std::any_of(stops_.begin(), stops_.end(), [](const auto& stop) { return stop(); });
  }
  // The index PutInPool gave `channel`, else the first watched pool's answer, else -1.
  std::int32_t PoolIndexOf(const void* channel) const override {
    std::lock_guard lock(mutex_);
    if (const auto it = std::find(pool_.begin(), pool_.end(), channel); channel != nullptr && it != pool_.end())
      return static_cast<std::int32_t>(it - pool_.begin());
    for (const TIndexOf& index_of : pools_)
      if (const std::int32_t i = index_of(channel); i >= 0) return i;
    return -1;
  }

  void PutInPool(std::size_t index, const void* channel) {
    std::lock_guard lock(mutex_);
    if (pool_.size() <= index) pool_.resize(index + 1, nullptr);
    pool_[index] = channel;
  }
  // Asks `index_of` for channels and `stopping_of` (when given) for the stop:
  // a pool, or a gate manager of the test. Both must stay callable while
  // the fake lives.
  void Watch(TIndexOf index_of, std::function<bool()> stopping_of = {}) {
    std::lock_guard lock(mutex_);
    pools_.push_back(std::move(index_of));
    if (stopping_of) stops_.push_back(std::move(stopping_of));
  }

  std::atomic<bool> stopping{false};

 private:
  const gate::IGateAccess* previous_;
  mutable std::mutex mutex_;
  std::vector<const void*> pool_;
  std::vector<TIndexOf> pools_;
  std::vector<std::function<bool()>> stops_;
};

}  // namespace kestrel::testing
