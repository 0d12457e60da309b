// DecodePhones over any bytes: never reads outside them; what it accepts
// encodes back to the same number of entries.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/MdmAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::store;
  const std::string_view section(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> phones{"before"};
  if (!DecodePhones(section, phones)) {
    if (size >= 4 && !phones.empty()) std::abort();  // a rejected section leaves no numbers
    return 0;
  }
  if (section.size() != 4 + 100 * phones.size()) std::abort();
  for (const auto& p : phones)
    if (p.size() > 100 || TrimBlanks(p) != p) std::abort();
  // Decoded numbers always fit again; blank ones are dropped.
  const std::string again = EncodePhones(phones);
  std::vector<std::string> back;
  if (!DecodePhones(again, back)) std::abort();
  std::vector<std::string> nonblank;
  for (const auto& p : phones)
    if (!p.empty()) nonblank.push_back(p);
  if (back != nonblank) std::abort();
  return 0;
}
