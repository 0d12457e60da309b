// Reading and adding parameter items for the store's two parameter lists.
//
// Parameter lists come from the host and are untrusted: a list may hold null
// item pointers, an item may claim a negative size or a size without memory.
// These helpers never read what an item does not own: every accessor checks
// first and reports a misfit as "Wrong parameter type for parameter '<name>'"
// (EParamListError).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::store {

// The items of `list` in order, without null entries. A null list, a
// negative count or a null item array give no items.
std::vector<const TParamListItem*> ItemsOf(const TParamList* list);

// The item's name; "" for a null name.
std::string_view NameOf(const TParamListItem& item);

// "Wrong parameter type for parameter '<name>'".
[[noreturn]] void ThrowWrongType(const TParamListItem& item);

// The scalar held in Value. Size must be 0 (otherwise Value is a pointer).
// With `type` >= 0 the item's type code must be `type` as well.
std::int32_t ScalarOf(const TParamListItem& item, std::int32_t type = -1);

// The Size bytes Value points to: Size >= 0 and, when Size > 0, Value not
// null. With `type` >= 0 the item's type code must be `type` as well.
std::string_view BytesOf(const TParamListItem& item, std::int32_t type = -1);

// The 8 bytes of a time span item: Size 8 and Value not null.
double TimeSpanOf(const TParamListItem& item);

// The channel number after a prefix of a name: an optional sign and decimal
// digits that fit 32 bits; anything else raises std::invalid_argument with
// "'<rest>' is not a valid integer value".
std::int32_t ParseChannelNumber(std::string_view rest);

// Appending new items to a list the store owns. The name and the bytes are
// copied; on failure nothing is left half-added.
void AddScalar(TParamList& list, std::string_view name, std::int32_t type, std::int32_t value);
void AddBytes(TParamList& list, std::string_view name, std::int32_t type, std::string_view bytes);

}  // namespace kestrel::store
