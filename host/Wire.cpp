#include "host/Wire.h"

#include "host/Exchanger.h"

namespace kestrel::host {

bool TWire::Send(const TMessage& msg) { return exchanger_.Send(EncodeMessage(msg)); }

TWire::TRecv TWire::Receive(TMessage& out) {
  buffer_ = exchanger_.Receive();
  if (buffer_.empty()) return TRecv::Broken;
  if (auto msg = DecodeMessage(buffer_)) {
    out = *msg;
    return TRecv::Message;
  }
  ++junk_;
  return TRecv::Junk;
}

std::optional<TMessage> TWire::AwaitReply(std::uint32_t seq, TMsgType type, int max_skipped) {
  for (int skipped = 0; skipped <= max_skipped; ++skipped) {
    TMessage msg;
    const TRecv got = Receive(msg);
    if (got == TRecv::Broken) return std::nullopt;
    if (got == TRecv::Message && msg.Type == type && msg.Seq == seq) return msg;
  }
  return std::nullopt;
}

}  // namespace kestrel::host
