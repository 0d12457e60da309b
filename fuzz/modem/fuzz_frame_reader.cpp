// Reads a byte stream from the line as a sequence of frames, as the receiver
// does: a 12-byte header, checked; the length capped; the payload summed.
// Any input must be refused or read cleanly, never crash or read out of
// bounds; a frame that is accepted must rebuild to the same bytes. When the
// input's first byte is odd, every header's sums are set right before it is
// read, so that mutations reach the length, the payload and the frames
// after the first instead of dying at a checksum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "modem/MdmFrame.h"

namespace {

using namespace kestrel::modem;

void PutU16(std::string& bytes, std::size_t at, std::uint16_t v) {
  bytes[at] = static_cast<char>(v & 0xFF);
  bytes[at + 1] = static_cast<char>(v >> 8);
}

// Sets the payload sum (when the payload is there) and the header sum of the
// header at `at`.
void FixSums(std::string& bytes, std::size_t at) {
  const std::string_view all(bytes);
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(static_cast<unsigned char>(all[at + 4 + i])) << (8 * i);
  const std::size_t start = at + kFrameHeaderSize;
  if (length <= bytes.size() - start) PutU16(bytes, at + 8, ByteSum16(all.substr(start, length)));
  PutU16(bytes, at + 10, ByteSum16(std::string_view(bytes).substr(at, 10)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool fix = (data[0] & 1) != 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t at = 0;
  while (bytes.size() - at >= kFrameHeaderSize) {
    if (fix) FixSums(bytes, at);
    const std::string_view rest = std::string_view(bytes).substr(at);
    TFrameHeader h;
    if (!ParseFrameHeader(rest.substr(0, kFrameHeaderSize), h)) return 0;
    if (h.Length > kMaxFramePayload) return 0;
    if (h.Length > rest.size() - kFrameHeaderSize) return 0;
    const std::string_view payload = rest.substr(kFrameHeaderSize, h.Length);
    if (ByteSum16(payload) == h.PayloadSum) {
      const std::string rebuilt = BuildFrame(h.Kind, payload);
      if (rebuilt != rest.substr(0, kFrameHeaderSize + h.Length)) std::abort();
    } else if (fix) {
      std::abort();  // the sum was just set right
    }
    at += kFrameHeaderSize + h.Length;
  }
  return 0;
}
