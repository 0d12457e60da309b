// Modem result words and their classes.
//
// ClassifyResponse is a pure parser of bytes from the modem: any input, of
// any length and content, gives one of the ten classes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::gate {

enum class TRespCode : std::uint8_t {
  rcNoResponse = 0, rcOK, rcConnect, rcRing, rcNoCarrier, rcError, rcNoDialtone, rcBusy, rcNoAnswer, rcOther
};

// A set of result classes: bit n stands for class n.
using TRespSet = std::uint16_t;
constexpr TRespSet RespBit(TRespCode c) { return static_cast<TRespSet>(1u << static_cast<unsigned>(c)); }
template <typename... C>
constexpr TRespSet RespSet(C... codes) { return static_cast<TRespSet>((RespBit(codes) | ... | 0u)); }
constexpr bool InRespSet(TRespSet set, TRespCode c) { return (set & RespBit(c)) != 0; }
static_assert(RespSet(TRespCode::rcOK, TRespCode::rcConnect, TRespCode::rcOther) == ((1u << 1) | (1u << 2) | (1u << 9)));
static_assert(InRespSet(RespSet(TRespCode::rcConnect), TRespCode::rcConnect) &&
              !InRespSet(RespSet(TRespCode::rcConnect), TRespCode::rcNoResponse) && RespSet() == 0);

struct TResp {
  TRespCode Code;
  std::string_view Word;
};

// The eight result words, in matching order: OK, CONNECT, RING, NO CARRIER,
// ERROR, NO DIALTONE, BUSY, NO ANSWER.
extern const TResp RespTable[8];

// Leading CR/LF are skipped; empty -> rcNoResponse; the first table word that
// the text begins with (ASCII case ignored) gives the class; else rcOther.
TRespCode ClassifyResponse(std::string_view text);

// The explanation text of a class (Windows-1251); values above 9 give the rcOther text.
std::string_view ResponseText(TRespCode code);
std::string_view ResponseText(int code);

}  // namespace kestrel::gate
