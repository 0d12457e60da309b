#include "gate/MonitorForm.h"

namespace kestrel::gate {

// No window can exist yet, so there is nothing to release and nothing that
// could fail.
void GLFreeMonitorForm() {}

}  // namespace kestrel::gate
