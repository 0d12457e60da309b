#include "sim/ResultCode.h"

#include <gtest/gtest.h>

#include "sim/DialString.h"

namespace kestrel::sim {
namespace {

TEST(ResultCode, VerboseResultsAreFramedByCrLf) {
  const TResultFormat v1{};
  EXPECT_EQ(FormatResult(TResultCode::kOk, 0, v1), "\r\nOK\r\n");
  EXPECT_EQ(FormatResult(TResultCode::kNoCarrier, 0, v1), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(FormatResult(TResultCode::kNoDialtone, 0, v1), "\r\nNO DIALTONE\r\n");
  EXPECT_EQ(FormatResult(TResultCode::kConnect, 33600, v1), "\r\nCONNECT 33600\r\n");
  TResultFormat x0 = v1;
  x0.rate_in_connect = false;
  EXPECT_EQ(FormatResult(TResultCode::kConnect, 33600, x0), "\r\nCONNECT\r\n");
}

TEST(ResultCode, NumericResultsAreCodeAndCr) {
  TResultFormat v0{};
  v0.verbose = false;
  const std::pair<TResultCode, const char*> cases[] = {
      {TResultCode::kOk, "0\r"},        {TResultCode::kRing, "2\r"},   {TResultCode::kNoCarrier, "3\r"},
      {TResultCode::kError, "4\r"},     {TResultCode::kNoDialtone, "6\r"}, {TResultCode::kBusy, "7\r"},
      {TResultCode::kNoAnswer, "8\r"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(FormatResult(code, 0, v0), text) << ResultWord(code);
  EXPECT_EQ(FormatResult(TResultCode::kConnect, 33600, v0), "84\r");
  EXPECT_EQ(FormatResult(TResultCode::kConnect, 2400, v0), "10\r");
  EXPECT_EQ(FormatResult(TResultCode::kConnect, 12345, v0), "1\r") << "a rate without a code of its own";
  v0.rate_in_connect = false;
  EXPECT_EQ(FormatResult(TResultCode::kConnect, 33600, v0), "1\r");
}

TEST(ResultCode, FramingUsesTheModemsLineCharacters) {
  TResultFormat f{};
  f.cr = '#';
  f.lf = '~';
  EXPECT_EQ(FormatResult(TResultCode::kOk, 0, f), "#~OK#~");
}

TEST(DialString, CollectsDigitsAndModifiers) {
  TDialPlan plan;
  ASSERT_TRUE(ParseDialString("T9,W8(812)555-01-02@", false, Seconds(2), plan));
  EXPECT_EQ(plan.number, "988125550102");
  EXPECT_FALSE(plan.pulse);
  EXPECT_EQ(plan.pause, Seconds(2));
  EXPECT_TRUE(plan.wait_dial_tone);
  EXPECT_TRUE(plan.quiet_answer);
  EXPECT_FALSE(plan.stay_in_command);
  EXPECT_EQ(plan.consumed, 20u);

  ASSERT_TRUE(ParseDialString("P12A3;H", false, Seconds(2), plan));
  EXPECT_TRUE(plan.pulse);
  EXPECT_EQ(plan.number, "123") << "a pulse dial cannot send the tone letters";
  EXPECT_TRUE(plan.stay_in_command);
  EXPECT_EQ(plan.consumed, 6u) << "the dial string ends after ';'";

  ASSERT_TRUE(ParseDialString("1!2/3,,", false, Seconds(3), plan));
  EXPECT_EQ(plan.pause, Millis(500) + Millis(125) + Seconds(6));
}

TEST(DialString, RejectsWhatNoDialStringHolds) {
  TDialPlan plan;
  EXPECT_FALSE(ParseDialString("12X", false, 0, plan));
  EXPECT_FALSE(ParseDialString("S=1", false, 0, plan));
  EXPECT_TRUE(ParseDialString("", false, 0, plan));
  EXPECT_TRUE(plan.number.empty());
}

TEST(DialString, NumbersCompareByTheirDialledCharacters) {
  EXPECT_EQ(NormaliseNumber("8 (812) 555-01-02"), "88125550102");
  EXPECT_EQ(NormaliseNumber("*70#ab"), "*70#AB");
  EXPECT_EQ(NormaliseNumber("ext. 12"), "12");
}

}  // namespace
}  // namespace kestrel::sim
