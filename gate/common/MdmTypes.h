// The enumerations that describe a serial channel and a dialling mode.
//
// Each is stored as one byte holding the ordinal (in the channel settings and
// address records). For each there is a table of symbolic names, used
// verbatim in log lines, and where the dialogs show them, a table of display
// texts (Windows-1251). Look-ups with an ordinal outside a table give "".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrel::gate {

enum class TPortNumber : std::uint8_t {
  pnCustom = 0, pnCOM1, pnCOM2, pnCOM3, pnCOM4, pnCOM5, pnCOM6, pnCOM7, pnCOM8,
  pnCOM9, pnCOM10, pnCOM11, pnCOM12, pnCOM13, pnCOM14, pnCOM15, pnCOM16
};
enum class TBaudRate : std::uint8_t {
  brCustom = 0, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum class TDataBits : std::uint8_t { db5BITS = 0, db6BITS, db7BITS, db8BITS };
enum class TStopBits : std::uint8_t { sb1BITS = 0, sb1HALFBITS, sb2BITS };
enum class TParity : std::uint8_t { ptNONE = 0, ptODD, ptEVEN, ptMARK, ptSPACE };
enum class THwFlowControl : std::uint8_t { hfNONE = 0, hfNONERTSON, hfRTSCTS };
enum class TSwFlowControl : std::uint8_t { sfNONE = 0, sfXONXOFF };
enum class TDialType : std::uint8_t { dtDialPulse = 0, dtDialTone };

// Stored blocks hold these ordinals as single bytes.
static_assert(sizeof(TPortNumber) == 1 && sizeof(TBaudRate) == 1 && sizeof(TDialType) == 1);
static_assert(static_cast<int>(TPortNumber::pnCOM16) == 16 && static_cast<int>(TBaudRate::br56000) == 11 &&
              static_cast<int>(TBaudRate::br256000) == 15);
static_assert(static_cast<int>(TDataBits::db8BITS) == 3 && static_cast<int>(TStopBits::sb2BITS) == 2 &&
              static_cast<int>(TParity::ptSPACE) == 4);
static_assert(static_cast<int>(THwFlowControl::hfRTSCTS) == 2 && static_cast<int>(TSwFlowControl::sfXONXOFF) == 1 &&
              static_cast<int>(TDialType::dtDialTone) == 1);

inline constexpr int kPortCount = 16;  // COM1..COM16

// The tables themselves, indexed by ordinal (ASCII).
extern const std::array<std::string_view, 17> PortNumberNames;   // "pnCustom", "pnCOM1".."pnCOM16"
extern const std::array<std::string_view, 17> PortDisplayNames;  // "Custom", "COM1".."COM16"
extern const std::array<std::string_view, 16> BaudRateNames;
extern const std::array<std::uint32_t, 16> BaudRateValues;       // 0 for brCustom
extern const std::array<std::string_view, 4> DataBitsNames;
extern const std::array<std::string_view, 3> StopBitsNames;
extern const std::array<std::string_view, 5> ParityNames;
extern const std::array<std::string_view, 3> HwFlowNames;
extern const std::array<std::string_view, 2> SwFlowNames;
extern const std::array<std::string_view, 2> DialTypeNames;

// Symbolic names ("pnCOM1", "br9600", ...), indexed by ordinal.
std::string_view PortNumberName(int ordinal);
std::string_view BaudRateName(int ordinal);
std::string_view DataBitsName(int ordinal);
std::string_view StopBitsName(int ordinal);
std::string_view ParityName(int ordinal);
std::string_view HwFlowName(int ordinal);
std::string_view SwFlowName(int ordinal);
std::string_view DialTypeName(int ordinal);

// Display texts: "Custom", "COM1".."COM16"; "110".."256000" ("" for brCustom);
// "5".."8"; "1", "1,5", "2"; the parity and dial-type words in Russian.
std::string_view PortDisplayName(int ordinal);
std::string_view BaudRateDisplay(int ordinal);
std::string_view DataBitsDisplay(int ordinal);
std::string_view StopBitsDisplay(int ordinal);
std::string_view ParityDisplay(int ordinal);
std::string_view DialTypeDisplay(int ordinal);
// The channel dialog's two flow-control texts: 0 software, 1 hardware.
std::string_view FlowControlDisplay(int item);

// Bits per second of a TBaudRate ordinal; 0 for brCustom and out-of-range values.
std::uint32_t BaudRateValue(int ordinal);

}  // namespace kestrel::gate
