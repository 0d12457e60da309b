// Modem answers: how a received text is classified, and the explanation of a
// class that is none. (The result sets are checked by static_asserts in
// MdmResp.h; an explanation text where the modem driver quotes it.)
#include "gate/common/MdmResp.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Cp1251.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;
using enum TRespCode;

TEST(MdmResp, ClassificationSkipsLeadingLineBreaksIgnoresCaseAndNeedsTheWholeWord) {
  const std::pair<std::string_view, TRespCode> cases[] = {
      // empty or line breaks only; a blank is not a line break
      {"", rcNoResponse}, {"\r\n", rcNoResponse}, {"\n\r\r\n\n", rcNoResponse}, {" ", rcOther},
      {"\r\nRING\r\n", rcRing}, {"\n\n\rok", rcOK}, {"Busy\r\n", rcBusy}, {"no answer", rcNoAnswer},
      {"eRRor", rcError}, {"\r\nCONNECT 33600/ARQ\r\n", rcConnect},
      {"OKAY", rcOK},  // a word only has to start the text
      {"NO DIALTONE", rcNoDialtone}, {"\r\nNO CARRIER\r\n", rcNoCarrier}, {"NO ANSWER", rcNoAnswer}, {"NO", rcOther},
      {"CONNEC", rcOther}, {"O", rcOther},  // shorter than the word
      {"ATE0V1S0=0\r\r\nOK\r\n", rcOther},  // an echoed command line
      {" OK", rcOther}, {std::string_view("\0OK", 3), rcOther},
      {"OК"_cp, rcOther}, {"ок"_cp, rcOther}};  // Cyrillic letters are not folded to Latin ones
  for (const auto& [text, code] : cases) EXPECT_EQ(ClassifyResponse(text), code) << ::testing::PrintToString(text);
}

TEST(MdmResp, ClassesBeyondTheTableAreExplainedAsOther) {
  for (const int code : {10, 200, 255, -1}) EXPECT_EQ(ResponseText(code), ResponseText(rcOther)) << code;
  EXPECT_EQ(ResponseText(static_cast<TRespCode>(200)), ResponseText(rcOther));
  EXPECT_NE(ResponseText(rcBusy), ResponseText(rcOther));
}

}  // namespace
}  // namespace kestrel::gate
