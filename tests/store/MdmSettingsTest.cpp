// The gate and channel records byte for byte, their short texts, the
// channel part of a settings block, and the settings block as a parameter
// list (TMdmSettList) and back, with every refusal and its text.
#include "store/MdmSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

#include "TestParams.h"
#include "store/MdmSettList.h"

namespace kestrel::store {
namespace {
using testing::BlobOf;
using testing::Bytes;
using testing::Dump;
using testing::Hex;
using testing::Load;
using testing::Params;
using testing::Refusal;
using testing::Zeros;

TEST(MdmSettings, DefaultRecordsAreByteExact) {
  EXPECT_EQ(Hex(Bytes(DefaultGateSettings())), "010001" + Zeros(101)) << "version 1.0, progress shown";
  // Version 1, SubVersion 0, COM1, br56000 (11), db8BITS (3), hfRTSCTS (2),
  // sfNONE, ptNONE, sb1BITS, InitString "ATX3", Alias "", 101 unused bytes.
  EXPECT_EQ(Hex(Bytes(DefaultChannelSettings())), "0100010b0302000000" "0441545833" + Zeros(46 + 51 + 101));
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
  t.Length = 255;
  EXPECT_EQ(ShortTextToString(t).size(), 50u) << "a damaged length byte never reads past the 50 characters";
}

TChannelList TwoChannels() {
  TChannelList l{DefaultChannelSettings(), DefaultChannelSettings()};
  l[0].PortNumber = gate::TPortNumber::pnCOM5;
  l[1].PortNumber = gate::TPortNumber::pnCOM2;
  (void)SetShortText(l[1].Alias, "second");
  return l;
}

TEST(MdmSettings, ChannelPartIsACountAndTheRecordsAndDecodesBack) {
  const TChannelList l = TwoChannels();
  const std::string part = EncodeChannels(l);
  EXPECT_EQ(part, std::string("\x02\x00\x00\x00", 4) + Bytes(l[0]) + Bytes(l[1]));
  EXPECT_EQ(EncodeChannels({}), std::string(4, '\0'));

  TChannelList back{DefaultChannelSettings()};
  ASSERT_TRUE(DecodeChannels(part, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(Bytes(back[0]) + Bytes(back[1]), Bytes(l[0]) + Bytes(l[1]));
  ASSERT_TRUE(DecodeChannels(std::string(4, '\0'), back));
  EXPECT_TRUE(back.empty());
}

TEST(MdmSettings, MalformedChannelPartsAreRejected) {
  const std::string two = EncodeChannels(TwoChannels());
  auto count = [](std::uint32_t n) {
    std::string bad(216, '\0');
    std::memcpy(bad.data(), &n, 4);
    return bad;
  };
  // Counts that are negative or wrap a 32-bit length (4 + 212 * 0x40000001
  // is 216) are malformed; a part shorter than its count leaves the list as
  // it was, any other malformed part empties it.
  const struct {
    std::string part;
    std::size_t left;
  } cases[] = {{std::string(3, '\0'), 1}, {two.substr(0, two.size() - 1), 0}, {two + '\0', 0},
               {count(0xFFFFFFFFu), 0},   {count(0x80000000u), 0},          {count(0x40000001u), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.part.size());
    TChannelList l{DefaultChannelSettings()};
    EXPECT_FALSE(DecodeChannels(c.part, l));
    EXPECT_EQ(l.size(), c.left);
  }
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

  for (auto port : {gate::TPortNumber::pnCOM2, gate::TPortNumber::pnCOM1}) {
    l.push_back(DefaultChannelSettings());
    l.back().PortNumber = port;
  }
  EXPECT_EQ(CheckChannels(l), 1) << "COM1, COM2, COM2, COM5: the first COM2 is at position 1";
  FreeChannels(l);
  EXPECT_TRUE(l.empty());
  EXPECT_EQ(CheckChannels(l), -1);
}

// A channel record with the given ordinals (HwFlow derived from SwFlow).
TMdmChannelSettings Chan(int port, const std::string& init, const std::string& alias, int sw,
                         std::array<int, 4> baud_bits_parity_stop = {7, 2, 2, 2}) {
  TMdmChannelSettings c = DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  c.BaudRate = static_cast<gate::TBaudRate>(baud_bits_parity_stop[0]);
  c.DataBits = static_cast<gate::TDataBits>(baud_bits_parity_stop[1]);
  c.SwFlow = static_cast<gate::TSwFlowControl>(sw);
  c.HwFlow = sw == 0 ? gate::THwFlowControl::hfRTSCTS : gate::THwFlowControl::hfNONE;
  c.Parity = static_cast<gate::TParity>(baud_bits_parity_stop[2]);
  c.StopBits = static_cast<gate::TStopBits>(baud_bits_parity_stop[3]);
  (void)SetShortText(c.InitString, init);
  (void)SetShortText(c.Alias, alias);
  return c;
}

TEST(MdmSettList, BlocksGiveToShowProgressAndEightParametersPerChannelInBlockOrder) {
  TMdmGateSettings hidden = DefaultGateSettings();
  hidden.ToShowProgress = 0;
  const std::string record = Bytes(hidden);
  for (std::int32_t size : {0, -5}) {  // a negative size is an empty block too
    TMdmSettList s;
    ASSERT_TRUE(s.BlobToParamList(nullptr, size));
    EXPECT_EQ(Dump(s.ParamList), "ToShowProgress=b1");
  }
  for (const std::string& block : {record, record + std::string(4, '\0')}) {
    TMdmSettList s;
    ASSERT_TRUE(Load(s, block));
    EXPECT_EQ(Dump(s.ParamList), "ToShowProgress=b0") << block.size();
  }
  // Channel 1 is the first record, on COM3.
  TMdmSettList s;
  ASSERT_TRUE(Load(s, Bytes(DefaultGateSettings()) + EncodeChannels({Chan(3, "AT&F", "Left", 1), Chan(1, "ATX3", "", 0)})));
  EXPECT_EQ(Dump(s.ParamList),
            "ToShowProgress=b1,PortNumber1=e3,BaudRate1=e7,DataBits1=e2,SwFlow1=e1,Parity1=e2,StopBits1=e2,"
            "InitString1='AT&F',Alias1='Left',PortNumber2=e1,BaudRate2=e7,DataBits2=e2,SwFlow2=e0,Parity2=e2,"
            "StopBits2=e2,InitString2='ATX3',Alias2=''");
}

TEST(MdmSettList, MalformedBlocksGiveFalseAndAnEmptyList) {
  const std::string record = Bytes(DefaultGateSettings());
  const std::string two = EncodeChannels({Chan(1, "", "", 0), Chan(2, "", "", 0)});
  const std::string wrapping = std::string("\x01\x00\x00\x40", 4) + std::string(212, '\0');  // 4 + 212 * n wraps
  for (const std::string& block : {record + '\0', record + std::string(3, '\0'), record + two.substr(0, two.size() - 1),
                                   record + two + "x", record + std::string(4, '\xFF'), record + wrapping,
                                   std::string(103, '\x01')}) {
    SCOPED_TRACE(block.size());
    TMdmSettList s;
    ASSERT_TRUE(s.BlobToParamList(nullptr, 0));
    EXPECT_FALSE(Load(s, block));
    ASSERT_NE(s.ParamList, nullptr);
    EXPECT_EQ(s.ParamList->Count, 0) << "earlier parameters are discarded too";
  }
  TMdmSettList s;
  EXPECT_FALSE(s.BlobToParamList(nullptr, 200)) << "a size without data";
  EXPECT_EQ(s.ParamList->Count, 0);
}

TEST(MdmSettList, RoundTripSortsChannelsRecomputesFlowAndClearsReserved) {
  TMdmGateSettings g = DefaultGateSettings();
  g.ToShowProgress = 0;
  g.Reserved[0] = 0x55;
  g.Reserved[100] = 0x66;
  TMdmChannelSettings c5 = Chan(5, "ATZ", "five", 1);
  c5.HwFlow = gate::THwFlowControl::hfRTSCTS;  // inconsistent: rebuilt from SwFlow
  c5.Unused[7] = 0x77;
  const TMdmChannelSettings c2 = Chan(2, std::string(50, 'I'), std::string(50, 'A'), 0);
  TMdmSettList s;
  ASSERT_TRUE(Load(s, Bytes(g) + EncodeChannels({c5, c2})));
  s.ParamListToBlob(s.ParamList);
  const std::string rebuilt = BlobOf(s);
  std::memset(g.Reserved, 0, sizeof g.Reserved);
  c5.HwFlow = gate::THwFlowControl::hfNONE;
  c5.Unused[7] = 0;
  EXPECT_EQ(rebuilt, Bytes(g) + EncodeChannels({c2, c5}));

  // A canonical block comes back byte for byte; count 0 comes back as the
  // bare 104-byte record, and no list at all as the default record.
  for (const std::string& block : {rebuilt, Bytes(DefaultGateSettings()) + std::string(4, '\0')}) {
    TMdmSettList t;
    ASSERT_TRUE(Load(t, block));
    t.ParamListToBlob(t.ParamList);
    EXPECT_EQ(BlobOf(t), block.size() == 108 ? Bytes(DefaultGateSettings()) : block);
  }
  s.ParamListToBlob(nullptr);
  EXPECT_EQ(BlobOf(s), Bytes(DefaultGateSettings()));
}

TEST(MdmSettList, ChannelsAreGroupedByNumberAndStoredByPort) {
  Params p;
  // Channel 9's items come first and interleave with channel 4's; the numbers
  // only group the items.
  p.Enum("PortNumber9", 5).Enum("BaudRate4", 9).Enum("BaudRate9", 7).Enum("DataBits9", 3).Enum("SwFlow9", 1);
  p.Enum("Parity9", 0).Enum("StopBits9", 0).Text("InitString9", "AT9").Text("Alias9", "five");
  p.Enum("PortNumber4", 2).Enum("DataBits4", 2).Enum("SwFlow4", 0).Enum("Parity4", 1).Enum("StopBits4", 1);
  p.Text("InitString4", "AT4").Text("Alias4", "");
  p.Scalar("ToShowProgress", PARAM_BOOL, 0x100);  // low byte 0
  TMdmSettList s;
  s.ParamListToBlob(p.get());
  TMdmGateSettings g = DefaultGateSettings();
  g.ToShowProgress = 0;
  EXPECT_EQ(BlobOf(s), Bytes(g) + EncodeChannels({Chan(2, "AT4", "", 0, {9, 2, 1, 1}), Chan(5, "AT9", "five", 1, {7, 3, 0, 0})}));
}

TEST(MdmSettList, ListsAreRefusedWithTheirFaultNamed) {
  const char four[4] = {1, 2, 3, 4};
  const std::string i50(50, 'I'), a50(50, 'A');
  const std::string wrong = "Wrong parameter type for parameter ";
  // Each list with its error, "" for the lists taken (one channel each).
  const std::pair<std::function<void(Params&)>, std::string> cases[] = {
      // Stray or missing items; a name that only differs in case is stray.
      {[](Params& p) { p.Channel(1, 1).Text("Comment", "x"); }, "Invalid param name (PortNumber* not found)!"},
      {[](Params& p) { p.Channel(1, 1).Enum("portnumber2", 2); }, "Invalid param name (PortNumber* not found)!"},
      {[](Params& p) {
         p.Enum("PortNumber07", 3).Enum("BaudRate7", 7).Enum("DataBits7", 3).Enum("SwFlow7", 0).Enum("Parity7", 0);
         p.Enum("StopBits7", 0).Text("InitString7", "ATZ");
       },
       "Invalid param name (Alias7 not found)!"},
      {[](Params& p) { p.Channel(1, 1).Enum("PortNumber2", 2); }, "Invalid param name (BaudRate2 not found)!"},
      {[](Params& p) { p.Channel(1, 3).Channel(2, 4).Channel(3, 3); }, "Multiple settings for PortNumber3"},
      // Items of the wrong type or size.
      {[](Params& p) { p.Channel(1, 1).Scalar("PortNumber2", PARAM_INT32, 2); }, wrong + "'PortNumber2'"},
      {[&](Params& p) { p.Raw("PortNumber1", PARAM_ENUM, four, 4); }, wrong + "'PortNumber1'"},
      {[](Params& p) { p.Enum("PortNumber1", 1).Text("BaudRate1", "7"); }, wrong + "'BaudRate1'"},
      {[](Params& p) { p.Channel(1, 1, "", "", 6).Raw("InitString1", PARAM_TEXT, nullptr, 5); }, wrong + "'InitString1'"},
      {[](Params& p) { p.Channel(1, 1, "", "", 7).Raw("Alias1", PARAM_TEXT, nullptr, -1); }, wrong + "'Alias1'"},
      {[&](Params& p) { p.Raw("ToShowProgress", PARAM_BOOL, four, 4); }, wrong + "'ToShowProgress'"},
      // Texts of up to 50 characters.
      {[&](Params& p) { p.Channel(1, 1, i50, a50); }, ""},
      {[&](Params& p) { p.Channel(1, 1, i50 + "I"); }, "Parameter 'InitString1' is longer than 50 characters"},
      {[](Params& p) { p.Channel(3, 1, "ATZ", std::string(200, 'A')); },
       "Parameter 'Alias3' is longer than 50 characters"},
      // Channel numbers are decimal numbers, signs included (channel -2).
      {[](Params& p) { p.Enum("PortNumberX", 1); }, "invalid_argument: 'X' is not a valid integer value"},
      {[](Params& p) { p.Enum("PortNumber", 1); }, "invalid_argument: '' is not a valid integer value"},
      {[](Params& p) { p.Enum("PortNumber1x", 1); }, "invalid_argument: '1x' is not a valid integer value"},
      {[](Params& p) { p.Enum("PortNumber99999999999", 1); },
       "invalid_argument: '99999999999' is not a valid integer value"},
      {[](Params& p) { p.Enum("PortNumber1", 1).Enum("BaudRateZ", 7); },  // fails looking for BaudRate1
       "invalid_argument: 'Z' is not a valid integer value"},
      {[](Params& p) { p.Channel(-2, 4); }, ""},
  };
  TMdmSettList s;
  for (const auto& [build, error] : cases) {
    Params p;
    build(p);
    SCOPED_TRACE(Dump(p.get()));
    EXPECT_EQ(Refusal(s, p.get()), error);
    if (error.empty()) {
      EXPECT_EQ(s.BLOBSize, 104 + 4 + 212);
    }
  }
}

TEST(MdmSettList, NullItemsAndDamagedListsAreSkipped) {
  Params p;
  p.Channel(1, 6);
  TParamListItem* items[10] = {nullptr};
  for (int i = 0; i < 8; ++i) items[i + 1] = p.get()->Items[i];
  TParamList damaged = *p.get();
  damaged.Items = items;
  damaged.Count = 10;
  TMdmSettList s;
  s.ParamListToBlob(&damaged);
  EXPECT_EQ(s.BLOBSize, 104 + 4 + 212);
  damaged.Count = -3;
  s.ParamListToBlob(&damaged);
  EXPECT_EQ(s.BLOBSize, 104);
}

}  // namespace
}  // namespace kestrel::store
