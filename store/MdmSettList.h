// TMdmSettList: the gate settings block as the host's list of named
// parameters, and back.
//
// Parameters, in the order BlobToParamList adds them (n = 1, 2, ... the
// channel's position in the block):
//   "ToShowProgress" (type 10, scalar), then per channel "PortNumber"n,
//   "BaudRate"n, "DataBits"n, "SwFlow"n, "Parity"n, "StopBits"n (type 1,
//   scalar ordinals) and "InitString"n, "Alias"n (type 100, text).
//
// Ownership as in host::TSettList: ParamList and BLOB belong to the object.
// Not thread-safe: one user at a time.
#pragma once

#include <cstdint>

#include "host/DataLists.h"

namespace kestrel::store {

class TMdmSettList : public host::TSettList {
 public:
  // Replaces the contents of ParamList (created when null) by the parameters
  // of a settings block. `data` is read for `size` bytes; size <= 0 is the
  // empty block (the default gate record, no channels). Never throws; false,
  // with ParamList empty, when
  //  - the block is not empty but shorter than the 104-byte gate record, or
  //    `data` is null;
  //  - the channel part is not a well-formed list (1..3 bytes, a negative
  //    count, a length other than 4 + 212 * count);
  //  - memory runs out.
  [[nodiscard]] bool BlobToParamList(const void* data, std::int32_t size) override;

  // Builds BLOB/BLOBSize from `list` (null counts as empty; it is only read).
  // The previous BLOB is released first, and stays released when this
  // throws. Channel records are stored sorted by port, HwFlow derived from
  // SwFlow. Throws EParamListError with one of:
  //   "Invalid param name (PortNumber* not found)!"  a stray item is left
  //   "Invalid param name (<prefix><k> not found)!"  a channel lacks an item
  //   "Wrong parameter type for parameter '<name>'"  wrong type code or size
  //                                                  (ToShowProgress: Size != 0)
  //   "Multiple settings for PortNumber<port>"        two channels on one port
  //   "Parameter '<name>' is longer than 50 characters"  InitString/Alias
  // and std::invalid_argument when the rest of a channel item's name is not
  // a decimal number.
  void ParamListToBlob(const TParamList* list) override;
};

}  // namespace kestrel::store
