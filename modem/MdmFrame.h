// The packet frame on the modem line: a 12-byte header followed by the
// packet bytes.
//
//   offset size field
//   0      2    signature "MG"
//   2      2    kind (2 or 3 alternating in every frame the gate sends)
//   4      4    payload length
//   8      2    payload checksum: sum of the payload bytes modulo 65536
//   10     2    header checksum: sum of header bytes 0..9 modulo 65536
//   12     n    payload
//
// All integers little-endian. No escaping, no trailer: the receiver relies on
// the length. These functions are pure (bytes in, values out, no I/O), so
// the frame reader can be tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::modem {

inline constexpr std::size_t kFrameHeaderSize = 12;
// The receiver refuses a payload longer than this.
inline constexpr std::uint32_t kMaxFramePayload = 5000000;

// Sum of the bytes, each taken as 0..255, truncated to 16 bits.
std::uint16_t ByteSum16(std::string_view bytes);

// The kind that follows `last_sent` in one direction: 2 after anything but 2, else 3.
constexpr std::uint32_t NextFrameKind(std::uint32_t last_sent) { return last_sent == 2 ? 3 : 2; }
// Frames of kind 2 or 3 take part in repeat suppression.
constexpr bool IsAlternatingKind(std::uint32_t kind) { return kind == 2 || kind == 3; }

// The header and payload of one frame.
std::string BuildFrame(std::uint16_t kind, std::string_view payload);

struct TFrameHeader {
  std::uint16_t Kind = 0;
  std::uint32_t Length = 0;
  std::uint16_t PayloadSum = 0;
};

// Reads a received header: true when it begins with exactly "MG" and its
// header checksum matches. `header` must hold kFrameHeaderSize bytes.
[[nodiscard]] bool ParseFrameHeader(std::string_view header, TFrameHeader& out);

}  // namespace kestrel::modem
