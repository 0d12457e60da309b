#include "host/ParamList.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "platform/ScopeExit.h"

namespace kestrel::host {
namespace {

// Value memory is always allocated here as an array of bytes, so that every
// item this module made is freed with the matching delete[].
std::uint8_t* ValueMemory(const TParamListItem& item) {
  return reinterpret_cast<std::uint8_t*>(item.Value);  // NOLINT: the host's layout keeps pointers in Value
}

char* CopyName(std::string_view name) {
  auto* out = new char[name.size() + 1];
  if (!name.empty()) std::memcpy(out, name.data(), name.size());
  out[name.size()] = '\0';
  return out;
}

// Builds an item whose value is a copy of `size` bytes (or the scalar when
// size is 0). The item is only handed out once complete, so a failed
// allocation leaks nothing.
TParamListItem* MakeItem(std::string_view name, std::int32_t type, std::intptr_t scalar, const void* data,
                         std::int32_t size) {
  if (size < 0) throw std::invalid_argument("Parameter size is negative");
  if (size > 0 && data == nullptr) throw std::invalid_argument("Parameter value is missing");
  auto* item = new TParamListItem{nullptr, type, scalar, size};
  platform::TScopeExit free_item([item] {
    delete[] item->Name;
    delete item;
  });
  item->Name = CopyName(name);
  if (size > 0) {
    auto* bytes = new std::uint8_t[static_cast<std::size_t>(size)];
    std::memcpy(bytes, data, static_cast<std::size_t>(size));
    item->Value = reinterpret_cast<std::intptr_t>(bytes);
  }
  free_item.Dismiss();
  return item;
}

}  // namespace

TParamList* NewParamList() { return new TParamList{0, 0, nullptr}; }

void FreeParamList(TParamList* list) {
  if (list == nullptr) return;
  delete[] list->Items;
  delete list;
}

void AddParamListItem(TParamList& list, TParamListItem* item) {
  if (item == nullptr) throw std::invalid_argument("Parameter item is missing");
  if (list.Count < 0 || list.Count > list.Capacity || (list.Capacity > 0 && list.Items == nullptr))
    throw std::invalid_argument("Parameter list is damaged");
  if (list.Count == list.Capacity) {
    if (list.Capacity >= std::numeric_limits<std::int32_t>::max() / 2) throw std::length_error("Parameter list is full");
    const std::int32_t capacity = list.Capacity == 0 ? 16 : list.Capacity * 2;
    auto** items = new TParamListItem*[static_cast<std::size_t>(capacity)];
    for (std::int32_t i = 0; i < list.Count; ++i) items[i] = list.Items[i];
    delete[] list.Items;
    list.Items = items;
    list.Capacity = capacity;
  }
  list.Items[list.Count++] = item;
}

TParamListItem* RemoveParamListItem(TParamList& list, std::int32_t index) {
  if (index < 0 || index >= list.Count || list.Items == nullptr)
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  TParamListItem* item = list.Items[index];
  for (std::int32_t i = index + 1; i < list.Count; ++i) list.Items[i - 1] = list.Items[i];
  --list.Count;
  list.Items[list.Count] = nullptr;
  return item;
}

TParamListItem* NewScalarItem(std::string_view name, std::int32_t type, std::int32_t value) {
  return MakeItem(name, type, value, nullptr, 0);
}

TParamListItem* NewBytesItem(std::string_view name, std::int32_t type, const void* data, std::int32_t size) {
  return MakeItem(name, type, 0, data, size);
}

TParamListItem* CopyParamListItem(const TParamListItem& item) {
  // The source may be a host program's item: only read it.
  if (item.Size > 0) {
    if (item.Value == 0) throw std::invalid_argument("Parameter '" + std::string(ItemName(item)) + "' has no value");
    return MakeItem(ItemName(item), item.ParamType, 0, ValueMemory(item), item.Size);
  }
  if (item.Size < 0) throw std::invalid_argument("Parameter '" + std::string(ItemName(item)) + "' has a negative size");
  return MakeItem(ItemName(item), item.ParamType, item.Value, nullptr, 0);
}

void DisposeParamListItem(TParamListItem* item) {
  if (item == nullptr) return;
  delete[] item->Name;
  if (item->Size != 0) delete[] ValueMemory(*item);
  delete item;
}

void DestroyParamList(TParamList& list) {
  for (std::int32_t i = 0; i < list.Count; ++i) {
    DisposeParamListItem(list.Items[i]);
    list.Items[i] = nullptr;
  }
  list.Count = 0;
}

std::string_view ItemName(const TParamListItem& item) {
  return item.Name == nullptr ? std::string_view{} : std::string_view{item.Name};
}

std::string_view ItemBytes(const TParamListItem& item) {
  if (item.Size <= 0 || item.Value == 0) return {};
  return {reinterpret_cast<const char*>(ValueMemory(item)), static_cast<std::size_t>(item.Size)};
}

}  // namespace kestrel::host
