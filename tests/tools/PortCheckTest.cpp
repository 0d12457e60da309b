// The parts of `kestrel ports` that need no port: reading a modem's answer
// and telling a person what to do about a device that refuses them.
#include "tools/kestrel/ModemAnswer.h"
#include "tools/kestrel/PortCheck.h"

#include "tests/tools/ToolTest.h"

namespace kestrel::app {
namespace {

using namespace testing;
using TResult = TModemAnswer::TResult;

TEST(ModemAnswer, EchoAndEmptyLinesAreSkippedAndOnlyAWholeResultLineEnds) {
  TModemAnswer ati("ATI");
  EXPECT_FALSE(ati.Feed("ati\r\r\nKestrel software\r\n"));
  EXPECT_FALSE(ati.Feed("\r\nV.34\r\nO"));
  EXPECT_FALSE(ati.Feed("K")) << "no terminator yet";
  EXPECT_TRUE(ati.Feed("\r\nafter"));
  EXPECT_EQ(ati.Result(), TResult::kOk);
  EXPECT_THAT(ati.Lines(), ElementsAre("Kestrel software", "V.34"));

  // Numeric results (V0) end with CR alone; ERROR in either form.
  TModemAnswer numeric("AT");
  EXPECT_TRUE(numeric.Feed("AT\r0\r"));
  EXPECT_EQ(numeric.Result(), TResult::kOk);
  TModemAnswer refused("AT");
  EXPECT_TRUE(refused.Feed("\r\nERROR\r\n"));
  EXPECT_EQ(refused.Result(), TResult::kError);
  TModemAnswer refused_numeric("AT");
  EXPECT_TRUE(refused_numeric.Feed("4\r"));
  EXPECT_EQ(refused_numeric.Result(), TResult::kError);

  TModemAnswer noise("AT");
  EXPECT_FALSE(noise.Feed("\x7f\xff OKAY\r\n"));
  EXPECT_EQ(noise.Result(), TResult::kNone);
}

TEST(PortCheck, TheHintNamesTheGroupToJoinOrSaysWhoAloneMayOpen) {
  platform::TDeviceAccess serial{.exists = true, .owner = "root", .group = "dialout", .mode = 0660};
  EXPECT_EQ(AccessHint(serial, "ann"), "add ann to group dialout (sudo usermod -aG dialout ann), then log in again");
  platform::TDeviceAccess own{.exists = true, .owner = "root", .group = "tty", .mode = 0620};
  EXPECT_EQ(AccessHint(own, "ann"), "only root may open it") << "group tty may only write";
  serial.in_group = true;
  EXPECT_THAT(AccessHint(serial, "ann"), HasSubstr("refuses it although group dialout may open it"));
}

}  // namespace
}  // namespace kestrel::app
