#include "tools/host/PartyKey.h"

#include "platform/Crypto.h"

namespace kestrel::app {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TPartyKey NewPartyKey() {
  TPartyKey key{};
  platform::RandomBytes(key);
  return key;
}

std::string PartyKeyText(const TPartyKey& key) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t b : key) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::optional<TPartyKey> PartyKeyFromText(std::string_view text) {
  if (text.size() != 2 * kPartyKeyBytes) return std::nullopt;
  TPartyKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    key[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return key;
}

}  // namespace kestrel::app
