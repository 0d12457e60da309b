// What the store's targets check of a block: that it reads back as a
// parameter list and is built again from it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/kit/ParamLists.h"

namespace kestrel::fuzz {

using testing::BlobOf;

// `block` read by a fresh list `L` (it must be taken) and built again.
template <typename L>
std::string Rebuilt(const std::string& block) {
  L list;
  if (!list.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()))) std::abort();
  list.ParamListToBlob(list.ParamList);
  return BlobOf(list);
}

}  // namespace kestrel::fuzz
