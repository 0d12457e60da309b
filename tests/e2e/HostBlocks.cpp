#include "tests/e2e/HostBlocks.h"

#include "gate/common/MdmTypes.h"
#include "store/MdmAddrList.h"
#include "store/MdmAddress.h"
#include "store/MdmSettList.h"
#include "tests/kit/ParamLists.h"

namespace kestrel::e2e {
namespace {

// The block `list` turns `params` into.
template <typename L>
std::string BlockOf(L& list, testing::TParams& params) {
  list.ParamListToBlob(params.get());
  return testing::BlobOf(list);
}

}  // namespace

std::string GateSettingsBlock(int channels) {
  testing::TParams params;
  params.Scalar("ToShowProgress", PARAM_BOOL, 0);
  // 115 200 bit/s, 8 data bits, no flow control, no parity, 1 stop bit.
  for (int n = 1; n <= channels; ++n) {
    const std::string k = std::to_string(n);
    params.Enum("PortNumber" + k, n).Enum("BaudRate" + k, static_cast<std::int32_t>(gate::TBaudRate::br115200));
    params.Enum("DataBits" + k, 3).Enum("SwFlow" + k, 0).Enum("Parity" + k, 0).Enum("StopBits" + k, 0);
    params.Text("InitString" + k, "ATX3").Text("Alias" + k, "line" + k);
  }
  store::TMdmSettList sett;
  return BlockOf(sett, params);
}

std::string AddressBlock(const TAddressParams& desc) {
  testing::TParams params;
  const auto span = [&](std::string_view name, std::uint32_t ms) {
    const double days = store::MsToTimeSpan(ms);
    params.Bytes(name, PARAM_DATETIME, std::string_view(reinterpret_cast<const char*>(&days), sizeof days));
  };
  params.Enum("DialPhoneType", static_cast<std::int32_t>(gate::TDialType::dtDialTone));
  span("RestoreConnAfterBreakTimeOut", desc.restore_window_ms);
  span("DataWaitTimeOut", desc.data_wait_ms);
  span("StayOnLineTimeOut", desc.stay_on_line_ms);
  span("RestoreConnTimeOut", desc.restore_pause_ms);
  params.Scalar("RestoreConnTries", PARAM_INT32, desc.restore_tries);
  span("DialTimeOut", desc.dial_timeout_ms);
  params.Scalar("IdCl", PARAM_INT32, -1);
  std::string ports(gate::kPortCount, '0');
  for (int p = 0; p < desc.ports && p < gate::kPortCount; ++p) ports[static_cast<std::size_t>(p)] = '1';
  params.Text("UseComPorts", ports);
  std::string phones;
  for (const std::string& p : desc.phones) phones += (phones.empty() ? "" : "\r\n") + p;
  params.Text("PhonesList", phones);
  store::TMdmAddrList addr;
  std::string block = BlockOf(addr, params);
  if (desc.phones.empty() && block.size() > sizeof(store::TMdmAddress)) block.resize(sizeof(store::TMdmAddress));
  return block;
}

}  // namespace kestrel::e2e
