// Reads a byte stream from the line as a sequence of frames, as the receiver
// does: a 12-byte header, checked; the length capped; the payload summed.
// Any input must be refused or read cleanly, never crash or read out of
// bounds; a frame that is accepted must rebuild to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "modem/MdmFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::modem;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (rest.size() >= kFrameHeaderSize) {
    TFrameHeader h;
    if (!ParseFrameHeader(rest.substr(0, kFrameHeaderSize), h)) return 0;
    if (h.Length > kMaxFramePayload) return 0;
    rest.remove_prefix(kFrameHeaderSize);
    if (h.Length > rest.size()) return 0;
    const std::string_view payload = rest.substr(0, h.Length);
    if (ByteSum16(payload) == h.PayloadSum) {
      const std::string rebuilt = BuildFrame(h.Kind, payload);
      TFrameHeader again;
      if (!ParseFrameHeader(rebuilt, again) || again.Length != h.Length || again.Kind != h.Kind) std::abort();
    }
    rest.remove_prefix(h.Length);
  }
  return 0;
}
