#include "host/Seal.h"

namespace kestrel::host {
namespace {

constexpr std::size_t kHeader = 9;

platform::TAeadNonce NonceOf(std::uint64_t counter) {
  platform::TAeadNonce nonce{};
  for (int i = 0; i < 8; ++i) nonce[4 + i] = static_cast<std::uint8_t>(counter >> (8 * i));
  return nonce;
}

}  // namespace

TSeal::TSeal(const TSessionKeys& keys, TSide side)
    : send_(side == TSide::Client ? keys.ClientToServer : keys.ServerToClient),
      receive_(side == TSide::Client ? keys.ServerToClient : keys.ClientToServer) {}

std::string TSeal::Seal(std::string_view message) {
  const std::uint64_t counter = ++sent_;
  std::string header(1, static_cast<char>(kSealedFrame));
  for (int i = 0; i < 8; ++i) header.push_back(static_cast<char>((counter >> (8 * i)) & 0xFF));
  std::string frame;
  frame.reserve(kSealedOverhead + message.size());
  frame = header;
  send_.Seal(NonceOf(counter), header, message, frame);
  return frame;
}

std::optional<std::string> TSeal::Open(std::string_view frame) {
  if (frame.size() < kSealedOverhead || static_cast<std::uint8_t>(frame[0]) != kSealedFrame) return std::nullopt;
  std::uint64_t counter = 0;
  for (int i = 0; i < 8; ++i) counter |= std::uint64_t{static_cast<std::uint8_t>(frame[1 + i])} << (8 * i);
  if (counter <= opened_) return std::nullopt;
  std::string message;
  if (!receive_.Open(NonceOf(counter), frame.substr(0, kHeader), frame.substr(kHeader), message)) return std::nullopt;
  opened_ = counter;
  return message;
}

}  // namespace kestrel::host
