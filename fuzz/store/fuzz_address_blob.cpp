// TMdmAddrList::BlobToParamList over any block; an accepted block always
// converts back, and a rebuilt block becomes a fixed point of the two
// conversions (the first rebuild may still split a stored number at a CR or
// LF inside it and keep the blanks after that break).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/MdmAddrList.h"

namespace {
std::string Blob(const kestrel::store::TMdmAddrList& a) {
  return std::string(reinterpret_cast<const char*>(a.BLOB), static_cast<std::size_t>(a.BLOBSize));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrel::store::TMdmAddrList;
  TMdmAddrList a;
  if (!a.BlobToParamList(data, static_cast<std::int32_t>(size))) {
    if (a.ParamList != nullptr) std::abort();
    return 0;
  }
  if (a.ParamList == nullptr || a.ParamList->Count != 10) std::abort();
  a.ParamListToBlob(a.ParamList);  // decoded numbers always fit: no exception expected
  auto rebuild = [](const std::string& block) {
    TMdmAddrList b;
    if (!b.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()))) std::abort();
    b.ParamListToBlob(b.ParamList);
    return Blob(b);
  };
  const std::string twice = rebuild(Blob(a));
  if (rebuild(twice) != twice) std::abort();
  return 0;
}
