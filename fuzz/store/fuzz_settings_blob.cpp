// TMdmSettList::BlobToParamList over any block; an accepted block converts
// back, and a rebuilt block is a fixed point of the two conversions.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "store/MdmSettList.h"

namespace {
std::string Blob(const kestrel::store::TMdmSettList& s) {
  return std::string(reinterpret_cast<const char*>(s.BLOB), static_cast<std::size_t>(s.BLOBSize));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrel::store::TMdmSettList;
  TMdmSettList s;
  if (!s.BlobToParamList(data, static_cast<std::int32_t>(size))) {
    if (s.ParamList == nullptr || s.ParamList->Count != 0) std::abort();
    return 0;
  }
  try {
    s.ParamListToBlob(s.ParamList);
  } catch (const std::exception&) {
    return 0;  // a stored block with two channels on one port
  }
  const std::string once = Blob(s);
  TMdmSettList t;
  if (!t.BlobToParamList(once.data(), static_cast<std::int32_t>(once.size()))) std::abort();
  t.ParamListToBlob(t.ParamList);
  if (Blob(t) != once) std::abort();
  return 0;
}
