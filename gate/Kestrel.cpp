// The library's main unit: its load and unload, and the transmit and listen
// exports (the editing ones are in KestrelEdit.cpp). Every export runs in the
// frame of a logged boundary (gate/common/Boundary.h): a begin line (with its
// details when LogLevel is 2 or more), its body on the module's gate manager
// (nothing without one), an error line and a 0 / false result for whatever
// the body throws, and an end line. No exception leaves an export.
#include <string>
#include <string_view>

#include "gate/ExportDetails.h"
#include "gate/common/Boundary.h"
#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "gate/common/MdmError.h"
#include "gate/ModuleState.h"
#include "gate/MonitorForm.h"
#include "gate/common/RecentLog.h"
#include "heron.h"
#include "host/HostObject.h"
#include "kestrel/kestrel.h"
#include "platform/Cp1251.h"
#include "platform/MainThread.h"
#include "platform/ModuleEntry.h"
#include "platform/forms/UiLoop.h"
#include "session/MdmMngr.h"

using namespace kestrel::literals;
using kestrel::gate::Fmt;
using kestrel::gate::GateLog;

namespace {

// The host's pump of the main thread (heron.h) reaches this module's
// dispatcher through it.
int32_t PumpForHost(void* /*ctx*/, uint32_t wait_ms) {
  try {
    return static_cast<int32_t>(kestrel::platform::PumpMainThread(wait_ms));
  } catch (...) {
    return 0;  // nothing crosses into the host
  }
}

// Runs the module's load and unload: constructed when the library is loaded,
// destroyed when it is unloaded (or the process ends).
struct TModuleLifetime {
  TModuleLifetime() {
    // What the unload below still uses is made first, so it goes after it.
    kestrel::gate::ClearRecentLog();
    kestrel::gate::LoadModule();
    kestrel::forms::InstallUiLoop();
    HeronSetMainThreadPump(&PumpForHost, nullptr);
  }
  ~TModuleLifetime() {
    if (kestrel::platform::ProcessEnding()) {
      kestrel::gate::AbandonModule();
      return;
    }
    // The window's code goes with the library: it is released first, and
    // nothing this module queued for the main thread is left behind.
    kestrel::gate::GLFreeMonitorForm();
    HeronSetMainThreadPump(nullptr, nullptr);
    kestrel::forms::RemoveUiLoop();
    kestrel::gate::UnloadModule();
  }
  TModuleLifetime(const TModuleLifetime&) = delete;
  TModuleLifetime& operator=(const TModuleLifetime&) = delete;
};
const TModuleLifetime g_module;

bool WantDetails() { return kestrel::gate::LogState().LogLevel.load() >= 2; }

std::string ReturnText(bool result) { return "Return: " + std::string(kestrel::gate::BoolToText(result)); }
std::string ReturnText(KHandle result) { return "Return: $" + kestrel::host::Hex8(result); }

void InitGateOrThrow(kestrel::session::TMdmGateManager& manager, std::int16_t gate_code) {
  // From the first start until the whole gate stops, threads of this library
  // may run: the host's unload must not take their code away meanwhile.
  kestrel::platform::HoldThisModule();
  if (!manager.InitGate(gate_code))
    throw kestrel::gate::EMdmGateError(std::string("Ошибка при инициализации менеджера модемного шлюза"_cp));
}

void SetStartLogState(std::int16_t gate_code) {
  kestrel::gate::TLogState& log = kestrel::gate::LogState();
  log.GateCode = gate_code;
  log.NeedLog = true;
}

// The error lines of the five exports.
constexpr std::string_view kStartTransmitError = "MDMGATE.StartTransmit:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kSendToGateError = "MDMGATE.SendToGate:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kStopTransmitError = "MDMGATE.StopTransmit:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kStartListenError = "MDMGATE.StartListen:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kStopListenError = "MDMGATE.StopListen:(Ошибка %s:(%s))"_cp;

// The frame of a transmit or listen export: the begin line at level 1 with
// `details()` (composed only when LogLevel asks for it), `body` on the
// module's manager (R{} without one), the error line with `error_format`,
// `on_failure` after it, and the end line "Return: ...".
template <typename R, typename Details, typename Body, typename OnFailure = kestrel::gate::TNothingMore>
R Export(std::string_view begin, Details details, std::string_view error_format, Body body, std::string_view end,
         OnFailure on_failure = {}) noexcept {
  return kestrel::gate::LoggedBoundary<R>(
      [&] { GateLog(1, begin, WantDetails() ? details() : std::string()); }, {error_format},
      [&]() -> R {
        auto* manager = kestrel::gate::MdmGateManager();
        return manager != nullptr ? body(*manager) : R{};
      },
      [&](R result) { GateLog(1, end, ReturnText(result)); }, on_failure);
}

// Tells the core that the packet of a failed SendToGate was not sent.
void ReportSendFailure(const TRefPack* ref) {
  // Without a reference the core could not tell which packet failed.
  if (ref == nullptr) return;
  if (RecvFromGate(ref, -10, -1) == 0) {
    kestrel::gate::GateLogError(
        1, "MDMGATE.SendToGate:(Не послано шлюзовое сообщение в ядро; Функция ядра RecvFromGate вернула FALSE)"_cp);
    return;
  }
  std::string ref_text;
  try {
    ref_text = kestrel::gate::RefPackToText(*ref);
  } catch (...) {
    // Composing the reference failed for whatever reason: the line names the pointer instead.
    ref_text = kestrel::gate::PointerText(ref);
  }
  GateLog(1, Fmt("MDMGATE.SendToGate:(Послано шлюзовое сообщение в ядро о неуспешной посылке пакета %s)"_cp, ref_text));
}

using kestrel::session::TMdmGateManager;

}  // namespace

extern "C" {

KHandle KESTREL_CALL StartTransmit(const void* AddrPtr, int32_t AddrSize, int32_t SelfIdCl, int16_t GateCode,
                                   int16_t OnLineLevel) {
  SetStartLogState(GateCode);
  return Export<KHandle>(
      "MDMGATE.StartTransmit:(Начало функции)"_cp,
      [&] { return kestrel::gate::StartTransmitDetails(AddrPtr, AddrSize, SelfIdCl, GateCode, OnLineLevel); },
      kStartTransmitError,
      [&](TMdmGateManager& manager) {
        InitGateOrThrow(manager, GateCode);
        return manager.StartTransmit(AddrPtr, AddrSize, SelfIdCl, GateCode, OnLineLevel);
      },
      "MDMGATE.StartTransmit:(Конец функции)"_cp);
}

KBool KESTREL_CALL SendToGate(const void* DataPtr, int32_t DataSize, const TRefPack* RefPackPtr, KHandle TransProc) {
  const bool result = Export<bool>(
      "MDMGATE.SendToGate:(Начало функции)"_cp,
      [&] { return kestrel::gate::SendToGateDetails(DataPtr, DataSize, RefPackPtr, TransProc); }, kSendToGateError,
      [&](TMdmGateManager& manager) { return manager.SendToGate(DataPtr, DataSize, RefPackPtr, TransProc); },
      "MDMGATE.SendToGate:(Конец функции)"_cp, [&] { ReportSendFailure(RefPackPtr); });
  return result ? 1 : 0;
}

KBool KESTREL_CALL StopTransmit(KHandle TransProc) {
  const bool result = Export<bool>(
      "MDMGATE.StopTransmit:(Начало функции)"_cp, [&] { return "TransProcPtr = $" + kestrel::host::Hex8(TransProc); },
      kStopTransmitError,
      [&](TMdmGateManager& manager) {
        if (TransProc != 0) return manager.StopTransmit(TransProc);
        kestrel::gate::GLFreeMonitorForm();
        GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "перед MdmGateManager.StopGate(StopMode)"_cp);
        const bool stopped = manager.StopGate(true);
        GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "после MdmGateManager.StopGate(StopMode)"_cp);
        GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "перед MdmGateManager.Free"_cp);
        kestrel::gate::FreeGateManager();
        GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "после MdmGateManager.Free"_cp);
        kestrel::platform::ReleaseThisModule();
        return stopped;
      },
      "MDMGATE.StopTransmit:(Конец функции)"_cp);
  if (TransProc == 0) kestrel::gate::LogState().NeedLog = false;
  return result ? 1 : 0;
}

KHandle KESTREL_CALL StartListen(const void* SelfAddrPtr, int32_t SelfAddrSize, int32_t SelfIdCl, int16_t GateCode,
                                 int16_t OnLineLevel) {
  SetStartLogState(GateCode);
  return Export<KHandle>(
      "MDMGATE.StartListen:(Начало функции)"_cp,
      [&] { return kestrel::gate::StartListenDetails(SelfAddrPtr, SelfAddrSize, SelfIdCl, GateCode, OnLineLevel); },
      kStartListenError,
      [&](TMdmGateManager& manager) {
        InitGateOrThrow(manager, GateCode);
        return manager.StartListen(SelfAddrPtr, SelfAddrSize, SelfIdCl, GateCode, OnLineLevel);
      },
      "MDMGATE.StartListen:(Конец функции)"_cp);
}

KBool KESTREL_CALL StopListen(KHandle RecvProc, KBool StopMode) {
  const bool stop_mode = StopMode != 0;
  const bool result = Export<bool>(
      "MDMGATE.StopListen:(Начало функции)"_cp,
      [&] { return Fmt("RecvProcPtr = $%s; StopMode = %d", kestrel::host::Hex8(RecvProc), stop_mode ? 1 : 0); },
      kStopListenError,
      [&](TMdmGateManager& manager) {
        if (RecvProc != 0) return manager.StopListen(RecvProc, stop_mode);
        kestrel::gate::GLFreeMonitorForm();
        GateLog(1, "MDMGATE.StopListen:(Середина функции)"_cp, "перед MdmGateManager.StopGate(StopMode)"_cp);
        const bool stopped = manager.StopGate(stop_mode);
        GateLog(1, "MDMGATE.StopListen:(Середина функции)"_cp, "после MdmGateManager.StopGate(StopMode)"_cp);
        kestrel::platform::ReleaseThisModule();
        return stopped;
      },
      "MDMGATE.StopListen:(Конец функции)"_cp);
  return result ? 1 : 0;
}

}  // extern "C"
