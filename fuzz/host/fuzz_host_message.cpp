// Any bytes from the far gate decode to a message or to nothing; a message
// that decodes encodes back to the same bytes. Each input is tried twice: as
// it came, and as the body of a message sealed with its right CRC-32, so
// that mutations reach the fields behind the check (parts, counts, lengths).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/Crc32.h"
#include "host/Message.h"

namespace {

void RoundTrip(std::string_view bytes) {
  const auto msg = kestrel::host::DecodeMessage(bytes);
  if (msg && kestrel::host::EncodeMessage(*msg) != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  RoundTrip(bytes);
  const std::uint32_t crc = kestrel::host::Crc32(bytes);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(crc >> (8 * i)));
  RoundTrip(bytes);
  return 0;
}
