#include "tests/kestrel/GateLibrary.h"

namespace kestrel::testing {
namespace {

template <typename F>
void Find(const platform::TSharedLibrary& library, const char* name, F& fn, std::string& error) {
  fn = reinterpret_cast<F>(library.Symbol(name));
  if (fn == nullptr && error.empty()) error = std::string("no export ") + name;
}

}  // namespace

TGateLibrary::TGateLibrary() {
  library_ = platform::TSharedLibrary::Open(KESTREL_LIBRARY_PATH, error_);
  if (!library_) return;
  Find(*library_, "StartTransmit", StartTransmit, error_);
  Find(*library_, "SendToGate", SendToGate, error_);
  Find(*library_, "StopTransmit", StopTransmit, error_);
  Find(*library_, "StartListen", StartListen, error_);
  Find(*library_, "StopListen", StopListen, error_);
  Find(*library_, "EditAddrGate", EditAddrGate, error_);
  Find(*library_, "GetGateData", GetGateData, error_);
  Find(*library_, "ViewAddrGate", ViewAddrGate, error_);
  Find(*library_, "GetViewStr", GetViewStr, error_);
  Find(*library_, "StructuredAddress", StructuredAddress, error_);
  Find(*library_, "EditGateSetting", EditGateSetting, error_);
  Find(*library_, "GetGateSetting", GetGateSetting, error_);
  Find(*library_, "AdjustmentGate", AdjustmentGate, error_);
  Find(*library_, "GateMonitor", GateMonitor, error_);
}

}  // namespace kestrel::testing
