#include "tools/kestrel/PortCheck.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/Port.h"
#include "platform/PortNames.h"
#include "platform/SysError.h"
#include "tools/kestrel/ModemAnswer.h"

namespace kestrel::app {
namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr std::uint32_t kAnswerWaitMs = 1000;

std::string LinkTarget(const std::string& device) {
  std::error_code ec;
  if (!fs::is_symlink(device, ec)) return {};
  fs::path target = fs::read_symlink(device, ec);
  if (ec) return {};
  if (target.is_relative()) target = fs::path(device).parent_path() / target;
  // Further links (/dev/serial/by-id/... -> ../../ttyUSB0) are followed as
  // far as they lead.
  return fs::weakly_canonical(target, ec).string();
}

// Printable ASCII only: a modem's text can hold anything.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) out += (c >= 0x20 && c < 0x7F) ? c : '?';
  return out;
}

// Sends `command` and reads the answer until its final result or a second
// of silence. False when the port failed.
bool Ask(platform::TPortHandle port, const std::string& command, TModemAnswer& answer) {
  const std::string line = command + "\r";
  std::uint32_t done = 0;
  if (!platform::PortWrite(port, line.data(), static_cast<std::uint32_t>(line.size()), done) || done != line.size())
    return false;
  const auto deadline = TClock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  char buf[256];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) return true;
    const platform::TPortWait w = platform::PortWaitReceive(port, static_cast<std::uint32_t>(left));
    if (w == platform::TPortWait::kError || w == platform::TPortWait::kAborted) return false;
    if (w == platform::TPortWait::kTimeout) return true;
    std::uint32_t got = 0;
    if (!platform::PortRead(port, buf, sizeof buf, got)) return false;
    if (answer.Feed(std::string_view(buf, got))) return true;
  }
}

void Probe(platform::TPortHandle port, const TProbe& probe, TPortReport& r) {
  platform::TPortDcb dcb;
  dcb.baud_rate = probe.baud;
  platform::TPortTimeouts timeouts;
  timeouts.write_total_multiplier = 0;
  timeouts.write_total_constant = kAnswerWaitMs;
  if (!platform::PortSetState(port, dcb) || !platform::PortSetTimeouts(port, timeouts) ||
      !platform::PortPurge(port, platform::kPurgeRxClear | platform::kPurgeTxClear)) {
    r.modem = TModemState::kSilent;
    return;
  }
  TModemAnswer at("AT");
  if (!Ask(port, "AT", at) || at.Result() == TModemAnswer::TResult::kNone) {
    r.modem = TModemState::kSilent;
    return;
  }
  if (at.Result() == TModemAnswer::TResult::kError) {
    r.modem = TModemState::kRefused;
    return;
  }
  r.modem = TModemState::kAnswered;
  TModemAnswer ati("ATI");
  if (Ask(port, "ATI", ati)) {
    for (const auto& l : ati.Lines()) r.modem_info += (r.modem_info.empty() ? "" : " / ") + Printable(l);
  }
}

std::string Octal(std::uint32_t mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode));
  return buf;
}

}  // namespace

TPortReport CheckPort(int number, const std::optional<TProbe>& probe) {
  TPortReport r;
  r.number = number;
  const std::string name = "\\\\.\\COM" + std::to_string(number);
  r.device = platform::ResolvePortName(name);
  r.link_target = LinkTarget(r.device);
  r.access = platform::DescribeDevice(r.device);
  r.user = platform::CurrentUserName();
  const platform::TPortHandle port = platform::PortOpen(name);
  if (port == platform::kInvalidPortHandle) {
    r.error = platform::LastError();
    r.error_text = platform::SystemErrorText(r.error);
    if (r.error == platform::kErrorBusy)
      r.state = TPortState::kBusy;
    else if (r.error == platform::kErrorFileNotFound)
      r.state = TPortState::kMissing;
    else if (platform::IsPermissionError(r.error))
      r.state = TPortState::kNoPermission;
    else
      r.state = TPortState::kFailed;
    return r;
  }
  r.state = TPortState::kFree;
  if (probe) Probe(port, *probe, r);
  (void)platform::PortClose(port);
  return r;
}

bool Usable(const TPortReport& r) {
  return r.state == TPortState::kFree && (r.modem == TModemState::kNotAsked || r.modem == TModemState::kAnswered);
}

std::string AccessHint(const platform::TDeviceAccess& a, const std::string& user) {
  const bool group_may = (a.mode & 060) == 060;
  if (group_may && !a.in_group)
    return "add " + user + " to group " + a.group + " (sudo usermod -aG " + a.group + " " + user +
           "), then log in again";
  if (!group_may) return "only " + a.owner + " may open it";
  return "the system refuses it although group " + a.group + " may open it";
}

std::string DeviceText(const TPortReport& r) {
  return r.link_target.empty() ? r.device : r.device + " -> " + r.link_target;
}

std::string PortLine(const TPortReport& r, std::size_t device_width) {
  std::string line = "COM" + std::to_string(r.number);
  line.resize(6, ' ');
  line += r.channel ? "channel  " : "         ";
  std::string device = DeviceText(r);
  if (device.size() < device_width) device.resize(device_width, ' ');
  line += device + "  ";
  const std::string owner = "owner " + r.access.owner + ", group " + r.access.group + ", mode " + Octal(r.access.mode);
  switch (r.state) {
    case TPortState::kMissing:
      return line + "missing";
    case TPortState::kNoPermission:
      return line + "exists, no permission (" + owner + "): " + AccessHint(r.access, r.user);
    case TPortState::kBusy:
      return line + "exists, may open, busy: another program holds it";
    case TPortState::kFailed:
      return line + (r.access.exists ? "exists, " : "") + "cannot be opened: error " + std::to_string(r.error) +
             (r.error_text.empty() ? "" : " (" + r.error_text + ")");
    case TPortState::kFree:
      break;
  }
  line += "exists, may open, free";
  switch (r.modem) {
    case TModemState::kNotAsked:
      break;
    case TModemState::kAnswered:
      line += "; modem answers OK" + (r.modem_info.empty() ? std::string() : ", ATI: " + r.modem_info);
      break;
    case TModemState::kRefused:
      line += "; AT answered ERROR";
      break;
    case TModemState::kSilent:
      line += "; no answer to AT within 1 s";
      break;
  }
  return line;
}

}  // namespace kestrel::app
