#include "session/MdmExch.h"

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "gate/common/MdmError.h"
#include "host/HostObject.h"
#include "modem/MdmMain.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "pool/MdmPool.h"
#include "session/MdmMngr.h"

namespace kestrel::session {

using namespace kestrel::literals;
using gate::BoolToText;
using gate::Fmt;
using gate::GateLog;
using gate::GateLogError;

namespace {

constexpr std::size_t kRecordSize = sizeof(store::TMdmAddress);

pool::TMdmPoolManager& PoolOf(TMdmGateManager* gate) {
  pool::TMdmPoolManager* pool = gate != nullptr ? gate->Pool() : nullptr;
  if (pool == nullptr) throw std::runtime_error("Gate manager has no channel pool");
  return *pool;
}

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
  initialized_ = ReadAddressBlock(addr, addr_size, addr_, phones_);
}

TMdmExchanger::~TMdmExchanger() {
  try {
    GateLog(10, Fmt("TME[$%s].Destroy:(Начало функции)"_cp, Id()));
    phones_.clear();
    GateLog(10, Fmt("TME[$%s].Destroy:(Конец функции)"_cp, Id()));
  } catch (...) {
    // A log line that cannot be built is not worth a failed destruction.
  }
}

std::string TMdmExchanger::Id() const { return host::Hex8(Identity()); }

void TMdmExchanger::OnLoseChannel(std::int32_t /*index*/) {}

bool TMdmExchanger::Connect() {
  bool result = false;
  try {
    GateLog(10, Fmt("TME[$%s].Connect:(Начало функции)"_cp, Id()));
    try {
      if (!initialized_) throw std::runtime_error("Exchanger not initialized");
      std::string err;
      if (!PoolOf(gate_).GetChannelFromSetForSending(addr_, phones_, channel_index_, Identity(),
                                                     [this](std::int32_t i) { OnLoseChannel(i); }, err))
        throw std::runtime_error(err);
      result = true;
    } catch (...) {
      const gate::TExceptionInfo info = gate::CurrentExceptionInfo();
      GateLogError(1, Fmt("TME[$%s].Connect:(Ошибка %s:(%s))"_cp, Id(), info.ClassName, info.Message));
      result = false;
    }
    GateLog(10, Fmt("TME[$%s].Connect:(Конец функции)"_cp, Id()), Fmt("Result: %s", BoolToText(result)));
  } catch (...) {
    // Only building a log line can fail out here.
  }
  return result;
}

bool TMdmExchanger::DisConnect() {
  bool result = false;
  try {
    GateLog(10, Fmt("TME[$%s].DisConnect:(Начало функции)"_cp, Id()));
    try {
      if (!initialized_) throw std::runtime_error("Exchanger not initialized");
      PoolOf(gate_).ReleaseSendingChannelByIndOwner(channel_index_, Identity());
      channel_index_ = -1;
      result = true;
    } catch (...) {
      const gate::TExceptionInfo info = gate::CurrentExceptionInfo();
      GateLogError(1, Fmt("TME[$%s].DisConnect:(Ошибка %s:(%s))"_cp, Id(), info.ClassName, info.Message));
      result = false;
    }
    GateLog(10, Fmt("TME[$%s].DisConnect:(Конец функции)"_cp, Id()), Fmt("Result: %s", BoolToText(result)));
  } catch (...) {
  }
  return result;
}

bool TMdmExchanger::Send(const std::string& data) {
  bool result = false;
  try {
    GateLog(10, Fmt("TME[$%s].Send:(Начало функции); DETAILS: "_cp, Id()) +
                    Fmt("ToSend: OCTET(%u)", static_cast<std::uint64_t>(data.size())));
    const std::uint32_t t0 = platform::GetTickCount();
    try {
      std::string err;
      if (!PoolOf(gate_).Channels(channel_index_).SendByChannel(data, err)) throw std::runtime_error(err);
      result = true;
    } catch (...) {
      const gate::TExceptionInfo info = gate::CurrentExceptionInfo();
      GateLogError(1, Fmt("TME[$%s].Send:(Ошибка %s:(%s))"_cp, Id(), info.ClassName, info.Message));
      result = false;
    }
    std::uint32_t elapsed = platform::Elapsed(t0, platform::GetTickCount());
    if (elapsed == 0) elapsed = 1;
    GateLog(10, Fmt("TME[$%s].Send:(Конец функции)"_cp, Id()),
            Fmt("Result: %s; ", BoolToText(result)) + modem::TransferRateDetail(data.size(), elapsed));
  } catch (...) {
  }
  return result;
}

std::string TMdmExchanger::Receive() {
  std::string result;
  try {
    GateLog(10, Fmt("TME[$%s].Receive:(Начало функции)"_cp, Id()));
    try {
      modem::TMdmDriver& channel = PoolOf(gate_).Channels(channel_index_);
      std::string err;
      if (!channel.RecvByChannel(result, err)) {
        GateLog(1, Fmt("TME[$%s].Receive:(", Id()) + "Channels[i].RecvByChannel: FALSE); ErrStr: " + err,
                "PortName: " + channel.PortName() + "; Result : " + gate::PrintableText(result, 11));
        result.clear();
      }
    } catch (...) {
      const gate::TExceptionInfo info = gate::CurrentExceptionInfo();
      GateLogError(1, Fmt("TME[$%s].Receive:(Ошибка %s:(%s))"_cp, Id(), info.ClassName, info.Message));
      result.clear();
    }
    GateLog(10, Fmt("TME[$%s].Receive:(Конец функции)"_cp, Id()),
            Fmt("ResLen: %u", static_cast<std::uint64_t>(result.size())));
  } catch (...) {
    // A closing line that cannot be written leaves the packet as received.
  }
  return result;
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
