// The command side of TMdmDriver: configuration, AT commands and answers,
// the initialisation and hang-up sequences, dialling and the modem test.
#include <algorithm>
#include <exception>

#include "gate/common/Format.h"
#include "gate/common/GateAccess.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "gate/common/MdmError.h"
#include "modem/MdmMain.h"
#include "platform/Cp1251.h"
#include "platform/Port.h"
#include "platform/ScopeExit.h"
#include "platform/Tick.h"

namespace kestrel::modem {

using namespace kestrel::literals;
using gate::Fmt;
using gate::TRespCode;

namespace {
constexpr std::string_view kInitCmd = "ATE0V1S0=0\r";
constexpr gate::TRespSet kInitAccept = gate::RespSet(TRespCode::rcOK, TRespCode::rcOther);
constexpr gate::TRespSet kOkOnly = gate::RespSet(TRespCode::rcOK);
constexpr gate::TRespSet kConnectOnly = gate::RespSet(TRespCode::rcConnect);
// A wait for modem bytes looks at the gate's stop flag at least this often.
constexpr std::uint32_t kStopCheckMs = 100;
constexpr std::string_view kTimeoutReached = "Timeout reached";

// The modem test's texts. (At namespace scope: clang 14 crashes on these
// literals inside a function that also declares local classes.)
constexpr std::string_view kError = "Ошибка: "_cp;
constexpr std::string_view kPortNotFound = "Система не смогла найти указанный порт"_cp;
constexpr std::string_view kModemSilent = "Модем отключен от порта или неверные настройки модема или т.п."_cp;

bool AnswerComplete(const std::string& resp) { return resp.size() >= 4 && resp.find("\r\n", 2) != std::string::npos; }

// Where the first line of a complete answer ends, past its CR LF (leading
// line breaks belong to the line); the whole text when none ends.
std::size_t EndOfFirstLine(const std::string& resp) {
  const std::size_t start = resp.find_first_not_of("\r\n");
  const std::size_t eol = start == std::string::npos ? std::string::npos : resp.find("\r\n", start);
  return eol == std::string::npos ? resp.size() : eol + 2;
}

// A byte that would end or alter the command line on the modem.
bool HasControlChar(std::string_view phone) {
  return std::any_of(phone.begin(), phone.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}
}  // namespace

std::string TrimmedInitString(const store::TMdmChannelSettings& settings) {
  return std::string(store::TrimBlanks(store::ShortTextToString(settings.InitString)));
}

TMdmDriver::TMdmDriver() : send_address_(store::DefaultAddress()), listen_address_(store::DefaultAddress()),
      active_address_(store::DefaultAddress()), settings_(store::DefaultChannelSettings()) {}

TMdmDriver::~TMdmDriver() {
  gate::GateLog(1, "beg-TMdmDriver.Destroy");
  // An answer under way breaks off at its next look; then no thread but this
  // one uses the driver. The base destructor closes the port; close it here
  // while this object is still whole, so the poll thread never calls into a
  // half-destroyed driver.
  destroying_ = true;
  StopAnswering();
  Disconnect();
  gate::GateLog(1, "end-TMdmDriver.Destroy");
}

void TMdmDriver::Disconnect() {
  platform::TLockGuard guard(lock_);
  serial::TCommPortDriver::Disconnect();
  modem_connected_ = false;
}

bool TMdmDriver::AbortWaits() { return destroying_ || gate::GateStopRequested(); }

std::int32_t TMdmDriver::PoolIndex() const { return gate::GateAccess().PoolIndexOf(this); }

void TMdmDriver::SetChannelSettings(const store::TMdmChannelSettings& settings) {
  settings_ = settings;
  SetBaudRateValue(57600);
  SetBaudRate(settings.BaudRate);
  CheckLineStatus = true;
  SetDataBits(settings.DataBits);
  EnableDTR = true;
  SetHwFlow(settings.HwFlow);
  SetInBufSize(2048);
  InputTimeout = 200;
  SetOutBufSize(2048);
  OutputTimeout = 500;
  SetParity(settings.Parity);
  SetPollingDelay(50);
  SetPortName("\\\\.\\COM1");
  SetPort(settings.PortNumber);
  SetStopBits(settings.StopBits);
  SetSwFlow(settings.SwFlow);
  OnReceiveData = [this](serial::TCommPortDriver*, const void* data, std::uint32_t size) {
    OnReceiveDataHandler(static_cast<const std::uint8_t*>(data), size);
  };
  initialized_ = true;
  listening_ = false;
  sending_ = false;
}

void TMdmDriver::WaitForInput(std::uint32_t timeout_ms) {
  (void)platform::PortWaitReceive(Handle(), std::min(timeout_ms, kStopCheckMs));
}

bool TMdmDriver::MdmRecvSpec(std::string& resp, std::string& err, std::uint32_t timeout_ms) {
  resp.clear();
  return ReadAnswer(resp, err, timeout_ms);
}

bool TMdmDriver::ReadAnswer(std::string& resp, std::string& err, std::uint32_t timeout_ms) {
  if (timeout_ms == 0) timeout_ms = InputTimeout;
  err.clear();
  if (!Connected()) {
    err = "Not connected";
    return false;
  }
  const serial::TPollPause pause(*this);

  std::uint32_t t0 = platform::GetTickCount();
  while (!AnswerComplete(resp)) {
    const std::uint32_t queued = Connected() ? CountRX() : 0;
    std::uint32_t got = 0;
    if (queued > 0) {
      std::string chunk(queued, '\0');
      if (platform::PortRead(Handle(), chunk.data(), queued, got) && got > 0) {
        resp.append(chunk, 0, got);
        t0 = platform::GetTickCount();
      }
    }
    // A read that brought nothing counts as an empty poll: restarting the
    // silence time-out for it would never end the wait on a port that went away.
    if (got > 0) continue;
    const std::uint32_t now = platform::GetTickCount();
    if (platform::Elapsed(t0, now) > timeout_ms) break;
    if (AbortWaits()) {
      err = "Break on stop gate";
      return false;
    }
    WaitForInput(platform::Remaining(t0, now, timeout_ms) + 1);
  }
  if (!AnswerComplete(resp)) {
    err = kTimeoutReached;
    return false;
  }
  return true;
}

bool TMdmDriver::MdmSendCmd(const std::string& cmd, gate::TRespSet accept, std::uint32_t timeout_ms,
                            std::string& err) {
  return SendCmd(cmd, accept, timeout_ms, err, false);
}

bool TMdmDriver::SendCmd(const std::string& cmd, gate::TRespSet accept, std::uint32_t timeout_ms, std::string& err,
                         bool skip_rings) {
  err.clear();
  if (!Connected()) {
    err = "No connection to COM-port";
    return false;
  }
  const serial::TPollPause pause(*this);

  if (!SendString(cmd)) {
    err = "SendString(" + gate::PrintableText(cmd, 11) + "): FALSE";
    return false;
  }
  std::string resp;
  if (!MdmRecvSpec(resp, err, timeout_ms)) return false;
  TRespCode cls = gate::ClassifyResponse(resp);
  while (skip_rings && cls == TRespCode::rcRing) {
    gate::GateLog(10, "TMdmDriver.MdmSendCmd", "RING before the answer skipped");
    resp.erase(0, EndOfFirstLine(resp));
    if (!ReadAnswer(resp, err, timeout_ms)) return false;
    cls = gate::ClassifyResponse(resp);
  }
  if (!gate::InRespSet(accept, cls)) {
    err = "Bad Response: " + std::string(gate::ResponseText(cls)) + "; exactly: '" + gate::PrintableText(resp, 11) +
          "'";
    return false;
  }
  if (cls == TRespCode::rcConnect) KeepDataAfterConnect(resp);
  return true;
}

void TMdmDriver::KeepDataAfterConnect(const std::string& answer) {
  early_data_ = answer.substr(EndOfFirstLine(answer));
  if (!early_data_.empty())
    gate::GateLog(10, "TMdmDriver.MdmSendCmd", Fmt("%u bytes after CONNECT kept for the exchange",
                                                    static_cast<std::uint64_t>(early_data_.size())));
}

bool TMdmDriver::RunInitSequence(bool keep_going, int& failed_step, std::string& err) {
  failed_step = -1;
  std::string step_err;
  bool ok = false;
  bool recovered = false;
  for (int attempt = 0; attempt < kInitTries && !ok; ++attempt) {
    ok = MdmSendCmd(std::string(kInitCmd), kInitAccept, kInitCmdTimeout, step_err);
    // Silence, not a refusal: the modem may still be in its last call.
    if (!ok && !recovered && step_err == kTimeoutReached) {
      recovered = true;
      (void)RecoverCommandState(step_err);
    }
  }
  if (!ok) {
    failed_step = 0;
    err = step_err;
    if (!keep_going) return false;
  }
  const std::string init = TrimmedInitString(settings_);
  if (!init.empty() && !MdmSendCmd(init + "\r", kInitAccept, kInitCmdTimeout, step_err)) {
    if (failed_step < 0) {
      failed_step = 1;
      err = step_err;
    }
    if (!keep_going) return false;
  }
  if (!MdmSendCmd(std::string(kInitCmd), kInitAccept, kInitCmdTimeout, step_err)) {
    if (failed_step < 0) {
      failed_step = 0;
      err = step_err;
    }
    if (!keep_going) return false;
  }
  return failed_step < 0 || keep_going;
}

bool TMdmDriver::KeepSilent(std::uint32_t ms) {
  const std::uint32_t t0 = platform::GetTickCount();
  for (std::uint32_t left = ms; left > 0; left = platform::Remaining(t0, platform::GetTickCount(), ms)) {
    if (AbortWaits()) return false;
    platform::SleepFor(std::min(left, kStopCheckMs));
  }
  return !AbortWaits();
}

bool TMdmDriver::RecoverCommandState(const std::string& reason) {
  gate::GateLog(3, Fmt("BEGIN returning modem to command state. Reason:<%s>", reason));
  std::string err;
  bool ok = KeepSilent(kEscapeGuardMs);
  if (ok) {
    // What the far side sent meanwhile is not the escape's answer.
    (void)FlushBuffers(true, false);
    ok = MdmSendCmd("+++", kOkOnly, kEscapeAnswerMs, err) &&
         MdmSendCmd("ATH\r", kOkOnly, kRecoveryHangupTimeout, err);
  } else {
    err = "Break on stop gate";
  }
  if (ok)
    gate::GateLog(3, "END returning modem to command state. Result:<success>");
  else
    gate::GateLog(3, Fmt("END returning modem to command state. Result:<fail>; Reason:<%s>", err));
  return ok;
}

bool TMdmDriver::HangUp(std::string& err) {
  err.clear();
  (void)MdmSendCmd("+++", kOkOnly, kEscapeTimeout, err);
  (void)MdmSendCmd("ATH\r", kOkOnly, kFirstHangupTimeout, err);
  return MdmSendCmd("ATH\r", kOkOnly, kSecondHangupTimeout, err);
}

bool TMdmDriver::DialPhone(const std::string& phone, std::string& err) {
  err.clear();
  if (modem_connected_) return true;
  if (HasControlChar(phone)) {
    // A CR or another control byte would end the dial command early and run
    // whatever follows as a second command on the modem.
    err = "Phone number <" + gate::PrintableText(phone, 100) + "> holds control characters; not dialled";
    return false;
  }
  const bool pulse = active_address_.DialPhoneType == gate::TDialType::dtDialPulse;
  const std::string cmd = (pulse ? "ATDP" : "ATDT") + phone + "\r";
  gate::GateLog(3, Fmt("BEGIN establishing modem connection. Dial:<%s>", phone));
  if (MdmSendCmd(cmd, kConnectOnly, store::TimeSpanToMs(active_address_.DialTimeOut), err)) {
    gate::GateLog(3, "END establishing modem connection. Result:<success>");
    modem_connected_ = true;
    return true;
  }
  gate::GateLog(3, Fmt("END establishing modem connection. Result:<fail>; Reason:<%s>", err));
  std::string hang_err;
  if (!HangUp(hang_err)) err += "; Alsow error on hang up: <" + hang_err + ">";
  return false;
}

bool TMdmDriver::TestChannel(std::string& err) {
  err.clear();
  // The handler is swapped only while the poll is paused: a running poll
  // reads it. It is put back before the poll goes on.
  const serial::TPollPause pause(*this);
  serial::TReceiveDataEvent saved_handler = std::move(OnReceiveData);
  OnReceiveData = nullptr;
  const platform::TScopeExit restore([&] { OnReceiveData = std::move(saved_handler); });

  // "Ошибка: <code>; <text>" from the port's last error, or "" when it has no text.
  const auto port_error = [this](bool special_not_found) {
    if (LastErrorMsg().empty()) return std::string();
    std::string text = special_not_found && LastErrorCode() == platform::kErrorFileNotFound
                           ? std::string(kPortNotFound)
                           : LastErrorMsg();
    std::string out = std::string(kError) + std::to_string(LastErrorCode()) + "; " + text;
    gate::TrimTrailingCRLF(out);
    return out;
  };
  const std::string silent(kModemSilent);

  try {
    if (!Connect()) {
      err = port_error(true);
      if (err.empty()) err = "Connect failed";
      return false;
    }
    if (LinesVirtual() && !virtual_lines_told_.exchange(true))
      gate::GateLog(3, Fmt("TMD[%d].TestChannel:(%s has no modem lines: CTS, DSR and carrier detect are kept virtual, "
                           "on while the far end is there)",
                           PoolIndex(), PortName().c_str()));
    (void)FlushBuffers(true, true);
    std::string cmd_err;
    const auto fail = [&](const std::string& fallback) {
      err = port_error(false);
      if (err.empty()) err = fallback;
      Disconnect();
      return false;
    };
    bool answered = MdmSendCmd(std::string(kInitCmd), kInitAccept, kTestInitTimeout, cmd_err);
    if (!answered && cmd_err == kTimeoutReached && RecoverCommandState(cmd_err))
      answered = MdmSendCmd(std::string(kInitCmd), kInitAccept, kTestInitTimeout, cmd_err);
    if (!answered) return fail(silent + ":(MdmSendCmd('ATE0V1S0=0'#13) failed)");
    const std::string init = TrimmedInitString(settings_);
    if (!init.empty() && !MdmSendCmd(init + "\r", kInitAccept, kTestInitStrTimeout, cmd_err)) return fail(silent);
    if (!MdmSendCmd(std::string(kInitCmd), kInitAccept, kTestInitTimeout, cmd_err))
      return fail(silent + ":(MdmSendCmd('ATE0V1S0=0'#13) failed)");
    return true;
  } catch (const std::exception& e) {
    err = gate::ExceptionClassName(e) + ": " + e.what();
    return false;
  }
}

}  // namespace kestrel::modem
