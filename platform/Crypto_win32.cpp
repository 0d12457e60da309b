// The cryptography backend on Windows: CNG (bcrypt.dll), part of the system
// since Windows 7 in the form used here. The two algorithm providers are
// opened once per load of the library and shared by every thread, as CNG
// allows; a hash object belongs to one call, a key object to one TAead.
#include <windows.h>

#include <bcrypt.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "platform/Check.h"
#include "platform/Crypto.h"
#include "platform/ModuleEntry.h"
#include "platform/ScopeExit.h"

namespace kestrel::platform {
namespace {

// BCryptDecrypt's answer when the tag does not authenticate; MinGW's
// ntstatus.h does not have it.
constexpr NTSTATUS kStatusAuthTagMismatch = static_cast<NTSTATUS>(0xC000A002);

void Require(NTSTATUS status, const char* what) {
  if (BCRYPT_SUCCESS(status)) return;
  char text[96];
  std::snprintf(text, sizeof text, "CNG: %s failed with NTSTATUS 0x%08lX", what, static_cast<unsigned long>(status));
  throw ECryptoError(text);
}

ULONG Length(std::size_t n) {
  if (n > ULONG_MAX) throw ECryptoError("CNG: a length beyond ULONG_MAX");
  return static_cast<ULONG>(n);
}

// CNG takes its inputs through non-const pointers; it does not write them.
PUCHAR Bytes(const void* p) { return static_cast<PUCHAR>(const_cast<void*>(p)); }

class TProvider {
 public:
  TProvider(LPCWSTR algorithm, ULONG flags) {
    Require(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, flags), "BCryptOpenAlgorithmProvider");
  }
  ~TProvider() { BCryptCloseAlgorithmProvider(handle_, 0); }
  TProvider(const TProvider&) = delete;
  TProvider& operator=(const TProvider&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

struct TProviders {
  TProvider Hmac{BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG};
  TProvider AesGcm{BCRYPT_AES_ALGORITHM, 0};
  TProviders() {
    Require(BCryptSetProperty(AesGcm.Get(), BCRYPT_CHAINING_MODE, Bytes(BCRYPT_CHAIN_MODE_GCM),
                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0),
            "BCryptSetProperty(ChainingModeGCM)");
  }
};

// Opened on first use (again on the next call, should that fail). At process
// exit bcrypt.dll may be gone before this library, so the handles are then
// left to the system.
const TProviders& Providers() {
  static const TProcessStatic<TProviders> providers;
  return *providers;
}

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO AuthInfo(const TAeadNonce& nonce, std::string_view aad, PUCHAR tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = Bytes(nonce.data());
  info.cbNonce = Length(nonce.size());
  info.pbAuthData = Bytes(aad.data());
  info.cbAuthData = Length(aad.size());
  info.pbTag = tag;
  info.cbTag = kAeadTagBytes;
  return info;
}

}  // namespace

void RandomBytes(std::span<std::uint8_t> out) {
  Require(BCryptGenRandom(nullptr, out.data(), Length(out.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
          "BCryptGenRandom");
}

THmac HmacSha256(std::span<const std::uint8_t> key, std::string_view data) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  Require(BCryptCreateHash(Providers().Hmac.Get(), &hash, nullptr, 0, Bytes(key.data()), Length(key.size()), 0),
          "BCryptCreateHash");
  const TScopeExit destroy([&] { BCryptDestroyHash(hash); });
  Require(BCryptHashData(hash, Bytes(data.data()), Length(data.size()), 0), "BCryptHashData");
  THmac mac{};
  Require(BCryptFinishHash(hash, mac.data(), mac.size(), 0), "BCryptFinishHash");
  return mac;
}

bool EqualInConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.size() != b.size()) return false;
  std::uint8_t difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

// The key object (the expanded key) lies in memory of ours, so that it is
// zeroed when the key goes.
struct TAead::TState {
  std::vector<UCHAR> KeyObject;
  BCRYPT_KEY_HANDLE Key = nullptr;
  ~TState() {
    if (Key != nullptr) BCryptDestroyKey(Key);
    SecureZeroMemory(KeyObject.data(), KeyObject.size());
  }
};

TAead::TAead(const TAeadKey& key) : state_(std::make_unique<TState>()) {
  const BCRYPT_ALG_HANDLE aes = Providers().AesGcm.Get();
  DWORD size = 0;
  ULONG written = 0;
  Require(BCryptGetProperty(aes, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size, &written, 0),
          "BCryptGetProperty(ObjectLength)");
  state_->KeyObject.resize(size);
  Require(BCryptGenerateSymmetricKey(aes, &state_->Key, state_->KeyObject.data(), size, Bytes(key.data()),
                                     Length(key.size()), 0),
          "BCryptGenerateSymmetricKey");
}

TAead::~TAead() = default;

void TAead::Seal(const TAeadNonce& nonce, std::string_view aad, std::string_view plain, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + plain.size() + kAeadTagBytes);
  auto* dest = reinterpret_cast<PUCHAR>(out.data() + start);
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = AuthInfo(nonce, aad, dest + plain.size());
  ULONG written = 0;
  const NTSTATUS status = BCryptEncrypt(state_->Key, Bytes(plain.data()), Length(plain.size()), &info, nullptr, 0,
                                        dest, Length(plain.size()), &written, 0);
  if (!BCRYPT_SUCCESS(status)) out.resize(start);
  Require(status, "BCryptEncrypt");
  KESTREL_CHECK(written == plain.size(), "GCM is a stream mode");
}

bool TAead::Open(const TAeadNonce& nonce, std::string_view aad, std::string_view sealed, std::string& out) {
  out.clear();
  if (sealed.size() < kAeadTagBytes) return false;
  const std::size_t length = sealed.size() - kAeadTagBytes;
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = AuthInfo(nonce, aad, Bytes(sealed.data() + length));
  out.resize(length);
  ULONG written = 0;
  const NTSTATUS status = BCryptDecrypt(state_->Key, Bytes(sealed.data()), Length(length), &info, nullptr, 0,
                                        reinterpret_cast<PUCHAR>(out.data()), Length(length), &written, 0);
  if (!BCRYPT_SUCCESS(status)) {
    SecureZeroMemory(out.data(), out.size());
    out.clear();
    if (status == kStatusAuthTagMismatch) return false;
    Require(status, "BCryptDecrypt");
  }
  KESTREL_CHECK(written == length, "GCM is a stream mode");
  return true;
}

}  // namespace kestrel::platform
