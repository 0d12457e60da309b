// The enumerations of the stored records: their fixed ordinals, and the name
// and display tables (Windows-1251), which give empty texts outside them.
#include "gate/common/MdmTypes.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Cp1251.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;

// Stored blocks hold these ordinals as single bytes.
static_assert(static_cast<int>(TBaudRate::br56000) == 11 && static_cast<int>(TBaudRate::br256000) == 15);
static_assert(static_cast<int>(TPortNumber::pnCOM16) == 16 && static_cast<int>(TDataBits::db8BITS) == 3);
static_assert(static_cast<int>(TStopBits::sb2BITS) == 2 && static_cast<int>(TParity::ptSPACE) == 4);
static_assert(static_cast<int>(THwFlowControl::hfRTSCTS) == 2 && static_cast<int>(TSwFlowControl::sfXONXOFF) == 1);
static_assert(static_cast<int>(TDialType::dtDialTone) == 1);
static_assert(sizeof(TBaudRate) == 1 && sizeof(TPortNumber) == 1 && sizeof(TDialType) == 1);

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
  // Ordinals come from stored blocks, so any value must be safe.
  for (int bad : {-1, 17, 255, 1000}) {
    EXPECT_EQ(PortNumberName(bad), "");
    EXPECT_EQ(PortDisplayName(bad), "");
  }
  EXPECT_EQ(BaudRateName(16), "");
  EXPECT_EQ(BaudRateValue(16), 0u);
  EXPECT_EQ(BaudRateValue(-1), 0u);
}

TEST(MdmTypes, NamesAndDisplayTextsOrEmptyOutsideTheTable) {
  const struct {
    std::string_view (*text)(int);
    int ordinal;
    std::string_view expected;
  } cases[] = {
      {DataBitsName, 0, "db5BITS"},     {DataBitsName, 3, "db8BITS"},       {StopBitsName, 1, "sb1HALFBITS"},
      {ParityName, 3, "ptMARK"},        {HwFlowName, 1, "hfNONERTSON"},     {SwFlowName, 1, "sfXONXOFF"},
      {DialTypeName, 0, "dtDialPulse"}, {DialTypeName, 1, "dtDialTone"},    {DataBitsDisplay, 0, "5"},
      {StopBitsDisplay, 1, "1,5"},      {ParityDisplay, 0, "Нет"_cp},       {ParityDisplay, 1, "Нечет"_cp},
      {ParityDisplay, 2, "Чет"_cp},     {ParityDisplay, 3, "Маркер (1)"_cp}, {ParityDisplay, 4, "Пробел (0)"_cp},
      {DialTypeDisplay, 0, "импульсный"_cp}, {DialTypeDisplay, 1, "тоновый"_cp},
      {FlowControlDisplay, 0, "Программный (Xon / Xoff)"_cp}, {FlowControlDisplay, 1, "Аппаратный (RTS / CTS)"_cp},
      {DataBitsName, 4, ""},  {StopBitsDisplay, 3, ""}, {ParityName, 5, ""},      {ParityDisplay, -1, ""},
      {HwFlowName, 3, ""},    {SwFlowName, 2, ""},      {DialTypeName, 2, ""},    {DialTypeDisplay, 2, ""},
      {FlowControlDisplay, 2, ""}};
  for (const auto& c : cases) EXPECT_EQ(c.text(c.ordinal), c.expected) << "ordinal " << c.ordinal;
}

}  // namespace
}  // namespace kestrel::gate
