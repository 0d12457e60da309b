// `kestrel ports`: what each of COM1..COM16 is on this machine, as an
// operator needs to know before the gate uses them: where the name resolves
// (platform/PortNames.h), whether the device exists, whether this user may
// open it, whether another program holds it, and, when asked, whether a
// modem on it answers.
//
// CheckPort opens the port through the port layer, as the gate would (so a
// busy or missing device is told by the same error the gate would get), and
// closes it again. Probing writes "AT" and waits up to a second for OK, then
// "ATI" for the modem's own description. Nothing else is sent, so a modem's
// settings stay as they were. The texts are pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/DeviceAccess.h"

namespace kestrel::app {

enum class TPortState : std::uint8_t {
  kFree,          // opened and closed again
  kBusy,          // another program holds it
  kMissing,       // no such device (a link to nothing counts)
  kNoPermission,  // this user may not open it
  kFailed,        // it exists but the open failed otherwise (a serial device without hardware)
};

enum class TModemState : std::uint8_t { kNotAsked, kAnswered, kRefused, kSilent };

struct TPortReport {
  int number = 0;
  bool channel = false;     // a configured channel of the gate code uses it
  std::string device;       // what the COM name resolves to
  std::string link_target;  // where it leads when `device` is a symbolic link, else ""
  TPortState state = TPortState::kMissing;
  std::uint32_t error = 0;  // the open's error code, 0 when it opened
  std::string error_text;
  platform::TDeviceAccess access;
  std::string user;  // who asked
  TModemState modem = TModemState::kNotAsked;
  std::string modem_info;  // the ATI text, lines joined with " / "
};

// How to probe: the line rate to talk to the modem at.
struct TProbe {
  std::uint32_t baud = 9600;
};

// Resolves and opens COM`number`, and probes it with `probe` when it opened.
TPortReport CheckPort(int number, const std::optional<TProbe>& probe);

// Whether the gate could use the port: it opened, and when it was probed, a
// modem answered OK.
bool Usable(const TPortReport& report);

// What `user` can do about a device that refuses it, e.g. "add me to group
// dialout (sudo usermod -aG dialout me), then log in again".
std::string AccessHint(const platform::TDeviceAccess& access, const std::string& user);

// The port's one line: "COM1  channel  /dev/ttyS0  exists, may open, free",
// its device column padded to `device_width`.
std::string PortLine(const TPortReport& report, std::size_t device_width);
// The device column of PortLine: the device, and " -> target" for a link.
std::string DeviceText(const TPortReport& report);

}  // namespace kestrel::app
