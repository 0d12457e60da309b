#include "host/Wire.h"

#include "host/Exchanger.h"

namespace kestrel::host {

bool TWire::Send(const TMessage& msg) {
  const std::string bytes = EncodeMessage(msg);
  return exchanger_.Send(seal_ ? seal_->Seal(bytes) : bytes);
}

TWire::TRecv TWire::Receive(TMessage& out) {
  buffer_ = exchanger_.Receive();
  if (buffer_.empty()) return TRecv::Broken;
  std::string_view bytes = buffer_;
  if (seal_) {
    std::optional<std::string> opened = seal_->Open(buffer_);
    opened_ = opened ? std::move(*opened) : std::string();
    bytes = opened_;  // a frame that does not open is junk, like an empty one
  }
  if (auto msg = DecodeMessage(bytes)) {
    out = *msg;
    return TRecv::Message;
  }
  ++junk_;
  return TRecv::Junk;
}

std::optional<TMessage> TWire::AwaitReply(std::uint32_t seq, TMsgType type, int max_skipped) {
  const bool greeting = type == TMsgType::Welcome || type == TMsgType::Authed || type == TMsgType::Accept;
  for (int skipped = 0; skipped <= max_skipped; ++skipped) {
    TMessage msg;
    const TRecv got = Receive(msg);
    if (got == TRecv::Broken) return std::nullopt;
    if (got == TRecv::Message && msg.Seq == seq && (msg.Type == type || (greeting && msg.Type == TMsgType::Refuse)))
      return msg;
  }
  return std::nullopt;
}

}  // namespace kestrel::host
