// What the layers below the sessions may know of the module's one gate
// manager: whether it exists, whether the gate is stopping, and which pool
// slot a channel occupies.
//
// The library installs an accessor when it loads; tests install their own.
// Thread-safe: read from every channel thread.
#pragma once

#include <cstdint>

namespace kestrel::gate {

class IGateAccess {
 public:
  virtual ~IGateAccess() = default;
  // True while the module has a gate manager.
  virtual bool HasManager() const = 0;
  // The manager's GateStopping flag; false when there is no manager.
  virtual bool GateStopping() const = 0;
  // The index (0..15) of `channel` in the manager's pool, or -1 when it is not
  // in the pool (or there is no manager or pool).
  virtual std::int32_t PoolIndexOf(const void* channel) const = 0;
};

// The installed accessor; never null (a default one answers "no manager").
const IGateAccess& GateAccess();
// Installs `access` (not owned; must outlive its use) or, with null, the
// default. Returns the previous one.
const IGateAccess* SetGateAccess(const IGateAccess* access);

// Shorthands used by the waits of the modem layer: no manager, or stopping.
inline bool GateStopRequested() { return !GateAccess().HasManager() || GateAccess().GateStopping(); }

}  // namespace kestrel::gate
