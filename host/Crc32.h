// CRC-32 (IEEE 802.3, the polynomial zlib and most tools use). Pure function.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel::host {

// The CRC-32 of `bytes`; pass the previous result as `crc` to continue over
// more bytes. Crc32("123456789") is 0xCBF43926.
std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

}  // namespace kestrel::host
