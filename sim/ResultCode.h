// Result codes of the simulated modem and their two forms on the line.
//
// Verbose results (V1) are framed CR LF word CR LF; numeric ones (V0) are the
// decimal code followed by CR. CR and LF are the modem's S3 and S4 registers.
// A CONNECT with a rate (X1 and above) has the word "CONNECT <rate>" and, in
// numeric form, the code of that rate from the table in ResultCode.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::sim {

enum class TResultCode : std::uint8_t {
  kOk = 0,
  kConnect = 1,
  kRing = 2,
  kNoCarrier = 3,
  kError = 4,
  kNoDialtone = 6,
  kBusy = 7,
  kNoAnswer = 8,
};

// "OK", "CONNECT", "RING", "NO CARRIER", "ERROR", "NO DIALTONE", "BUSY", "NO ANSWER".
std::string_view ResultWord(TResultCode code);

// The numeric code of "CONNECT <rate>"; 1 (plain CONNECT) for a rate the table lacks.
int ConnectRateCode(std::uint32_t rate);

struct TResultFormat {
  bool verbose = true;        // V1
  bool rate_in_connect = true;  // X1 and above
  char cr = '\r';             // S3
  char lf = '\n';             // S4
};

// The bytes a modem sends for `code`; `rate` matters only for kConnect.
std::string FormatResult(TResultCode code, std::uint32_t rate, const TResultFormat& format);

// The result's text as a log shows it: "CONNECT 33600", "BUSY", ...
std::string ResultText(TResultCode code, std::uint32_t rate);

}  // namespace kestrel::sim
