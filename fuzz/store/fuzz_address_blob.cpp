// TMdmAddrList::BlobToParamList over any block; an accepted block always
// converts back, and a rebuilt block becomes a fixed point of the two
// conversions (the first rebuild may still split a stored number at a CR or
// LF inside it and keep the blanks after that break).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "RoundTrip.h"
#include "store/MdmAddrList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrel::fuzz::Rebuilt;
  kestrel::store::TMdmAddrList a;
  if (!a.BlobToParamList(data, static_cast<std::int32_t>(size))) {
    if (a.ParamList != nullptr) std::abort();
    return 0;
  }
  if (a.ParamList == nullptr || a.ParamList->Count != 10) std::abort();
  a.ParamListToBlob(a.ParamList);  // decoded numbers always fit: no exception expected
  const std::string twice = Rebuilt<kestrel::store::TMdmAddrList>(kestrel::fuzz::BlobOf(a));
  if (Rebuilt<kestrel::store::TMdmAddrList>(twice) != twice) std::abort();
  return 0;
}
