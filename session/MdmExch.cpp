#include "session/MdmExch.h"

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "gate/common/Boundary.h"
#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "host/HostObject.h"
#include "modem/MdmMain.h"
#include "platform/Check.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "pool/MdmPool.h"
#include "session/MdmMngr.h"

namespace kestrel::session {

using namespace kestrel::literals;
using gate::BoolToText;
using gate::Fmt;
using gate::GateLog;

namespace {

constexpr std::size_t kRecordSize = sizeof(store::TMdmAddress);

// The lines of the four operations.
constexpr std::string_view kConnectBegin = "TME[$%s].Connect:(Начало функции)"_cp;
constexpr std::string_view kConnectError = "TME[$%s].Connect:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kConnectEnd = "TME[$%s].Connect:(Конец функции)"_cp;
constexpr std::string_view kDisConnectBegin = "TME[$%s].DisConnect:(Начало функции)"_cp;
constexpr std::string_view kDisConnectError = "TME[$%s].DisConnect:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kDisConnectEnd = "TME[$%s].DisConnect:(Конец функции)"_cp;
constexpr std::string_view kSendBegin = "TME[$%s].Send:(Начало функции); DETAILS: "_cp;
constexpr std::string_view kSendError = "TME[$%s].Send:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kSendEnd = "TME[$%s].Send:(Конец функции)"_cp;
constexpr std::string_view kReceiveBegin = "TME[$%s].Receive:(Начало функции)"_cp;
constexpr std::string_view kReceiveError = "TME[$%s].Receive:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kReceiveEnd = "TME[$%s].Receive:(Конец функции)"_cp;

std::string ResultText(bool result) { return Fmt("Result: %s", BoolToText(result)); }

// Reads the record and the phone section; false when either cannot be read.
bool ReadAddressBlock(const void* addr, std::int32_t size, store::TMdmAddress& record,
                      std::vector<std::string>& phones) {
  if (addr == nullptr || size < static_cast<std::int32_t>(kRecordSize)) return false;
  const auto* bytes = static_cast<const char*>(addr);
  std::memcpy(&record, bytes, kRecordSize);
  static constexpr char kNoPhones[4] = {0, 0, 0, 0};
  std::string_view section(bytes + kRecordSize, static_cast<std::size_t>(size) - kRecordSize);
  if (section.empty()) section = std::string_view(kNoPhones, sizeof kNoPhones);
  if (store::DecodePhones(section, phones)) return true;
  phones.clear();
  return false;
}

}  // namespace

TMdmExchanger::TMdmExchanger(TMdmGateManager* manager, const void* addr, std::int32_t addr_size)
    : host::TExchanger(manager, addr, addr_size), gate_(manager), addr_(store::DefaultAddress()) {
  KESTREL_CHECK(gate_ != nullptr, "an exchanger is made by its gate manager");
  initialized_ = ReadAddressBlock(addr, addr_size, addr_, phones_);
}

TMdmExchanger::~TMdmExchanger() {
  gate::LogStep([&] { GateLog(10, Fmt("TME[$%s].Destroy:(Начало функции)"_cp, Id())); });
  phones_.clear();
  gate::LogStep([&] { GateLog(10, Fmt("TME[$%s].Destroy:(Конец функции)"_cp, Id())); });
}

std::string TMdmExchanger::Id() const { return host::Hex8(Identity()); }

void TMdmExchanger::OnLoseChannel(std::int32_t /*index*/) {}

bool TMdmExchanger::Connect() {
  return gate::LoggedBoundary<bool>(
      [&] { GateLog(10, Fmt(kConnectBegin, Id())); }, {kConnectError, Id()},
      [&] {
        if (!initialized_) throw std::runtime_error("Exchanger not initialized");
        std::string err;
        if (!gate_->ExistingPool().GetChannelFromSetForSending(
                addr_, phones_, channel_index_, Identity(), [this](std::int32_t i) { OnLoseChannel(i); }, err))
          throw std::runtime_error(err);
        return true;
      },
      [&](bool result) { GateLog(10, Fmt(kConnectEnd, Id()), ResultText(result)); });
}

bool TMdmExchanger::DisConnect() {
  return gate::LoggedBoundary<bool>(
      [&] { GateLog(10, Fmt(kDisConnectBegin, Id())); }, {kDisConnectError, Id()},
      [&] {
        if (!initialized_) throw std::runtime_error("Exchanger not initialized");
        gate_->ExistingPool().ReleaseSendingChannelByIndOwner(channel_index_, Identity());
        channel_index_ = -1;
        return true;
      },
      [&](bool result) { GateLog(10, Fmt(kDisConnectEnd, Id()), ResultText(result)); });
}

bool TMdmExchanger::Send(const std::string& data) {
  std::uint32_t t0 = 0;
  return gate::LoggedBoundary<bool>(
      [&] {
        GateLog(10, Fmt(kSendBegin, Id()) + Fmt("ToSend: OCTET(%u)", static_cast<std::uint64_t>(data.size())));
      },
      {kSendError, Id()},
      [&] {
        t0 = platform::GetTickCount();
        std::string err;
        if (!gate_->ExistingPool().Channels(channel_index_).SendByChannel(data, err)) throw std::runtime_error(err);
        return true;
      },
      [&](bool result) {
        // The rate is reported for a failed send as well.
        std::uint32_t elapsed = platform::Elapsed(t0, platform::GetTickCount());
        if (elapsed == 0) elapsed = 1;
        GateLog(10, Fmt(kSendEnd, Id()), ResultText(result) + "; " + modem::TransferRateDetail(data.size(), elapsed));
      });
}

std::string TMdmExchanger::Receive() {
  return gate::LoggedBoundary<std::string>(
      [&] { GateLog(10, Fmt(kReceiveBegin, Id())); }, {kReceiveError, Id()},
      [&] {
        std::string data;
        modem::TMdmDriver& channel = gate_->ExistingPool().Channels(channel_index_);
        std::string err;
        if (!channel.RecvByChannel(data, err)) {
          // A failed receive is an ordinary line, not an error: the empty
          // result tells the protocol.
          GateLog(1, Fmt("TME[$%s].Receive:(", Id()) + "Channels[i].RecvByChannel: FALSE); ErrStr: " + err,
                  "PortName: " + channel.PortName() + "; Result : " + gate::PrintableText(data, 11));
          data.clear();
        }
        return data;
      },
      [&](const std::string& result) {
        GateLog(10, Fmt(kReceiveEnd, Id()), Fmt("ResLen: %u", static_cast<std::uint64_t>(result.size())));
      });
}

double TMdmExchanger::GetStayOnLineTimeOut() { return addr_.StayOnLineTimeOut; }

std::int32_t TMdmExchanger::GetRestoreConnAfterBreakTimeOut() {
  return static_cast<std::int32_t>(store::TimeSpanToMs(addr_.RestoreConnAfterBreakTimeOut));
}

void TMdmExchanger::GetRestoreConnParams(double& timeout, std::int32_t& tries) {
  timeout = addr_.RestoreConnTimeOut;
  tries = addr_.RestoreConnTries;
}

}  // namespace kestrel::session
