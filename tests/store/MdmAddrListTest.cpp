#include "store/MdmAddrList.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TestParams.h"
#include "store/MdmAddress.h"
#include "store/ParamListError.h"

namespace kestrel::store {
namespace {
using testing::BlobOf;
using testing::Bytes;
using testing::Find;
using testing::Names;
using testing::Params;
using testing::SpanOf;

constexpr const char* kAllNames =
    "DialPhoneType,RestoreConnAfterBreakTimeOut,DataWaitTimeOut,StayOnLineTimeOut,RestoreConnTimeOut,"
    "RestoreConnTries,DialTimeOut,IdCl,UseComPorts,PhonesList";

std::string Text(const TParamList* list, const char* name) { return std::string(host::ItemBytes(*Find(list, name))); }

bool Load(TMdmAddrList& a, const std::string& block) {
  return a.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size()));
}

TEST(MdmAddrList, EmptyBlockGivesTheDefaultAddress) {
  TMdmAddrList a;
  ASSERT_TRUE(a.BlobToParamList(nullptr, 0));
  EXPECT_EQ(Names(a.ParamList), kAllNames);
  const TMdmAddress d = DefaultAddress();
  const TParamListItem* dial = Find(a.ParamList, "DialPhoneType");
  EXPECT_EQ(dial->ParamType, PARAM_ENUM);
  EXPECT_EQ(dial->Value, 0);
  const TParamListItem* wait = Find(a.ParamList, "DataWaitTimeOut");
  EXPECT_EQ(wait->ParamType, PARAM_DATETIME);
  EXPECT_EQ(wait->Size, 8);
  EXPECT_EQ(SpanOf(*wait), double{d.DataWaitTimeOut});
  EXPECT_EQ(SpanOf(*Find(a.ParamList, "StayOnLineTimeOut")), double{d.StayOnLineTimeOut});
  EXPECT_EQ(Find(a.ParamList, "RestoreConnTries")->ParamType, PARAM_INT32);
  EXPECT_EQ(Find(a.ParamList, "RestoreConnTries")->Value, 2);
  EXPECT_EQ(Find(a.ParamList, "IdCl")->Value, -1);
  EXPECT_EQ(Text(a.ParamList, "UseComPorts"), "0000000000000000");
  const TParamListItem* phones = Find(a.ParamList, "PhonesList");
  EXPECT_EQ(phones->ParamType, PARAM_TEXT);
  EXPECT_EQ(phones->Size, 0);
  EXPECT_EQ(a.AddrListText(0), "");
}

TEST(MdmAddrList, OwnAddressGainsAnEmptyPhoneSection) {
  TMdmAddress own = DefaultAddress();
  own.UseComPorts[1] = 1;
  own.IdCl = 42;
  TMdmAddrList a;
  ASSERT_TRUE(Load(a, Bytes(own)));
  EXPECT_EQ(Text(a.ParamList, "UseComPorts"), "0100000000000000");
  EXPECT_EQ(Find(a.ParamList, "PhonesList")->Size, 0);
  a.ParamListToBlob(a.ParamList);
  EXPECT_EQ(a.BLOBSize, 172);
  EXPECT_EQ(BlobOf(a.BLOB, a.BLOBSize), Bytes(own) + std::string(4, '\0'));
}

TEST(MdmAddrList, PhoneSectionOfTheWrongLengthGivesNoNumbers) {
  const std::string rec = Bytes(DefaultAddress());
  const std::string two = EncodePhones({"101", "  102  "});
  TMdmAddrList a;
  ASSERT_TRUE(Load(a, rec + two));
  EXPECT_EQ(Text(a.ParamList, "PhonesList"), "101\r\n102");
  ASSERT_TRUE(Load(a, rec + two.substr(0, 203))) << "a bad section is not a failure";
  EXPECT_EQ(Find(a.ParamList, "PhonesList")->Size, 0);
  ASSERT_TRUE(Load(a, rec + "ab"));
  EXPECT_EQ(Find(a.ParamList, "PhonesList")->Size, 0);
  // Blank entries of a stored section are left out of the text.
  const std::string blanks = std::string("\x03\x00\x00\x00", 4) + std::string(100, ' ') + "7" + std::string(199, ' ');
  ASSERT_TRUE(Load(a, rec + blanks));
  EXPECT_EQ(Text(a.ParamList, "PhonesList"), "7");
}

TEST(MdmAddrList, ShortBlocksFailAndFreeTheList) {
  TMdmAddrList a;
  ASSERT_TRUE(a.BlobToParamList(nullptr, 0));
  const std::string shorter(167, '\x01');
  EXPECT_FALSE(Load(a, shorter));
  EXPECT_EQ(a.ParamList, nullptr);
  EXPECT_FALSE(a.BlobToParamList(nullptr, 300));
  EXPECT_EQ(a.ParamList, nullptr);
}

TEST(MdmAddrList, RoundTripKeepsEveryFieldAndNumber) {
  TMdmAddress r = DefaultAddress();
  r.Version = 7;  // not a parameter: rebuilt as 1.0
  r.SubVersion = 3;
  r.DialPhoneType = gate::TDialType::dtDialTone;
  r.RestoreConnAfterBreakTimeOut = MsToTimeSpan(1'000);
  r.DataWaitTimeOut = MsToTimeSpan(2'000);
  r.StayOnLineTimeOut = MsToTimeSpan(3'000);
  r.RestoreConnTimeOut = MsToTimeSpan(4'000);
  r.RestoreConnTries = 9;
  r.DialTimeOut = 1.75;  // whole days survive the parameters; only waits drop them
  r.IdCl = 123456;
  r.UseComPorts[0] = 1;
  r.UseComPorts[2] = 5;  // any non-zero byte allows the port; stored back as 1
  r.UseComPorts[15] = 1;
  r.Reserved[50] = 0x99;
  const std::string block = Bytes(r) + EncodePhones({"101", "8-800-555", "103"});
  TMdmAddrList a;
  ASSERT_TRUE(Load(a, block));
  EXPECT_EQ(Text(a.ParamList, "UseComPorts"), "1010000000000001");
  EXPECT_EQ(Text(a.ParamList, "PhonesList"), "101\r\n8-800-555\r\n103");
  a.ParamListToBlob(a.ParamList);
  TMdmAddress expected = r;
  expected.Version = 1;
  expected.SubVersion = 0;
  expected.UseComPorts[2] = 1;
  expected.Reserved[50] = 0;
  EXPECT_EQ(BlobOf(a.BLOB, a.BLOBSize), Bytes(expected) + EncodePhones({"101", "8-800-555", "103"}));
}

TEST(MdmAddrList, ParametersBuildTheBlock) {
  Params p;
  p.Text("PhonesList", "101\r\n\r\n102\n").Enum("dialphonetype", 1).Text("UseComPorts", "1010000000000000");
  p.Scalar("IdCl", PARAM_INT32, -7).Span("DataWaitTimeOut", 0.5).Text("Unknown", "ignored");
  TMdmAddrList a;
  a.ParamListToBlob(p.get());
  const std::string blob = BlobOf(a.BLOB, a.BLOBSize);
  ASSERT_EQ(blob.size(), 168u + 4 + 200);
  TMdmAddress r;
  std::memcpy(&r, blob.data(), sizeof r);
  EXPECT_EQ(r.DialPhoneType, gate::TDialType::dtDialPulse) << "a name in another case is ignored";
  EXPECT_EQ(std::int32_t{r.IdCl}, -7);
  EXPECT_EQ(double{r.DataWaitTimeOut}, 0.5);
  EXPECT_EQ(double{r.StayOnLineTimeOut}, double{DefaultAddress().StayOnLineTimeOut}) << "a missing name keeps the default";
  const std::uint8_t com1_com3[16] = {1, 0, 1};
  EXPECT_EQ(std::memcmp(r.UseComPorts, com1_com3, 16), 0);
  std::vector<std::string> phones;
  ASSERT_TRUE(DecodePhones(std::string_view(blob).substr(168), phones));
  EXPECT_EQ(phones, (std::vector<std::string>{"101", "102"}));
}

TEST(MdmAddrList, PortTextsOfAnyLengthUseTheirFirstSixteenCharacters) {
  auto ports_of = [](std::string_view text) {
    Params p;
    p.Text("UseComPorts", text);
    TMdmAddrList a;
    a.ParamListToBlob(p.get());
    TMdmAddress r;
    std::memcpy(&r, a.BLOB, sizeof r);
    std::string out;
    for (auto b : r.UseComPorts) out += static_cast<char>('0' + b);
    return out;
  };
  EXPECT_EQ(ports_of("1"), "1000000000000000");
  EXPECT_EQ(ports_of("0000000000000001111"), "0000000000000001");
  EXPECT_EQ(ports_of("1x1Y2 11"), "1010001100000000") << "only '1' allows a port";
  EXPECT_EQ(ports_of(""), "0000000000000000");
}

TEST(MdmAddrList, ItemsThatDoNotHoldTheirTypeAreRefused) {
  const char four[4] = {1, 2, 3, 4};
  const auto ptr = reinterpret_cast<std::intptr_t>(four);
  auto error_of = [](Params& p) -> std::string {
    TMdmAddrList a;
    a.ParamListToBlob(nullptr);
    try {
      a.ParamListToBlob(p.get());
    } catch (const EParamListError& e) {
      EXPECT_EQ(a.BLOB, nullptr);
      EXPECT_EQ(a.BLOBSize, 0);
      return e.what();
    }
    return "<no error>";
  };
  {
    Params p;
    p.Raw("DialTimeOut", PARAM_DATETIME, ptr, 4);
    EXPECT_EQ(error_of(p), "Wrong parameter type for parameter 'DialTimeOut'");
  }
  {
    Params p;
    p.Raw("StayOnLineTimeOut", PARAM_DATETIME, 0, 8);
    EXPECT_EQ(error_of(p), "Wrong parameter type for parameter 'StayOnLineTimeOut'");
  }
  {
    Params p;
    p.Raw("IdCl", PARAM_INT32, ptr, 4);
    EXPECT_EQ(error_of(p), "Wrong parameter type for parameter 'IdCl'");
  }
  {
    Params p;
    p.Raw("PhonesList", PARAM_TEXT, 0, 12);
    EXPECT_EQ(error_of(p), "Wrong parameter type for parameter 'PhonesList'");
  }
  {
    Params p;
    p.Raw("UseComPorts", PARAM_TEXT, ptr, -4);
    EXPECT_EQ(error_of(p), "Wrong parameter type for parameter 'UseComPorts'");
  }
  {
    Params p;
    p.Text("PhonesList", "101\r\n" + std::string(101, '5'));
    EXPECT_EQ(error_of(p), "Phone number '" + std::string(101, '5') + "' is longer than 100 characters");
  }
  {
    Params p;  // an ignored name is never read, whatever it claims
    p.Raw("Other", PARAM_TEXT, 0, 99);
    EXPECT_EQ(error_of(p), "<no error>");
  }
}

}  // namespace
}  // namespace kestrel::store
