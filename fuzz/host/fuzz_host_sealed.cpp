// The greeting and the sealed messages of a keyed session, with the
// authentication passed. The first byte chooses what the rest is:
//  - even: a frame from the line in a keyed session, opened by the server's
//    seal (nearly always refused: it would have to carry a valid tag);
//  - odd: the message a client of the right key sealed (so the tag is
//    right and the bytes reach the decoder), which the server must open to
//    exactly those bytes and decode to a message or to nothing.
// Whatever decodes, a greeting message among it, encodes back to the same
// bytes; the proofs of a decoded AUTH are computed as a server would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/Auth.h"
#include "host/Message.h"
#include "host/Seal.h"

namespace {

using namespace kestrel::host;

const TAuthInput kAuth{TPartyKey{0x4B, 0x65, 0x79}, 42, TNonce{1}, TNonce{2}};

void Decode(std::string_view bytes) {
  const auto msg = DecodeMessage(bytes);
  if (!msg) return;
  if (EncodeMessage(*msg) != bytes) std::abort();
  if (msg->Type == TMsgType::Auth || msg->Type == TMsgType::Proof) {
    const TAuthInput in{kAuth.Key, kAuth.Caller, msg->Nonce, kAuth.ServerNonce};
    if (ProofMatches(msg->Proof, ClientProof(in)) != (msg->Proof == ClientProof(in))) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  TSeal server(SessionKeys(kAuth), TSeal::TSide::Server);
  if ((data[0] & 1) == 0) {
    if (const auto opened = server.Open(rest)) Decode(*opened);
    return 0;
  }
  TSeal client(SessionKeys(kAuth), TSeal::TSide::Client);
  const auto opened = server.Open(client.Seal(rest));
  if (!opened || *opened != rest) std::abort();
  Decode(*opened);
  return 0;
}
