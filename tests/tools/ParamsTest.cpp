// Parameters as a person gives and reads them, and as the gate's lists hold them.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/kestrel/Params.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

TParamValue Scalar(const std::string& name, std::int32_t type, std::int32_t v) {
  TParamValue p;
  p.name = name;
  p.type = type;
  p.scalar = v;
  return p;
}

TParamValue Bytes(const std::string& name, std::int32_t type, const std::string& b) {
  TParamValue p;
  p.name = name;
  p.type = type;
  p.bytes = b;
  return p;
}

std::string Span(double seconds) {
  const double span = SecondsToTimeSpan(seconds);
  return std::string(reinterpret_cast<const char*>(&span), sizeof span);
}

TParams AddressLike() {
  return {Scalar("DialPhoneType", PARAM_ENUM, 0),
          Bytes("DataWaitTimeOut", PARAM_DATETIME, Span(60)),
          Scalar("RestoreConnTries", PARAM_INT32, 2),
          Scalar("ToShowProgress", PARAM_BOOL, 1),
          Bytes("UseComPorts", PARAM_TEXT, std::string(16, '0')),
          Bytes("PhonesList", PARAM_TEXT, "")};
}

TEST(Params, TimesAreSecondsMinutesOrHours) {
  double s = -1;
  EXPECT_TRUE(ParseSeconds("90", s));
  EXPECT_EQ(s, 90);
  EXPECT_TRUE(ParseSeconds("1:30", s));
  EXPECT_EQ(s, 90);
  EXPECT_TRUE(ParseSeconds("1:00:05", s));
  EXPECT_EQ(s, 3605);
  EXPECT_TRUE(ParseSeconds("0", s));
  EXPECT_EQ(s, 0);
  for (const char* bad : {"", "-5", "+5", "1:60", "1:2:3:4", "a", "1:", ":30", "1.5"})
    EXPECT_FALSE(ParseSeconds(bad, s)) << bad;
}

TEST(Params, ValuesAreReadByTheParametersType) {
  TParams p = AddressLike();
  SetParamFromText(p, "DialPhoneType", "1");
  SetParamFromText(p, "RestoreConnTries", "-1");
  SetParamFromText(p, "ToShowProgress", "no");
  SetParamFromText(p, "DataWaitTimeOut", "2:00");
  SetParamFromText(p, "PhonesList", " 101 ; 8-800-555 ,,202");
  EXPECT_EQ(FindParam(p, "DialPhoneType")->scalar, 1);
  EXPECT_EQ(FindParam(p, "RestoreConnTries")->scalar, -1);
  EXPECT_EQ(FindParam(p, "ToShowProgress")->scalar, 0);
  double span = 0;
  std::memcpy(&span, FindParam(p, "DataWaitTimeOut")->bytes.data(), sizeof span);
  EXPECT_DOUBLE_EQ(span, 120.0 / 86400);
  EXPECT_EQ(FindParam(p, "PhonesList")->bytes, "101\r\n8-800-555\r\n202");
  EXPECT_EQ(ParamValueText(*FindParam(p, "PhonesList")), "101; 8-800-555; 202");
  EXPECT_EQ(ParamValueText(*FindParam(p, "DataWaitTimeOut")), "0:02:00 (120 s)");
  EXPECT_EQ(ParamValueText(*FindParam(p, "DialPhoneType")), "1 (dtDialTone)");
}

TEST(Params, WrongValuesNameTheParameter) {
  TParams p = AddressLike();
  const std::pair<const char*, const char*> bad[] = {
      {"DialPhoneType", "256"},    {"DialPhoneType", "x"},          {"RestoreConnTries", "99999999999"},
      {"ToShowProgress", "maybe"}, {"DataWaitTimeOut", "24:00:00"}, {"DataWaitTimeOut", "soon"}};
  for (const auto& [name, value] : bad) {
    try {
      SetParamFromText(p, name, value);
      ADD_FAILURE() << name << "=" << value << " was taken";
    } catch (const EToolError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(name, 0), 0u) << e.what();
    }
  }
  try {
    SetParamFromText(p, "Dialphonetype", "1");
    FAIL() << "names are compared exactly";
  } catch (const EToolError& e) {
    EXPECT_NE(std::string(e.what()).find("known: DialPhoneType"), std::string::npos) << e.what();
  }
  EXPECT_THROW(SplitAssignment("novalue"), EToolError);
  EXPECT_THROW(SplitAssignment("=x"), EToolError);
  EXPECT_EQ(SplitAssignment("A=b=c").second, "b=c");
}

TEST(Params, PortsAsNumbersRangesOrNames) {
  EXPECT_EQ(PortFlags("1,3"), "1010000000000000");
  EXPECT_EQ(PortFlags("2-4, 16"), "0111000000000001");
  EXPECT_EQ(PortFlags("COM5"), "0000100000000000");
  EXPECT_EQ(PortFlags(""), std::string(16, '0'));
  for (const char* bad : {"0", "17", "4-2", "x", "1-", "-3"}) EXPECT_THROW(PortFlags(bad), EToolError) << bad;
  EXPECT_EQ(PortFlagsText("1010000000000001"), "COM1, COM3, COM16");
  EXPECT_EQ(PortFlagsText(std::string(16, '0')), "none");
}

TEST(Params, TextsAreWindows1251InTheList) {
  TParams p = {Bytes("Alias", PARAM_TEXT, "")};
  SetParamFromText(p, "Alias", "Главная");
  EXPECT_EQ(FindParam(p, "Alias")->bytes, "\xC3\xEB\xE0\xE2\xED\xE0\xFF");
  EXPECT_EQ(ParamValueText(*FindParam(p, "Alias")), "Главная");
}

TEST(Params, OwnedListReadsBackAsGiven) {
  const TParams given = AddressLike();
  TOwnedParamList list(given);
  ASSERT_EQ(list.Get()->Count, static_cast<std::int32_t>(given.size()));
  const TParamListItem* empty_text = list.Get()->Items[5];
  EXPECT_EQ(empty_text->Size, 0) << "an empty text has no memory";
  EXPECT_EQ(empty_text->Value, 0);
  EXPECT_EQ(list.Get()->Items[1]->Size, 8) << "a time span points to its 8 bytes";
  const TParams back = ReadParamList(list.Get());
  ASSERT_EQ(back.size(), given.size());
  for (std::size_t i = 0; i < given.size(); ++i) {
    EXPECT_EQ(back[i].name, given[i].name);
    EXPECT_EQ(back[i].type, given[i].type);
    EXPECT_EQ(back[i].scalar, given[i].scalar);
    EXPECT_EQ(back[i].bytes, given[i].bytes);
  }
}

TEST(Params, ItemsThatOwnNothingAreSkipped) {
  char name[] = "Good";
  TParamListItem good{name, PARAM_INT32, 5, 0};
  TParamListItem no_name{nullptr, PARAM_INT32, 5, 0};
  TParamListItem no_memory{name, PARAM_TEXT, 0, 4};
  TParamListItem negative{name, PARAM_TEXT, 0, -1};
  TParamListItem* items[] = {&good, nullptr, &no_name, &no_memory, &negative};
  TParamList list{5, 5, items};
  const TParams read = ReadParamList(&list);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].scalar, 5);
  EXPECT_TRUE(ReadParamList(nullptr).empty());
  TParamList broken{3, 3, nullptr};
  EXPECT_TRUE(ReadParamList(&broken).empty());
}

}  // namespace
}  // namespace kestrel::app
