#include "store/ParamItems.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "host/ParamList.h"
#include "platform/ScopeExit.h"
#include "store/ParamListError.h"

namespace kestrel::store {

std::vector<const TParamListItem*> ItemsOf(const TParamList* list) {
  std::vector<const TParamListItem*> items;
  if (list == nullptr || list->Items == nullptr || list->Count <= 0) return items;
  items.reserve(static_cast<std::size_t>(list->Count));
  for (std::int32_t i = 0; i < list->Count; ++i)
    if (list->Items[i] != nullptr) items.push_back(list->Items[i]);
  return items;
}

std::string_view NameOf(const TParamListItem& item) { return item.Name ? std::string_view(item.Name) : std::string_view(); }

void ThrowWrongType(const TParamListItem& item) {
  throw EParamListError("Wrong parameter type for parameter '" + std::string(NameOf(item)) + "'");
}

std::int32_t ScalarOf(const TParamListItem& item, std::int32_t type) {
  if (item.Size != 0 || (type >= 0 && item.ParamType != type)) ThrowWrongType(item);
  // The scalar occupies the low 32 bits of Value, whatever the pointer width.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(item.Value)));
}

std::string_view BytesOf(const TParamListItem& item, std::int32_t type) {
  if (item.Size < 0 || (item.Size > 0 && item.Value == 0) || (type >= 0 && item.ParamType != type))
    ThrowWrongType(item);
  if (item.Size == 0) return {};
  return {reinterpret_cast<const char*>(item.Value), static_cast<std::size_t>(item.Size)};
}

double TimeSpanOf(const TParamListItem& item) {
  if (item.Size != 8 || item.Value == 0) ThrowWrongType(item);
  double d = 0;
  std::memcpy(&d, reinterpret_cast<const void*>(item.Value), 8);
  return d;
}

std::int32_t ParseChannelNumber(std::string_view rest) {
  std::size_t i = 0;
  bool negative = false;
  if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) negative = rest[i++] == '-';
  std::int64_t value = 0;
  const std::size_t first_digit = i;
  for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
    value = value * 10 + (rest[i] - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) break;
  }
  if (negative) value = -value;
  if (i == first_digit || i != rest.size() || value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min())
    throw std::invalid_argument("'" + std::string(rest) + "' is not a valid integer value");
  return static_cast<std::int32_t>(value);
}

namespace {
// The list owns the item once it is added; until then it is ours to free.
void Add(TParamList& list, TParamListItem* item) {
  platform::TScopeExit dispose([item] { host::DisposeParamListItem(item); });
  host::AddParamListItem(list, item);
  dispose.Dismiss();
}
}  // namespace

void AddScalar(TParamList& list, std::string_view name, std::int32_t type, std::int32_t value) {
  Add(list, host::NewScalarItem(name, type, value));
}

void AddBytes(TParamList& list, std::string_view name, std::int32_t type, std::string_view bytes) {
  Add(list, host::NewBytesItem(name, type, bytes.empty() ? nullptr : bytes.data(), static_cast<std::int32_t>(bytes.size())));
}

}  // namespace kestrel::store
