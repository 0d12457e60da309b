// What the store's tests share beside the kit's parameter lists: readers of
// items and blocks, and the refusal of a list by a ParamListToBlob.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/ParamList.h"
#include "kestrel/kestrel.h"
#include "store/MdmAddress.h"
#include "store/ParamListError.h"
#include "tests/kit/ParamLists.h"

namespace kestrel::store::testing {

using Params = kestrel::testing::TParams;

// A list as text, item by item: name=e<ordinal>, i<integer>, b<boolean>,
// <ms>ms (time spans, by their time of day) or '<text>'; an item whose size
// does not fit its type shows as name=?<size>, an empty text that holds
// memory as name='(memory)'.
inline std::string Dump(const TParamList* list) {
  if (list == nullptr) return "<null>";
  std::string out;
  for (std::int32_t i = 0; i < list->Count; ++i) {
    const TParamListItem& item = *list->Items[i];
    out += (i ? "," : "") + std::string(host::ItemName(item)) + "=";
    const bool text = item.ParamType == PARAM_TEXT, span = item.ParamType == PARAM_DATETIME;
    if (!text && item.Size != (span ? 8 : 0)) {
      out += "?" + std::to_string(item.Size);
    } else if (span) {
      double days = 0;
      std::memcpy(&days, reinterpret_cast<const void*>(item.Value), 8);
      out += std::to_string(TimeSpanToMs(days)) + "ms";
    } else if (text) {
      out += item.Size == 0 && item.Value != 0 ? "'(memory)'" : "'" + std::string(host::ItemBytes(item)) + "'";
    } else {
      out += (item.ParamType == PARAM_ENUM ? "e" : item.ParamType == PARAM_INT32 ? "i" : "b") + std::to_string(item.Value);
    }
  }
  return out;
}

template <typename T>
std::string Bytes(const T& record) {
  std::string out(sizeof record, '\0');
  std::memcpy(out.data(), &record, sizeof record);
  return out;
}

inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {kDigits[c >> 4], kDigits[c & 15]};
  return out;
}
// The hex text of `n` zero bytes.
inline std::string Zeros(std::size_t n) { return std::string(2 * n, '0'); }

// BlobToParamList of a block held in a string.
template <typename L>
bool Load(L& list, std::string_view block) {
  return list.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()));
}

// The block a list holds.
template <typename L>
std::string BlobOf(const L& list) {
  return list.BLOB ? std::string(reinterpret_cast<const char*>(list.BLOB), static_cast<std::size_t>(list.BLOBSize))
                   : std::string();
}

// What ParamListToBlob throws for `params`: the text of an EParamListError,
// "invalid_argument: " and the text of a conversion error, "" when it takes
// the list. A refused list leaves no block behind.
template <typename L>
std::string Refusal(L& list, const TParamList* params) {
  list.ParamListToBlob(nullptr);
  try {
    list.ParamListToBlob(params);
    return "";
  } catch (const EParamListError& e) {
    EXPECT_EQ(list.BLOB, nullptr);
    EXPECT_EQ(list.BLOBSize, 0);
    return e.what();
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(list.BLOB, nullptr);
    return std::string("invalid_argument: ") + e.what();
  }
}

}  // namespace kestrel::store::testing
