// TMdmSettList::ParamListToBlob over parameter lists made from fuzz bytes:
// errors are exceptions (never a crash or an overread); a block it builds
// reads back and rebuilds to itself.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "FuzzParams.h"
#include "store/MdmSettList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrel::store::TMdmSettList;
  kestrel::fuzz::FuzzParams params(data, size);
  TMdmSettList s;
  try {
    s.ParamListToBlob(params.get());
  } catch (const std::exception&) {
    if (s.BLOB != nullptr || s.BLOBSize != 0) std::abort();
    return 0;
  }
  const std::string once(reinterpret_cast<const char*>(s.BLOB), static_cast<std::size_t>(s.BLOBSize));
  TMdmSettList t;
  if (!t.BlobToParamList(once.data(), static_cast<std::int32_t>(once.size()))) std::abort();
  t.ParamListToBlob(t.ParamList);
  if (std::string(reinterpret_cast<const char*>(t.BLOB), static_cast<std::size_t>(t.BLOBSize)) != once) std::abort();
  return 0;
}
