// The address record byte for byte, its time spans, the phone section, and
// the address block as a parameter list (TMdmAddrList) and back, with the
// refusal of items that do not hold their type.
#include "store/MdmAddress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

#include "TestParams.h"
#include "store/MdmAddrList.h"

namespace kestrel::store {
namespace {
using ::testing::EndsWith;
using testing::BlobOf;
using testing::Bytes;
using testing::Dump;
using testing::Hex;
using testing::Load;
using testing::Params;
using testing::Refusal;
using testing::Zeros;

TEST(MdmAddress, DefaultRecordIsByteExact) {
  // IEEE-754 little-endian day fractions: 1/1440 (one minute), 1/480 (three
  // minutes), 1/2880 (thirty seconds); 2 tries, client id -1.
  const std::string minute = "176cc1166cc1463f", half_minute = "176cc1166cc1363f";
  EXPECT_EQ(Hex(Bytes(DefaultAddress())), "010000" + minute + minute + "111111111111613f" + half_minute + "02000000" +
                                              half_minute + "ffffffff" + Zeros(117));
}

TEST(MdmAddress, TimeSpanMillisecondsAreTheTimeOfDay) {
  EXPECT_EQ(TimeSpanToMs(0.0), 0u);
  EXPECT_EQ(TimeSpanToMs(1.0), 0u) << "whole days drop out";
  EXPECT_EQ(TimeSpanToMs(2.5), 43'200'000u);
  EXPECT_EQ(TimeSpanToMs(-0.25), 21'600'000u) << "a negative span counts by its magnitude";
  EXPECT_EQ(TimeSpanToMs(1.0 - 1e-12), 0u) << "a hair below a day rounds to a whole day";
  EXPECT_LT(TimeSpanToMs(1e300), kMsPerDay);
  EXPECT_EQ(TimeSpanToMs(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(TimeSpanToMs(-std::numeric_limits<double>::infinity()), 0u);
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
  try {
    EncodePhones({"1", " " + hundred + "8"});
    ADD_FAILURE() << "no error";
  } catch (const EParamListError& e) {
    EXPECT_EQ(std::string(e.what()), "Phone number '" + hundred + "8' is longer than 100 characters");
  }
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

TEST(MdmAddress, MalformedPhoneSectionsAreRejected) {
  const std::string two = EncodePhones({"1", "2"});
  auto count = [](std::uint32_t n) {
    std::string bad(104, ' ');
    std::memcpy(bad.data(), &n, 4);
    return bad;
  };
  // A section shorter than its count leaves the list untouched; any other
  // malformed one empties it (4 + 100 * 0x40000001 wraps to 104).
  const struct {
    std::string section;
    std::size_t left;
  } cases[] = {{"abc", 1}, {two.substr(0, 203), 0}, {two + " ", 0}, {count(0xFFFFFFFFu), 0},
               {count(0x80000000u), 0}, {count(0x40000001u), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.section.size());
    std::vector<std::string> phones{"kept"};
    EXPECT_FALSE(DecodePhones(c.section, phones));
    EXPECT_EQ(phones.size(), c.left);
  }
}

TMdmAddress RecordOf(const std::string& blob) {
  TMdmAddress r;
  std::memcpy(&r, blob.data(), sizeof r);
  return r;
}

TEST(MdmAddrList, EmptyBlockGivesTheDefaultAddress) {
  TMdmAddrList a;
  ASSERT_TRUE(a.BlobToParamList(nullptr, 0));
  EXPECT_EQ(Dump(a.ParamList),
            "DialPhoneType=e0,RestoreConnAfterBreakTimeOut=60000ms,DataWaitTimeOut=60000ms,StayOnLineTimeOut=180000ms,"
            "RestoreConnTimeOut=30000ms,RestoreConnTries=i2,DialTimeOut=30000ms,IdCl=i-1,"
            "UseComPorts='0000000000000000',PhonesList=''");
  EXPECT_EQ(a.AddrListText(0), "");
}

TEST(MdmAddrList, OwnAddressOf168BytesComesBackWithAnEmptyPhoneSection) {
  TMdmAddress own = DefaultAddress();
  own.UseComPorts[1] = 1;
  own.IdCl = 42;
  TMdmAddrList a;
  ASSERT_TRUE(Load(a, Bytes(own)));
  EXPECT_THAT(Dump(a.ParamList), EndsWith(",IdCl=i42,UseComPorts='0100000000000000',PhonesList=''"));
  a.ParamListToBlob(a.ParamList);
  EXPECT_EQ(a.BLOBSize, 172);
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

TEST(MdmAddrList, ShortBlocksFailAndFreeTheList) {
  TMdmAddrList a;
  ASSERT_TRUE(a.BlobToParamList(nullptr, 0));
  EXPECT_FALSE(Load(a, std::string(167, '\x01')));
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
    std::string allowed;
    for (auto b : RecordOf(BlobOf(a)).UseComPorts) allowed += static_cast<char>('0' + b);
    EXPECT_EQ(allowed, ports) << text;
  }
}

TEST(MdmAddrList, ItemsThatDoNotHoldTheirTypeAreRefused) {
  const char four[4] = {1, 2, 3, 4};
  const std::string wrong = "Wrong parameter type for parameter ";
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
