#include "store/MdmSettings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TestParams.h"

namespace kestrel::store {
namespace {
using testing::Bytes;

TEST(MdmSettings, GateRecordDefaultIsVersionOneWithProgressShown) {
  const std::string b = Bytes(DefaultGateSettings());
  ASSERT_EQ(b.size(), 104u);
  EXPECT_EQ(b.substr(0, 3), std::string("\x01\x00\x01", 3));
  EXPECT_EQ(b.substr(3), std::string(101, '\0'));
}

TEST(MdmSettings, ChannelRecordDefaultBytes) {
  const std::string b = Bytes(DefaultChannelSettings());
  ASSERT_EQ(b.size(), 212u);
  // Version 1, SubVersion 0, COM1, br56000 (11), db8BITS (3), hfRTSCTS (2),
  // sfNONE, ptNONE, sb1BITS.
  EXPECT_EQ(b.substr(0, 9), std::string("\x01\x00\x01\x0B\x03\x02\x00\x00\x00", 9));
  EXPECT_EQ(b.substr(9, 51), std::string("\x04" "ATX3", 5) + std::string(46, '\0'));
  EXPECT_EQ(b.substr(60, 51), std::string(51, '\0'));
  EXPECT_EQ(b.substr(111), std::string(101, '\0'));
}

TEST(MdmSettings, ChannelFieldsLandOnTheirOffsets) {
  TMdmChannelSettings c{};
  c.Version = 0xA0;
  c.SubVersion = 0xA1;
  c.PortNumber = gate::TPortNumber::pnCOM16;
  c.BaudRate = gate::TBaudRate::br256000;
  c.DataBits = gate::TDataBits::db7BITS;
  c.HwFlow = gate::THwFlowControl::hfNONERTSON;
  c.SwFlow = gate::TSwFlowControl::sfXONXOFF;
  c.Parity = gate::TParity::ptSPACE;
  c.StopBits = gate::TStopBits::sb2BITS;
  ASSERT_TRUE(SetShortText(c.InitString, "I"));
  ASSERT_TRUE(SetShortText(c.Alias, "AL"));
  c.Unused[100] = 0xEE;
  const std::string b = Bytes(c);
  EXPECT_EQ(b.substr(0, 9), std::string("\xA0\xA1\x10\x0F\x02\x01\x01\x04\x02", 9));
  EXPECT_EQ(b.substr(9, 2), std::string("\x01I", 2));
  EXPECT_EQ(b.substr(60, 3), std::string("\x02" "AL", 3));
  EXPECT_EQ(static_cast<unsigned char>(b[211]), 0xEE);
}

TEST(MdmSettings, ShortTextHoldsUpToFiftyCharacters) {
  TShortText t{};
  ASSERT_TRUE(SetShortText(t, std::string(50, 'x')));
  EXPECT_EQ(ShortTextToString(t), std::string(50, 'x'));
  EXPECT_FALSE(SetShortText(t, std::string(51, 'y')));
  EXPECT_EQ(ShortTextToString(t), std::string(50, 'x')) << "a refused text leaves the old one";
  ASSERT_TRUE(SetShortText(t, ""));
  EXPECT_EQ(t.Length, 0);
  EXPECT_EQ(ShortTextToString(t), "");
  // A damaged length byte never reads past the 50 characters.
  t.Length = 255;
  EXPECT_EQ(ShortTextToString(t).size(), 50u);
}

TChannelList TwoChannels() {
  TChannelList l{DefaultChannelSettings(), DefaultChannelSettings()};
  l[0].PortNumber = gate::TPortNumber::pnCOM5;
  l[1].PortNumber = gate::TPortNumber::pnCOM2;
  (void)SetShortText(l[1].Alias, "second");
  return l;
}

TEST(MdmSettings, ChannelsEncodeAsCountAndRecords) {
  const TChannelList l = TwoChannels();
  const std::string part = EncodeChannels(l);
  ASSERT_EQ(part.size(), 4u + 2 * 212);
  EXPECT_EQ(part.substr(0, 4), std::string("\x02\x00\x00\x00", 4));
  EXPECT_EQ(part.substr(4, 212), Bytes(l[0]));
  EXPECT_EQ(part.substr(216), Bytes(l[1]));
  EXPECT_EQ(EncodeChannels({}), std::string(4, '\0'));

  TChannelList back{DefaultChannelSettings()};
  ASSERT_TRUE(DecodeChannels(part, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(Bytes(back[0]), Bytes(l[0]));
  EXPECT_EQ(Bytes(back[1]), Bytes(l[1]));
}

TEST(MdmSettings, DecodeRejectsMalformedParts) {
  const TChannelList keep{DefaultChannelSettings()};
  TChannelList l = keep;
  EXPECT_FALSE(DecodeChannels(std::string(3, '\0'), l));
  EXPECT_EQ(l.size(), 1u) << "a part shorter than the count leaves the list as it was";

  std::string part = EncodeChannels(TwoChannels());
  EXPECT_FALSE(DecodeChannels(std::string_view(part).substr(0, part.size() - 1), l));
  EXPECT_TRUE(l.empty()) << "a wrong length empties the list";
  l = keep;
  EXPECT_FALSE(DecodeChannels(part + '\0', l));
  EXPECT_TRUE(l.empty());

  // Counts that would wrap a 32-bit length computation, and negative ones.
  for (std::uint32_t count : {0xFFFFFFFFu, 0x80000000u, 0x40000001u /* 4 + 212 * n wraps to 216 */}) {
    std::string bad(216, '\0');
    std::memcpy(bad.data(), &count, 4);
    l = keep;
    EXPECT_FALSE(DecodeChannels(bad, l)) << count;
    EXPECT_TRUE(l.empty());
  }
  ASSERT_TRUE(DecodeChannels(std::string(4, '\0'), l));
  EXPECT_TRUE(l.empty());
}

TEST(MdmSettings, CheckChannelsSortsDerivesFlowAndFindsDuplicates) {
  TChannelList l = TwoChannels();
  l[0].SwFlow = gate::TSwFlowControl::sfXONXOFF;
  l[0].HwFlow = gate::THwFlowControl::hfRTSCTS;
  l[1].HwFlow = gate::THwFlowControl::hfNONERTSON;
  EXPECT_EQ(CheckChannels(l), -1);
  EXPECT_EQ(l[0].PortNumber, gate::TPortNumber::pnCOM2);
  EXPECT_EQ(l[0].HwFlow, gate::THwFlowControl::hfRTSCTS);
  EXPECT_EQ(l[1].PortNumber, gate::TPortNumber::pnCOM5);
  EXPECT_EQ(l[1].HwFlow, gate::THwFlowControl::hfNONE);

  l.push_back(DefaultChannelSettings());
  l.back().PortNumber = gate::TPortNumber::pnCOM2;
  l.push_back(DefaultChannelSettings());
  l.back().PortNumber = gate::TPortNumber::pnCOM1;
  EXPECT_EQ(CheckChannels(l), 1) << "COM1, COM2, COM2, COM5: the first COM2 is at position 1";

  FreeChannels(l);
  EXPECT_TRUE(l.empty());
  EXPECT_EQ(CheckChannels(l), -1);
}

}  // namespace
}  // namespace kestrel::store
