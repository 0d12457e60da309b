// TClientSession: the sending side of the protocol, run by a transmit
// process's thread for as long as the process lives (see host/Protocol.h for
// what it does, host/Message.h for what it says).
//
// Internal to the framework: built and run by TProtocol::Run. Whatever way the
// session ends, its destructor disconnects a line still held and reports the
// packet in flight and every queued one as failed.
#pragma once

#include <cstdint>
#include <optional>

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
  enum class TOutcome { Delivered, Refused, Rejected, Broken, Stopped };
  enum class TIdle { Packet, Timeout, Broken, Stop };

  // Connects (one try, or the restore schedule after a break) and greets.
  [[nodiscard]] bool Establish(bool after_break);
  [[nodiscard]] bool TryConnect();
  [[nodiscard]] bool Greet();
  // Sends packets while the line holds; returns when it is given up or a stop
  // was requested, disconnected in every case.
  void Serve();
  TOutcome SendCurrent();
  TIdle StayOnLine();
  void Goodbye();
  void Disconnect();
  void FailCurrentAndQueued(const char* why);
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

  // The packet in flight: taken from the queue, not yet settled.
  std::optional<TOutPacket> current_;
  std::uint32_t current_offset_ = 0;  // what the server holds, as far as we know
  bool current_touched_ = false;       // some of it went out on a line
  bool resume_probe_ = false;          // ask the server where it stands first
  std::uint32_t delivered_ = 0;
};

}  // namespace kestrel::host
