// The secret key a party shares with this side: 32 random bytes, made on one
// side (NewPartyKey), handed to the far side out of band as 64 hex digits
// (PartyKeyText) and entered there (PartyKeyFromText).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::app {

inline constexpr std::size_t kPartyKeyBytes = 32;
using TPartyKey = std::array<std::uint8_t, kPartyKeyBytes>;

// A fresh key from the system's generator of cryptographic random bytes.
// Throws platform::ECryptoError when the generator fails.
TPartyKey NewPartyKey();

// The key as 64 lower-case hex digits.
std::string PartyKeyText(const TPartyKey& key);

// The key of exactly 64 hex digits (either case, nothing else); nullopt for
// any other text.
std::optional<TPartyKey> PartyKeyFromText(std::string_view text);

}  // namespace kestrel::app
