#include "gate/common/MdmResp.h"

#include "platform/Cp1251.h"

namespace kestrel::gate {

using namespace kestrel::literals;

const TResp RespTable[8] = {
    {TRespCode::rcOK, "OK"},
    {TRespCode::rcConnect, "CONNECT"},
    {TRespCode::rcRing, "RING"},
    {TRespCode::rcNoCarrier, "NO CARRIER"},
    {TRespCode::rcError, "ERROR"},
    {TRespCode::rcNoDialtone, "NO DIALTONE"},
    {TRespCode::rcBusy, "BUSY"},
    {TRespCode::rcNoAnswer, "NO ANSWER"},
};

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Only ASCII letters fold: a Windows-1251 letter never equals a result word.
bool StartsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (AsciiUpper(text[i]) != AsciiUpper(word[i])) return false;
  return true;
}

constexpr std::string_view kResponseTexts[10] = {
    "<>: no response after timeout",
    "<OK>: команда выполнена без ошибок"_cp,
    "<CONNECT XXXX>: соединение с удаленным модемом"_cp,
    "<RING>: входящий звонок"_cp,
    "<NO CARRIER>: потеря несущей и обрыв связи"_cp,
    "<ERROR>: неправильная команда или символ"_cp,
    "<NO DIALTONE>: нет гудка в линии"_cp,
    "<BUSY>: сигнал \"занято\""_cp,
    "<NO ANSWER>: удаленный модем не отвечает"_cp,
    "<>: нечто другое, скорее всего ошибка"_cp,
};

}  // namespace

TRespCode ClassifyResponse(std::string_view text) {
  const std::size_t start = text.find_first_not_of("\r\n");
  if (start == std::string_view::npos) return TRespCode::rcNoResponse;
  text.remove_prefix(start);
  for (const TResp& resp : RespTable)
    if (StartsWithNoCase(text, resp.Word)) return resp.Code;
  return TRespCode::rcOther;
}

std::string_view ResponseText(TRespCode code) { return ResponseText(static_cast<int>(code)); }

std::string_view ResponseText(int code) {
  if (code < 0 || code > 9) code = static_cast<int>(TRespCode::rcOther);
  return kResponseTexts[code];
}

}  // namespace kestrel::gate
