#include "host/Message.h"

#include "host/Crc32.h"

namespace kestrel::host {
namespace {

constexpr std::size_t kHeader = 5;   // type + seq
constexpr std::size_t kCrcSize = 4;  // the CRC-32 that ends every message
constexpr std::size_t kRefSize = 12;

void PutU8(std::string& out, std::uint8_t v) { out.push_back(static_cast<char>(v)); }
void PutU16(std::string& out, std::uint16_t v) {
  for (int i = 0; i < 2; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutI32(std::string& out, std::int32_t v) { PutU32(out, static_cast<std::uint32_t>(v)); }
void PutRef(std::string& out, const TRefPack& ref) {
  PutI32(out, ref.Number);
  PutI32(out, ref.Date);
  PutI32(out, ref.Time);
}

// Reads fixed-size fields from a byte view; every read is bounds-checked by
// the caller's length test, so the reader itself only advances.
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
  std::string_view Rest() const { return bytes_.substr(pos_); }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeMessage(const TMessage& msg) {
  std::string out;
  out.reserve(kHeader + kRefSize + 8 + (msg.Type == TMsgType::Data ? msg.Payload.size() : 0));
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
      PutRef(out, msg.Ref);
      PutU32(out, msg.Total);
      PutU32(out, msg.Offset);
      out.append(msg.Payload);
      break;
    case TMsgType::Ack:
      PutRef(out, msg.Ref);
      PutU8(out, static_cast<std::uint8_t>(msg.Status));
      PutU32(out, msg.Position);
      break;
    case TMsgType::Ping:
    case TMsgType::Pong:
    case TMsgType::Bye:
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
      if (body < kRefSize + 8) return std::nullopt;
      msg.Type = TMsgType::Data;
      msg.Ref = in.Ref();
      msg.Total = in.U32();
      msg.Offset = in.U32();
      msg.Payload = in.Rest();
      // A fragment must lie inside its packet; the sums are done in 64 bits
      // so that a hostile offset cannot wrap around.
      if (static_cast<std::uint64_t>(msg.Offset) + msg.Payload.size() > msg.Total) return std::nullopt;
      return msg;
    }
    case static_cast<std::uint8_t>(TMsgType::Ack): {
      if (body != kRefSize + 5) return std::nullopt;
      msg.Type = TMsgType::Ack;
      msg.Ref = in.Ref();
      const std::uint8_t status = in.U8();
      if (status > static_cast<std::uint8_t>(TAckStatus::Rejected)) return std::nullopt;
      msg.Status = static_cast<TAckStatus>(status);
      msg.Position = in.U32();
      return msg;
    }
    case static_cast<std::uint8_t>(TMsgType::Ping):
    case static_cast<std::uint8_t>(TMsgType::Pong):
    case static_cast<std::uint8_t>(TMsgType::Bye):
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

TMessage MakeData(std::uint32_t seq, const TRefPack& ref, std::uint32_t total, std::uint32_t offset,
                  std::string_view payload) {
  TMessage m;
  m.Type = TMsgType::Data;
  m.Seq = seq;
  m.Ref = ref;
  m.Total = total;
  m.Offset = offset;
  m.Payload = payload;
  return m;
}

TMessage MakeAck(std::uint32_t seq, const TRefPack& ref, TAckStatus status, std::uint32_t position) {
  TMessage m;
  m.Type = TMsgType::Ack;
  m.Seq = seq;
  m.Ref = ref;
  m.Status = status;
  m.Position = position;
  return m;
}

TMessage MakeBare(TMsgType type, std::uint32_t seq) {
  TMessage m;
  m.Type = type;
  m.Seq = seq;
  return m;
}

}  // namespace kestrel::host
