// The address view texts, byte for byte, and blocks too short or damaged.
//
// The port arithmetic and field texts the dialogs share.
#include "ui/AddrViewText.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/Cp1251.h"
#include "platform/forms/TextConvert.h"
#include "store/MdmAddress.h"
#include "tests/kit/Blocks.h"
#include "ui/DialogFields.h"

namespace kestrel::ui {
namespace {

using namespace kestrel::literals;

constexpr std::string_view kShort = "Переданный блок памяти имеет размер меньше минимального для TMdmAddress"_cp;

std::string Record(std::initializer_list<int> ports) {
  store::TMdmAddress a = store::DefaultAddress();
  for (int com : ports) a.UseComPorts[com - 1] = 1;
  return kestrel::testing::OwnBlock(a);
}

std::string Own(const std::string& block, bool full = false) {
  return OwnAddrViewText(block.data(), static_cast<std::int32_t>(block.size()), full);
}
std::string Remote(const std::string& block, bool full = false) {
  return RemoteAddrViewText(block.data(), static_cast<std::int32_t>(block.size()), full);
}

TEST(AddrViewText, OwnAddressShowsItsPortsOrSaysItIsTooShort) {
  EXPECT_EQ(Own(Record({2})), "Порты:COM2"_cp);
  EXPECT_EQ(Own(Record({})), "Порты:(не заданы)"_cp);
  EXPECT_EQ(Own(Record({7, 3})), "Порты:(COM3;...)"_cp);
  EXPECT_EQ(Own(Record({7, 3}), true), "Порты:(COM3; COM7)"_cp);
  // An own address given with a phone section still shows only its ports.
  EXPECT_EQ(Own(Record({16}) + "junk"), "Порты:COM16"_cp);
  // Too short for the record (100 bytes: the exports' view test).
  EXPECT_EQ(Own(std::string(167, '\0')), kShort);
  EXPECT_EQ(OwnAddrViewText(nullptr, 0, false), kShort);
  EXPECT_EQ(OwnAddrViewText(nullptr, 500, true), kShort);
  EXPECT_EQ(OwnAddrViewText("x", -1, true), kShort);
}

TEST(AddrViewText, RemoteAddressShowsNumbersThenPortsEvenWithABrokenPhoneSection) {
  const std::string three = Record({1, 3}) + store::EncodePhones({"101", "102", "103"});
  EXPECT_EQ(Remote(three), "Тел:(101;...) Порты:(COM1;...)"_cp);
  EXPECT_EQ(Remote(three, true), "Тел:(101; 102; 103) Порты:(COM1; COM3)"_cp);
  EXPECT_EQ(Remote(Record({})), "Тел:(не заданы) Порты:(не заданы)"_cp);
  EXPECT_EQ(Remote(Record({}) + store::EncodePhones({})), "Тел:(не заданы) Порты:(не заданы)"_cp);
  EXPECT_EQ(Remote(Record({4}) + store::EncodePhones({"  8 (495) 1  "}), true), "Тел:8 (495) 1 Порты:COM4"_cp);
  // A broken phone section still shows the ports.
  EXPECT_EQ(Remote(Record({2}) + "abc"), "(ошибка в структуре тел-ов) Порты:COM2"_cp);
  std::string bad = Record({1, 2}) + store::EncodePhones({"101", "102"});
  bad[168] = 3;  // the count says three, the section holds two
  EXPECT_EQ(Remote(bad, true), "(ошибка в структуре тел-ов) Порты:(COM1; COM2)"_cp);
  bad[168] = '\xFF';
  bad[171] = '\xFF';  // negative count
  EXPECT_EQ(Remote(bad), "(ошибка в структуре тел-ов) Порты:(COM1;...)"_cp);
}

// A block of size 0 with its data is the exports' view test.
TEST(AddrViewText, RemoteAddressEmptyOrTooShort) {
  EXPECT_EQ(RemoteAddrViewText(nullptr, 0, true), "");
  EXPECT_EQ(Remote(std::string(167, '\1'), true), kShort);
}

TEST(AddrViewText, PortsAndPhonesListedShortOrInFull) {
  std::array<std::uint8_t, 16> all{};
  all.fill(0x80);  // any non-zero byte allows the port
  EXPECT_EQ(PortsViewText(all, false), "(COM1;...)");
  EXPECT_EQ(PortsViewText(all, true),
            "(COM1; COM2; COM3; COM4; COM5; COM6; COM7; COM8; COM9; COM10; COM11; COM12; COM13; COM14; COM15; COM16)");
  // No port or number, and a single port: the address texts above.
  EXPECT_EQ(PhonesViewText({"  101 "}, false), "101");
  EXPECT_EQ(PhonesViewText({" 101", "102 ", "103"}, false), "(101;...)");
  EXPECT_EQ(PhonesViewText({" 101", "102 ", "103"}, true), "(101; 102; 103)");
  EXPECT_EQ(PhonesViewText({"\xCE\xEB\xFF 5"}, true), "\xCE\xEB\xFF 5") << "Windows-1251 letters are kept";
}

TPortFlags Flags(std::initializer_list<int> ports, bool others = false) {
  TPortFlags flags;
  flags.fill(others);
  for (int p : ports) flags[static_cast<std::size_t>(p - 1)] = !others;
  return flags;
}

TEST(PortItems, AnItemCountsTheListedPortsUpToItAndPortsOutsideTheListHaveNone) {
  const TPortFlags free = Flags({1, 3}, true);  // COM2, COM4, COM5, ...
  for (const auto& [port, item] : {std::pair{2, 0}, {5, 2}, {16, 13}}) {
    EXPECT_EQ(PortItemIndex(free, port), item) << port;
    EXPECT_EQ(PortOfItem(free, item), port) << item;
  }
  for (int port : {0, -1, 3, 17}) EXPECT_EQ(PortItemIndex(free, port), -1) << port;  // COM3 is in use
  EXPECT_EQ(PortOfItem(free, 14), 0);
  EXPECT_EQ(PortOfItem(free, -1), 0);
  EXPECT_EQ(PortOfItem(TPortFlags{}, 0), 0);
  const TPortFlags list = Flags({2, 7, 8, 15});
  for (int item = 0; item < 4; ++item) EXPECT_EQ(PortItemIndex(list, PortOfItem(list, item)), item);
}

TEST(PortItems, LowestSetPortAndStoredPortBytes) {
  EXPECT_EQ(LowestSetPort(Flags({1, 2}, true)), 3);
  EXPECT_EQ(LowestSetPort(Flags({16})), 16);
  EXPECT_EQ(LowestSetPort(TPortFlags{}), 0);
  std::uint8_t stored[gate::kPortCount] = {0, 7, 0, 1};
  const TPortFlags flags = PortFlagsOf(stored);
  EXPECT_EQ(flags, Flags({2, 4}));
  StorePortFlags(flags, stored);
  EXPECT_EQ(stored[1], 1) << "any non-zero byte is a set port, written back as 1";
  EXPECT_EQ(stored[0], 0);
}

// An identifier of -1 shown empty, others as they are, and time spans by
// their time of day: the address dialogs' fields (and TimeSpanToMs, TimeToText).
TEST(FieldTexts, IdentifiersBelowZeroShowEmptyAndTimeSpansTheirTimeOfDay) {
  EXPECT_EQ(IdFieldText(-2147483647 - 1), "");
  EXPECT_EQ(IdFieldText(0), "0");
  EXPECT_DOUBLE_EQ(TimeSpanOfText("00:03:00"), 3.0 / 1440.0);
  EXPECT_THROW(TimeSpanOfText("24:00:00"), forms::EConvertError);
}

}  // namespace
}  // namespace kestrel::ui
