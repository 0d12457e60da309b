// Gate settings and address blocks built the way a host builds them: as
// lists of named parameters turned into blocks by the store's parameter
// lists (TMdmSettList, TMdmAddrList ParamListToBlob), the same conversion
// the StructuredAddress export runs for a host.
//
// Pure functions of the store layer; each throws what ParamListToBlob throws
// for a list it refuses (never for the lists built here).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::e2e {

// A gate whose channels are COM1..COM`channels`, each at 115 200 bit/s with
// the init string "ATX3", progress not shown.
std::string GateSettingsBlock(int channels);

// The address parameters a test chooses; times in milliseconds.
struct TAddressParams {
  int ports = 1;  // COM1..COM`ports` may be used
  std::vector<std::string> phones;  // empty for the own address
  std::uint32_t dial_timeout_ms = 10000;
  std::uint32_t data_wait_ms = 10000;
  std::uint32_t stay_on_line_ms = 2000;
  std::uint32_t restore_pause_ms = 500;
  std::int32_t restore_tries = 2;
  std::uint32_t restore_window_ms = 60000;  // RestoreConnAfterBreakTimeOut
};

// The address block of `desc`: 168 bytes and a phone section. The own
// address (no phones) is cut to its 168 bytes, as a host stores it.
std::string AddressBlock(const TAddressParams& desc);

}  // namespace kestrel::e2e
