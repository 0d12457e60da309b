// The gate manager as the layers below the gate see it (gate/common/
// GateAccess.h), for tests: present, stoppable by the test or by the
// managers it watches, with channels the test places in its pool or pools it
// asks. Installed for its lifetime. Thread-safe.
#pragma once

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

  TFakeGate();
  ~TFakeGate() override;
  TFakeGate(const TFakeGate&) = delete;
  TFakeGate& operator=(const TFakeGate&) = delete;

  bool HasManager() const override { return true; }
  // `stopping`, or any watched stop.
  bool GateStopping() const override;
  // The index PutInPool gave `channel`, else the first watched pool's answer, else -1.
  std::int32_t PoolIndexOf(const void* channel) const override;

  void PutInPool(std::size_t index, const void* channel);
  // Asks `index_of` for channels and `stopping` (when given) for the stop:
  // a pool, or a gate manager of the test. Both must stay callable while
  // the fake lives.
  void Watch(TIndexOf index_of, std::function<bool()> stopping = {});

  std::atomic<bool> stopping{false};

 private:
  const gate::IGateAccess* previous_;
  mutable std::mutex mutex_;
  std::vector<const void*> pool_;
  std::vector<TIndexOf> pools_;
  std::vector<std::function<bool()>> stops_;
};

}  // namespace kestrel::testing
