// The messages of the framework's protocol: what a transmit process (client)
// and the exchange process serving a call (server) say to each other. Each
// message travels as one frame through TExchanger::Send / Receive; the line
// below already checks sums, suppresses repeats and resends, so this layer
// only has to survive a connection that breaks, a reply that comes twice, and
// bytes that are not a message at all.
//
// Format (all integers little-endian, no padding; every message is at least
// nine bytes, so it is never empty, which Receive uses to mean failure).
// Every message ends with a u32 CRC-32 (host/Crc32.h) of all its bytes before
// it; the fields below are those bytes.
//
//   offset size  field
//   0      1     type   1 HELLO, 2 WELCOME, 3 DATA, 4 ACK, 5 PING, 6 PONG, 7 BYE
//   1      4     seq    u32: the client numbers its requests 1, 2, 3 ... on each
//                       connection; a reply carries the seq of its request
//   then, by type:
//   HELLO   (client → server, first request of a connection)
//           u16 version (4), i32 sender IdCl (the sending core's client id),
//           u32 client id (identity of the transmit process, for the logs)
//   WELCOME (server → client, reply to HELLO)
//           u16 version (4), u32 keep-alive interval in ms that the server
//           wants while the line idles
//   DATA    (client → server) u16 count (1 .. kMaxParts), then that many
//           parts, each one fragment of a packet:
//           i32 ref.Number, i32 ref.Date, i32 ref.Time, u32 total size,
//           u32 offset of the fragment, u32 length, then `length` bytes (a
//           fragment of 0 bytes asks where the server stands, and carries a
//           whole packet of size 0). Small packets share a message; only
//           the last part may end inside its packet.
//   ACK     (server → client, reply to DATA) u16 count (1 .. kMaxParts), then
//           one answer per part of the request, in its order, for a prefix of
//           its parts: i32 ref.Number, i32 ref.Date, i32 ref.Time, u8 status,
//           u32 position
//           status 0 CONTINUE  send on from `position` (the bytes the server
//                              holds); the server handles no part after one
//                              that leaves its packet unfinished, so that
//                              packets reach the far core in their order
//                  1 DELIVERED the packet is in the far core (now or before)
//                  2 REFUSED   the far core did not take it
//                  3 REJECTED  the request was not acceptable (too large,
//                              inconsistent); the packet cannot be sent
//   REFUSE  (server → client, reply to HELLO, AUTH or PROOF) u8 reason
//           (TRefusal); the server ends the session after it
//   AUTH    (client → server, sent right behind HELLO) u8 keyed (0 or 1),
//           32 bytes: the client's fresh nonce
//   AUTHED  (server → client, reply to AUTH) u8 keyed, 32 bytes: the
//           server's fresh nonce, 32 bytes: the server's proof (zeros when
//           unkeyed)
//   PROOF   (client → server, keyed sessions) 32 bytes: the client's proof
//   ACCEPT  (server → client, reply to PROOF); no body
//   PING    (client → server) keep-alive while the line idles; no body
//   PONG    (server → client, reply to PING); no body
//   BYE     (client → server) the client hangs up; no body, no reply
//   then    u32 CRC-32 of everything above
//
// A message with a wrong CRC-32, an unknown type, a wrong length or a field out
// of range decodes to nothing; the receiver ignores it. HELLO and WELCOME keep
// their layout across versions, so two sides of different versions still
// understand each other's greeting and part with a clear word.
//
// The proofs and the sealing of a keyed session are in host/Auth.h and
// host/Seal.h; once a keyed session is accepted, every message travels sealed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::host {

enum class TMsgType : std::uint8_t {
  Hello = 1,
  Welcome = 2,
  Data = 3,
  Ack = 4,
  Ping = 5,
  Pong = 6,
  Bye = 7,
  Refuse = 8,
  Auth = 9,
  Authed = 10,
  Proof = 11,
  Accept = 12,
};
enum class TAckStatus : std::uint8_t { Continue = 0, Delivered = 1, Refused = 2, Rejected = 3 };

// Why a server refused a session.
enum class TRefusal : std::uint8_t {
  UnknownCaller = 1,  // the caller's client id is not a known party's
  NoKeyOffered = 2,   // a key is shared with the caller, who offered none
  NoKeyShared = 3,    // the caller offered a key, and none is shared with it
  WrongKey = 4,       // the caller's proof does not match the shared key
  OldVersion = 5,     // the caller speaks version 3, which cannot prove a key
};
// The reason's words, for logs and the core: "unknown caller", ...
const char* RefusalText(TRefusal reason);

// Version 4 authenticates keyed parties and seals their sessions; version 3
// (small packets sharing a message) is the one before it. A server serves a
// version 3 caller as an unkeyed one when the core admits it unkeyed; a
// peer of any other version is refused at the greeting.
inline constexpr std::uint16_t kProtocolVersion = 4;
inline constexpr std::uint16_t kUnkeyedVersion = 3;
// The size of a nonce and of a proof in AUTH, AUTHED and PROOF.
inline constexpr std::size_t kNonceBytes = 32;
inline constexpr std::size_t kProofBytes = 32;
using TNonce = std::array<std::uint8_t, kNonceBytes>;
using TProof = std::array<std::uint8_t, kProofBytes>;
// The most parts a DATA message (and answers an ACK) carries.
inline constexpr std::size_t kMaxParts = 256;
// The bytes a part adds to a DATA message besides its fragment.
inline constexpr std::uint32_t kPartHeaderBytes = 24;

bool SameRef(const TRefPack& a, const TRefPack& b);

// One fragment of a packet in a DATA message.
struct TPart {
  TRefPack Ref{};
  std::uint32_t Total = 0;
  std::uint32_t Offset = 0;
  std::string_view Payload;  // a view into the message's bytes (or the packet's)
};

// The server's answer to one part.
struct TAnswer {
  TRefPack Ref{};
  TAckStatus Status = TAckStatus::Continue;
  std::uint32_t Position = 0;
};

// One decoded message. Only the fields of its type are meaningful.
struct TMessage {
  TMsgType Type = TMsgType::Ping;
  std::uint32_t Seq = 0;
  std::uint16_t Version = 0;                  // HELLO, WELCOME
  std::int32_t SenderIdCl = 0;                // HELLO
  std::uint32_t ClientId = 0;                 // HELLO
  std::uint32_t KeepAliveMs = 0;              // WELCOME
  TRefusal Reason = TRefusal::UnknownCaller;  // REFUSE
  bool Keyed = false;                         // AUTH, AUTHED
  TNonce Nonce{};                             // AUTH, AUTHED
  TProof Proof{};                             // AUTHED, PROOF
  std::vector<TPart> Parts;                   // DATA
  std::vector<TAnswer> Answers;               // ACK
};

// The bytes of a message. For DATA, each part's Payload is copied as given.
// A check stops the process for a DATA or ACK message without parts or with
// more than kMaxParts.
std::string EncodeMessage(const TMessage& msg);

// The message in `bytes`, or nothing when they are not a well-formed message.
// DATA's Payloads view `bytes`, which must outlive them. Never throws (but
// for an allocation).
std::optional<TMessage> DecodeMessage(std::string_view bytes);

// Shorthands for building messages.
TMessage MakeHello(std::uint32_t seq, std::int32_t sender_id_cl, std::uint32_t client_id);
TMessage MakeWelcome(std::uint32_t seq, std::uint32_t keep_alive_ms);
TMessage MakeData(std::uint32_t seq, std::vector<TPart> parts);
TMessage MakeAck(std::uint32_t seq, std::vector<TAnswer> answers);
TMessage MakeRefuse(std::uint32_t seq, TRefusal reason);
TMessage MakeAuth(std::uint32_t seq, bool keyed, const TNonce& nonce);
TMessage MakeAuthed(std::uint32_t seq, bool keyed, const TNonce& nonce, const TProof& proof);
TMessage MakeProof(std::uint32_t seq, const TProof& proof);
TMessage MakeBare(TMsgType type, std::uint32_t seq);  // PING, PONG, BYE, ACCEPT

}  // namespace kestrel::host
