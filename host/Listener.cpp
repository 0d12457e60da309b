#include "host/Listener.h"

namespace kestrel::host {

TListener::TListener(TGateManager* manager, const void* self_addr, std::int32_t self_addr_size)
    : Manager(manager), SelfAddrSize(self_addr != nullptr && self_addr_size > 0 ? self_addr_size : 0) {
  if (SelfAddrSize > 0) self_addr_.assign(static_cast<const char*>(self_addr), static_cast<std::size_t>(SelfAddrSize));
}

TListener::~TListener() = default;

}  // namespace kestrel::host
