#include "store/MdmSettList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "TestParams.h"
#include "store/MdmSettings.h"
#include "store/ParamListError.h"

namespace kestrel::store {
namespace {
using testing::BlobOf;
using testing::Bytes;
using testing::Find;
using testing::Names;
using testing::Params;

std::string Block(const TMdmGateSettings& g, const std::string& part) { return Bytes(g) + part; }

TMdmChannelSettings Chan(int port, const char* init, const char* alias, gate::TSwFlowControl sw) {
  TMdmChannelSettings c = DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  c.BaudRate = gate::TBaudRate::br9600;
  c.DataBits = gate::TDataBits::db7BITS;
  c.SwFlow = sw;
  c.HwFlow = sw == gate::TSwFlowControl::sfNONE ? gate::THwFlowControl::hfRTSCTS : gate::THwFlowControl::hfNONE;
  c.Parity = gate::TParity::ptEVEN;
  c.StopBits = gate::TStopBits::sb2BITS;
  (void)SetShortText(c.InitString, init);
  (void)SetShortText(c.Alias, alias);
  return c;
}

std::string ParamListToBlobError(TMdmSettList& s, const TParamList* list) {
  try {
    s.ParamListToBlob(list);
  } catch (const EParamListError& e) {
    EXPECT_EQ(s.BLOB, nullptr);
    EXPECT_EQ(s.BLOBSize, 0);
    return e.what();
  }
  return "<no error>";
}

TEST(MdmSettList, EmptyBlockGivesProgressShownOnly) {
  TMdmSettList s;
  ASSERT_TRUE(s.BlobToParamList(nullptr, 0));
  ASSERT_EQ(Names(s.ParamList), "ToShowProgress");
  const TParamListItem& p = *s.ParamList->Items[0];
  EXPECT_EQ(p.ParamType, PARAM_BOOL);
  EXPECT_EQ(p.Value, 1);
  EXPECT_EQ(p.Size, 0);
  ASSERT_TRUE(s.BlobToParamList(nullptr, -5)) << "a negative size is an empty block too";
  EXPECT_EQ(Names(s.ParamList), "ToShowProgress");
}

TEST(MdmSettList, GateRecordAloneOrWithCountZeroGivesNoChannels) {
  TMdmGateSettings g = DefaultGateSettings();
  g.ToShowProgress = 0;
  for (const std::string& block : {Block(g, ""), Block(g, std::string(4, '\0'))}) {
    TMdmSettList s;
    ASSERT_TRUE(s.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()))) << block.size();
    EXPECT_EQ(Names(s.ParamList), "ToShowProgress");
    EXPECT_EQ(s.ParamList->Items[0]->Value, 0);
  }
}

TEST(MdmSettList, BlockWithChannelsGivesEightParametersEach) {
  const std::string block = Block(DefaultGateSettings(),
                                  EncodeChannels({Chan(3, "AT&F", "Left", gate::TSwFlowControl::sfXONXOFF),
                                                  Chan(1, "ATX3", "", gate::TSwFlowControl::sfNONE)}));
  TMdmSettList s;
  ASSERT_TRUE(s.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size())));
  EXPECT_EQ(Names(s.ParamList),
            "ToShowProgress,PortNumber1,BaudRate1,DataBits1,SwFlow1,Parity1,StopBits1,InitString1,Alias1,"
            "PortNumber2,BaudRate2,DataBits2,SwFlow2,Parity2,StopBits2,InitString2,Alias2");
  const TParamListItem* port1 = Find(s.ParamList, "PortNumber1");
  EXPECT_EQ(port1->ParamType, PARAM_ENUM);
  EXPECT_EQ(port1->Value, 3) << "block order, not port order";
  EXPECT_EQ(Find(s.ParamList, "BaudRate1")->Value, 7);
  EXPECT_EQ(Find(s.ParamList, "DataBits1")->Value, 2);
  EXPECT_EQ(Find(s.ParamList, "SwFlow1")->Value, 1);
  EXPECT_EQ(Find(s.ParamList, "Parity1")->Value, 2);
  EXPECT_EQ(Find(s.ParamList, "StopBits1")->Value, 2);
  const TParamListItem* init = Find(s.ParamList, "InitString1");
  EXPECT_EQ(init->ParamType, PARAM_TEXT);
  EXPECT_EQ(host::ItemBytes(*init), "AT&F");
  EXPECT_EQ(host::ItemBytes(*Find(s.ParamList, "Alias1")), "Left");
  const TParamListItem* alias2 = Find(s.ParamList, "Alias2");
  EXPECT_EQ(alias2->Size, 0);
  EXPECT_EQ(alias2->Value, 0) << "an empty text has no memory";
}

TEST(MdmSettList, MalformedBlocksGiveFalseAndAnEmptyList) {
  const std::string two = EncodeChannels({Chan(1, "", "", {}), Chan(2, "", "", {})});
  std::string negative(4, '\xFF');
  std::string wrapping = std::string("\x01\x00\x00\x40", 4) + std::string(212, '\0');  // 4 + 212 * n wraps to 216
  for (const std::string& part : {std::string(1, '\0'), std::string(3, '\0'), two.substr(0, two.size() - 1),
                                  two + "x", negative, wrapping}) {
    const std::string block = Block(DefaultGateSettings(), part);
    TMdmSettList s;
    ASSERT_TRUE(s.BlobToParamList(nullptr, 0));
    EXPECT_FALSE(s.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()))) << part.size();
    ASSERT_NE(s.ParamList, nullptr);
    EXPECT_EQ(s.ParamList->Count, 0) << "earlier parameters are discarded too";
  }
  // Shorter than the gate record, and a size without data.
  TMdmSettList s;
  const std::string shorter(103, '\x01');
  EXPECT_FALSE(s.BlobToParamList(shorter.data(), 103));
  EXPECT_EQ(s.ParamList->Count, 0);
  EXPECT_FALSE(s.BlobToParamList(nullptr, 200));
  EXPECT_EQ(s.ParamList->Count, 0);
}

TEST(MdmSettList, RoundTripSortsChannelsRecomputesFlowAndClearsReserved) {
  TMdmGateSettings g = DefaultGateSettings();
  g.ToShowProgress = 0;
  g.Reserved[0] = 0x55;
  g.Reserved[100] = 0x66;
  TMdmChannelSettings c5 = Chan(5, "ATZ", "five", gate::TSwFlowControl::sfXONXOFF);
  c5.HwFlow = gate::THwFlowControl::hfRTSCTS;  // inconsistent: rebuilt from SwFlow
  c5.Unused[7] = 0x77;
  TMdmChannelSettings c2 = Chan(2, std::string(50, 'I').c_str(), std::string(50, 'A').c_str(), gate::TSwFlowControl::sfNONE);
  const std::string block = Block(g, EncodeChannels({c5, c2}));

  TMdmSettList s;
  ASSERT_TRUE(s.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size())));
  s.ParamListToBlob(s.ParamList);
  const std::string rebuilt = BlobOf(s.BLOB, s.BLOBSize);

  TMdmGateSettings g2 = g;
  std::memset(g2.Reserved, 0, sizeof g2.Reserved);
  TMdmChannelSettings c5b = c5;
  c5b.HwFlow = gate::THwFlowControl::hfNONE;
  c5b.Unused[7] = 0;
  EXPECT_EQ(rebuilt, Block(g2, EncodeChannels({c2, c5b})));
  EXPECT_EQ(s.BLOBSize, 104 + 4 + 2 * 212);

  // A canonical block comes back byte for byte.
  TMdmSettList t;
  ASSERT_TRUE(t.BlobToParamList(rebuilt.data(), static_cast<std::int32_t>(rebuilt.size())));
  t.ParamListToBlob(t.ParamList);
  EXPECT_EQ(BlobOf(t.BLOB, t.BLOBSize), rebuilt);
}

TEST(MdmSettList, CountZeroBlockComesBackWithoutItsCount) {
  const std::string block = Block(DefaultGateSettings(), std::string(4, '\0'));
  TMdmSettList s;
  ASSERT_TRUE(s.BlobToParamList(block.data(), 108));
  s.ParamListToBlob(s.ParamList);
  EXPECT_EQ(BlobOf(s.BLOB, s.BLOBSize), Bytes(DefaultGateSettings()));
  s.ParamListToBlob(nullptr);
  EXPECT_EQ(BlobOf(s.BLOB, s.BLOBSize), Bytes(DefaultGateSettings())) << "no list: the default record";
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
  const std::string blob = BlobOf(s.BLOB, s.BLOBSize);
  ASSERT_EQ(blob.size(), 104u + 4 + 2 * 212);
  EXPECT_EQ(blob[2], '\0');
  TChannelList l;
  ASSERT_TRUE(DecodeChannels(std::string_view(blob).substr(104), l));
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].PortNumber, gate::TPortNumber::pnCOM2);
  EXPECT_EQ(l[0].BaudRate, gate::TBaudRate::br19200);
  EXPECT_EQ(l[0].HwFlow, gate::THwFlowControl::hfRTSCTS);
  EXPECT_EQ(ShortTextToString(l[0].InitString), "AT4");
  EXPECT_EQ(ShortTextToString(l[0].Alias), "");
  EXPECT_EQ(l[1].PortNumber, gate::TPortNumber::pnCOM5);
  EXPECT_EQ(l[1].HwFlow, gate::THwFlowControl::hfNONE);
  EXPECT_EQ(ShortTextToString(l[1].Alias), "five");
  EXPECT_EQ(l[1].Version, 1);
  EXPECT_EQ(l[1].SubVersion, 0);
  EXPECT_EQ(Bytes(l[1]).substr(111), std::string(101, '\0'));
}

TEST(MdmSettList, StrayOrMissingItemsAreNamedInTheError) {
  TMdmSettList s;
  s.ParamListToBlob(nullptr);
  ASSERT_NE(s.BLOB, nullptr);
  {
    Params p;
    p.Channel(1, 1).Text("Comment", "x");
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Invalid param name (PortNumber* not found)!");
  }
  {
    Params p;
    p.Enum("PortNumber07", 3).Enum("BaudRate7", 7).Enum("DataBits7", 3).Enum("SwFlow7", 0).Enum("Parity7", 0);
    p.Enum("StopBits7", 0).Text("InitString7", "ATZ");
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Invalid param name (Alias7 not found)!");
  }
  {
    Params p;
    p.Channel(1, 1).Enum("PortNumber2", 2);
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Invalid param name (BaudRate2 not found)!");
  }
  {
    Params p;
    p.Channel(1, 3).Channel(2, 4).Channel(3, 3);
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Multiple settings for PortNumber3");
  }
  {
    Params p;  // a name that only differs in case is a stray item
    p.Channel(1, 1).Enum("portnumber2", 2);
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Invalid param name (PortNumber* not found)!");
  }
}

TEST(MdmSettList, ItemsOfTheWrongTypeOrSizeAreRefused) {
  TMdmSettList s;
  const char bytes[4] = {1, 2, 3, 4};
  const auto ptr = reinterpret_cast<std::intptr_t>(bytes);
  auto wrong = [&](auto build, const char* name) {
    Params p;
    build(p);
    EXPECT_EQ(ParamListToBlobError(s, p.get()), std::string("Wrong parameter type for parameter '") + name + "'");
  };
  wrong([](Params& p) { p.Channel(1, 1).Scalar("PortNumber2", PARAM_INT32, 2); }, "PortNumber2");
  wrong([&](Params& p) { p.Raw("PortNumber1", PARAM_ENUM, ptr, 4); }, "PortNumber1");
  wrong([](Params& p) { p.Enum("PortNumber1", 1).Text("BaudRate1", "7"); }, "BaudRate1");
  wrong([](Params& p) {
    p.Enum("PortNumber1", 1).Enum("BaudRate1", 7).Enum("DataBits1", 3).Enum("SwFlow1", 0).Enum("Parity1", 0);
    p.Enum("StopBits1", 0).Raw("InitString1", PARAM_TEXT, 0, 5);
  }, "InitString1");
  wrong([](Params& p) {
    p.Enum("PortNumber1", 1).Enum("BaudRate1", 7).Enum("DataBits1", 3).Enum("SwFlow1", 0).Enum("Parity1", 0);
    p.Enum("StopBits1", 0).Text("InitString1", "").Raw("Alias1", PARAM_TEXT, 0, -1);
  }, "Alias1");
  wrong([&](Params& p) { p.Raw("ToShowProgress", PARAM_BOOL, ptr, 4); }, "ToShowProgress");
}

TEST(MdmSettList, TextsLongerThanFiftyCharactersAreRefused) {
  TMdmSettList s;
  {
    Params p;
    p.Channel(1, 1, std::string(50, 'I'), std::string(50, 'A'));
    s.ParamListToBlob(p.get());
    EXPECT_EQ(s.BLOBSize, 104 + 4 + 212);
  }
  {
    Params p;
    p.Channel(1, 1, std::string(51, 'I'));
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Parameter 'InitString1' is longer than 50 characters");
  }
  {
    Params p;
    p.Channel(3, 1, "ATZ", std::string(200, 'A'));
    EXPECT_EQ(ParamListToBlobError(s, p.get()), "Parameter 'Alias3' is longer than 50 characters");
  }
}

TEST(MdmSettList, ChannelNumbersThatAreNotNumbersRaiseTheConversionError) {
  TMdmSettList s;
  for (const char* name : {"PortNumberX", "PortNumber", "PortNumber1x", "PortNumber99999999999"}) {
    Params p;
    p.Enum(name, 1);
    try {
      s.ParamListToBlob(p.get());
      ADD_FAILURE() << name << ": no error";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(name + 10) + "' is not a valid integer value");
    }
  }
  // A stray item with a channel prefix fails while channel 1 looks for its baud rate.
  Params p;
  p.Enum("PortNumber1", 1).Enum("BaudRateZ", 7);
  EXPECT_THROW(s.ParamListToBlob(p.get()), std::invalid_argument);
  // Signs are numbers: channel -2.
  Params q;
  q.Channel(-2, 4);
  s.ParamListToBlob(q.get());
  EXPECT_EQ(s.BLOBSize, 104 + 4 + 212);
}

TEST(MdmSettList, NullItemsAndDamagedListsAreSkipped) {
  Params p;
  p.Channel(1, 6);
  TParamList damaged = *p.get();
  TParamListItem* items[10];
  items[0] = nullptr;
  for (int i = 0; i < 8; ++i) items[i + 1] = p.get()->Items[i];
  items[9] = nullptr;
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
