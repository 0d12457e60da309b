// TClientSession: the sending side of the protocol, run by a transmit
// process's thread for as long as the process lives (see host/Protocol.h for
// what it does, host/Message.h for what it says).
//
// Internal to the framework: built and run by TProtocol::Run. Whatever way the
// session ends, its destructor disconnects a line still held and reports the
// packet in flight and every queued one as failed.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "host/CoreCalls.h"
#include "host/Message.h"
#include "host/OutQueue.h"
#include "host/Pacing.h"
#include "host/Wire.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

class TProtocol;
class TGateManager;
class TExchanger;

class TClientSession {
 public:
  TClientSession(TProtocol& protocol, KHandle process);
  ~TClientSession();
  TClientSession(const TClientSession&) = delete;
  TClientSession& operator=(const TClientSession&) = delete;

  void Run();

 private:
  // A packet taken from the queue and not yet settled.
  struct TInFlight {
    TOutPacket Packet;
    std::uint32_t Held = 0;  // what the server holds, as far as we know
    bool Touched = false;    // some of it went out on a line
  };
  enum class TOutcome { Done, Broken, Stopped };
  enum class TIdle { Packet, Timeout, Broken, Stop };

  // Connects (one try, or the restore schedule after a break) and greets.
  [[nodiscard]] bool Establish(bool after_break);
  [[nodiscard]] bool TryConnect();
  // HELLO and AUTH, and for a keyed party the proofs both ways; false when
  // the line broke or the session was refused (`refusal_` says why, and the
  // core was told).
  [[nodiscard]] bool Greet();
  [[nodiscard]] bool Refused(const std::string& why);
  // Sends packets while the line holds; returns when it is given up or a stop
  // was requested, disconnected in every case.
  void Serve();
  // Sends the packets in flight and the queued ones, several to a message
  // while they fit, until every one is settled (Done), the line broke or a
  // stop was requested.
  TOutcome SendQueued();
  // The parts of the next message: the packets in flight in their order, then
  // packets taken from the queue, within the fragment size; nothing when
  // there is nothing to send.
  std::vector<TPart> NextParts();
  // Whether `answers` answer a prefix of `parts` consistently.
  bool Consistent(const std::vector<TAnswer>& answers, const std::vector<TPart>& parts) const;
  // Settles or advances the packets in flight by the server's answers;
  // returns whether anything moved.
  bool Apply(const std::vector<TAnswer>& answers, TProgress& progress);
  TIdle StayOnLine();
  void Goodbye();
  void Disconnect();
  void FailCurrentAndQueued(std::string_view why);
  void CloseQueue();
  bool Stopping() const;
  void Log(const std::string& what, const std::string& details = {});

  TProtocol& protocol_;
  TGateManager& manager_;
  TExchanger& exchanger_;
  KHandle process_;
  TProtocolTuning tuning_;
  TWire wire_;
  bool connected_ = false;
  std::uint32_t seq_ = 0;
  std::uint32_t fragment_ = 0;
  std::uint32_t keep_alive_ms_ = 10000;
  std::uint32_t last_reply_tick_ = 0;

  // The restore episode: from the first break after something went through,
  // with the tries used since.
  bool progress_since_break_ = true;
  std::uint32_t episode_start_ = 0;
  std::int32_t episode_attempts_ = 0;

  // The packets in flight, oldest first; the first is the one a message
  // always starts with.
  std::deque<TInFlight> flight_;
  std::string refusal_;        // why the last greeting was refused, if it was
  bool resume_probe_ = false;  // ask the server where it stands before sending on
  std::uint32_t delivered_ = 0;
};

}  // namespace kestrel::host
