// The library's main unit: its load and unload, and the transmit and listen
// exports (the editing ones are in KestrelEdit.cpp). Every export logs a begin line (with its details when LogLevel is
// 2 or more), runs its body on the module's gate manager under a guard that
// turns any exception into an error line and a 0 / false result, and logs an
// end line. No exception leaves an export.
#include <string>
#include <string_view>

#include "gate/ExportDetails.h"
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

// The error line of an export, made inside its catch block.
void LogBodyError(std::string_view format) {
  const kestrel::gate::TExceptionInfo info = kestrel::gate::CurrentExceptionInfo();
  kestrel::gate::GateLogError(1, Fmt(format, info.ClassName, info.Message));
}

void InitGateOrThrow(kestrel::session::TMdmGateManager& manager, std::int16_t gate_code) {
  if (!manager.InitGate(gate_code))
    throw kestrel::gate::EMdmGateError(std::string("Ошибка при инициализации менеджера модемного шлюза"_cp));
}

void SetStartLogState(std::int16_t gate_code) {
  kestrel::gate::TLogState& log = kestrel::gate::LogState();
  log.GateCode = gate_code;
  log.NeedLog = true;
}

}  // namespace

extern "C" {

KHandle KESTREL_CALL StartTransmit(const void* AddrPtr, int32_t AddrSize, int32_t SelfIdCl, int16_t GateCode,
                                   int16_t OnLineLevel) {
  KHandle result = 0;
  try {
    SetStartLogState(GateCode);
    const std::string details =
        WantDetails() ? kestrel::gate::StartTransmitDetails(AddrPtr, AddrSize, SelfIdCl, GateCode, OnLineLevel)
                      : std::string();
    GateLog(1, "MDMGATE.StartTransmit:(Начало функции)"_cp, details);
    try {
      if (auto* manager = kestrel::gate::MdmGateManager()) {
        InitGateOrThrow(*manager, GateCode);
        result = manager->StartTransmit(AddrPtr, AddrSize, SelfIdCl, GateCode, OnLineLevel);
      }
    } catch (...) {
      result = 0;
      LogBodyError("MDMGATE.StartTransmit:(Ошибка %s:(%s))"_cp);
    }
    GateLog(1, "MDMGATE.StartTransmit:(Конец функции)"_cp, ReturnText(result));
  } catch (...) {
    // Only a log line can fail out here; the handle stands.
  }
  return result;
}

KBool KESTREL_CALL SendToGate(const void* DataPtr, int32_t DataSize, const TRefPack* RefPackPtr, KHandle TransProc) {
  bool result = false;
  try {
    const std::string details =
        WantDetails() ? kestrel::gate::SendToGateDetails(DataPtr, DataSize, RefPackPtr, TransProc) : std::string();
    GateLog(1, "MDMGATE.SendToGate:(Начало функции)"_cp, details);
    try {
      if (auto* manager = kestrel::gate::MdmGateManager())
        result = manager->SendToGate(DataPtr, DataSize, RefPackPtr, TransProc);
    } catch (...) {
      result = false;
      LogBodyError("MDMGATE.SendToGate:(Ошибка %s:(%s))"_cp);
      // Without a reference the core could not tell which packet failed.
      if (RefPackPtr != nullptr) {
        if (RecvFromGate(RefPackPtr, -10, -1) != 0) {
          std::string ref_text;
          try {
            ref_text = kestrel::gate::RefPackToText(*RefPackPtr);
          } catch (...) {
            ref_text = kestrel::gate::PointerText(RefPackPtr);
          }
          GateLog(1, Fmt("MDMGATE.SendToGate:(Послано шлюзовое сообщение в ядро о неуспешной посылке пакета %s)"_cp,
                         ref_text));
        } else {
          kestrel::gate::GateLogError(
              1, "MDMGATE.SendToGate:(Не послано шлюзовое сообщение в ядро; Функция ядра RecvFromGate вернула FALSE)"_cp);
        }
      }
    }
    GateLog(1, "MDMGATE.SendToGate:(Конец функции)"_cp, ReturnText(result));
  } catch (...) {
  }
  return result ? 1 : 0;
}

KBool KESTREL_CALL StopTransmit(KHandle TransProc) {
  bool result = false;
  try {
    const std::string details = WantDetails() ? "TransProcPtr = $" + kestrel::host::Hex8(TransProc) : std::string();
    GateLog(1, "MDMGATE.StopTransmit:(Начало функции)"_cp, details);
    try {
      if (auto* manager = kestrel::gate::MdmGateManager()) {
        if (TransProc != 0) {
          result = manager->StopTransmit(TransProc);
        } else {
          kestrel::gate::GLFreeMonitorForm();
          GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "перед MdmGateManager.StopGate(StopMode)"_cp);
          result = manager->StopGate(true);
          GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "после MdmGateManager.StopGate(StopMode)"_cp);
          GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "перед MdmGateManager.Free"_cp);
          kestrel::gate::FreeGateManager();
          GateLog(1, "MDMGATE.StopTransmit:(Середина функции)"_cp, "после MdmGateManager.Free"_cp);
        }
      }
    } catch (...) {
      result = false;
      LogBodyError("MDMGATE.StopTransmit:(Ошибка %s:(%s))"_cp);
    }
    GateLog(1, "MDMGATE.StopTransmit:(Конец функции)"_cp, ReturnText(result));
  } catch (...) {
  }
  if (TransProc == 0) kestrel::gate::LogState().NeedLog = false;
  return result ? 1 : 0;
}

KHandle KESTREL_CALL StartListen(const void* SelfAddrPtr, int32_t SelfAddrSize, int32_t SelfIdCl, int16_t GateCode,
                                 int16_t OnLineLevel) {
  KHandle result = 0;
  try {
    SetStartLogState(GateCode);
    const std::string details =
        WantDetails() ? kestrel::gate::StartListenDetails(SelfAddrPtr, SelfAddrSize, SelfIdCl, GateCode, OnLineLevel)
                      : std::string();
    GateLog(1, "MDMGATE.StartListen:(Начало функции)"_cp, details);
    try {
      if (auto* manager = kestrel::gate::MdmGateManager()) {
        InitGateOrThrow(*manager, GateCode);
        result = manager->StartListen(SelfAddrPtr, SelfAddrSize, SelfIdCl, GateCode, OnLineLevel);
      }
    } catch (...) {
      result = 0;
      LogBodyError("MDMGATE.StartListen:(Ошибка %s:(%s))"_cp);
    }
    GateLog(1, "MDMGATE.StartListen:(Конец функции)"_cp, ReturnText(result));
  } catch (...) {
  }
  return result;
}

KBool KESTREL_CALL StopListen(KHandle RecvProc, KBool StopMode) {
  const bool stop_mode = StopMode != 0;
  bool result = false;
  try {
    const std::string details =
        WantDetails() ? Fmt("RecvProcPtr = $%s; StopMode = %d", kestrel::host::Hex8(RecvProc), stop_mode ? 1 : 0)
                      : std::string();
    GateLog(1, "MDMGATE.StopListen:(Начало функции)"_cp, details);
    try {
      if (auto* manager = kestrel::gate::MdmGateManager()) {
        if (RecvProc != 0) {
          result = manager->StopListen(RecvProc, stop_mode);
        } else {
          kestrel::gate::GLFreeMonitorForm();
          GateLog(1, "MDMGATE.StopListen:(Середина функции)"_cp, "перед MdmGateManager.StopGate(StopMode)"_cp);
          result = manager->StopGate(stop_mode);
          GateLog(1, "MDMGATE.StopListen:(Середина функции)"_cp, "после MdmGateManager.StopGate(StopMode)"_cp);
        }
      }
    } catch (...) {
      result = false;
      LogBodyError("MDMGATE.StopListen:(Ошибка %s:(%s))"_cp);
    }
    GateLog(1, "MDMGATE.StopListen:(Конец функции)"_cp, ReturnText(result));
  } catch (...) {
  }
  return result ? 1 : 0;
}

}  // extern "C"
