// The port arithmetic and field texts the dialogs share.
#include "ui/DialogFields.h"

#include <gtest/gtest.h>

#include "platform/forms/TextConvert.h"
#include "store/MdmAddress.h"

namespace kestrel::ui {
namespace {

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

TEST(FieldTexts, IdentifiersBelowZeroShowEmptyAndTimeSpansTheirTimeOfDay) {
  EXPECT_EQ(IdFieldText(-1), "");
  EXPECT_EQ(IdFieldText(-2147483647 - 1), "");
  EXPECT_EQ(IdFieldText(0), "0");
  EXPECT_EQ(IdFieldText(123), "123");
  EXPECT_EQ(TimeSpanText(store::MsToTimeSpan(30'000)), "00:00:30");
  EXPECT_EQ(TimeSpanText(25.0 / 24.0), "01:00:00");
  EXPECT_EQ(TimeSpanText(1.0), "00:00:00");
  EXPECT_EQ(TimeSpanText(-1.0 / 1440.0), "00:01:00");
  EXPECT_DOUBLE_EQ(TimeSpanOfText("00:03:00"), 3.0 / 1440.0);
  EXPECT_THROW(TimeSpanOfText("24:00:00"), forms::EConvertError);
}

}  // namespace
}  // namespace kestrel::ui
