#include "gate/MdmResp.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Cp1251.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;
using enum TRespCode;

TEST(MdmResp, TableHoldsTheWordsInMatchingOrder) {
  const std::pair<TRespCode, std::string_view> expected[] = {
      {rcOK, "OK"},       {rcConnect, "CONNECT"},         {rcRing, "RING"}, {rcNoCarrier, "NO CARRIER"},
      {rcError, "ERROR"}, {rcNoDialtone, "NO DIALTONE"}, {rcBusy, "BUSY"}, {rcNoAnswer, "NO ANSWER"}};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(RespTable[i].Code, expected[i].first) << i;
    EXPECT_EQ(RespTable[i].Word, expected[i].second) << i;
  }
}

TEST(MdmResp, EmptyOrLineBreaksOnlyIsNoResponse) {
  EXPECT_EQ(ClassifyResponse(""), rcNoResponse);
  EXPECT_EQ(ClassifyResponse("\r\n"), rcNoResponse);
  EXPECT_EQ(ClassifyResponse("\n\r\r\n\n"), rcNoResponse);
  EXPECT_EQ(ClassifyResponse(" "), rcOther) << "a blank is not a line break";
}

TEST(MdmResp, LeadingLineBreaksAreSkippedAndCaseIgnored) {
  EXPECT_EQ(ClassifyResponse("\r\nRING\r\n"), rcRing);
  EXPECT_EQ(ClassifyResponse("\n\n\rok"), rcOK);
  EXPECT_EQ(ClassifyResponse("Busy\r\n"), rcBusy);
  EXPECT_EQ(ClassifyResponse("no answer"), rcNoAnswer);
  EXPECT_EQ(ClassifyResponse("eRRor"), rcError);
  EXPECT_EQ(ClassifyResponse("\r\nCONNECT 33600/ARQ\r\n"), rcConnect);
  EXPECT_EQ(ClassifyResponse("OKAY"), rcOK) << "a word only has to start the text";
}

TEST(MdmResp, SimilarWordsAreToldApart) {
  EXPECT_EQ(ClassifyResponse("NO DIALTONE"), rcNoDialtone);
  EXPECT_EQ(ClassifyResponse("\r\nNO CARRIER\r\n"), rcNoCarrier);
  EXPECT_EQ(ClassifyResponse("NO ANSWER"), rcNoAnswer);
  EXPECT_EQ(ClassifyResponse("NO"), rcOther);
}

TEST(MdmResp, ShortOrForeignTextsAreOther) {
  EXPECT_EQ(ClassifyResponse("CONNEC"), rcOther) << "shorter than the word";
  EXPECT_EQ(ClassifyResponse("O"), rcOther);
  EXPECT_EQ(ClassifyResponse("ATE0V1S0=0\r\r\nOK\r\n"), rcOther) << "an echoed command line";
  EXPECT_EQ(ClassifyResponse(" OK"), rcOther);
  EXPECT_EQ(ClassifyResponse(std::string_view("\0OK", 3)), rcOther);
  EXPECT_EQ(ClassifyResponse("O\xCA"), rcOther) << "a Cyrillic K is not folded to K";
  EXPECT_EQ(ClassifyResponse("\xEE\xEA"), rcOther);
}

TEST(MdmResp, ExplanationTextsAreExact) {
  EXPECT_EQ(ResponseText(rcNoResponse), "<>: no response after timeout");
  EXPECT_EQ(ResponseText(rcOK), "<OK>: команда выполнена без ошибок"_cp);
  EXPECT_EQ(ResponseText(rcConnect), "<CONNECT XXXX>: соединение с удаленным модемом"_cp);
  EXPECT_EQ(ResponseText(rcRing), "<RING>: входящий звонок"_cp);
  EXPECT_EQ(ResponseText(rcNoCarrier), "<NO CARRIER>: потеря несущей и обрыв связи"_cp);
  EXPECT_EQ(ResponseText(rcError), "<ERROR>: неправильная команда или символ"_cp);
  EXPECT_EQ(ResponseText(rcNoDialtone), "<NO DIALTONE>: нет гудка в линии"_cp);
  EXPECT_EQ(ResponseText(rcBusy), std::string_view("<BUSY>: \xF1\xE8\xE3\xED\xE0\xEB \"\xE7\xE0\xED\xFF\xF2\xEE\""));
  EXPECT_EQ(ResponseText(rcNoAnswer), "<NO ANSWER>: удаленный модем не отвечает"_cp);
  EXPECT_EQ(ResponseText(rcOther), "<>: нечто другое, скорее всего ошибка"_cp);
  EXPECT_EQ(ResponseText(10), ResponseText(rcOther));
  EXPECT_EQ(ResponseText(255), ResponseText(rcOther));
  EXPECT_EQ(ResponseText(-1), ResponseText(rcOther));
  EXPECT_EQ(ResponseText(static_cast<TRespCode>(200)), ResponseText(rcOther));
}

TEST(MdmResp, ResultSetsUseOneBitPerClass) {
  constexpr TRespSet set = RespSet(rcOK, rcConnect, rcOther);
  static_assert(set == ((1u << 1) | (1u << 2) | (1u << 9)));
  EXPECT_TRUE(InRespSet(set, rcConnect));
  EXPECT_FALSE(InRespSet(set, rcNoResponse));
  EXPECT_EQ(RespSet(), 0);
}

}  // namespace
}  // namespace kestrel::gate
