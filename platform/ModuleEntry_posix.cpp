#include "platform/ModuleEntry.h"

namespace kestrel::platform {

bool ProcessEnding() { return false; }
void HoldThisModule() {}
void ReleaseThisModule() {}

}  // namespace kestrel::platform
