#include "gate/common/MdmTypes.h"

#include "platform/Cp1251.h"

namespace kestrel::gate {

using namespace kestrel::literals;

const std::array<std::string_view, 17> PortNumberNames = {
    "pnCustom", "pnCOM1",  "pnCOM2",  "pnCOM3",  "pnCOM4",  "pnCOM5",  "pnCOM6",  "pnCOM7",  "pnCOM8",
    "pnCOM9",   "pnCOM10", "pnCOM11", "pnCOM12", "pnCOM13", "pnCOM14", "pnCOM15", "pnCOM16"};
const std::array<std::string_view, 17> PortDisplayNames = {
    "Custom", "COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7", "COM8",
    "COM9",   "COM10", "COM11", "COM12", "COM13", "COM14", "COM15", "COM16"};
const std::array<std::string_view, 16> BaudRateNames = {
    "brCustom", "br110",   "br300",   "br600",   "br1200",   "br2400",   "br4800",   "br9600",
    "br14400",  "br19200", "br38400", "br56000", "br57600", "br115200", "br128000", "br256000"};
const std::array<std::uint32_t, 16> BaudRateValues = {0,     110,   300,   600,   1200,   2400,   4800,   9600,
                                                      14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
const std::array<std::string_view, 4> DataBitsNames = {"db5BITS", "db6BITS", "db7BITS", "db8BITS"};
const std::array<std::string_view, 3> StopBitsNames = {"sb1BITS", "sb1HALFBITS", "sb2BITS"};
const std::array<std::string_view, 5> ParityNames = {"ptNONE", "ptODD", "ptEVEN", "ptMARK", "ptSPACE"};
const std::array<std::string_view, 3> HwFlowNames = {"hfNONE", "hfNONERTSON", "hfRTSCTS"};
const std::array<std::string_view, 2> SwFlowNames = {"sfNONE", "sfXONXOFF"};
const std::array<std::string_view, 2> DialTypeNames = {"dtDialPulse", "dtDialTone"};

namespace {

constexpr std::array<std::string_view, 16> kBaudRateDisplay = {
    "", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
    "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<std::string_view, 4> kDataBitsDisplay = {"5", "6", "7", "8"};
constexpr std::array<std::string_view, 3> kStopBitsDisplay = {"1", "1,5", "2"};
constexpr std::array<std::string_view, 5> kParityDisplay = {"Нет"_cp, "Нечет"_cp, "Чет"_cp, "Маркер (1)"_cp,
                                                            "Пробел (0)"_cp};
constexpr std::array<std::string_view, 2> kDialTypeDisplay = {"импульсный"_cp, "тоновый"_cp};
constexpr std::array<std::string_view, 2> kFlowControlDisplay = {"Программный (Xon / Xoff)"_cp,
                                                                 "Аппаратный (RTS / CTS)"_cp};

// Ordinals come from stored blocks and dialogs: anything outside the table
// is answered with an empty text rather than read past its end.
template <typename T, std::size_t N>
T At(const std::array<T, N>& table, int ordinal) {
  if (ordinal < 0 || static_cast<std::size_t>(ordinal) >= N) return T{};
  return table[static_cast<std::size_t>(ordinal)];
}

}  // namespace

std::string_view PortNumberName(int ordinal) { return At(PortNumberNames, ordinal); }
std::string_view BaudRateName(int ordinal) { return At(BaudRateNames, ordinal); }
std::string_view DataBitsName(int ordinal) { return At(DataBitsNames, ordinal); }
std::string_view StopBitsName(int ordinal) { return At(StopBitsNames, ordinal); }
std::string_view ParityName(int ordinal) { return At(ParityNames, ordinal); }
std::string_view HwFlowName(int ordinal) { return At(HwFlowNames, ordinal); }
std::string_view SwFlowName(int ordinal) { return At(SwFlowNames, ordinal); }
std::string_view DialTypeName(int ordinal) { return At(DialTypeNames, ordinal); }

std::string_view PortDisplayName(int ordinal) { return At(PortDisplayNames, ordinal); }
std::string_view BaudRateDisplay(int ordinal) { return At(kBaudRateDisplay, ordinal); }
std::string_view DataBitsDisplay(int ordinal) { return At(kDataBitsDisplay, ordinal); }
std::string_view StopBitsDisplay(int ordinal) { return At(kStopBitsDisplay, ordinal); }
std::string_view ParityDisplay(int ordinal) { return At(kParityDisplay, ordinal); }
std::string_view DialTypeDisplay(int ordinal) { return At(kDialTypeDisplay, ordinal); }
std::string_view FlowControlDisplay(int item) { return At(kFlowControlDisplay, item); }

std::uint32_t BaudRateValue(int ordinal) { return At(BaudRateValues, ordinal); }

}  // namespace kestrel::gate
