// Result texts in both formats, dial strings and number matching.
#include "sim/ResultCode.h"

#include <gtest/gtest.h>

#include "sim/DialString.h"

namespace kestrel::sim {
namespace {

TEST(ResultCode, VerboseResultsAreFramedNumericOnesAreCodeAndCr) {
  using C = TResultCode;
  struct TCase {
    C code;
    std::uint32_t rate;
    bool verbose, rate_in_connect;
    const char* text;
  };
  const TCase cases[] = {
      {C::kOk, 0, true, true, "\r\nOK\r\n"},          {C::kNoCarrier, 0, true, true, "\r\nNO CARRIER\r\n"},
      {C::kNoDialtone, 0, true, true, "\r\nNO DIALTONE\r\n"},
      {C::kConnect, 33600, true, true, "\r\nCONNECT 33600\r\n"}, {C::kConnect, 33600, true, false, "\r\nCONNECT\r\n"},
      {C::kOk, 0, false, true, "0\r"},   {C::kRing, 0, false, true, "2\r"},   {C::kNoCarrier, 0, false, true, "3\r"},
      {C::kError, 0, false, true, "4\r"}, {C::kNoDialtone, 0, false, true, "6\r"}, {C::kBusy, 0, false, true, "7\r"},
      {C::kNoAnswer, 0, false, true, "8\r"}, {C::kConnect, 33600, false, true, "84\r"},
      {C::kConnect, 2400, false, true, "10\r"}, {C::kConnect, 12345, false, true, "1\r"},  // no code of its own
      {C::kConnect, 33600, false, false, "1\r"},
  };
  for (const TCase& c : cases) {
    TResultFormat f{};
    f.verbose = c.verbose;
    f.rate_in_connect = c.rate_in_connect;
    EXPECT_EQ(FormatResult(c.code, c.rate, f), c.text) << ResultWord(c.code) << " " << c.rate;
  }
  TResultFormat f{};
  f.cr = '#';
  f.lf = '~';
  EXPECT_EQ(FormatResult(TResultCode::kOk, 0, f), "#~OK#~") << "framing uses the modem's line characters";
}

TEST(DialString, CollectsDigitsAndModifiersAndRejectsWhatNoDialStringHolds) {
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
