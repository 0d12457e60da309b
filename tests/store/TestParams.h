// Test helpers: a parameter list built the way a host program builds one
// (owned by the test, freed at the end of its scope), and readers of items.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/ParamList.h"
#include "kestrel/kestrel.h"

namespace kestrel::store::testing {

class Params {
 public:
  Params() : list_(host::NewParamList()) {}
  ~Params() {
    Neutralise();
    host::DestroyParamList(*list_);
    host::FreeParamList(list_);
  }
  Params(const Params&) = delete;
  Params& operator=(const Params&) = delete;

  Params& Scalar(std::string_view name, std::int32_t type, std::int32_t value) {
    host::AddParamListItem(*list_, host::NewScalarItem(name, type, value));
    return *this;
  }
  Params& Enum(std::string_view name, std::int32_t value) { return Scalar(name, PARAM_ENUM, value); }
  Params& Text(std::string_view name, std::string_view text) {
    host::AddParamListItem(*list_, host::NewBytesItem(name, PARAM_TEXT, text.empty() ? nullptr : text.data(),
                                                      static_cast<std::int32_t>(text.size())));
    return *this;
  }
  Params& Span(std::string_view name, double days) {
    host::AddParamListItem(*list_, host::NewBytesItem(name, PARAM_DATETIME, &days, 8));
    return *this;
  }
  // An item exactly as given, for items a careless host could hand over
  // (negative size, size without memory, a pointer where a scalar belongs).
  // Value is not owned: the item is reset to a scalar before it is freed.
  Params& Raw(std::string_view name, std::int32_t type, std::intptr_t value, std::int32_t size) {
    auto* item = host::NewScalarItem(name, type, 0);
    item->Value = value;
    item->Size = size;
    raw_.push_back(item);
    host::AddParamListItem(*list_, item);
    return *this;
  }
  // Channel n's eight items (InitString/Alias as given).
  Params& Channel(int n, int port, std::string_view init = "ATZ", std::string_view alias = "",
                  int sw_flow = 0) {
    const std::string k = std::to_string(n);
    return Enum("PortNumber" + k, port)
        .Enum("BaudRate" + k, 7)
        .Enum("DataBits" + k, 3)
        .Enum("SwFlow" + k, sw_flow)
        .Enum("Parity" + k, 0)
        .Enum("StopBits" + k, 0)
        .Text("InitString" + k, init)
        .Text("Alias" + k, alias);
  }

  const TParamList* get() const { return list_; }
  TParamList* get() { return list_; }


 private:
  void Neutralise() {
    for (auto* item : raw_) {
      item->Size = 0;
      item->Value = 0;
    }
  }

  TParamList* list_;
  std::vector<TParamListItem*> raw_;
};

// The item named `name` of a list, or null.
inline const TParamListItem* Find(const TParamList* list, std::string_view name) {
  if (list == nullptr) return nullptr;
  for (std::int32_t i = 0; i < list->Count; ++i)
    if (host::ItemName(*list->Items[i]) == name) return list->Items[i];
  return nullptr;
}

inline std::string Names(const TParamList* list) {
  std::string out;
  if (list == nullptr) return "<null>";
  for (std::int32_t i = 0; i < list->Count; ++i) {
    if (i) out += ',';
    out += host::ItemName(*list->Items[i]);
  }
  return out;
}

inline double SpanOf(const TParamListItem& item) {
  double d = 0;
  std::memcpy(&d, reinterpret_cast<const void*>(item.Value), 8);
  return d;
}

template <typename T>
std::string Bytes(const T& record) {
  std::string out(sizeof record, '\0');
  std::memcpy(out.data(), &record, sizeof record);
  return out;
}

inline std::string BlobOf(const std::uint8_t* blob, std::int32_t size) {
  return blob ? std::string(reinterpret_cast<const char*>(blob), static_cast<std::size_t>(size)) : std::string();
}

}  // namespace kestrel::store::testing
