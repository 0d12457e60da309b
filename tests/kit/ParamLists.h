// A parameter list built the way a host program builds one, owned by its
// maker and freed at the end of its scope; items may also be handed over as
// a careless host could (a size that lies, a pointer where a scalar
// belongs), reset to harmless scalars before they are freed. The store's
// tests build lists with it, the fuzz targets from fuzz bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/ParamList.h"
#include "kestrel/kestrel.h"

namespace kestrel::testing {

class TParams {
 public:
  TParams() : list_(host::NewParamList()) {}
  ~TParams() {
    for (auto* item : raw_) item->Size = 0, item->Value = 0;
    host::DestroyParamList(*list_);
    host::FreeParamList(list_);
  }
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  TParams& Scalar(std::string_view name, std::int32_t type, std::int32_t value) {
    host::AddParamListItem(*list_, host::NewScalarItem(name, type, value));
    return *this;
  }
  TParams& Enum(std::string_view name, std::int32_t value) { return Scalar(name, PARAM_ENUM, value); }
  TParams& Bytes(std::string_view name, std::int32_t type, std::string_view bytes) {
    host::AddParamListItem(*list_, host::NewBytesItem(name, type, bytes.empty() ? nullptr : bytes.data(),
                                                      static_cast<std::int32_t>(bytes.size())));
    return *this;
  }
  TParams& Text(std::string_view name, std::string_view text) { return Bytes(name, PARAM_TEXT, text); }
  // An item exactly as given; `value` is not owned.
  TParams& Raw(std::string_view name, std::int32_t type, const void* value, std::int32_t size) {
    auto* item = host::NewScalarItem(name, type, 0);
    item->Value = reinterpret_cast<std::intptr_t>(value);
    item->Size = size;
    raw_.push_back(item);
    host::AddParamListItem(*list_, item);
    return *this;
  }
  // Channel n's eight items; with `items` < 8 only the first ones.
  TParams& Channel(int n, int port, std::string_view init = "ATZ", std::string_view alias = "", int items = 8) {
    const std::string k = std::to_string(n);
    const char* names[] = {"PortNumber", "BaudRate", "DataBits", "SwFlow", "Parity", "StopBits"};
    const int values[] = {port, 7, 3, 0, 0, 0};
    for (int i = 0; i < 6 && i < items; ++i) Enum(names[i] + k, values[i]);
    if (items > 6) Text("InitString" + k, init);
    if (items > 7) Text("Alias" + k, alias);
    return *this;
  }

  TParamList* get() { return list_; }
  std::int32_t Count() const { return list_->Count; }

 private:
  TParamList* list_;
  std::vector<TParamListItem*> raw_;
};

// The block a parameter list class (TMdmSettList, TMdmAddrList) holds;
// empty when it holds none.
template <typename L>
std::string BlobOf(const L& list) {
  return list.BLOB ? std::string(reinterpret_cast<const char*>(list.BLOB), static_cast<std::size_t>(list.BLOBSize))
                   : std::string();
}

}  // namespace kestrel::testing
