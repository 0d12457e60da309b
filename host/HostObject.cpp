#include "host/HostObject.h"

#include <atomic>

namespace kestrel::host {

std::uint32_t NewIdentity() {
  static std::atomic<std::uint32_t> next{0x00010000};
  std::uint32_t id = next.fetch_add(1, std::memory_order_relaxed);
  while (id == 0) id = next.fetch_add(1, std::memory_order_relaxed);  // skip 0 after a wrap
  return id;
}

std::string Hex8(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return out;
}

}  // namespace kestrel::host
