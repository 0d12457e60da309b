// Any bytes from the far gate decode to a message or to nothing; a message
// that decodes encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/Message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto msg = kestrel::host::DecodeMessage(bytes);
  if (msg && kestrel::host::EncodeMessage(*msg) != bytes) std::abort();
  return 0;
}
