// TSeal: how the messages of a keyed session travel. A sealed frame is
//
//   offset size  field
//   0      1     13, which no message type uses
//   1      8     u64 counter, little-endian
//   9      n     the message's bytes (host/Message.h), encrypted
//   9+n    16    the tag that authenticates the encryption and bytes 0..8
//
// with AES-256-GCM under the direction's key (host/Auth.h) and the nonce
// "four zero bytes, then the counter". Each direction has its own key and
// counts its frames from 1, so no nonce is used twice under a key. A frame is
// opened only when its counter is above the last one opened: a frame that the
// line repeats, or one replayed into the session, is refused like junk, and
// so is a frame changed on the way.
//
// Used by one session's thread, like the wire it belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/Auth.h"
#include "platform/Crypto.h"

namespace kestrel::host {

inline constexpr std::uint8_t kSealedFrame = 13;
inline constexpr std::size_t kSealedOverhead = 9 + platform::kAeadTagBytes;

class TSeal {
 public:
  enum class TSide { Client, Server };
  // Throws platform::ECryptoError when the system's library fails.
  TSeal(const TSessionKeys& keys, TSide side);

  // The sealed frame of a message's bytes.
  std::string Seal(std::string_view message);
  // The message's bytes of a sealed frame; nothing when `frame` is not a
  // sealed frame, does not open under the key, or is not newer than the last
  // one opened.
  std::optional<std::string> Open(std::string_view frame);

 private:
  platform::TAead send_;
  platform::TAead receive_;
  std::uint64_t sent_ = 0;
  std::uint64_t opened_ = 0;
};

}  // namespace kestrel::host
