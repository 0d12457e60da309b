// TMdmAddrList: a modem address block as the host's list of named
// parameters, and back.
//
// Parameters, in the order BlobToParamList adds them:
//   "DialPhoneType" (type 1, scalar ordinal),
//   "RestoreConnAfterBreakTimeOut", "DataWaitTimeOut", "StayOnLineTimeOut",
//   "RestoreConnTimeOut" (type 21, 8 bytes), "RestoreConnTries" (type 5,
//   scalar), "DialTimeOut" (type 21), "IdCl" (type 5),
//   "UseComPorts" (type 100: 16 characters '1'/'0' for COM1..COM16),
//   "PhonesList" (type 100: the numbers joined by CR LF, none after the last).
//
// Ownership as in host::TAddrList: ParamList and BLOB belong to the object.
// Not thread-safe: one user at a time.
#pragma once

#include <cstdint>
#include <string>

#include "host/DataLists.h"

namespace kestrel::store {

class TMdmAddrList : public host::TAddrList {
 public:
  // Replaces ParamList by a new list with the ten parameters of an address
  // block. `data` is read for `size` bytes; size <= 0 is the empty block (the
  // default address, no phone numbers). A phone section of the wrong length
  // gives an empty "PhonesList" and is no failure. Never throws; false, with
  // ParamList freed (null), when the block is not empty but shorter than the
  // 168-byte record or `data` is null, or when memory runs out.
  [[nodiscard]] bool BlobToParamList(const void* data, std::int32_t size) override;

  // Always "".
  std::string AddrListText(std::int32_t arg) override;

  // Builds BLOB/BLOBSize from `list` (null counts as empty; it is only read):
  // the default address, changed by the items whose names are exactly those
  // above (other items are ignored; the last of two equal names wins),
  // followed by a phone section made of the "PhonesList" lines (cut at every
  // CR or LF, empty pieces dropped; at least the count 0). The type codes of
  // items are not checked, but no item is read beyond what it owns. The
  // previous BLOB is released first, and stays released when this throws
  // EParamListError with:
  //   "Wrong parameter type for parameter '<name>'"  a scalar with Size != 0,
  //        a time span with Size != 8 or no memory, a text with a negative
  //        Size or with Size > 0 and no memory
  //   "Phone number '<number>' is longer than 100 characters"
  // Ignoring such items instead would store the default in place of what the
  // host meant, and a cut phone number would dial somebody else.
  void ParamListToBlob(const TParamList* list) override;
};

}  // namespace kestrel::store
