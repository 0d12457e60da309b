// TMdmAddrList::ParamListToBlob over parameter lists made from fuzz bytes:
// errors are exceptions (never a crash or an overread); a block it builds
// reads back, and its rebuilt block is a fixed point of the two conversions
// (the first rebuild may still trim blanks around the numbers).
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "FuzzParams.h"
#include "RoundTrip.h"
#include "store/MdmAddrList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrel::fuzz::Rebuilt;
  kestrel::fuzz::FuzzParams params(data, size);
  kestrel::store::TMdmAddrList a;
  try {
    a.ParamListToBlob(params.get());
  } catch (const std::exception&) {
    if (a.BLOB != nullptr || a.BLOBSize != 0) std::abort();
    return 0;
  }
  const std::string once = kestrel::fuzz::BlobOf(a);
  if (once.size() < 172) std::abort();
  const std::string twice = Rebuilt<kestrel::store::TMdmAddrList>(once);
  if (Rebuilt<kestrel::store::TMdmAddrList>(twice) != twice) std::abort();
  return 0;
}
