#include "gate/MdmTypes.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Cp1251.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;

TEST(MdmTypes, StoredOrdinalsAreFixed) {
  EXPECT_EQ(static_cast<int>(TBaudRate::br56000), 11);
  EXPECT_EQ(static_cast<int>(TBaudRate::br256000), 15);
  EXPECT_EQ(static_cast<int>(TPortNumber::pnCOM16), 16);
  EXPECT_EQ(static_cast<int>(TDataBits::db8BITS), 3);
  EXPECT_EQ(static_cast<int>(TStopBits::sb2BITS), 2);
  EXPECT_EQ(static_cast<int>(TParity::ptSPACE), 4);
  EXPECT_EQ(static_cast<int>(THwFlowControl::hfRTSCTS), 2);
  EXPECT_EQ(static_cast<int>(TSwFlowControl::sfXONXOFF), 1);
  EXPECT_EQ(static_cast<int>(TDialType::dtDialTone), 1);
  static_assert(sizeof(TBaudRate) == 1 && sizeof(TPortNumber) == 1 && sizeof(TDialType) == 1);
}

TEST(MdmTypes, PortAndRateTablesAgreeWithTheirOrdinals) {
  EXPECT_EQ(PortNumberName(0), "pnCustom");
  EXPECT_EQ(PortDisplayName(0), "Custom");
  for (int i = 1; i <= kPortCount; ++i) {
    EXPECT_EQ(PortNumberName(i), "pnCOM" + std::to_string(i));
    EXPECT_EQ(PortDisplayName(i), "COM" + std::to_string(i));
  }
  EXPECT_EQ(BaudRateName(0), "brCustom");
  EXPECT_EQ(BaudRateDisplay(0), "");
  EXPECT_EQ(BaudRateValue(0), 0u);
  const std::uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int i = 1; i <= 15; ++i) {
    EXPECT_EQ(BaudRateValue(i), rates[i - 1]);
    EXPECT_EQ(BaudRateName(i), "br" + std::to_string(rates[i - 1]));
    EXPECT_EQ(BaudRateDisplay(i), std::to_string(rates[i - 1]));
  }
}

TEST(MdmTypes, SymbolicNames) {
  EXPECT_EQ(DataBitsName(0), "db5BITS");
  EXPECT_EQ(DataBitsName(3), "db8BITS");
  EXPECT_EQ(StopBitsName(1), "sb1HALFBITS");
  EXPECT_EQ(ParityName(3), "ptMARK");
  EXPECT_EQ(HwFlowName(1), "hfNONERTSON");
  EXPECT_EQ(SwFlowName(1), "sfXONXOFF");
  EXPECT_EQ(DialTypeName(0), "dtDialPulse");
  EXPECT_EQ(DialTypeName(1), "dtDialTone");
}

TEST(MdmTypes, DisplayTextsAreWindows1251) {
  EXPECT_EQ(DataBitsDisplay(0), "5");
  EXPECT_EQ(StopBitsDisplay(1), "1,5");
  EXPECT_EQ(ParityDisplay(0), std::string_view("\xCD\xE5\xF2"));  // "Нет"
  EXPECT_EQ(ParityDisplay(1), "Нечет"_cp);
  EXPECT_EQ(ParityDisplay(2), "Чет"_cp);
  EXPECT_EQ(ParityDisplay(3), "Маркер (1)"_cp);
  EXPECT_EQ(ParityDisplay(4), "Пробел (0)"_cp);
  EXPECT_EQ(DialTypeDisplay(0), "импульсный"_cp);
  EXPECT_EQ(DialTypeDisplay(1), "тоновый"_cp);
  EXPECT_EQ(FlowControlDisplay(0), "Программный (Xon / Xoff)"_cp);
  EXPECT_EQ(FlowControlDisplay(1), "Аппаратный (RTS / CTS)"_cp);
}

TEST(MdmTypes, OrdinalsOutsideATableGiveEmptyTexts) {
  // Ordinals come from stored blocks, so any byte value must be safe.
  for (int bad : {-1, 17, 255, 1000}) {
    EXPECT_EQ(PortNumberName(bad), "");
    EXPECT_EQ(PortDisplayName(bad), "");
  }
  EXPECT_EQ(BaudRateName(16), "");
  EXPECT_EQ(BaudRateValue(16), 0u);
  EXPECT_EQ(BaudRateValue(-1), 0u);
  EXPECT_EQ(DataBitsName(4), "");
  EXPECT_EQ(StopBitsDisplay(3), "");
  EXPECT_EQ(ParityName(5), "");
  EXPECT_EQ(ParityDisplay(-1), "");
  EXPECT_EQ(HwFlowName(3), "");
  EXPECT_EQ(SwFlowName(2), "");
  EXPECT_EQ(DialTypeName(2), "");
  EXPECT_EQ(DialTypeDisplay(2), "");
  EXPECT_EQ(FlowControlDisplay(2), "");
}

}  // namespace
}  // namespace kestrel::gate
