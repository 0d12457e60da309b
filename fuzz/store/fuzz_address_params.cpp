// TMdmAddrList::ParamListToBlob over parameter lists made from fuzz bytes:
// errors are exceptions (never a crash or an overread); a block it builds
// reads back, and its rebuilt block is a fixed point of the two conversions
// (the first rebuild may still trim blanks around the numbers).
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "FuzzParams.h"
#include "store/MdmAddrList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrel::store::TMdmAddrList;
  kestrel::fuzz::FuzzParams params(data, size);
  TMdmAddrList a;
  try {
    a.ParamListToBlob(params.get());
  } catch (const std::exception&) {
    if (a.BLOB != nullptr || a.BLOBSize != 0) std::abort();
    return 0;
  }
  const std::string once(reinterpret_cast<const char*>(a.BLOB), static_cast<std::size_t>(a.BLOBSize));
  if (once.size() < 172) std::abort();
  auto rebuild = [](const std::string& block) {
    TMdmAddrList b;
    if (!b.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()))) std::abort();
    b.ParamListToBlob(b.ParamList);
    return std::string(reinterpret_cast<const char*>(b.BLOB), static_cast<std::size_t>(b.BLOBSize));
  };
  const std::string twice = rebuild(once);
  if (rebuild(twice) != twice) std::abort();
  return 0;
}
