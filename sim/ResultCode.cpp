#include "sim/ResultCode.h"

#include <array>
#include <utility>

namespace kestrel::sim {
namespace {

// Extended CONNECT codes as the common modem chip sets number them; programs
// that run their modem in numeric mode match on these.
constexpr std::array<std::pair<std::uint32_t, int>, 19> kRateCodes = {{
    {300, 1},     {1200, 5},    {2400, 10},   {4800, 11},   {7200, 13},
    {9600, 12},   {12000, 14},  {14400, 15},  {16800, 59},  {19200, 16},
    {21600, 61},  {24000, 62},  {26400, 63},  {28800, 64},  {31200, 91},
    {33600, 84},  {38400, 17},  {57600, 18},  {115200, 19},
}};

}  // namespace

std::string_view ResultWord(TResultCode code) {
  switch (code) {
    case TResultCode::kOk: return "OK";
    case TResultCode::kConnect: return "CONNECT";
    case TResultCode::kRing: return "RING";
    case TResultCode::kNoCarrier: return "NO CARRIER";
    case TResultCode::kError: return "ERROR";
    case TResultCode::kNoDialtone: return "NO DIALTONE";
    case TResultCode::kBusy: return "BUSY";
    case TResultCode::kNoAnswer: return "NO ANSWER";
  }
  return "ERROR";
}

int ConnectRateCode(std::uint32_t rate) {
  for (const auto& [r, code] : kRateCodes)
    if (r == rate) return code;
  return 1;
}

std::string ResultText(TResultCode code, std::uint32_t rate) {
  std::string text(ResultWord(code));
  if (code == TResultCode::kConnect && rate != 0) {
    text += ' ';
    text += std::to_string(rate);
  }
  return text;
}

std::string FormatResult(TResultCode code, std::uint32_t rate, const TResultFormat& format) {
  const bool with_rate = code == TResultCode::kConnect && format.rate_in_connect && rate != 0;
  std::string out;
  if (format.verbose) {
    out += format.cr;
    out += format.lf;
    out += with_rate ? ResultText(code, rate) : std::string(ResultWord(code));
    out += format.cr;
    out += format.lf;
  } else {
    out = std::to_string(with_rate ? ConnectRateCode(rate) : static_cast<int>(code));
    out += format.cr;
  }
  return out;
}

}  // namespace kestrel::sim
