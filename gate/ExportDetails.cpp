#include "gate/ExportDetails.h"

#include <cstring>

#include "gate/common/Format.h"
#include "gate/common/LogText.h"
#include "gate/common/MdmTypes.h"
#include "host/HostObject.h"
#include "store/MdmAddress.h"
#include "ui/AddrViewText.h"

namespace kestrel::gate {
namespace {

constexpr std::size_t kRecordSize = sizeof(store::TMdmAddress);

std::int32_t Ms(double span) { return static_cast<std::int32_t>(store::TimeSpanToMs(span)); }

// The record of an address block, or false when the block cannot hold one.
bool ReadRecord(const void* addr, std::int32_t size, store::TMdmAddress& rec) {
  if (addr == nullptr || size < static_cast<std::int32_t>(kRecordSize)) return false;
  std::memcpy(&rec, addr, kRecordSize);
  return true;
}

std::string Fallback(std::string_view format, const void* addr, std::int32_t addr_size, std::int32_t self_id_cl,
                     std::int16_t gate_code, std::int16_t online_level) {
  return Fmt(format, PointerText(addr), addr_size, self_id_cl, gate_code, online_level);
}

}  // namespace

std::string PointerText(const void* p) {
  auto value = reinterpret_cast<std::uintptr_t>(p);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (out.size() < 8) out.insert(0, 8 - out.size(), '0');
  return out;
}

std::string StartTransmitDetails(const void* addr, std::int32_t addr_size, std::int32_t self_id_cl,
                                 std::int16_t gate_code, std::int16_t online_level) {
  store::TMdmAddress rec;
  try {
    if (ReadRecord(addr, addr_size, rec)) {
      const std::string view = ui::RemoteAddrViewText(addr, addr_size, true);
      return Fmt("Addr.Version: %d; SubVersion: %d; %s; DialPhoneType: %s; RestoreConnAfterBreakTimeOut: %d; "
                 "DataWaitTimeOut: %d; StayOnLineTimeOut: %d; RestoreConnTimeOut: %d; RestoreConnTries: %d; "
                 "DialTimeOut: %d; Addr.IdCl: %d | SelfIdCl: %d; GateCode: %d; OnLineLevel: %d",
                 std::int32_t{rec.Version}, std::int32_t{rec.SubVersion}, view,
                 DialTypeName(static_cast<int>(rec.DialPhoneType)), Ms(rec.RestoreConnAfterBreakTimeOut),
                 Ms(rec.DataWaitTimeOut), Ms(rec.StayOnLineTimeOut), Ms(rec.RestoreConnTimeOut),
                 std::int32_t{rec.RestoreConnTries}, Ms(rec.DialTimeOut), std::int32_t{rec.IdCl}, self_id_cl,
                 gate_code, online_level);
    }
  } catch (...) {
    // The plain form below tells at least what was passed.
  }
  return Fallback("AddrPtr = $%s; AddrSize = %d; SelfIdCl = %d; GateCode = %d; OnLineLevel = %d", addr, addr_size,
                  self_id_cl, gate_code, online_level);
}

std::string StartListenDetails(const void* self_addr, std::int32_t self_addr_size, std::int32_t self_id_cl,
                               std::int16_t gate_code, std::int16_t online_level) {
  store::TMdmAddress rec;
  try {
    if (ReadRecord(self_addr, self_addr_size, rec)) {
      const std::string view = ui::OwnAddrViewText(self_addr, self_addr_size, true);
      return Fmt("SelfAddr.Version: %d; SubVersion: %d; %s; DataWaitTimeOut: %d; StayOnLineTimeOut: %d; "
                 "SelfAddr.IdCl: %d | SelfIdCl: %d; GateCode: %d; OnLineLevel: %d",
                 std::int32_t{rec.Version}, std::int32_t{rec.SubVersion}, view, Ms(rec.DataWaitTimeOut),
                 Ms(rec.StayOnLineTimeOut), std::int32_t{rec.IdCl}, self_id_cl, gate_code, online_level);
    }
  } catch (...) {
    // The plain form below tells at least what was passed.
  }
  return Fallback("SelfAddrPtr = $%s; SelfAddrSize = %d; SelfIdCl = %d; GateCode = %d; OnLineLevel = %d", self_addr,
                  self_addr_size, self_id_cl, gate_code, online_level);
}

std::string SendToGateDetails(const void* data, std::int32_t data_size, const TRefPack* ref, KHandle process) {
  try {
    if (ref != nullptr)
      return Fmt("DataSize = %d; %s; TransProcPtr = $%s", data_size, RefPackToText(*ref), host::Hex8(process));
  } catch (...) {
    // The plain form below tells at least what was passed.
  }
  return Fmt("DataPtr = $%s; DataSize = %d; RefPackPtr = $%s; TransProcPtr = $%s", PointerText(data), data_size,
             PointerText(ref), host::Hex8(process));
}

}  // namespace kestrel::gate
