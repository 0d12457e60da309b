// The cryptography backend on POSIX systems: OpenSSL's libcrypto.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <climits>

#include "platform/Check.h"
#include "platform/Crypto.h"

namespace kestrel::platform {
namespace {

const unsigned char* Bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

void Require(bool ok, const char* what) {
  if (!ok) throw ECryptoError(std::string("libcrypto: ") + what + " failed");
}

int Length(std::size_t n) {
  Require(n <= static_cast<std::size_t>(INT_MAX), "a length beyond INT_MAX");
  return static_cast<int>(n);
}

}  // namespace

void RandomBytes(std::span<std::uint8_t> out) {
  Require(RAND_bytes(out.data(), Length(out.size())) == 1, "RAND_bytes");
}

THmac HmacSha256(std::span<const std::uint8_t> key, std::string_view data) {
  THmac mac{};
  unsigned int length = 0;
  Require(
      HMAC(EVP_sha256(), key.data(), Length(key.size()), Bytes(data), data.size(), mac.data(), &length) != nullptr &&
          length == mac.size(),
      "HMAC");
  return mac;
}

bool EqualInConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

struct TAead::TState {
  TAeadKey Key{};
  EVP_CIPHER_CTX* Ctx = nullptr;
};

TAead::TAead(const TAeadKey& key) : state_(std::make_unique<TState>()) {
  state_->Key = key;
  state_->Ctx = EVP_CIPHER_CTX_new();
  Require(state_->Ctx != nullptr, "EVP_CIPHER_CTX_new");
}

TAead::~TAead() {
  EVP_CIPHER_CTX_free(state_->Ctx);
  OPENSSL_cleanse(state_->Key.data(), state_->Key.size());
}

void TAead::Seal(const TAeadNonce& nonce, std::string_view aad, std::string_view plain, std::string& out) {
  EVP_CIPHER_CTX* ctx = state_->Ctx;
  int n = 0;
  Require(EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, state_->Key.data(), nonce.data()) == 1,
          "EVP_EncryptInit_ex");
  Require(EVP_EncryptUpdate(ctx, nullptr, &n, Bytes(aad), Length(aad.size())) == 1, "EVP_EncryptUpdate");
  const std::size_t start = out.size();
  out.resize(start + plain.size() + kAeadTagBytes);
  auto* dest = reinterpret_cast<unsigned char*>(out.data() + start);
  Require(EVP_EncryptUpdate(ctx, dest, &n, Bytes(plain), Length(plain.size())) == 1, "EVP_EncryptUpdate");
  KESTREL_CHECK(static_cast<std::size_t>(n) == plain.size(), "GCM is a stream mode");
  Require(EVP_EncryptFinal_ex(ctx, dest + n, &n) == 1 && n == 0, "EVP_EncryptFinal_ex");
  Require(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kAeadTagBytes, dest + plain.size()) == 1,
          "EVP_CTRL_GCM_GET_TAG");
}

bool TAead::Open(const TAeadNonce& nonce, std::string_view aad, std::string_view sealed, std::string& out) {
  out.clear();
  if (sealed.size() < kAeadTagBytes) return false;
  const std::string_view body = sealed.substr(0, sealed.size() - kAeadTagBytes);
  std::array<unsigned char, kAeadTagBytes> tag{};
  sealed.copy(reinterpret_cast<char*>(tag.data()), tag.size(), body.size());
  EVP_CIPHER_CTX* ctx = state_->Ctx;
  int n = 0;
  Require(EVP_DecryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, state_->Key.data(), nonce.data()) == 1,
          "EVP_DecryptInit_ex");
  Require(EVP_DecryptUpdate(ctx, nullptr, &n, Bytes(aad), Length(aad.size())) == 1, "EVP_DecryptUpdate");
  out.resize(body.size());
  auto* dest = reinterpret_cast<unsigned char*>(out.data());
  Require(EVP_DecryptUpdate(ctx, dest, &n, Bytes(body), Length(body.size())) == 1, "EVP_DecryptUpdate");
  Require(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, kAeadTagBytes, tag.data()) == 1, "EVP_CTRL_GCM_SET_TAG");
  if (EVP_DecryptFinal_ex(ctx, dest + n, &n) != 1) {
    OPENSSL_cleanse(out.data(), out.size());
    out.clear();
    return false;
  }
  return true;
}

}  // namespace kestrel::platform
