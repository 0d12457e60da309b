#include "gate/common/GateAccess.h"

#include <atomic>

namespace kestrel::gate {
namespace {

class TNoManager final : public IGateAccess {
 public:
  bool HasManager() const override { return false; }
  bool GateStopping() const override { return false; }
  std::int32_t PoolIndexOf(const void*) const override { return -1; }
};

const TNoManager g_no_manager;
std::atomic<const IGateAccess*> g_access{&g_no_manager};

}  // namespace

const IGateAccess& GateAccess() { return *g_access.load(std::memory_order_acquire); }

const IGateAccess* SetGateAccess(const IGateAccess* access) {
  return g_access.exchange(access != nullptr ? access : &g_no_manager, std::memory_order_acq_rel);
}

}  // namespace kestrel::gate
