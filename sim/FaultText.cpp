#include "sim/FaultText.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace kestrel::sim {
namespace {

bool ParseCount(std::string_view text, std::uint64_t max_value, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value <= max_value;
}

bool ParseProbability(std::string_view text, double& value) {
  // strtod wants a terminated string and accepts more than a plain decimal
  // (hex, "inf", "nan"); only digits and one point are let through.
  if (text.empty() || text.size() > 32) return false;
  int points = 0;
  for (char c : text) {
    if (c == '.') {
      ++points;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  if (points > 1 || text == ".") return false;
  const std::string s(text);
  value = std::strtod(s.c_str(), nullptr);
  return value >= 0.0 && value <= 1.0;
}

}  // namespace

std::string_view FaultTextHelp() {
  return "  dead                 the modem is silent (says nothing, answers nothing)\n"
         "  echo                 it echoes commands whatever E says\n"
         "  chunks=SIZE/DELAY    it says everything in pieces of SIZE bytes, DELAY ms apart\n"
         "  no-line              no line plugged in (NO DIALTONE; calls to it find silence)\n"
         "  busy                 calls to it get the busy tone\n"
         "  dtr-ignored          it is set to &D0: it stays in its call when the port closes\n"
         "  no-dtr               its cable carries no DTR: closing the port never ends its call\n"
         "  max-rate=BPS         its calls run at no more than BPS\n"
         "  bit-errors=P         each data bit of its calls arrives flipped with probability P\n"
         "  lose=P               each byte of its calls is lost with probability P\n"
         "  drop-after-bytes=N   its calls lose the carrier after N bytes\n"
         "  drop-after-ms=N      its calls lose the carrier N ms after CONNECT\n";
}

bool ApplyFaultText(std::string_view desc, TModemSetup& setup, std::string& error) {
  const std::size_t eq = desc.find('=');
  const std::string_view name = desc.substr(0, eq);
  const std::string_view value = eq == std::string_view::npos ? std::string_view() : desc.substr(eq + 1);
  const bool has_value = eq != std::string_view::npos;
  TModemSetup s = setup;
  std::uint64_t n = 0;
  const auto bad_value = [&] {
    error = "fault \"" + std::string(desc) + "\": bad value";
    return false;
  };
  if (name == "dead" && !has_value) {
    s.faults.dead = true;
  } else if (name == "echo" && !has_value) {
    s.faults.echo_stuck = true;
  } else if (name == "no-line" && !has_value) {
    s.line = false;
  } else if (name == "busy" && !has_value) {
    s.busy = true;
  } else if (name == "dtr-ignored" && !has_value) {
    s.dtr_mode = 0;
  } else if (name == "no-dtr" && !has_value) {
    s.dtr_wired = false;
  } else if (name == "chunks") {
    const std::size_t slash = value.find('/');
    std::uint64_t size = 0, delay = 0;
    if (slash == std::string_view::npos || !ParseCount(value.substr(0, slash), 65535, size) || size == 0 ||
        !ParseCount(value.substr(slash + 1), 600000, delay))
      return bad_value();
    s.faults.chunk_size = static_cast<std::uint32_t>(size);
    s.faults.chunk_delay_ms = static_cast<std::uint32_t>(delay);
  } else if (name == "max-rate") {
    if (!ParseCount(value, 10000000, n) || n < 300) return bad_value();
    s.max_rate = static_cast<std::uint32_t>(n);
  } else if (name == "bit-errors") {
    if (!ParseProbability(value, s.line_faults.bit_error_rate)) return bad_value();
  } else if (name == "lose") {
    if (!ParseProbability(value, s.line_faults.loss_rate)) return bad_value();
  } else if (name == "drop-after-bytes") {
    if (!ParseCount(value, std::numeric_limits<std::uint64_t>::max(), n) || n == 0) return bad_value();
    s.line_faults.drop_after_bytes = n;
  } else if (name == "drop-after-ms") {
    if (!ParseCount(value, std::numeric_limits<std::uint32_t>::max(), n) || n == 0) return bad_value();
    s.line_faults.drop_after_ms = static_cast<std::uint32_t>(n);
  } else {
    error = "unknown fault \"" + std::string(desc) + "\"";
    return false;
  }
  setup = s;
  return true;
}

}  // namespace kestrel::sim
