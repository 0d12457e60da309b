// The bytes of the packets that framework and session tests send: a
// pseudo-random stream seeded by the packet number, so that two packets of
// one size differ and a misplaced byte shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel::testing {

inline std::string PacketBytes(std::int32_t number, std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 2654435761u * static_cast<std::uint32_t>(number + 1);
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

}  // namespace kestrel::testing
