// Parameters as a person gives and reads them, and as the gate's lists hold them.
#include <cstring>

#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Params.h"

namespace kestrel::app {
namespace {

using namespace testing;

std::string Span(double seconds) {
  const double span = SecondsToTimeSpan(seconds);
  return std::string(reinterpret_cast<const char*>(&span), sizeof span);
}

TParams AddressLike() {
  return {{"DialPhoneType", PARAM_ENUM, 0, ""},        {"DataWaitTimeOut", PARAM_DATETIME, 0, Span(60)},
          {"RestoreConnTries", PARAM_INT32, 2, ""},    {"ToShowProgress", PARAM_BOOL, 1, ""},
          {"UseComPorts", PARAM_TEXT, 0, std::string(16, '0')}, {"PhonesList", PARAM_TEXT, 0, ""}};
}

TEST(Params, TimesAreSecondsMinutesOrHours) {
  for (const auto& [text, expected] : {std::pair{"90", 90}, {"1:30", 90}, {"1:00:05", 3605}, {"0", 0}}) {
    double s = -1;
    EXPECT_TRUE(ParseSeconds(text, s)) << text;
    EXPECT_EQ(s, expected) << text;
  }
  double s = 0;
  for (const char* bad : {"", "-5", "+5", "1:60", "1:2:3:4", "a", "1:", ":30", "1.5"})
    EXPECT_FALSE(ParseSeconds(bad, s)) << bad;
}

TEST(Params, ValuesAreReadAndShownByTheParametersType) {
  TParams p = AddressLike();
  p.push_back({"Alias", PARAM_TEXT, 0, ""});
  for (const auto& [name, text] : {std::pair{"DialPhoneType", "1"}, {"RestoreConnTries", "-1"},
                                   {"ToShowProgress", "no"}, {"DataWaitTimeOut", "2:00"},
                                   {"PhonesList", " 101 ; 8-800-555 ,,202"}, {"Alias", "Главная"}})
    SetParamFromText(p, name, text);
  EXPECT_EQ(FindParam(p, "DialPhoneType")->scalar, 1);
  EXPECT_EQ(FindParam(p, "RestoreConnTries")->scalar, -1);
  EXPECT_EQ(FindParam(p, "ToShowProgress")->scalar, 0);
  double span = 0;
  std::memcpy(&span, FindParam(p, "DataWaitTimeOut")->bytes.data(), sizeof span);
  EXPECT_DOUBLE_EQ(span, 120.0 / 86400);
  EXPECT_EQ(FindParam(p, "PhonesList")->bytes, "101\r\n8-800-555\r\n202");
  EXPECT_EQ(FindParam(p, "Alias")->bytes, "\xC3\xEB\xE0\xE2\xED\xE0\xFF") << "texts are Windows-1251 in the list";
  std::vector<std::string> shown;
  for (const char* name : {"PhonesList", "DataWaitTimeOut", "DialPhoneType", "Alias"})
    shown.push_back(ParamValueText(*FindParam(p, name)));
  EXPECT_THAT(shown, ElementsAre("101; 8-800-555; 202", "0:02:00 (120 s)", "1 (dtDialTone)", "Главная"));
}

TEST(Params, WrongValuesNameTheParameter) {
  TParams p = AddressLike();
  const std::pair<const char*, const char*> bad[] = {
      {"DialPhoneType", "256"},    {"DialPhoneType", "x"},          {"RestoreConnTries", "99999999999"},
      {"ToShowProgress", "maybe"}, {"DataWaitTimeOut", "24:00:00"}, {"DataWaitTimeOut", "soon"}};
  for (const auto& [name, value] : bad)
    EXPECT_THAT(ErrorOf([&p, name = name, value = value] { SetParamFromText(p, name, value); }), StartsWith(name))
        << value;
  EXPECT_THAT(ErrorOf([&] { SetParamFromText(p, "Dialphonetype", "1"); }), HasSubstr("known: DialPhoneType"))
      << "names are compared exactly";
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

// A list a gate hands back is read item by item; what owns nothing is skipped.
// (A list made and read back as a whole is the program's test: every address
// it stores crosses the gate this way.)
TEST(Params, ItemsThatOwnNothingAreSkipped) {
  char name[] = "Good";
  TParamListItem good{name, PARAM_INT32, 5, 0};
  TParamListItem no_name{nullptr, PARAM_INT32, 5, 0};
  TParamListItem no_memory{name, PARAM_TEXT, 0, 4};
  TParamListItem negative{name, PARAM_TEXT, 0, -1};
  TParamListItem* items[] = {&good, nullptr, &no_name, &no_memory, &negative};
  TParamList partly{5, 5, items};
  const TParams read = ReadParamList(&partly);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].scalar, 5);
  EXPECT_TRUE(ReadParamList(nullptr).empty());
  TParamList broken{3, 3, nullptr};
  EXPECT_TRUE(ReadParamList(&broken).empty());
}

}  // namespace
}  // namespace kestrel::app
