#include "gate/common/Boundary.h"

#include <string>

#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/MdmError.h"

namespace kestrel::gate {

void LogBoundaryError(const TErrorLine& error) noexcept {
  LogStep([&] {
    const TExceptionInfo info = CurrentExceptionInfo();
    GateLogError(1, error.Identity.empty() ? Fmt(error.Format, info.ClassName, info.Message)
                                           : Fmt(error.Format, error.Identity, info.ClassName, info.Message));
  });
}

}  // namespace kestrel::gate
