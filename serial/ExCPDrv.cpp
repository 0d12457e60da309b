// TCommPortDriver: configuration, connection and the port's state queries.
#include "serial/ExCPDrv.h"

#include <algorithm>

#include "gate/common/LogText.h"

namespace kestrel::serial {

using platform::TPortDcb;

TCommPortDriver::TCommPortDriver() : TempInBuffer(FInBufSize, 0) {}

TCommPortDriver::~TCommPortDriver() {
  TCommPortDriver::Disconnect();
  KillThrdTimer();
}

// ---- configuration ----

void TCommPortDriver::ApplyIfConnected() {
  if (Connected()) (void)ApplyCommSettings();
}

void TCommPortDriver::SetPort(TPortNumber value) {
  if (Connected()) return;
  FPort = value;
  if (value != TPortNumber::pnCustom) FPortName = "\\\\.\\COM" + std::to_string(static_cast<int>(value));
}

void TCommPortDriver::SetPortName(std::string_view value) {
  if (Connected()) return;
  FPort = TPortNumber::pnCustom;
  FPortName = std::string(value);
}

void TCommPortDriver::SetBaudRate(TBaudRate value) {
  FBaudRate = value;
  if (value != TBaudRate::brCustom) {
    // An ordinal outside the table (from a damaged record) has no rate; the
    // previous rate stays rather than a rate of 0 that no port accepts.
    if (const std::uint32_t rate = gate::BaudRateValue(static_cast<int>(value)); rate != 0) FBaudRateValue = rate;
  }
  ApplyIfConnected();
}

void TCommPortDriver::SetBaudRateValue(std::uint32_t value) {
  FBaudRate = TBaudRate::brCustom;
  FBaudRateValue = value;
  ApplyIfConnected();
}

void TCommPortDriver::SetDataBits(TDataBits value) {
  FDataBits = value;
  ApplyIfConnected();
}

void TCommPortDriver::SetStopBits(TStopBits value) {
  FStopBits = value;
  ApplyIfConnected();
}

void TCommPortDriver::SetParity(TParity value) {
  FParity = value;
  ApplyIfConnected();
}

void TCommPortDriver::SetHwFlow(THwFlowControl value) {
  FHwFlow = value;
  ApplyIfConnected();
}

void TCommPortDriver::SetSwFlow(TSwFlowControl value) {
  FSwFlow = value;
  ApplyIfConnected();
}

void TCommPortDriver::SetInBufSize(std::uint32_t value) {
  if (Connected()) return;
  FInBufSize = std::clamp(value, kMinBufSize, kMaxBufSize);
  TempInBuffer.assign(FInBufSize, 0);
  TempInBuffer.shrink_to_fit();
}

void TCommPortDriver::SetOutBufSize(std::uint32_t value) {
  if (Connected()) return;
  FOutBufSize = std::clamp(value, kMinBufSize, kMaxBufSize);
}

void TCommPortDriver::SetPollingDelay(std::uint16_t value) {
  value = std::max(value, kMinPollingDelay);
  if (value == FPollingDelay) return;
  if (Connected()) {
    KillThrdTimer();
    FPollingDelay = value;
    SetThrdTimer(value);
  } else {
    FPollingDelay = value;
  }
}

// ---- errors ----

void TCommPortDriver::CaptureLastError() {
  // False only when the system has no text for the code: the code alone then tells.
  (void)gate::LastSysErrorText(FLastErrorCode, FLastErrorMsg);
}

void TCommPortDriver::ClearLastError() {
  FLastErrorMsg.clear();
  FLastErrorCode = 0;
}

// ---- connection ----

bool TCommPortDriver::Connect() {
  ClearLastError();
  if (Connected()) return true;
  const platform::TPortHandle handle = platform::PortOpen(FPortName);
  if (handle == platform::kInvalidPortHandle) {
    CaptureLastError();
    return false;
  }
  FHandle.store(handle);
  if (!ApplyCommSettings()) {
    CaptureLastError();
    Disconnect();
    return false;
  }
  // Reads never ask for more than is queued, so the read values only keep a
  // read from waiting; a write of n bytes may wait 10 n + 10 ms for room.
  (void)platform::PortSetTimeouts(handle, platform::TPortTimeouts{1, 10, 1, 10, 10});
  SetThrdTimer(FPollingDelay);
  return true;
}

void TCommPortDriver::Disconnect() {
  if (!Connected()) return;
  KillThrdTimer();
  (void)FlushBuffers(true, true);
  (void)platform::PortClose(FHandle.load());
  FHandle.store(platform::kInvalidPortHandle);
}

bool TCommPortDriver::ApplyCommSettings() {
  if (!Connected()) return false;
  TPortDcb dcb;
  dcb.baud_rate = FBaudRateValue;
  dcb.binary = true;
  dcb.dtr_control = EnableDTR ? TPortDcb::TDtrControl::kEnable : TPortDcb::TDtrControl::kDisable;
  dcb.rts_control = TPortDcb::TRtsControl::kDisable;
  switch (FHwFlow) {
    case THwFlowControl::hfNONERTSON: dcb.rts_control = TPortDcb::TRtsControl::kEnable; break;
    case THwFlowControl::hfRTSCTS:
      dcb.outx_cts_flow = true;
      dcb.rts_control = TPortDcb::TRtsControl::kHandshake;
      break;
    default: break;
  }
  dcb.outx = dcb.inx = FSwFlow == TSwFlowControl::sfXONXOFF;
  dcb.xon_lim = dcb.xoff_lim = static_cast<std::uint16_t>(FInBufSize / 4);
  // Ordinals straight from the settings: one outside its range (a damaged
  // record) gives a byte size, parity or stop-bit code the port refuses, and
  // Connect reports that error.
  dcb.byte_size = static_cast<std::uint8_t>(static_cast<unsigned>(FDataBits) + 5);
  dcb.parity = static_cast<std::uint8_t>(FParity);
  dcb.stop_bits = static_cast<std::uint8_t>(FStopBits);
  dcb.xon_char = 17;
  dcb.xoff_char = 19;
  dcb.error_char = dcb.eof_char = dcb.evt_char = 0;
  const platform::TPortHandle handle = FHandle.load();
  return platform::PortSetState(handle, dcb) && FlushBuffers(true, true) &&
         platform::PortSetupComm(handle, FInBufSize, FOutBufSize);
}

// ---- state queries ----

bool TCommPortDriver::ModemStatus(std::uint32_t& status) {
  status = 0;
  return Connected() && platform::PortGetModemStatus(FHandle.load(), status);
}

TLineStatus TCommPortDriver::GetLineStatus() {
  TLineStatus result;
  std::uint32_t status = 0;
  if (!ModemStatus(status)) return result;
  if ((status & platform::kModemCtsOn) != 0) result.Include(lsCTS);
  if ((status & platform::kModemDsrOn) != 0) result.Include(lsDSR);
  if ((status & platform::kModemRingOn) != 0) result.Include(lsRING);
  if ((status & platform::kModemRlsdOn) != 0) result.Include(lsCD);
  return result;
}

bool TCommPortDriver::FlushBuffers(bool in_side, bool out_side) {
  if (!Connected()) return false;
  std::uint32_t flags = 0;
  if (out_side) flags |= platform::kPurgeTxAbort | platform::kPurgeTxClear;
  if (in_side) flags |= platform::kPurgeRxAbort | platform::kPurgeRxClear;
  return platform::PortPurge(FHandle.load(), flags);
}

std::uint32_t TCommPortDriver::CountRX() {
  if (!Connected()) return 65535;
  std::uint32_t errors = 0;  // line errors are cleared and otherwise ignored
  platform::TPortQueueStat stat;
  (void)platform::PortClearError(FHandle.load(), &errors, &stat);
  return stat.in_queue;
}

std::uint16_t TCommPortDriver::OutFreeSpace() {
  if (!Connected()) return 65535;
  std::uint32_t errors = 0;
  platform::TPortQueueStat stat;
  (void)platform::PortClearError(FHandle.load(), &errors, &stat);
  return static_cast<std::uint16_t>(FOutBufSize - stat.out_queue);
}

}  // namespace kestrel::serial
