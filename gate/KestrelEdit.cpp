// The library's nine editing exports: the address and settings dialogs with
// their two-step hand-over, the address view texts, the conversion of an
// address to and from the host's parameters, the framework's adjustment call
// and the monitor window.
//
// Each export but GateMonitor answers 0 at once, touching nothing, when the
// module has no gate manager. None writes begin and end lines. No exception
// leaves an export: one raised inside (no forms backend, a parameter list
// the address cannot be built from, no memory) is logged as an error line
// "MDMGATE.<export>:(Ошибка <class>:(<message>))" and the export answers 0.
#include <cstdint>
#include <string>
#include <string_view>

#include "gate/common/Boundary.h"
#include "gate/common/MdmError.h"
#include "gate/ModuleState.h"
#include "gate/MonitorForm.h"
#include "kestrel/kestrel.h"
#include "platform/Cp1251.h"
#include "session/MdmMngr.h"

using namespace kestrel::literals;

namespace {

// The error lines, one per export (kept at namespace scope: see Cp1251.h).
constexpr std::string_view kEditAddrGateError = "MDMGATE.EditAddrGate:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kGetGateDataError = "MDMGATE.GetGateData:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kViewAddrGateError = "MDMGATE.ViewAddrGate:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kGetViewStrError = "MDMGATE.GetViewStr:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kStructuredAddressError = "MDMGATE.StructuredAddress:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kEditGateSettingError = "MDMGATE.EditGateSetting:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kGetGateSettingError = "MDMGATE.GetGateSetting:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kAdjustmentGateError = "MDMGATE.AdjustmentGate:(Ошибка %s:(%s))"_cp;

// Runs `body` on the module's manager; 0 without one, 0 and an error line
// when it throws.
template <typename R, typename Body>
R OnManager(std::string_view error_format, Body body) noexcept {
  kestrel::session::TMdmGateManager* manager = kestrel::gate::MdmGateManager();
  if (manager == nullptr) return R{};
  try {
    return body(*manager);
  } catch (...) {
    kestrel::gate::LogBoundaryError({error_format});
    return R{};
  }
}

// An out-argument the host must pass: without it the host could not learn the
// size it has to allocate.
template <typename T>
T& Need(T* out, const char* name) {
  if (out == nullptr) throw kestrel::gate::EMdmGateError(std::string(name) + " is nil");
  return *out;
}

KBool ToKBool(bool value) { return value ? 1 : 0; }

}  // namespace

extern "C" {

KBool KESTREL_CALL EditAddrGate(const void* Data, int32_t Size, KBool SelfAddr, int32_t* NewSize, KBool Flag) {
  return OnManager<KBool>(kEditAddrGateError, [&](kestrel::session::TMdmGateManager& m) {
    return ToKBool(m.EditAddress(Data, Size, SelfAddr != 0, Need(NewSize, "NewSize"), Flag != 0));
  });
}

KBool KESTREL_CALL GetGateData(void* Dest) {
  return OnManager<KBool>(kGetGateDataError,
                          [&](kestrel::session::TMdmGateManager& m) { return ToKBool(m.GetEditedAddress(Dest)); });
}

KBool KESTREL_CALL ViewAddrGate(const void* Data, int32_t Size, KBool SelfAddr, int32_t* TextLen) {
  return OnManager<KBool>(kViewAddrGateError, [&](kestrel::session::TMdmGateManager& m) {
    return ToKBool(m.BuildViewString(Data, Size, SelfAddr != 0, Need(TextLen, "TextLen")));
  });
}

KBool KESTREL_CALL GetViewStr(void* Dest) {
  return OnManager<KBool>(kGetViewStrError,
                          [&](kestrel::session::TMdmGateManager& m) { return ToKBool(m.GetViewString(Dest)); });
}

void* KESTREL_CALL StructuredAddress(int32_t Mode, void* Data, int32_t* Size, TParamList* ParamList) {
  return OnManager<void*>(kStructuredAddressError, [&](kestrel::session::TMdmGateManager& m) {
    return m.StructuredAddress(Mode, Data, Size, ParamList);
  });
}

KBool KESTREL_CALL EditGateSetting(const void* Data, int32_t Size, int32_t* NewSize, KBool AlwaysSave) {
  return OnManager<KBool>(kEditGateSettingError, [&](kestrel::session::TMdmGateManager& m) {
    return ToKBool(m.EditGateSettings(Data, Size, Need(NewSize, "NewSize"), AlwaysSave != 0));
  });
}

KBool KESTREL_CALL GetGateSetting(void* Dest) {
  return OnManager<KBool>(kGetGateSettingError,
                          [&](kestrel::session::TMdmGateManager& m) { return ToKBool(m.GetEditedSettings(Dest)); });
}

int32_t KESTREL_CALL AdjustmentGate(int32_t Code, void* Ptr, int32_t* Size, void* Param) {
  return OnManager<int32_t>(kAdjustmentGateError, [&](kestrel::session::TMdmGateManager& m) {
    return m.AdjustmentGate(Code, Ptr, Size, Param);
  });
}

void KESTREL_CALL GateMonitor(void) { kestrel::gate::GLCreateMonitorForm(); }

}  // extern "C"
