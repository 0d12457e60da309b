// The name and display tables of the stored records' enumerations: an
// ordinal comes from a stored block, so any value must be safe. (Their
// ordinals are fixed by static_asserts in MdmTypes.h; the texts are checked
// where they are used, in the log lines and the dialogs.)
#include "gate/common/MdmTypes.h"

#include <gtest/gtest.h>

namespace kestrel::gate {
namespace {

TEST(MdmTypes, OrdinalsOutsideATableGiveNothingAndTheLastInsideGivesItsText) {
  const std::pair<std::string_view (*)(int), int> tables[] = {
      {PortNumberName, 17}, {PortDisplayName, 17}, {BaudRateName, 16},   {BaudRateDisplay, 16},
      {DataBitsName, 4},    {DataBitsDisplay, 4},  {StopBitsName, 3},    {StopBitsDisplay, 3},
      {ParityName, 5},      {ParityDisplay, 5},    {HwFlowName, 3},      {SwFlowName, 2},
      {DialTypeName, 2},    {DialTypeDisplay, 2},  {FlowControlDisplay, 2}};
  for (const auto& [text, size] : tables) {
    EXPECT_NE(text(size - 1), "") << size;
    for (const int bad : {-1, size, 255, 1000}) EXPECT_EQ(text(bad), "") << bad;
  }
  EXPECT_EQ(BaudRateValue(15), 256000u);
  for (const int none : {0, -1, 16, 1000}) EXPECT_EQ(BaudRateValue(none), 0u) << none;
}

}  // namespace
}  // namespace kestrel::gate
