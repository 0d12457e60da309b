// Apart from CoreSpy.cpp: a program that loads the gate as a library links
// the spy without the gate's log.
#include "gate/common/GateLog.h"
#include "tests/kit/CoreSpy.h"

namespace kestrel::testing {

TLoggingCore::TLoggingCore() {
  gate::ResetLogState();
  gate::LogState().NeedLog = true;
}

TLoggingCore::~TLoggingCore() { gate::ResetLogState(); }

}  // namespace kestrel::testing
