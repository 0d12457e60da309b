#include "tests/e2e/HostBlocks.h"

#include <memory>
#include <string_view>

#include "gate/common/MdmTypes.h"
#include "host/ParamList.h"
#include "store/MdmAddrList.h"
#include "store/MdmAddress.h"
#include "store/MdmSettList.h"

namespace kestrel::e2e {
namespace {

// A list that frees its items and itself, as the host frees what it built.
struct TListDeleter {
  void operator()(TParamList* list) const {
    host::DestroyParamList(*list);
    host::FreeParamList(list);
  }
};
using TOwnedList = std::unique_ptr<TParamList, TListDeleter>;

void Scalar(TParamList& list, std::string_view name, std::int32_t type, std::int32_t value) {
  host::AddParamListItem(list, host::NewScalarItem(name, type, value));
}
void Text(TParamList& list, std::string_view name, std::string_view text) {
  host::AddParamListItem(list, host::NewBytesItem(name, PARAM_TEXT, text.data(), static_cast<std::int32_t>(text.size())));
}
void Span(TParamList& list, std::string_view name, std::uint32_t ms) {
  const double days = store::MsToTimeSpan(ms);
  host::AddParamListItem(list, host::NewBytesItem(name, PARAM_DATETIME, &days, sizeof days));
}
template <typename E>
std::int32_t Ord(E v) {
  return static_cast<std::int32_t>(v);
}

}  // namespace

std::string GateSettingsBlock(int channels) {
  TOwnedList list(host::NewParamList());
  Scalar(*list, "ToShowProgress", PARAM_BOOL, 0);
  for (int n = 1; n <= channels; ++n) {
    const std::string k = std::to_string(n);
    Scalar(*list, "PortNumber" + k, PARAM_ENUM, n);
    Scalar(*list, "BaudRate" + k, PARAM_ENUM, Ord(gate::TBaudRate::br115200));
    Scalar(*list, "DataBits" + k, PARAM_ENUM, Ord(gate::TDataBits::db8BITS));
    Scalar(*list, "SwFlow" + k, PARAM_ENUM, Ord(gate::TSwFlowControl::sfNONE));
    Scalar(*list, "Parity" + k, PARAM_ENUM, Ord(gate::TParity::ptNONE));
    Scalar(*list, "StopBits" + k, PARAM_ENUM, Ord(gate::TStopBits::sb1BITS));
    Text(*list, "InitString" + k, "ATX3");
    Text(*list, "Alias" + k, "line" + k);
  }
  store::TMdmSettList sett;
  sett.ParamListToBlob(list.get());
  return std::string(reinterpret_cast<const char*>(sett.BLOB), static_cast<std::size_t>(sett.BLOBSize));
}

std::string AddressBlock(const TAddressParams& desc) {
  TOwnedList list(host::NewParamList());
  Scalar(*list, "DialPhoneType", PARAM_ENUM, Ord(gate::TDialType::dtDialTone));
  Span(*list, "RestoreConnAfterBreakTimeOut", desc.restore_window_ms);
  Span(*list, "DataWaitTimeOut", desc.data_wait_ms);
  Span(*list, "StayOnLineTimeOut", desc.stay_on_line_ms);
  Span(*list, "RestoreConnTimeOut", desc.restore_pause_ms);
  Scalar(*list, "RestoreConnTries", PARAM_INT32, desc.restore_tries);
  Span(*list, "DialTimeOut", desc.dial_timeout_ms);
  Scalar(*list, "IdCl", PARAM_INT32, -1);
  std::string ports(gate::kPortCount, '0');
  for (int p = 0; p < desc.ports && p < gate::kPortCount; ++p) ports[static_cast<std::size_t>(p)] = '1';
  Text(*list, "UseComPorts", ports);
  std::string phones;
  for (const std::string& p : desc.phones) phones += (phones.empty() ? "" : "\r\n") + p;
  Text(*list, "PhonesList", phones);
  store::TMdmAddrList addr;
  addr.ParamListToBlob(list.get());
  std::string block(reinterpret_cast<const char*>(addr.BLOB), static_cast<std::size_t>(addr.BLOBSize));
  if (desc.phones.empty() && block.size() > sizeof(store::TMdmAddress)) block.resize(sizeof(store::TMdmAddress));
  return block;
}

}  // namespace kestrel::e2e
