// The host's lists of named parameters (TParamListItem, TParamList of
// kestrel.h) and the operations on them that the framework offers.
//
// Items made here are owned by the list they are added to; a list made here is
// freed with DestroyParamList + FreeParamList. Lists and items that a host
// program built itself are only read, never freed, by the gate.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kestrel/kestrel.h"

namespace kestrel::host {

// A new empty list.
TParamList* NewParamList();
// Frees the list object itself (items must have been disposed of). Null is fine.
void FreeParamList(TParamList* list);
// Appends an item; the list takes ownership.
void AddParamListItem(TParamList& list, TParamListItem* item);
// Removes the item at `index` from the list without freeing it.
TParamListItem* RemoveParamListItem(TParamList& list, std::int32_t index);

// New items. The name and the value bytes are copied.
TParamListItem* NewScalarItem(std::string_view name, std::int32_t type, std::int32_t value);
TParamListItem* NewBytesItem(std::string_view name, std::int32_t type, const void* data, std::int32_t size);
// A copy of an item: new name, same type and size, a new copy of the value bytes when Size is not 0.
TParamListItem* CopyParamListItem(const TParamListItem& item);

// Frees the name, the value memory when Size is not 0, and the item. Null is fine.
void DisposeParamListItem(TParamListItem* item);
// Disposes of every item and leaves the list empty.
void DestroyParamList(TParamList& list);

// Reading items safely: the name as a view (empty for a null name); the value
// bytes of an item with Size > 0 (empty otherwise).
std::string_view ItemName(const TParamListItem& item);
std::string_view ItemBytes(const TParamListItem& item);

}  // namespace kestrel::host
