// TMdmSettList::BlobToParamList over any block; an accepted block converts
// back, and a rebuilt block is a fixed point of the two conversions.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "RoundTrip.h"
#include "store/MdmSettList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::store::TMdmSettList s;
  if (!s.BlobToParamList(data, static_cast<std::int32_t>(size))) {
    if (s.ParamList == nullptr || s.ParamList->Count != 0) std::abort();
    return 0;
  }
  try {
    s.ParamListToBlob(s.ParamList);
  } catch (const std::exception&) {
    return 0;  // a stored block with two channels on one port
  }
  const std::string once = kestrel::fuzz::BlobOf(s);
  if (kestrel::fuzz::Rebuilt<kestrel::store::TMdmSettList>(once) != once) std::abort();
  return 0;
}
