// Modem answers: the table of result words, how a received text is
// classified, the explanation texts (Windows-1251) and result sets.
#include "gate/common/MdmResp.h"

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

TEST(MdmResp, ExplanationTextsAreExact) {
  const std::string_view other = "<>: нечто другое, скорее всего ошибка"_cp;
  const std::pair<TRespCode, std::string_view> cases[] = {
      {rcNoResponse, "<>: no response after timeout"},
      {rcOK, "<OK>: команда выполнена без ошибок"_cp},
      {rcConnect, "<CONNECT XXXX>: соединение с удаленным модемом"_cp},
      {rcRing, "<RING>: входящий звонок"_cp},
      {rcNoCarrier, "<NO CARRIER>: потеря несущей и обрыв связи"_cp},
      {rcError, "<ERROR>: неправильная команда или символ"_cp},
      {rcNoDialtone, "<NO DIALTONE>: нет гудка в линии"_cp},
      {rcBusy, "<BUSY>: сигнал \"занято\""_cp},
      {rcNoAnswer, "<NO ANSWER>: удаленный модем не отвечает"_cp},
      {rcOther, other},
      {static_cast<TRespCode>(200), other}};
  for (const auto& [code, text] : cases) EXPECT_EQ(ResponseText(code), text) << static_cast<int>(code);
  for (const int code : {10, 255, -1}) EXPECT_EQ(ResponseText(code), other) << code;
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
