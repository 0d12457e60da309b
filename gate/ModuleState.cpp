#include "gate/ModuleState.h"

#include <atomic>

#include "gate/common/GateAccess.h"
#include "gate/common/GateLog.h"
#include "platform/Port.h"
#include "session/MdmMngr.h"

namespace kestrel::gate {
namespace {

std::atomic<session::TMdmGateManager*> g_manager{nullptr};

// What the modem layer asks about the module's manager.
class TModuleGateAccess final : public IGateAccess {
 public:
  bool HasManager() const override { return g_manager.load(std::memory_order_acquire) != nullptr; }
  bool GateStopping() const override {
    const session::TMdmGateManager* m = g_manager.load(std::memory_order_acquire);
    return m != nullptr && m->GateStopping.load();
  }
  std::int32_t PoolIndexOf(const void* channel) const override {
    const session::TMdmGateManager* m = g_manager.load(std::memory_order_acquire);
    return m != nullptr ? m->PoolIndexOf(channel) : -1;
  }
};

const TModuleGateAccess g_access;

}  // namespace

session::TMdmGateManager* MdmGateManager() { return g_manager.load(std::memory_order_acquire); }

void LoadModule() {
  ResetLogState();
  g_manager.store(nullptr);
  // The port layer's handle table is made now, before anything of this
  // module is: objects made earlier are destroyed later at exit, and the
  // manager's destruction at unload closes ports through that table.
  (void)platform::PortClose(platform::kInvalidPortHandle);
  try {
    g_manager.store(new session::TMdmGateManager, std::memory_order_release);
  } catch (...) {
    // The library stays loaded; every export then answers 0 / false.
  }
  SetGateAccess(&g_access);
}

void UnloadModule() {
  LogState().NeedLog = false;
  FreeGateManager();
  SetGateAccess(nullptr);
}

void AbandonModule() {
  LogState().NeedLog = false;
  // The process's memory goes with it; the threads the manager would join
  // are gone.
  (void)g_manager.exchange(nullptr, std::memory_order_acq_rel);
  SetGateAccess(nullptr);
}

void FreeGateManager() {
  delete g_manager.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace kestrel::gate
