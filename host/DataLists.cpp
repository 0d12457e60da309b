#include "host/DataLists.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "host/ParamList.h"

namespace kestrel::host {
namespace {

void FreeBlob(std::uint8_t*& blob, std::int32_t& size) {
  delete[] blob;
  blob = nullptr;
  size = 0;
}

// The new block is made before the old one is released, so a failed
// allocation leaves the previous block in place.
void ReplaceBlob(std::uint8_t*& blob, std::int32_t& size, const std::string& bytes) {
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw std::length_error("Data block is too large");
  std::uint8_t* copy = nullptr;
  if (!bytes.empty()) {
    copy = new std::uint8_t[bytes.size()];
    std::memcpy(copy, bytes.data(), bytes.size());
  }
  FreeBlob(blob, size);
  blob = copy;
  size = static_cast<std::int32_t>(bytes.size());
}

}  // namespace

// ---- TSettList ----

TSettList::~TSettList() {
  if (ParamList != nullptr) {
    host::DestroyParamList(*ParamList);
    host::FreeParamList(ParamList);
    ParamList = nullptr;
  }
  FreeBlob(BLOB, BLOBSize);
}

void TSettList::DestroyParamList() {
  if (ParamList != nullptr) host::DestroyParamList(*ParamList);
}

void TSettList::DisposeParamListItem(TParamListItem* item) { host::DisposeParamListItem(item); }

void TSettList::ReleaseBlob() { FreeBlob(BLOB, BLOBSize); }

void TSettList::SetBlob(const std::string& bytes) { ReplaceBlob(BLOB, BLOBSize, bytes); }

// ---- TAddrList ----

TAddrList::~TAddrList() {
  FreeParamList();
  FreeBlob(BLOB, BLOBSize);
}

void TAddrList::DestroyParamList() {
  if (ParamList != nullptr) host::DestroyParamList(*ParamList);
}

void TAddrList::FreeParamList() {
  if (ParamList == nullptr) return;
  host::DestroyParamList(*ParamList);
  host::FreeParamList(ParamList);
  ParamList = nullptr;
}

void TAddrList::DisposeParamListItem(TParamListItem* item) { host::DisposeParamListItem(item); }

void TAddrList::ReleaseBlob() { FreeBlob(BLOB, BLOBSize); }

void TAddrList::SetBlob(const std::string& bytes) { ReplaceBlob(BLOB, BLOBSize, bytes); }

}  // namespace kestrel::host
