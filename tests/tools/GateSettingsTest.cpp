// Gate settings built from channel texts through the settings parameter list.
#include <cstring>

#include "store/MdmSettings.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/GateSettings.h"

namespace kestrel::app {
namespace {

using namespace testing;

TEST(GateSettings, ChannelTextsBuildABlockThatReadsBack) {
  TSettings s;
  s.show_progress = false;
  ApplyChannelText(s, "port=3,baud=57600,data=7,parity=even,stop=2,flow=software,init=AT&F,S0=0,alias=Касса");
  ApplyChannelText(s, "port=COM1");
  const std::string block = BuildSettings(s);
  ASSERT_EQ(block.size(), 104u + 4 + 2 * 212);
  EXPECT_EQ(block[2], 0) << "ToShowProgress";
  const TSettings back = ReadSettings(block);
  EXPECT_FALSE(back.show_progress);
  ASSERT_EQ(back.channels.size(), 2u);
  EXPECT_EQ(back.channels[0].port, 1) << "in port order";
  const TChannel& c = back.channels[1];
  // br57600, 7 data bits, even parity, 2 stop bits, software flow.
  EXPECT_EQ((std::vector<int>{c.port, c.baud, c.data_bits, c.parity, c.stop_bits, c.sw_flow}),
            (std::vector<int>{3, 12, 2, 2, 2, 1}));
  EXPECT_EQ(c.init, "AT&F,S0=0") << "a comma not followed by a key stays in the value";
  EXPECT_EQ(c.alias, "\xCA\xE0\xF1\xF1\xE0");
  // The gate derives HwFlow from SwFlow in the stored record.
  store::TMdmChannelSettings rec;
  std::memcpy(&rec, block.data() + 104 + 4 + 212, sizeof rec);
  EXPECT_EQ(rec.HwFlow, gate::THwFlowControl::hfNONE);
  EXPECT_EQ(ChannelText(c),
            "COM3: 57600 baud, 7 data bits, even parity, 2 stop bits, software flow (XON/XOFF), "
            "init \"AT&F,S0=0\", alias \"Касса\"");
}

TEST(GateSettings, NewChannelTakesTheDefaultsAndAKnownChannelKeepsItsValues) {
  TSettings s;
  ApplyChannelText(s, "port=2");
  EXPECT_EQ(s.channels.at(0).baud, 11) << "br56000";
  EXPECT_EQ(s.channels.at(0).init, "ATX3");
  ApplyChannelText(s, "port=2,alias=Main");
  ASSERT_EQ(s.channels.size(), 1u) << "the same port is changed, not added";
  EXPECT_EQ(s.channels[0].init, "ATX3");
  EXPECT_EQ(s.channels[0].alias, "Main");
  EXPECT_TRUE(RemoveChannel(s, 2));
  EXPECT_FALSE(RemoveChannel(s, 2));
  EXPECT_EQ(BuildSettings(s).size(), 104u) << "no channel: the gate record alone";
}

TEST(GateSettings, WrongTextsAndDamagedBlocksAreRefused) {
  const std::pair<const char*, const char*> bad[] = {
      {"baud=9600", "port=1..16 is required"},
      {"port=17", "port=1..16 is required"},
      {"port=1,baud=12345", "baud=12345"},
      {"port=1,data=9", "data=9"},
      {"port=1,parity=odd-ish", "parity=odd-ish"},
      {"port=1,stop=3", "stop=3"},
      {"port=1,flow=magic", "flow=magic"},
      {"port=1,speed=9600", "unknown key \"speed\""},
      {"port=1,init=AT12345678901234567890123456789012345678901234567890", "longer than 50"},
      {"port=1,garbage", "not KEY=VALUE"},
  };
  for (const auto& [text, expected] : bad) {
    TSettings s;
    EXPECT_THAT(ErrorOf([&s, text = text] { ApplyChannelText(s, text); }), HasSubstr(expected)) << text;
    EXPECT_TRUE(s.channels.empty()) << "a refused text changes nothing";
  }
  EXPECT_THROW(ReadSettings(std::string(104, '\0') + "\x01\x00"), EToolError) << "channel part of 2 bytes";
  EXPECT_THROW(ReadSettings(std::string(50, '\x01')), EToolError) << "shorter than the gate record";
  EXPECT_TRUE(ReadSettings("").channels.empty()) << "empty: the default settings";
  EXPECT_TRUE(ReadSettings("").show_progress);
}

}  // namespace
}  // namespace kestrel::app
