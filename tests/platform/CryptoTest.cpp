// The system's cryptography against published answers: the same vectors
// run on every backend, so gates on two systems compute the same functions.
#include "platform/Crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace kestrel::platform;

std::string Unhex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string hex;
  for (const std::uint8_t b : bytes) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
  return hex;
}

template <std::size_t N>
std::array<std::uint8_t, N> Array(std::string_view hex) {
  const std::string bytes = Unhex(hex);
  std::array<std::uint8_t, N> out{};
  EXPECT_EQ(bytes.size(), N);
  std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
  return out;
}

TEST(Crypto, HmacSha256AnswersRfc4231) {
  // Test cases 1, 2 and 6 (a key longer than the hash's 64-byte block).
  EXPECT_EQ(Hex(HmacSha256(std::vector<std::uint8_t>(20, 0x0b), "Hi There")),
            "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
  EXPECT_EQ(Hex(HmacSha256(Bytes("Jefe"), "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(Hex(HmacSha256(std::vector<std::uint8_t>(131, 0xaa),
                           "Test Using Larger Than Block-Size Key - Hash Key First")),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(Crypto, EqualInConstantTimeComparesWholeStrings) {
  EXPECT_TRUE(EqualInConstantTime(Bytes("abc"), Bytes("abc")));
  EXPECT_FALSE(EqualInConstantTime(Bytes("abc"), Bytes("abd")));
  EXPECT_FALSE(EqualInConstantTime(Bytes("abc"), Bytes("ab")));
}

// The GCM paper's (McGrew, Viega; NIST's GCM document) test case 16: a
// 256-bit key, a 96-bit nonce, AAD and a plain text that is not whole blocks.
const std::string kKey16 = "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308";
const std::string kNonce16 = "cafebabefacedbaddecaf888";
const std::string kAad16 = Unhex("feedfacedeadbeeffeedfacedeadbeefabaddad2");
const std::string kPlain16 = Unhex(
    "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
    "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b39");
// The encryption, then the tag.
const std::string kSealed16 = Unhex(
    "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
    "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662"
    "76fc6ece0f4e1768cddf8853bb2d551b");

TEST(Crypto, AeadAnswersGcmVectorsBothWays) {
  TAead aead(Array<kAeadKeyBytes>(kKey16));
  const TAeadNonce nonce = Array<kAeadNonceBytes>(kNonce16);
  std::string out = "kept";
  aead.Seal(nonce, kAad16, kPlain16, out);
  EXPECT_EQ(out, "kept" + kSealed16);
  EXPECT_TRUE(aead.Open(nonce, kAad16, kSealed16, out));
  EXPECT_EQ(out, kPlain16);

  // Test case 13: all-zero key and nonce, nothing to encrypt, only a tag.
  TAead zero(TAeadKey{});
  std::string tag;
  zero.Seal(TAeadNonce{}, "", "", tag);
  EXPECT_EQ(tag, Unhex("530f8afbc74536b9a963b4f1c4cb738b"));
  EXPECT_TRUE(zero.Open(TAeadNonce{}, "", tag, out));
  EXPECT_EQ(out, "");
}

TEST(Crypto, AeadOpenRefusesWhatTheTagDoesNotAuthenticate) {
  TAead aead(Array<kAeadKeyBytes>(kKey16));
  const TAeadNonce nonce = Array<kAeadNonceBytes>(kNonce16);
  std::string flipped_body = kSealed16, flipped_tag = kSealed16;
  flipped_body[7] ^= 0x01;
  flipped_tag[kSealed16.size() - 1] ^= 0x80;
  std::string out = "stale";
  EXPECT_FALSE(aead.Open(nonce, kAad16, flipped_body, out));
  EXPECT_EQ(out, "");
  out = "stale";
  EXPECT_FALSE(aead.Open(nonce, kAad16, flipped_tag, out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(aead.Open(nonce, kAad16.substr(1), kSealed16, out));
  EXPECT_FALSE(aead.Open(nonce, kAad16, kSealed16.substr(kSealed16.size() - kAeadTagBytes + 1), out));
  // The same key still opens what is whole.
  EXPECT_TRUE(aead.Open(nonce, kAad16, kSealed16, out));
}

TEST(Crypto, RandomBytesDrawsDiffer) {
  std::array<std::uint8_t, 32> a{}, b{};
  RandomBytes(a);
  RandomBytes(b);
  EXPECT_NE(a, b);
  EXPECT_NE(a, decltype(a){});
}

}  // namespace
