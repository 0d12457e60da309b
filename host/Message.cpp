#include "host/Message.h"

#include "host/Crc32.h"
#include "platform/Check.h"

namespace kestrel::host {
namespace {

constexpr std::size_t kHeader = 5;       // type + seq
constexpr std::size_t kCrcSize = 4;      // the CRC-32 that ends every message
constexpr std::size_t kAnswerSize = 17;  // ref, status, position

void PutU8(std::string& out, std::uint8_t v) { out.push_back(static_cast<char>(v)); }
void PutU16(std::string& out, std::uint16_t v) {
  for (int i = 0; i < 2; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutI32(std::string& out, std::int32_t v) { PutU32(out, static_cast<std::uint32_t>(v)); }
template <std::size_t N>
void PutBytes(std::string& out, const std::array<std::uint8_t, N>& bytes) {
  out.append(reinterpret_cast<const char*>(bytes.data()), N);
}
void PutRef(std::string& out, const TRefPack& ref) {
  PutI32(out, ref.Number);
  PutI32(out, ref.Date);
  PutI32(out, ref.Time);
}

// Reads fields from a byte view; every read is bounds-checked by the caller's
// length test (Left), so the reader itself only advances.
class TReader {
 public:
  explicit TReader(std::string_view bytes) : bytes_(bytes) {}
  std::uint8_t U8() { return static_cast<std::uint8_t>(bytes_[pos_++]); }
  std::uint16_t U16() {
    std::uint16_t v = 0;
    for (int i = 0; i < 2; ++i) v = static_cast<std::uint16_t>(v | (U8() << (8 * i)));
    return v;
  }
  std::uint32_t U32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(U8()) << (8 * i);
    return v;
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  TRefPack Ref() {
    TRefPack ref{};
    ref.Number = I32();
    ref.Date = I32();
    ref.Time = I32();
    return ref;
  }
  template <std::size_t N>
  std::array<std::uint8_t, N> Array() {
    std::array<std::uint8_t, N> a{};
    for (std::uint8_t& b : a) b = U8();
    return a;
  }
  std::string_view Take(std::size_t n) {
    const std::string_view v = bytes_.substr(pos_, n);
    pos_ += n;
    return v;
  }
  std::size_t Left() const { return bytes_.size() - pos_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

const char* RefusalText(TRefusal reason) {
  switch (reason) {
    case TRefusal::UnknownCaller:
      return "unknown caller";
    case TRefusal::NoKeyOffered:
      return "the caller offered no key";
    case TRefusal::NoKeyShared:
      return "no key is shared with the caller";
    case TRefusal::WrongKey:
      return "wrong key";
    case TRefusal::OldVersion:
      return "the caller speaks protocol version 3, which cannot prove its key";
  }
  return "refused";
}

bool SameRef(const TRefPack& a, const TRefPack& b) {
  return a.Number == b.Number && a.Date == b.Date && a.Time == b.Time;
}

std::string EncodeMessage(const TMessage& msg) {
  std::string out;
  std::size_t payload = 0;
  for (const TPart& part : msg.Parts) payload += kPartHeaderBytes + part.Payload.size();
  out.reserve(kHeader + 16 + payload + msg.Answers.size() * kAnswerSize);
  PutU8(out, static_cast<std::uint8_t>(msg.Type));
  PutU32(out, msg.Seq);
  switch (msg.Type) {
    case TMsgType::Hello:
      PutU16(out, msg.Version);
      PutI32(out, msg.SenderIdCl);
      PutU32(out, msg.ClientId);
      break;
    case TMsgType::Welcome:
      PutU16(out, msg.Version);
      PutU32(out, msg.KeepAliveMs);
      break;
    case TMsgType::Data:
      KESTREL_CHECK(!msg.Parts.empty() && msg.Parts.size() <= kMaxParts);
      PutU16(out, static_cast<std::uint16_t>(msg.Parts.size()));
      for (const TPart& part : msg.Parts) {
        PutRef(out, part.Ref);
        PutU32(out, part.Total);
        PutU32(out, part.Offset);
        PutU32(out, static_cast<std::uint32_t>(part.Payload.size()));
        out.append(part.Payload);
      }
      break;
    case TMsgType::Ack:
      KESTREL_CHECK(!msg.Answers.empty() && msg.Answers.size() <= kMaxParts);
      PutU16(out, static_cast<std::uint16_t>(msg.Answers.size()));
      for (const TAnswer& answer : msg.Answers) {
        PutRef(out, answer.Ref);
        PutU8(out, static_cast<std::uint8_t>(answer.Status));
        PutU32(out, answer.Position);
      }
      break;
    case TMsgType::Refuse:
      PutU8(out, static_cast<std::uint8_t>(msg.Reason));
      break;
    case TMsgType::Auth:
      PutU8(out, msg.Keyed ? 1 : 0);
      PutBytes(out, msg.Nonce);
      break;
    case TMsgType::Authed:
      PutU8(out, msg.Keyed ? 1 : 0);
      PutBytes(out, msg.Nonce);
      PutBytes(out, msg.Proof);
      break;
    case TMsgType::Proof:
      PutBytes(out, msg.Proof);
      break;
    case TMsgType::Ping:
    case TMsgType::Pong:
    case TMsgType::Bye:
    case TMsgType::Accept:
      break;
  }
  PutU32(out, Crc32(out));
  return out;
}

std::optional<TMessage> DecodeMessage(std::string_view wire) {
  // The line's 16-bit byte sum misses damage that cancels out (two flips of
  // one bit position in opposite directions); the CRC-32 catches it, so a
  // damaged message is never taken for a good one.
  if (wire.size() < kHeader + kCrcSize) return std::nullopt;
  const std::string_view bytes = wire.substr(0, wire.size() - kCrcSize);
  if (TReader(wire.substr(bytes.size())).U32() != Crc32(bytes)) return std::nullopt;
  TReader in(bytes);
  TMessage msg;
  const std::uint8_t type = in.U8();
  msg.Seq = in.U32();
  const std::size_t body = bytes.size() - kHeader;
  switch (type) {
    case static_cast<std::uint8_t>(TMsgType::Hello):
      if (body != 10) return std::nullopt;
      msg.Type = TMsgType::Hello;
      msg.Version = in.U16();
      msg.SenderIdCl = in.I32();
      msg.ClientId = in.U32();
      return msg;
    case static_cast<std::uint8_t>(TMsgType::Welcome):
      if (body != 6) return std::nullopt;
      msg.Type = TMsgType::Welcome;
      msg.Version = in.U16();
      msg.KeepAliveMs = in.U32();
      return msg;
    case static_cast<std::uint8_t>(TMsgType::Data): {
      msg.Type = TMsgType::Data;
      const std::size_t count = body >= 2 ? in.U16() : 0;
      if (count == 0 || count > kMaxParts) return std::nullopt;
      msg.Parts.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        if (in.Left() < kPartHeaderBytes) return std::nullopt;
        TPart part;
        part.Ref = in.Ref();
        part.Total = in.U32();
        part.Offset = in.U32();
        const std::uint32_t length = in.U32();
        if (in.Left() < length) return std::nullopt;
        part.Payload = in.Take(length);
        // A fragment must lie inside its packet; the sums are done in 64 bits
        // so that a hostile offset cannot wrap around.
        if (static_cast<std::uint64_t>(part.Offset) + length > part.Total) return std::nullopt;
        msg.Parts.push_back(part);
      }
      if (in.Left() != 0) return std::nullopt;
      return msg;
    }
    case static_cast<std::uint8_t>(TMsgType::Ack): {
      msg.Type = TMsgType::Ack;
      const std::size_t count = body >= 2 ? in.U16() : 0;
      if (count == 0 || count > kMaxParts || body != 2 + count * kAnswerSize) return std::nullopt;
      msg.Answers.resize(count);
      for (TAnswer& answer : msg.Answers) {
        answer.Ref = in.Ref();
        const std::uint8_t status = in.U8();
        if (status > static_cast<std::uint8_t>(TAckStatus::Rejected)) return std::nullopt;
        answer.Status = static_cast<TAckStatus>(status);
        answer.Position = in.U32();
      }
      return msg;
    }
    case static_cast<std::uint8_t>(TMsgType::Refuse): {
      if (body != 1) return std::nullopt;
      const std::uint8_t reason = in.U8();
      if (reason < static_cast<std::uint8_t>(TRefusal::UnknownCaller) ||
          reason > static_cast<std::uint8_t>(TRefusal::OldVersion))
        return std::nullopt;
      msg.Type = TMsgType::Refuse;
      msg.Reason = static_cast<TRefusal>(reason);
      return msg;
    }
    case static_cast<std::uint8_t>(TMsgType::Auth):
    case static_cast<std::uint8_t>(TMsgType::Authed): {
      const bool authed = type == static_cast<std::uint8_t>(TMsgType::Authed);
      if (body != 1 + kNonceBytes + (authed ? kProofBytes : 0)) return std::nullopt;
      const std::uint8_t keyed = in.U8();
      if (keyed > 1) return std::nullopt;
      msg.Type = static_cast<TMsgType>(type);
      msg.Keyed = keyed == 1;
      msg.Nonce = in.Array<kNonceBytes>();
      if (authed) msg.Proof = in.Array<kProofBytes>();
      return msg;
    }
    case static_cast<std::uint8_t>(TMsgType::Proof):
      if (body != kProofBytes) return std::nullopt;
      msg.Type = TMsgType::Proof;
      msg.Proof = in.Array<kProofBytes>();
      return msg;
    case static_cast<std::uint8_t>(TMsgType::Ping):
    case static_cast<std::uint8_t>(TMsgType::Pong):
    case static_cast<std::uint8_t>(TMsgType::Bye):
    case static_cast<std::uint8_t>(TMsgType::Accept):
      if (body != 0) return std::nullopt;
      msg.Type = static_cast<TMsgType>(type);
      return msg;
    default:
      return std::nullopt;
  }
}

TMessage MakeHello(std::uint32_t seq, std::int32_t sender_id_cl, std::uint32_t client_id) {
  TMessage m;
  m.Type = TMsgType::Hello;
  m.Seq = seq;
  m.Version = kProtocolVersion;
  m.SenderIdCl = sender_id_cl;
  m.ClientId = client_id;
  return m;
}

TMessage MakeWelcome(std::uint32_t seq, std::uint32_t keep_alive_ms) {
  TMessage m;
  m.Type = TMsgType::Welcome;
  m.Seq = seq;
  m.Version = kProtocolVersion;
  m.KeepAliveMs = keep_alive_ms;
  return m;
}

TMessage MakeData(std::uint32_t seq, std::vector<TPart> parts) {
  TMessage m;
  m.Type = TMsgType::Data;
  m.Seq = seq;
  m.Parts = std::move(parts);
  return m;
}

TMessage MakeAck(std::uint32_t seq, std::vector<TAnswer> answers) {
  TMessage m;
  m.Type = TMsgType::Ack;
  m.Seq = seq;
  m.Answers = std::move(answers);
  return m;
}

TMessage MakeRefuse(std::uint32_t seq, TRefusal reason) {
  TMessage m = MakeBare(TMsgType::Refuse, seq);
  m.Reason = reason;
  return m;
}

TMessage MakeAuth(std::uint32_t seq, bool keyed, const TNonce& nonce) {
  TMessage m = MakeBare(TMsgType::Auth, seq);
  m.Keyed = keyed;
  m.Nonce = nonce;
  return m;
}

TMessage MakeAuthed(std::uint32_t seq, bool keyed, const TNonce& nonce, const TProof& proof) {
  TMessage m = MakeBare(TMsgType::Authed, seq);
  m.Keyed = keyed;
  m.Nonce = nonce;
  m.Proof = proof;
  return m;
}

TMessage MakeProof(std::uint32_t seq, const TProof& proof) {
  TMessage m = MakeBare(TMsgType::Proof, seq);
  m.Proof = proof;
  return m;
}

TMessage MakeBare(TMsgType type, std::uint32_t seq) {
  TMessage m;
  m.Type = type;
  m.Seq = seq;
  return m;
}

}  // namespace kestrel::host
