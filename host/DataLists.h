// The framework's settings and address parameter lists, TSettList and
// TAddrList: a block of the gate's stored data, converted to a list of named
// parameters (BlobToParamList) and back (ParamListToBlob). The gate derives
// its own lists from them and overrides the conversions.
//
// Ownership: ParamList (null until a conversion fills it) and BLOB (null until
// ParamListToBlob builds one) belong to the list object and are freed by its
// destructor. Not thread-safe: one user at a time.
#pragma once

#include <cstdint>
#include <string>

#include "kestrel/kestrel.h"

namespace kestrel::host {

class TSettList {
 public:
  TSettList() = default;
  virtual ~TSettList();
  TSettList(const TSettList&) = delete;
  TSettList& operator=(const TSettList&) = delete;

  // Slot 0: fills ParamList from a settings block. Size <= 0 is an empty block.
  [[nodiscard]] virtual bool BlobToParamList(const void* data, std::int32_t size) = 0;
  // Slot 1: builds BLOB/BLOBSize from a list of items.
  virtual void ParamListToBlob(const TParamList* list) = 0;

  // Disposes of every item of ParamList and leaves it empty (it stays allocated).
  void DestroyParamList();
  // Frees Name, the value memory when Size is not 0, and the item.
  static void DisposeParamListItem(TParamListItem* item);
  // Frees BLOB and sets BLOBSize to 0.
  void ReleaseBlob();
  // Replaces BLOB by a copy of `bytes`.
  void SetBlob(const std::string& bytes);

  TParamList* ParamList = nullptr;
  std::int32_t BLOBSize = 0;
  std::uint8_t* BLOB = nullptr;
};

class TAddrList {
 public:
  TAddrList() = default;
  virtual ~TAddrList();
  TAddrList(const TAddrList&) = delete;
  TAddrList& operator=(const TAddrList&) = delete;

  // Slot 0: fills ParamList from an address block. Size <= 0 is an empty block.
  [[nodiscard]] virtual bool BlobToParamList(const void* data, std::int32_t size) = 0;
  // Slot 1: a text of the list for the host's own use.
  virtual std::string AddrListText(std::int32_t arg) = 0;
  // Slot 2: builds BLOB/BLOBSize from a list of items.
  virtual void ParamListToBlob(const TParamList* list) = 0;

  // Parses a block into ParamList through BlobToParamList; returns its result.
  bool BLOB2ParamList(const void* data, std::int32_t size) { return BlobToParamList(data, size); }
  // Disposes of every item of ParamList and leaves it empty (it stays allocated).
  void DestroyParamList();
  // Disposes of every item and frees the list itself; ParamList becomes null.
  void FreeParamList();
  static void DisposeParamListItem(TParamListItem* item);
  void ReleaseBlob();
  void SetBlob(const std::string& bytes);

  TParamList* ParamList = nullptr;
  std::int32_t BLOBSize = 0;
  std::uint8_t* BLOB = nullptr;
};

}  // namespace kestrel::host
