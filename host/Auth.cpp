#include "host/Auth.h"

#include <string>
#include <string_view>

namespace kestrel::host {
namespace {

platform::THmac Mac(const TAuthInput& in, std::string_view label) {
  std::string data(label);
  for (int i = 0; i < 4; ++i)
    data.push_back(static_cast<char>((static_cast<std::uint32_t>(in.Caller) >> (8 * i)) & 0xFF));
  data.append(reinterpret_cast<const char*>(in.ClientNonce.data()), in.ClientNonce.size());
  data.append(reinterpret_cast<const char*>(in.ServerNonce.data()), in.ServerNonce.size());
  return platform::HmacSha256(in.Key, data);
}

static_assert(kProofBytes == platform::kHmacBytes && platform::kAeadKeyBytes == platform::kHmacBytes);

}  // namespace

TNonce FreshNonce() {
  TNonce nonce{};
  platform::RandomBytes(nonce);
  return nonce;
}

TProof ServerProof(const TAuthInput& in) { return Mac(in, "kestrel/4 server proof"); }
TProof ClientProof(const TAuthInput& in) { return Mac(in, "kestrel/4 client proof"); }

TSessionKeys SessionKeys(const TAuthInput& in) {
  return TSessionKeys{Mac(in, "kestrel/4 client to server"), Mac(in, "kestrel/4 server to client")};
}

bool ProofMatches(const TProof& got, const TProof& expected) { return platform::EqualInConstantTime(got, expected); }

}  // namespace kestrel::host
