#include "store/MdmAddress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "TestParams.h"
#include "store/ParamListError.h"

namespace kestrel::store {
namespace {
using testing::Bytes;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

TEST(MdmAddress, DefaultRecordBytes) {
  const std::string b = Bytes(DefaultAddress());
  ASSERT_EQ(b.size(), 168u);
  EXPECT_EQ(Hex(b.substr(0, 3)), "010000");
  // IEEE-754 little-endian day fractions: 1/1440 (one minute), 1/480 (three
  // minutes), 1/2880 (thirty seconds).
  EXPECT_EQ(Hex(b.substr(3, 8)), "176cc1166cc1463f");
  EXPECT_EQ(Hex(b.substr(11, 8)), "176cc1166cc1463f");
  EXPECT_EQ(Hex(b.substr(19, 8)), "111111111111613f");
  EXPECT_EQ(Hex(b.substr(27, 8)), "176cc1166cc1363f");
  EXPECT_EQ(Hex(b.substr(35, 4)), "02000000");
  EXPECT_EQ(Hex(b.substr(39, 8)), "176cc1166cc1363f");
  EXPECT_EQ(Hex(b.substr(47, 4)), "ffffffff");
  EXPECT_EQ(b.substr(51), std::string(117, '\0'));
}

TEST(MdmAddress, FieldsLandOnTheirOffsets) {
  TMdmAddress a{};
  a.Version = 0xA0;
  a.SubVersion = 0xA1;
  a.DialPhoneType = gate::TDialType::dtDialTone;
  a.RestoreConnAfterBreakTimeOut = 1.0;
  a.DataWaitTimeOut = 2.0;
  a.StayOnLineTimeOut = -2.0;
  a.RestoreConnTimeOut = 0.5;
  a.RestoreConnTries = 0x01020304;
  a.DialTimeOut = 0.25;
  a.IdCl = 0x7A7B7C7D;
  a.UseComPorts[0] = 1;
  a.UseComPorts[15] = 0xFF;
  a.Reserved[100] = 0xEE;
  const std::string b = Bytes(a);
  EXPECT_EQ(Hex(b.substr(0, 3)), "a0a101");
  EXPECT_EQ(Hex(b.substr(3, 8)), "000000000000f03f");
  EXPECT_EQ(Hex(b.substr(11, 8)), "0000000000000040");
  EXPECT_EQ(Hex(b.substr(19, 8)), "00000000000000c0");
  EXPECT_EQ(Hex(b.substr(27, 8)), "000000000000e03f");
  EXPECT_EQ(Hex(b.substr(35, 4)), "04030201");
  EXPECT_EQ(Hex(b.substr(39, 8)), "000000000000d03f");
  EXPECT_EQ(Hex(b.substr(47, 4)), "7d7c7b7a");
  EXPECT_EQ(Hex(b.substr(51, 1)), "01");
  EXPECT_EQ(Hex(b.substr(66, 1)), "ff");
  EXPECT_EQ(Hex(b.substr(167, 1)), "ee");
}

TEST(MdmAddress, TimeSpanMillisecondsAreTheTimeOfDay) {
  const TMdmAddress d = DefaultAddress();
  EXPECT_EQ(TimeSpanToMs(d.DataWaitTimeOut), 60'000u);
  EXPECT_EQ(TimeSpanToMs(d.StayOnLineTimeOut), 180'000u);
  EXPECT_EQ(TimeSpanToMs(d.DialTimeOut), 30'000u);
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

TEST(MdmAddress, PhonesEncodeAsBlankFilledEntries) {
  const std::string s = EncodePhones({"101", "", " \t ", " 8(495)123-45-67 ", "\r\n"});
  ASSERT_EQ(s.size(), 4u + 2 * 100);
  EXPECT_EQ(Hex(s.substr(0, 4)), "02000000");
  EXPECT_EQ(s.substr(4, 100), "101" + std::string(97, ' '));
  EXPECT_EQ(s.substr(104, 100), " 8(495)123-45-67 " + std::string(83, ' ')) << "stored untrimmed";
  EXPECT_EQ(EncodePhones({}), std::string(4, '\0'));
}

TEST(MdmAddress, PhoneNumbersLongerThanAnEntryAreRefused) {
  const std::string hundred(100, '7');
  EXPECT_EQ(EncodePhones({hundred}).substr(4), hundred);
  // The blanks after a full-length number are dropped, not the number.
  EXPECT_EQ(EncodePhones({hundred + "  \r"}).substr(4), hundred);
  try {
    EncodePhones({"1", " " + hundred + "8"});
    ADD_FAILURE() << "no error";
  } catch (const EParamListError& e) {
    EXPECT_EQ(std::string(e.what()), "Phone number '" + hundred + "8' is longer than 100 characters");
  }
  EXPECT_THROW(EncodePhones({" " + hundred}), EParamListError) << "a leading blank is part of the entry";
}

TEST(MdmAddress, PhonesDecodeTrimmed) {
  std::string s = EncodePhones({" 101\t", "x"});
  s[4 + 100 + 50] = '\x01';  // a control character after a number is trimmed too
  std::vector<std::string> phones{"old"};
  ASSERT_TRUE(DecodePhones(s, phones));
  EXPECT_EQ(phones, (std::vector<std::string>{"101", "x"}));

  std::string blank_entry = std::string("\x01\x00\x00\x00", 4) + std::string(100, ' ');
  ASSERT_TRUE(DecodePhones(blank_entry, phones));
  EXPECT_EQ(phones, (std::vector<std::string>{""}));

  std::string cyrillic = EncodePhones({"\xCE\xE1\xF9\xE8\xE9 101"});  // Windows-1251 letters stay
  ASSERT_TRUE(DecodePhones(cyrillic, phones));
  EXPECT_EQ(phones.front(), "\xCE\xE1\xF9\xE8\xE9 101");
}

TEST(MdmAddress, MalformedPhoneSectionsAreRejected) {
  std::vector<std::string> phones{"kept"};
  EXPECT_FALSE(DecodePhones("abc", phones));
  EXPECT_EQ(phones.size(), 1u) << "shorter than the count: list untouched";

  const std::string two = EncodePhones({"1", "2"});
  EXPECT_FALSE(DecodePhones(std::string_view(two).substr(0, 203), phones));
  EXPECT_TRUE(phones.empty());
  phones = {"kept"};
  EXPECT_FALSE(DecodePhones(two + " ", phones));
  EXPECT_TRUE(phones.empty());
  for (std::uint32_t count : {0xFFFFFFFFu, 0x80000000u, 0x40000001u /* 4 + 100 * n wraps to 104 */}) {
    std::string bad(104, ' ');
    std::memcpy(bad.data(), &count, 4);
    phones = {"kept"};
    EXPECT_FALSE(DecodePhones(bad, phones)) << count;
    EXPECT_TRUE(phones.empty());
  }
}

}  // namespace
}  // namespace kestrel::store
