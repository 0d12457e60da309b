// The COM port names of Windows: the system's own device names.
#include "platform/PortDevice.h"

namespace kestrel::platform {

// "\\.\COMn" opens every COM number, also those above 9.
std::string SystemComPortName(int n) { return "\\\\.\\COM" + std::to_string(n); }

}  // namespace kestrel::platform
