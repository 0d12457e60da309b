// The details texts of the transmit and listen exports' begin lines.
//
// The detailed forms read the fixed part of an address block (168 bytes) or
// the packet reference; when that cannot be done (a null pointer, a block
// shorter than the record, anything raised while composing) the fallback
// form, made of the raw arguments, is returned instead. Pointers are written
// as upper-case hexadecimal digits, at least 8 (more only where the value
// needs them), handles as exactly 8. Pure functions: thread-safe; they throw only
// std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>

#include "kestrel/kestrel.h"

namespace kestrel::gate {

// A pointer as upper-case hexadecimal digits, at least 8.
std::string PointerText(const void* p);

std::string StartTransmitDetails(const void* addr, std::int32_t addr_size, std::int32_t self_id_cl,
                                 std::int16_t gate_code, std::int16_t online_level);
std::string StartListenDetails(const void* self_addr, std::int32_t self_addr_size, std::int32_t self_id_cl,
                               std::int16_t gate_code, std::int16_t online_level);
std::string SendToGateDetails(const void* data, std::int32_t data_size, const TRefPack* ref, KHandle process);

}  // namespace kestrel::gate
