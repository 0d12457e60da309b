#include "host/Exchanger.h"

namespace kestrel::host {

TExchanger::TExchanger(TGateManager* manager, const void* addr, std::int32_t size) : manager_(manager) {
  if (addr != nullptr && size > 0) addr_.assign(static_cast<const char*>(addr), static_cast<std::size_t>(size));
}

TExchanger::~TExchanger() = default;

}  // namespace kestrel::host
