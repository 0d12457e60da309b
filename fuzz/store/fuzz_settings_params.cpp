// TMdmSettList::ParamListToBlob over parameter lists made from fuzz bytes:
// errors are exceptions (never a crash or an overread); a block it builds
// reads back and rebuilds to itself.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "FuzzParams.h"
#include "RoundTrip.h"
#include "store/MdmSettList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::FuzzParams params(data, size);
  kestrel::store::TMdmSettList s;
  try {
    s.ParamListToBlob(params.get());
  } catch (const std::exception&) {
    if (s.BLOB != nullptr || s.BLOBSize != 0) std::abort();
    return 0;
  }
  const std::string once = kestrel::fuzz::BlobOf(s);
  if (kestrel::fuzz::Rebuilt<kestrel::store::TMdmSettList>(once) != once) std::abort();
  return 0;
}
