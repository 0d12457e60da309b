// TWire: one side of the protocol's conversation over an exchanger. It turns
// messages into frames and back and turns every failure of the exchanger
// (false, an empty receive, even an exception) into "the connection broke".
//
// Used by one exchange thread at a time, like the exchanger it wraps.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/Message.h"
#include "host/Seal.h"

namespace kestrel::host {

class TExchanger;

class TWire {
 public:
  explicit TWire(TExchanger& exchanger) : exchanger_(exchanger) {}

  // Sends one message; false when the connection broke.
  [[nodiscard]] bool Send(const TMessage& msg);

  enum class TRecv { Message, Junk, Broken };
  // The next frame: a message (into `out`; its Payload views a buffer that
  // stays valid until the next Receive), a frame that is not a message
  // (counted in Junk()), or Broken when the connection broke or timed out.
  TRecv Receive(TMessage& out);

  // The reply of `type` to request `seq` (or, to a request of the greeting,
  // a REFUSE of it): stale replies
  // (another seq, a repeat) and frames that are not messages are passed
  // over, up to `max_skipped` of them; nothing when the connection broke or
  // the peer kept answering beside the point.
  std::optional<TMessage> AwaitReply(std::uint32_t seq, TMsgType type, int max_skipped = 16);

  std::uint64_t Junk() const { return junk_; }

  // From now on every message is sealed, and only sealed frames are
  // received (null: plain again, for a new connection).
  void SetSeal(std::unique_ptr<TSeal> seal) { seal_ = std::move(seal); }
  bool Sealed() const { return seal_ != nullptr; }

 private:
  TExchanger& exchanger_;
  std::unique_ptr<TSeal> seal_;
  std::string opened_;
  std::string buffer_;
  std::uint64_t junk_ = 0;
};

}  // namespace kestrel::host
