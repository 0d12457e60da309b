// The proofs and keys of a keyed session. Two parties that share a secret
// key (HERON_KEY_SIZE bytes, exchanged by their operators) prove to each
// other that they hold it, and derive the keys that seal the session:
//
//   client → server  HELLO, AUTH(keyed, Nc)       Nc, Ns: fresh random nonces
//   server → client  WELCOME, AUTHED(keyed, Ns, ServerProof)
//   client → server  PROOF(ClientProof)
//   server → client  ACCEPT; from here on every message is sealed
//
//   ServerProof = HMAC-SHA-256(K, "kestrel/4 server proof" | caller | Nc | Ns)
//   ClientProof = HMAC-SHA-256(K, "kestrel/4 client proof" | caller | Nc | Ns)
//   sealing keys: HMAC-SHA-256(K, "kestrel/4 client to server" | ...) and
//                 HMAC-SHA-256(K, "kestrel/4 server to client" | ...)
//
// where caller is the caller's client id (i32, little-endian) as its HELLO
// claims it. Each side's proof covers the other side's fresh nonce, so a
// recording of an earlier session proves nothing; the labels keep a proof
// of one role from passing for the other's; the claimed client id is bound
// in, so a proof made for one party's id does not pass for another's. An
// HMAC over a shared key needs no certificates or key pairs, which two
// operators who already exchange a phone number and a client id can handle
// the same way, and CNG and libcrypto both provide it.
#pragma once

#include <array>
#include <cstdint>

#include "host/Message.h"
#include "platform/Crypto.h"

namespace kestrel::host {

inline constexpr std::size_t kPartyKeyBytes = 32;
using TPartyKey = std::array<std::uint8_t, kPartyKeyBytes>;

// What the two sides' greeting messages fixed: the key and the values both
// proofs and the sealing keys depend on.
struct TAuthInput {
  TPartyKey Key{};
  std::int32_t Caller = 0;
  TNonce ClientNonce{};
  TNonce ServerNonce{};
};

struct TSessionKeys {
  platform::TAeadKey ClientToServer{};
  platform::TAeadKey ServerToClient{};
};

// A fresh random nonce. Throws platform::ECryptoError.
TNonce FreshNonce();
TProof ServerProof(const TAuthInput& in);
TProof ClientProof(const TAuthInput& in);
TSessionKeys SessionKeys(const TAuthInput& in);
// Whether `got` is `expected`, compared in constant time.
bool ProofMatches(const TProof& got, const TProof& expected);

}  // namespace kestrel::host
