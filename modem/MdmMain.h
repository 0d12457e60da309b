// TMdmDriver: one modem on one serial port.
//
// The command side (configuration from a channel record, AT commands and
// their answers, the initialisation and hang-up sequences, dialling, the
// modem test), the packet exchange on a connection (one frame each way, with
// alternating kinds, repeat suppression and the resend of the last frame),
// and the two roles the pool hands out: sending (take, dial, carry packets,
// give back) and listening (arm the modem, answer RING by itself, report the
// connection).
//
// Threads. The role operations, SendByChannel, RecvByChannel, Disconnect and
// the answering of a call take the channel's re-entrant lock; callers come
// from exchange threads, the listener's thread and the pool's. Callbacks run
// with the lock held and must not wait for another thread that needs it.
//
// Incoming calls. The port's poll thread only notices a RING: it holds the
// port's poll lock while it delivers, and a role operation that holds the
// channel's lock may wait for that poll lock (to pause the poll or to close
// the port), so the poll thread never waits for the channel's lock. It counts
// the ring and wakes the channel's answering thread, which takes the channel's
// lock like any role operation, looks at the state again and answers (ATA,
// CONNECT, OnTwoMdmConnected) with the poll paused. Locks are always taken in
// one order, the channel's before the poll's, and the poll thread takes only
// the poll's: no cycle. A ring that arrives while the lock is held elsewhere
// is answered as soon as it is free, unless the channel was taken for sending
// meanwhile; rings noticed before an answer began belong to that call.
//
// A modem left in a call (DTR ignored, or no DTR wire) does not answer the
// initialisation: the driver then brings it back to command state the way
// terminal programs do (guard time, "+++", guard time, "ATH") and tries once
// more. Every wait blocks with a deadline and ends early when the gate stops
// or the driver is being destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gate/common/MdmResp.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "serial/ExCPDrv.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace kestrel::modem {

// A channel callback; its argument is the channel's PoolIndex.
using TChannelEvent = std::function<void(std::int32_t)>;
// Who holds a role: the 32-bit identity of an exchanger or listener; 0 = none.
using TOwnerId = std::uint32_t;

// Fixed time-outs of the command layer, in milliseconds.
inline constexpr std::uint32_t kInitCmdTimeout = 2000;      // init commands in the role operations
inline constexpr std::uint32_t kTestInitTimeout = 1000;     // "ATE0V1S0=0" in TestChannel
inline constexpr std::uint32_t kTestInitStrTimeout = 5000;  // InitString in TestChannel
inline constexpr int kInitTries = 6;                        // tries of the first "ATE0V1S0=0"
inline constexpr std::uint32_t kEscapeTimeout = 1000;       // "+++" during hang-up
inline constexpr std::uint32_t kFirstHangupTimeout = 1000;  // first "ATH"
inline constexpr std::uint32_t kSecondHangupTimeout = 10000;
inline constexpr std::uint32_t kCarrierSettleMs = 100;      // after closing a port that showed carrier
inline constexpr std::uint32_t kNextFrameTimeout = 15000;   // frames after the first of a connection
// Bringing a modem that stayed in its call back to command state.
inline constexpr std::uint32_t kEscapeGuardMs = 1200;       // silence before "+++" (at least the modem's 1 s)
inline constexpr std::uint32_t kEscapeAnswerMs = 3000;      // its OK: the trailing guard time, then up to 2 s
inline constexpr std::uint32_t kRecoveryHangupTimeout = 10000;  // "ATH" after the escape

class TMdmDriver : public serial::TCommPortDriver {
 public:
  TMdmDriver();
  ~TMdmDriver() override;

  // Closes the port and clears ModemConnected, under the channel's lock: a
  // call being answered is finished (or broken off) first.
  void Disconnect() override;
  // Reads and writes on the line end as soon as the gate stops or the
  // driver is being destroyed.
  bool AbortWaits() override;

  // ---- Command layer ----

  // Copies the record and configures the port from it (the port is not opened).
  void SetChannelSettings(const store::TMdmChannelSettings& settings);
  // Sends one command line and accepts the answer when its class is in `accept`.
  [[nodiscard]] bool MdmSendCmd(const std::string& cmd, gate::TRespSet accept, std::uint32_t timeout_ms,
                                std::string& err);
  // Reads one answer: complete when CR LF follows its first two characters.
  // The time-out (0: InputTimeout) restarts with every chunk received.
  [[nodiscard]] bool MdmRecvSpec(std::string& resp, std::string& err, std::uint32_t timeout_ms);
  // Dials one number of the ActiveAddress and waits for CONNECT; hangs up on failure.
  [[nodiscard]] bool DialPhone(const std::string& phone, std::string& err);
  // Opens the port and checks that a modem answers; the port stays open on success.
  [[nodiscard]] bool TestChannel(std::string& err);
  // The channel's index in the gate's pool, or -1 when it is not in it.
  std::int32_t PoolIndex() const;

  // ---- Packet exchange on a connection ----

  [[nodiscard]] bool MdmSendExch(const std::string& data, std::string& err, std::uint32_t timeout_ms);
  [[nodiscard]] bool MdmRecvExch(std::string& data, std::string& err, std::uint32_t timeout_ms);

  // ---- Roles ----

  // Takes the channel for sending: opens the port and initialises the modem.
  // Refused (busy) when another role holds it; without `wait_for_lock`, also
  // when another thread works on the channel right now (claiming it takes
  // the modem's initialisation), instead of waiting for that to end.
  [[nodiscard]] bool InitForSending(bool may_take_listening, const store::TMdmAddress& addr, TOwnerId owner,
                                    TChannelEvent on_lose_channel, std::string& err, bool wait_for_lock = true);
  [[nodiscard]] bool DialForSending(const std::vector<std::string>& phones, std::string& err);
  void ReleaseSendingChannel();
  [[nodiscard]] bool InitForListening(const store::TMdmAddress& addr, TOwnerId owner,
                                      TChannelEvent on_two_mdm_connected, TChannelEvent on_lose_channel,
                                      std::string& err);
  void ReleaseListeningChannel();
  [[nodiscard]] bool SendByChannel(const std::string& data, std::string& err);
  [[nodiscard]] bool RecvByChannel(std::string& data, std::string& err);

  // Role state, read by the pool (under the channel's lock when it matters).
  bool Initialized() const { return initialized_.load(); }
  bool Sending() const { return sending_.load(); }
  bool Listening() const { return listening_.load(); }
  bool ModemConnected() const { return modem_connected_.load(); }
  TOwnerId SendingOwner() const { return sending_owner_.load(); }
  TOwnerId ListeningOwner() const { return listening_owner_.load(); }
  // The listener records the exchanger of an answered call itself.
  void SetSendingOwner(TOwnerId owner);

  const store::TMdmChannelSettings& ChannelSettings() const { return settings_; }
  const store::TMdmAddress& ActiveAddress() const { return active_address_; }
  std::uint32_t LastSentKind() const { return last_sent_kind_; }
  // How long a frame after the first of a connection is awaited per attempt
  // (15 s); tests shorten it to check the resend schedule quickly.
  void SetNextFrameTimeout(std::uint32_t ms) { next_frame_timeout_ = ms; }
  std::uint32_t LastRecvKind() const { return last_recv_kind_; }

  // The channel's lock (re-entrant), for callers that must see a consistent state.
  platform::TCriticalSection& Lock() { return lock_; }

 private:
  // The thread that answers the rings the poll noticed (MdmAnswer.cpp).
  class TAnswerThread final : public platform::TThread {
   public:
    explicit TAnswerThread(TMdmDriver& driver) : driver_(driver) {}
    void Wake() { wake_.Set(); }
    // Ends the thread after the answer under way and waits for it.
    void Stop();

   protected:
    void Execute() override;

   private:
    TMdmDriver& driver_;
    platform::TEvent wake_;
  };

  // The initialisation sequence on an open, purged port. `failed_step` tells
  // which step failed: 0 an "ATE0V1S0=0", 1 the InitString. A first command
  // that gets no answer in time brings the modem back from a call it was left
  // in (RecoverCommandState) before the next try.
  [[nodiscard]] bool RunInitSequence(bool keep_going, int& failed_step, std::string& err);
  // A modem that stayed in a call: guard time, "+++", guard time and its OK,
  // then "ATH" and its OK. Logged at level 3, one line each way. True when
  // the modem is back in command state, on hook.
  [[nodiscard]] bool RecoverCommandState(const std::string& reason);
  // Waits `ms` of silence on the line (the escape's guard time); false when
  // the wait was broken off (gate stopping, driver going).
  [[nodiscard]] bool KeepSilent(std::uint32_t ms);
  // "+++", "ATH", "ATH"; returns the last step's result and error.
  [[nodiscard]] bool HangUp(std::string& err);
  [[nodiscard]] bool ReinitForListening(std::string& err);
  void SetSending(bool value);
  // Opens the port; when it shows carrier, closes it, lets the line settle and opens it again.
  [[nodiscard]] bool ConnectSettled();
  void ResetExchangeState();
  // MdmSendCmd; with `skip_rings`, a RING is not taken for the answer: the
  // answer to ATA follows a ring of the caller's that reached the port just
  // before the modem took the command.
  [[nodiscard]] bool SendCmd(const std::string& cmd, gate::TRespSet accept, std::uint32_t timeout_ms, std::string& err,
                             bool skip_rings);
  // MdmRecvSpec that goes on from what `resp` already holds.
  [[nodiscard]] bool ReadAnswer(std::string& resp, std::string& err, std::uint32_t timeout_ms);
  // Keeps what followed the CONNECT line of `answer`: the far side may send
  // at once, and its first bytes then arrive in the same read as the answer.
  void KeepDataAfterConnect(const std::string& answer);
  // ReadData for a frame with `idle_limit`, served first from the bytes
  // kept after CONNECT.
  [[nodiscard]] std::uint32_t ReadFrameBytes(char* buffer, std::uint32_t wanted, std::uint32_t idle_limit,
                                             bool& timed_out, std::uint32_t& elapsed, bool& carrier_lost);
  // The bytes of one delivery of the poll (poll thread): a RING is counted
  // and the answering thread woken.
  void OnReceiveDataHandler(const std::uint8_t* data, std::uint32_t size);
  // Answers the rings counted since the last answer, if the channel still
  // listens and is not sending (answering thread).
  void AnswerRing();
  // Ends the answering thread, if one was started.
  void StopAnswering();
  // Waits up to `timeout_ms` for received bytes, in slices that let a gate stop end it early.
  void WaitForInput(std::uint32_t timeout_ms);

  store::TMdmAddress send_address_;
  store::TMdmAddress listen_address_;
  store::TMdmAddress active_address_;
  store::TMdmChannelSettings settings_;
  // Role state: written under lock_, read by the pool and the monitor from other threads.
  std::atomic<TOwnerId> sending_owner_{0};
  std::atomic<TOwnerId> listening_owner_{0};
  std::atomic<bool> modem_connected_{false};
  std::atomic<bool> listening_{false};
  std::atomic<bool> sending_{false};
  std::atomic<bool> initialized_{false};
  platform::TCriticalSection lock_;
  std::string last_sent_;
  std::string early_data_;  // the far side's first bytes, read with the CONNECT answer
  std::uint32_t last_sent_kind_ = 0;
  std::uint32_t last_recv_kind_ = 0;
  std::uint32_t next_frame_timeout_ = kNextFrameTimeout;
  TChannelEvent on_send_lose_channel_;
  TChannelEvent on_two_mdm_connected_;
  TChannelEvent on_listen_lose_channel_;
  // Answering: rings counted by the poll thread, the count the last answer
  // (or the decision not to answer) covered, and the thread, started at the
  // first ring and ended by the destructor.
  std::atomic<std::uint32_t> rings_noticed_{0};
  std::uint32_t rings_handled_ = 0;  // under lock_
  std::mutex answerer_mutex_;
  std::unique_ptr<TAnswerThread> answerer_;
  std::atomic<bool> virtual_lines_told_{false};  // the log said once that the port's lines are virtual
  std::atomic<bool> destroying_{false};
};

// The port's 16-bit OutputTimeout for a frame sent with `timeout_ms`: a
// longer time-out is held at 65535 ms rather than cut to its low 16 bits.
constexpr std::uint16_t FrameOutputTimeout(std::uint32_t timeout_ms) {
  return static_cast<std::uint16_t>(timeout_ms > 0xFFFF ? 0xFFFF : timeout_ms);
}

// The detail of a transfer log line: "<n> bytes for <t> ms; Rate: <r> Bit / sec".
std::string TransferRateDetail(std::size_t bytes, std::uint32_t ms);

// The trimmed InitString of a channel record.
std::string TrimmedInitString(const store::TMdmChannelSettings& settings);

}  // namespace kestrel::modem
