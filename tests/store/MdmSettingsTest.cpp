// The gate and channel records byte for byte, their short texts, the
// channel part of a settings block, and the settings block as a parameter
// list (TMdmSettList) and back, with every refusal and its text.
//
// The address record byte for byte, its time spans, the phone section, and
// the address block as a parameter list (TMdmAddrList) and back, with the
// refusal of items that do not hold their type.
#include "store/MdmSettings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <vector>
#include <limits>

#include "host/ParamList.h"
#include "kestrel/kestrel.h"
#include "store/ParamListError.h"
#include "tests/kit/ParamLists.h"
#include "store/MdmAddrList.h"
#include "store/MdmAddress.h"
#include "store/MdmSettList.h"

namespace kestrel::store {
namespace {

using Params = kestrel::testing::TParams;
using kestrel::testing::BlobOf;

// A list as text, item by item: name=e<ordinal>, i<integer>, b<boolean>,
// <ms>ms (time spans, by their time of day) or '<text>'; an item whose size
// does not fit its type shows as name=?<size>, an empty text that holds
// memory as name='(memory)'.
inline std::string Dump(const TParamList* list) {
  if (list == nullptr) return "<null>";
  std::string out;
  for (std::int32_t i = 0; i < list->Count; ++i) {
    const TParamListItem& item = *list->Items[i];
    out += (i ? "," : "") + std::string(host::ItemName(item)) + "=";
    const bool text = item.ParamType == PARAM_TEXT, span = item.ParamType == PARAM_DATETIME;
    if (!text && item.Size != (span ? 8 : 0)) {
      out += "?" + std::to_string(item.Size);
    } else if (span) {
      double days = 0;
      std::memcpy(&days, reinterpret_cast<const void*>(item.Value), 8);
      out += std::to_string(TimeSpanToMs(days)) + "ms";
    } else if (text) {
      out += item.Size == 0 && item.Value != 0 ? "'(memory)'" : "'" + std::string(host::ItemBytes(item)) + "'";
    } else {
      out += (item.ParamType == PARAM_ENUM ? "e" : item.ParamType == PARAM_INT32 ? "i" : "b") + std::to_string(item.Value);
    }
  }
  return out;
}

template <typename T>
std::string Bytes(const T& record) {
  std::string out(sizeof record, '\0');
  std::memcpy(out.data(), &record, sizeof record);
  return out;
}

inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {kDigits[c >> 4], kDigits[c & 15]};
  return out;
}
// The hex text of `n` zero bytes.
inline std::string Zeros(std::size_t n) { return std::string(2 * n, '0'); }

// BlobToParamList of a block held in a string.
template <typename L>
bool Load(L& list, std::string_view block) {
  return list.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()));
}

// What ParamListToBlob throws for `params`: the text of an EParamListError,
// "invalid_argument: " and the text of a conversion error, "" when it takes
// the list. A refused list leaves no block behind.
template <typename L>
std::string Refusal(L& list, const TParamList* params) {
  list.ParamListToBlob(nullptr);
  try {
    list.ParamListToBlob(params);
    return "";
  } catch (const EParamListError& e) {
    EXPECT_EQ(list.BLOB, nullptr);
    EXPECT_EQ(list.BLOBSize, 0);
    return e.what();
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(list.BLOB, nullptr);
    return std::string("invalid_argument: ") + e.what();
  }
}

// An item value of four bytes, and the start of a type refusal's text.
const char four[4] = {1, 2, 3, 4};
const std::string wrong = "Wrong parameter type for parameter ";

TEST(MdmSettings, DefaultRecordsAreByteExact) {
  EXPECT_EQ(Hex(Bytes(DefaultGateSettings())), "010001" + Zeros(101)) << "version 1.0, progress shown";
  // Version 1, SubVersion 0, COM1, br56000 (11), db8BITS (3), hfRTSCTS (2),
  // sfNONE, ptNONE, sb1BITS, InitString "ATX3", Alias "", 101 unused bytes.
  EXPECT_EQ(Hex(Bytes(DefaultChannelSettings())), "0100010b0302000000" "0441545833" + Zeros(46 + 51 + 101));
}

TEST(MdmSettings, ShortTextHoldsUpToFiftyCharacters) {
  TShortText t{};
  ASSERT_TRUE(SetShortText(t, std::string(50, 'x')));
  EXPECT_FALSE(SetShortText(t, std::string(51, 'y')));
  EXPECT_EQ(ShortTextToString(t), std::string(50, 'x')) << "a refused text leaves the old one";
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

// Decoded back (count 0 too) by the settings list's tests below, and byte
// for byte by the settings dialog's result blocks.
TEST(MdmSettings, ChannelPartIsACountAndTheRecords) {
  const TChannelList l = TwoChannels();
  EXPECT_EQ(EncodeChannels(l), std::string("\x02\x00\x00\x00", 4) + Bytes(l[0]) + Bytes(l[1]));
  EXPECT_EQ(EncodeChannels({}), std::string(4, '\0'));
}

// A part `size` bytes long whose count says `n`.
std::string Counted(std::uint32_t n, std::size_t size, char fill) {
  std::string part(size, fill);
  std::memcpy(part.data(), &n, 4);
  return part;
}

// Counts that are negative or wrap a 32-bit length (4 + 212 * 0x40000001 is
// 216, 4 + 100 * 0x40000001 is 104) are malformed; a part shorter than its
// count leaves the list as it was, any other malformed part empties it.
TEST(MdmSettings, MalformedChannelPartsAndPhoneSectionsAreRejected) {
  const std::string channels = EncodeChannels(TwoChannels()), phones = EncodePhones({"1", "2"});
  std::vector<std::tuple<std::string, std::string, std::size_t>> cases = {
      {std::string(3, '\0'), "abc", 1},
      {channels.substr(0, channels.size() - 1), phones.substr(0, 203), 0},
      {channels + '\0', phones + " ", 0}};
  for (const std::uint32_t n : {0xFFFFFFFFu, 0x80000000u, 0x40000001u})
    cases.emplace_back(Counted(n, 216, '\0'), Counted(n, 104, ' '), 0);
  for (const auto& [part, section, left] : cases) {
    SCOPED_TRACE(section.size());
    TChannelList l{DefaultChannelSettings()};
    EXPECT_FALSE(DecodeChannels(part, l));
    EXPECT_EQ(l.size(), left);
    std::vector<std::string> numbers{"kept"};
    EXPECT_FALSE(DecodePhones(section, numbers));
    EXPECT_EQ(numbers.size(), left);
  }
}

TEST(MdmSettings, CheckChannelsSortsDerivesFlowAndFindsDuplicates) {
  TChannelList l = TwoChannels();
  l[0].SwFlow = gate::TSwFlowControl::sfXONXOFF;
  l[0].HwFlow = gate::THwFlowControl::hfRTSCTS;
  l[1].HwFlow = gate::THwFlowControl::hfNONERTSON;
  EXPECT_EQ(CheckChannels(l), -1);
  EXPECT_EQ(std::tuple(l[0].PortNumber, l[0].HwFlow, l[1].PortNumber, l[1].HwFlow),
            std::tuple(gate::TPortNumber::pnCOM2, gate::THwFlowControl::hfRTSCTS, gate::TPortNumber::pnCOM5,
                       gate::THwFlowControl::hfNONE));

  for (auto port : {gate::TPortNumber::pnCOM2, gate::TPortNumber::pnCOM1}) {
    l.push_back(DefaultChannelSettings());
    l.back().PortNumber = port;
  }
  EXPECT_EQ(CheckChannels(l), 1) << "COM1, COM2, COM2, COM5: the first COM2 is at position 1";
  FreeChannels(l);
  EXPECT_EQ(CheckChannels(l), -1) << "no channels, no duplicate";
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

// Which channel parts are malformed is DecodeChannels' test; one stands for them.
TEST(MdmSettList, MalformedBlocksGiveFalseAndAnEmptyList) {
  const std::string record = Bytes(DefaultGateSettings());
  for (const std::string& block : {record + std::string(4, '\xFF'), std::string(103, '\x01')}) {
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
  const std::string i50(50, 'I'), a50(50, 'A');
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

using ::testing::EndsWith;
using ::testing::ThrowsMessage;

TEST(MdmAddress, DefaultRecordIsByteExact) {
  // IEEE-754 little-endian day fractions: 1/1440 (one minute), 1/480 (three
  // minutes), 1/2880 (thirty seconds); 2 tries, client id -1.
  const std::string minute = "176cc1166cc1463f", half_minute = "176cc1166cc1363f";
  EXPECT_EQ(Hex(Bytes(DefaultAddress())), "010000" + minute + minute + "111111111111613f" + half_minute + "02000000" +
                                              half_minute + "ffffffff" + Zeros(117));
}

TEST(MdmAddress, TimeSpanMillisecondsAreTheTimeOfDay) {
  // Whole days drop out, a negative span counts by its magnitude, and a hair
  // below a day rounds to a whole day.
  const std::pair<double, std::uint32_t> spans[] = {{0.0, 0}, {1.0, 0}, {2.5, 43'200'000}, {-0.25, 21'600'000},
                                                    {1.0 - 1e-12, 0}, {std::numeric_limits<double>::quiet_NaN(), 0},
                                                    {-std::numeric_limits<double>::infinity(), 0}};
  for (const auto& [days, ms] : spans) EXPECT_EQ(TimeSpanToMs(days), ms) << days;
  EXPECT_LT(TimeSpanToMs(1e300), kMsPerDay);
  for (std::uint32_t ms = 0; ms < kMsPerDay; ms += 999'983) EXPECT_EQ(TimeSpanToMs(MsToTimeSpan(ms)), ms);
  EXPECT_EQ(TimeSpanToMs(MsToTimeSpan(kMsPerDay - 1)), kMsPerDay - 1);
  EXPECT_EQ(MsToTimeSpan(kMsPerDay + 5), MsToTimeSpan(5));
  EXPECT_EQ(MsToTimeSpan(60'000), 1.0 / 1440);
}

TEST(MdmAddress, PhonesEncodeAsBlankFilledEntriesAndLongerNumbersAreRefused) {
  // Blank entries are left out; the others are stored untrimmed.
  EXPECT_EQ(EncodePhones({"101", "", " \t ", " 8(495)123-45-67 ", "\r\n"}),
            std::string("\x02\x00\x00\x00", 4) + "101" + std::string(97, ' ') + " 8(495)123-45-67 " +
                std::string(83, ' '));
  EXPECT_EQ(EncodePhones({}), std::string(4, '\0'));
  const std::string hundred(100, '7');
  EXPECT_EQ(EncodePhones({hundred}).substr(4), hundred);
  EXPECT_EQ(EncodePhones({hundred + "  \r"}).substr(4), hundred) << "blanks after a full-length number are dropped";
  EXPECT_THAT([&] { EncodePhones({"1", " " + hundred + "8"}); },
              ThrowsMessage<EParamListError>("Phone number '" + hundred + "8' is longer than 100 characters"));
  EXPECT_THROW(EncodePhones({" " + hundred}), EParamListError) << "a leading blank is part of the entry";
}

TEST(MdmAddress, PhonesDecodeTrimmed) {
  std::string s = EncodePhones({" 101\t", "x", "\xCE\xE1\xF9\xE8\xE9 101" /* Windows-1251 letters stay */});
  s[4 + 100 + 50] = '\x01';  // a control character after a number is trimmed too
  std::vector<std::string> phones{"old"};
  ASSERT_TRUE(DecodePhones(s, phones));
  EXPECT_EQ(phones, (std::vector<std::string>{"101", "x", "\xCE\xE1\xF9\xE8\xE9 101"}));
  ASSERT_TRUE(DecodePhones(std::string("\x01\x00\x00\x00", 4) + std::string(100, ' '), phones));
  EXPECT_EQ(phones, (std::vector<std::string>{""}));
}

TEST(MdmAddrList, EmptyBlockGivesTheDefaultAddressAndAShortOneNone) {
  TMdmAddrList a;
  ASSERT_TRUE(a.BlobToParamList(nullptr, 0));
  EXPECT_EQ(Dump(a.ParamList),
            "DialPhoneType=e0,RestoreConnAfterBreakTimeOut=60000ms,DataWaitTimeOut=60000ms,StayOnLineTimeOut=180000ms,"
            "RestoreConnTimeOut=30000ms,RestoreConnTries=i2,DialTimeOut=30000ms,IdCl=i-1,"
            "UseComPorts='0000000000000000',PhonesList=''");
  EXPECT_EQ(a.AddrListText(0), "");
  // A short block, or a size without data, fails and frees the list.
  EXPECT_EQ((std::tuple{Load(a, std::string(167, '\x01')), a.ParamList}), std::tuple(false, nullptr));
  EXPECT_EQ((std::tuple{a.BlobToParamList(nullptr, 300), a.ParamList}), std::tuple(false, nullptr));
}

TEST(MdmAddrList, OwnAddressOf168BytesComesBackWithAnEmptyPhoneSection) {
  TMdmAddress own = DefaultAddress();
  own.UseComPorts[1] = 1;
  own.IdCl = 42;
  TMdmAddrList a;
  ASSERT_TRUE(Load(a, Bytes(own)));
  EXPECT_THAT(Dump(a.ParamList), EndsWith(",IdCl=i42,UseComPorts='0100000000000000',PhonesList=''"));
  a.ParamListToBlob(a.ParamList);
  EXPECT_EQ(BlobOf(a), Bytes(own) + std::string(4, '\0'));
}

TEST(MdmAddrList, PhoneSectionOfTheWrongLengthGivesNoNumbers) {
  const std::string rec = Bytes(DefaultAddress());
  const std::string two = EncodePhones({"101", "  102  "});
  // Blank entries of a stored section are left out of the text.
  const std::string blanks = std::string("\x03\x00\x00\x00", 4) + std::string(100, ' ') + "7" + std::string(199, ' ');
  const std::pair<std::string, std::string> cases[] = {
      {two, "101\r\n102"}, {two.substr(0, 203), ""}, {"ab", ""}, {blanks, "7"}};
  for (const auto& [section, text] : cases) {
    TMdmAddrList a;
    ASSERT_TRUE(Load(a, rec + section)) << "a bad section is not a failure";
    EXPECT_THAT(Dump(a.ParamList), EndsWith(",PhonesList='" + text + "'"));
  }
}

TEST(MdmAddrList, RoundTripKeepsEveryFieldAndNumber) {
  // The version is no parameter: rebuilt as 1.0. Whole days of the dial
  // timeout survive the parameters (only waits drop them). Any non-zero byte
  // allows a port, stored back as 1.
  TMdmAddress r{.Version = 7, .SubVersion = 3, .DialPhoneType = gate::TDialType::dtDialTone,
                .RestoreConnAfterBreakTimeOut = MsToTimeSpan(1'000), .DataWaitTimeOut = MsToTimeSpan(2'000),
                .StayOnLineTimeOut = MsToTimeSpan(3'000), .RestoreConnTimeOut = MsToTimeSpan(4'000),
                .RestoreConnTries = 9, .DialTimeOut = 1.75, .IdCl = 123456,
                .UseComPorts = {1, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, .Reserved = {}};
  r.Reserved[50] = 0x99;
  const std::string phones = EncodePhones({"101", "8-800-555", "103"});
  TMdmAddrList a;
  ASSERT_TRUE(Load(a, Bytes(r) + phones));
  EXPECT_THAT(Dump(a.ParamList), EndsWith(",UseComPorts='1010000000000001',PhonesList='101\r\n8-800-555\r\n103'"));
  a.ParamListToBlob(a.ParamList);
  r.Version = 1;
  r.SubVersion = 0;
  r.UseComPorts[2] = 1;
  r.Reserved[50] = 0;
  EXPECT_EQ(BlobOf(a), Bytes(r) + phones);
}

TEST(MdmAddrList, ParametersBuildTheBlock) {
  static constexpr double kHalfDay = 0.5;
  Params p;
  p.Text("PhonesList", "101\r\n\r\n102\n").Enum("dialphonetype", 1).Text("UseComPorts", "1010000000000000");
  p.Scalar("IdCl", PARAM_INT32, -7).Raw("DataWaitTimeOut", PARAM_DATETIME, &kHalfDay, 8).Text("Unknown", "ignored");
  TMdmAddrList a;
  a.ParamListToBlob(p.get());
  // A name in another case is ignored, a missing name keeps the default.
  TMdmAddress r = DefaultAddress();
  r.IdCl = -7;
  r.DataWaitTimeOut = 0.5;
  r.UseComPorts[0] = r.UseComPorts[2] = 1;
  EXPECT_EQ(BlobOf(a), Bytes(r) + EncodePhones({"101", "102"}));
}

TEST(MdmAddrList, PortTextsOfAnyLengthUseTheirFirstSixteenCharacters) {
  const std::pair<const char*, const char*> cases[] = {{"1", "1000000000000000"},
                                                       {"0000000000000001111", "0000000000000001"},
                                                       {"1x1Y2 11", "1010001100000000"},  // only '1' allows a port
                                                       {"", "0000000000000000"}};
  for (const auto& [text, ports] : cases) {
    Params p;
    p.Text("UseComPorts", text);
    TMdmAddrList a;
    a.ParamListToBlob(p.get());
    std::string allowed = BlobOf(a).substr(offsetof(TMdmAddress, UseComPorts), 16);
    for (char& b : allowed) b = static_cast<char>('0' + b);
    EXPECT_EQ(allowed, ports) << text;
  }
}

TEST(MdmAddrList, ItemsThatDoNotHoldTheirTypeAreRefused) {
  const std::pair<std::function<void(Params&)>, std::string> cases[] = {
      {[&](Params& p) { p.Raw("DialTimeOut", PARAM_DATETIME, four, 4); }, wrong + "'DialTimeOut'"},
      {[](Params& p) { p.Raw("StayOnLineTimeOut", PARAM_DATETIME, nullptr, 8); }, wrong + "'StayOnLineTimeOut'"},
      {[&](Params& p) { p.Raw("IdCl", PARAM_INT32, four, 4); }, wrong + "'IdCl'"},
      {[](Params& p) { p.Raw("PhonesList", PARAM_TEXT, nullptr, 12); }, wrong + "'PhonesList'"},
      {[&](Params& p) { p.Raw("UseComPorts", PARAM_TEXT, four, -4); }, wrong + "'UseComPorts'"},
      {[](Params& p) { p.Text("PhonesList", "101\r\n" + std::string(101, '5')); },
       "Phone number '" + std::string(101, '5') + "' is longer than 100 characters"},
      {[](Params& p) { p.Raw("Other", PARAM_TEXT, nullptr, 99); }, ""},  // an ignored name is never read
  };
  for (const auto& [build, error] : cases) {
    Params p;
    build(p);
    TMdmAddrList a;
    EXPECT_EQ(Refusal(a, p.get()), error) << Dump(p.get());
  }
}

}  // namespace
}  // namespace kestrel::store
