// TListener: the framework's listener of incoming calls. A gate derives its
// listener from it and overrides Listen. The framework calls Listen once on a
// new listener and destroys it when listening stops.
#pragma once

#include <cstdint>
#include <string>

#include "host/HostObject.h"

namespace kestrel::host {

class TGateManager;

class TListener : public THostObject {
 public:
  // The own address block is copied; SelfAddrPtr points to the copy.
  TListener(TGateManager* manager, const void* self_addr, std::int32_t self_addr_size);
  ~TListener() override;

  [[nodiscard]] virtual bool Listen() = 0;  // slot 0

  TGateManager* const Manager;
  const std::int32_t SelfAddrSize;
  const void* SelfAddrPtr() const { return self_addr_.data(); }

 private:
  std::string self_addr_;
};

}  // namespace kestrel::host
