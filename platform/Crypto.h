// The cryptography the protocol's keyed sessions use, from the system's own
// well-kept library: random bytes, HMAC-SHA-256 and AES-256-GCM. One backend
// per system, chosen by CMake: Crypto_openssl.cpp (libcrypto) on POSIX,
// Crypto_win32.cpp (CNG, bcrypt.dll) on Windows. Both compute the same
// functions, so gates on the two systems talk to each other.
//
// Thread-safe: the free functions may run on any thread at once; a TAead is
// used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrel::platform {

inline constexpr std::size_t kHmacBytes = 32;
inline constexpr std::size_t kAeadKeyBytes = 32;
inline constexpr std::size_t kAeadNonceBytes = 12;
inline constexpr std::size_t kAeadTagBytes = 16;

using THmac = std::array<std::uint8_t, kHmacBytes>;
using TAeadKey = std::array<std::uint8_t, kAeadKeyBytes>;
using TAeadNonce = std::array<std::uint8_t, kAeadNonceBytes>;

// The system's library failed (it could not be loaded, or ran out of memory).
class ECryptoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills `out` from the system's generator of cryptographic random bytes.
// Throws ECryptoError when it fails.
void RandomBytes(std::span<std::uint8_t> out);

// HMAC-SHA-256 of `data` under `key` (any length). Throws ECryptoError.
THmac HmacSha256(std::span<const std::uint8_t> key, std::string_view data);

// Whether two byte strings are equal, in a time that does not depend on
// where they differ.
bool EqualInConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// AES-256-GCM under one key.
class TAead {
 public:
  // Throws ECryptoError.
  explicit TAead(const TAeadKey& key);
  ~TAead();
  TAead(const TAead&) = delete;
  TAead& operator=(const TAead&) = delete;

  // Appends to `out` the encryption of `plain` and then the kAeadTagBytes
  // tag that authenticates it together with `aad`. A nonce must never be
  // used twice under one key. Throws ECryptoError.
  void Seal(const TAeadNonce& nonce, std::string_view aad, std::string_view plain, std::string& out);
  // The reverse: sets `out` to the plain text of `sealed` (encryption and
  // tag). False, with `out` cleared, when the tag does not authenticate
  // them under this key, nonce and `aad` (or `sealed` is shorter than a
  // tag). Throws ECryptoError only when the library fails.
  [[nodiscard]] bool Open(const TAeadNonce& nonce, std::string_view aad, std::string_view sealed, std::string& out);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace kestrel::platform
