// How a port name finds its device.
//
// A name of the form "\\.\COMn" or "COMn" (any letter case, n from 1 to 255)
// is a COM number. It resolves, in this order, to:
//   1. the target set for n with SetComPortTarget (in-process; tests and the
//      host program use it), which may be a device path or "sim:<name>";
//   2. <dir>/comn (lower case, e.g. "com3") when the environment variable
//      KESTREL_COM_DIR names a directory <dir> holding such an entry, usually
//      a symbolic link to a device, as the dosdevices folder of Windows
//      emulation layers does;
//   3. /dev/ttyS(n-1), the n-th serial device of the system.
// "sim:<name>" names the gate end of an in-process sim line. Any other name is
// used as it is, as a device path.
//
// Thread-safe. The environment is read at each resolution, so an operator may
// change the directory without restarting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel::platform {

inline constexpr std::string_view kSimPortPrefix = "sim:";

// The COM number of "\\.\COMn" or "COMn", or nothing for other names.
std::optional<int> ComPortNumber(std::string_view name);

// The device path or "sim:<name>" that `name` opens.
std::string ResolvePortName(std::string_view name);

// Points COM number `n` (1..255) at `target` ("" removes the entry). Returns
// false for a number out of range.
bool SetComPortTarget(int n, std::string_view target);
void ClearComPortTargets();

}  // namespace kestrel::platform
