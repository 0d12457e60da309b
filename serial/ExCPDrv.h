// TCommPortDriver: one serial port (COM1..COM16 or a port given by name),
// its line settings, synchronous writes and reads, the modem status lines,
// and a background poll that hands arriving bytes to OnReceiveData.
//
// The modem driver derives from it. The class writes no log: it reports
// through results, through LastErrorCode/LastErrorMsg (the code and system
// text of the last failed port operation) and through the flags of ReadData.
// It never throws.
//
// Threads. Configuration, Connect, Disconnect, SendData* and ReadData run on
// the owner's thread. The poll runs on its own thread (TNotifyThread) and
// calls OnReceiveData there, holding FNotifyThrdCrSect. ReadData suspends the
// poll for its whole run (PausePolling/ContinuePolling), so a byte goes either
// to ReadData or to OnReceiveData, never to both. Writes are not serialised
// against the poll: the poll only reads. GetLineStatus, CountRX and
// OutFreeSpace may be called from any thread.
//
// Waiting. SendDataEx and ReadData block on the port (no spinning) and end by
// their time limits; the poll looks at the port about every 100 ms.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gate/common/MdmTypes.h"
#include "platform/CriticalSection.h"
#include "platform/Port.h"
#include "serial/NotifyThread.h"

namespace kestrel::serial {

using gate::TBaudRate;
using gate::TDataBits;
using gate::THwFlowControl;
using gate::TParity;
using gate::TPortNumber;
using gate::TStopBits;
using gate::TSwFlowControl;

// The modem status lines of GetLineStatus.
enum TLineStatusItem : std::uint8_t { lsCTS = 0, lsDSR = 1, lsRING = 2, lsCD = 3 };

// A byte-wide set of TLineStatusItem: bit n stands for item n.
struct TLineStatus {
  std::uint8_t bits = 0;
  constexpr bool Contains(TLineStatusItem item) const { return ((bits >> item) & 1u) != 0; }
  constexpr bool Empty() const { return bits == 0; }
  constexpr TLineStatus& Include(TLineStatusItem item) {
    bits = static_cast<std::uint8_t>(bits | (1u << item));
    return *this;
  }
  friend constexpr bool operator==(TLineStatus, TLineStatus) = default;
};

class TCommPortDriver;
// Bytes delivered by the poll: `data` is TempInBuffer, valid only during the
// call (the next poll reuses it); `size` is at least 1 and at most InBufSize.
using TReceiveDataEvent = std::function<void(TCommPortDriver* sender, const void* data, std::uint32_t size)>;

class TCommPortDriver {
 public:
  static constexpr std::uint32_t kMinBufSize = 128;
  static constexpr std::uint32_t kMaxBufSize = 8192;
  static constexpr std::uint16_t kMinPollingDelay = 5;

  TCommPortDriver();
  // Disconnects (this class's Disconnect: a derived class whose Disconnect
  // does more calls it from its own destructor) and stops the poll.
  virtual ~TCommPortDriver();
  TCommPortDriver(const TCommPortDriver&) = delete;
  TCommPortDriver& operator=(const TCommPortDriver&) = delete;

  // ---- configuration ----
  // "Ignored while connected": the call changes nothing while the port is
  // open. "Applied at once": while the port is open ApplyCommSettings runs
  // immediately (which also purges both queues) and its result is dropped.

  // Ignored while connected. Unless pnCustom, PortName becomes "\\.\COM<n>".
  void SetPort(TPortNumber value);
  // Ignored while connected. Port becomes pnCustom.
  void SetPortName(std::string_view value);
  // Unless brCustom, BaudRateValue becomes the rate of `value` (kept when
  // `value` has none). Applied at once.
  void SetBaudRate(TBaudRate value);
  // BaudRate becomes brCustom. Applied at once.
  void SetBaudRateValue(std::uint32_t value);
  void SetDataBits(TDataBits value);     // applied at once
  void SetStopBits(TStopBits value);     // applied at once
  void SetParity(TParity value);         // applied at once
  void SetHwFlow(THwFlowControl value);  // applied at once
  void SetSwFlow(TSwFlowControl value);  // applied at once
  // Ignored while connected; clamped to 128..8192. A new zero-filled
  // TempInBuffer of that size replaces the old one.
  void SetInBufSize(std::uint32_t value);
  // Ignored while connected; clamped to 128..8192.
  void SetOutBufSize(std::uint32_t value);
  // Raised to at least 5 ms. While connected a different value restarts the
  // poll thread with it (so not from OnReceiveData).
  void SetPollingDelay(std::uint16_t value);

  TPortNumber Port() const { return FPort; }
  const std::string& PortName() const { return FPortName; }
  TBaudRate BaudRate() const { return FBaudRate; }
  std::uint32_t BaudRateValue() const { return FBaudRateValue; }
  TDataBits DataBits() const { return FDataBits; }
  TStopBits StopBits() const { return FStopBits; }
  TParity Parity() const { return FParity; }
  THwFlowControl HwFlow() const { return FHwFlow; }
  TSwFlowControl SwFlow() const { return FSwFlow; }
  std::uint32_t InBufSize() const { return FInBufSize; }
  std::uint32_t OutBufSize() const { return FOutBufSize; }
  std::uint16_t PollingDelay() const { return FPollingDelay; }
  const std::string& LastErrorMsg() const { return FLastErrorMsg; }
  std::uint32_t LastErrorCode() const { return FLastErrorCode; }
  platform::TPortHandle Handle() const { return FHandle.load(); }
  std::int32_t PauseCount() const { return FPauseCount.load(); }

  // Plain fields, set by the owner (before Connect).
  bool EnableDTR = true;          // DTR held on while the port is open
  std::uint16_t OutputTimeout = 500;  // ms, the limit of SendData
  std::uint32_t InputTimeout = 200;   // ms, the idle limit of ReadData
  bool CheckLineStatus = false;   // SendDataEx stops when no modem status line is on
  // Called on the poll thread with FNotifyThrdCrSect held. Set it before
  // Connect, or while connected only between PausePolling and
  // ContinuePolling (the pause waits for a poll under way, which may be
  // calling it). The handler may call PausePolling, ContinuePolling and the
  // port operations; Disconnect from it closes the port and ends the poll
  // without deadlock, but KillThrdTimer and SetPollingDelay belong to the
  // owner's thread.
  TReceiveDataEvent OnReceiveData;

  // ---- port operations ----

  // Opens PortName exclusively, applies the settings, sets the port's
  // time-outs and starts the poll. True at once when already connected. On
  // failure LastErrorCode/LastErrorMsg tell why (2 for a missing device, 16
  // for one in use) and the port is closed again.
  [[nodiscard]] bool Connect();
  // Stops the poll (waiting for one under way), purges both directions and
  // closes the port. Nothing when not connected. Must not be called from
  // OnReceiveData.
  virtual void Disconnect();
  bool Connected() const { return Handle() != platform::kInvalidPortHandle; }
  // Line settings, purge of both queues, queue sizes, in this order; true only
  // when all three succeed. False when not connected.
  [[nodiscard]] bool ApplyCommSettings();

  // The modem status lines; empty when not connected or when the query fails.
  TLineStatus GetLineStatus();
  // Whether the open port's lines are virtual (its device cannot report them).
  bool LinesVirtual() const { return platform::PortHasVirtualLines(FHandle.load()); }
  // One purge of the chosen sides (pending transfers aborted, queue
  // cleared). False when not connected.
  [[nodiscard]] bool FlushBuffers(bool in_side, bool out_side);
  // Bytes waiting to be read; 65535 when not connected.
  std::uint32_t CountRX();
  // OutBufSize minus the bytes waiting to be sent, modulo 65536; 65535 when
  // not connected.
  std::uint16_t OutFreeSpace();

  // Writes `size` bytes from `data` in pieces no larger than the free space of
  // the transmit queue, until all are written, a write fails (LastErrorCode
  // tells), CheckLineStatus finds no status line on, or more than `time_limit`
  // ms have passed since the call began (looked at between pieces). Returns
  // the bytes written; 0 when not connected. Blocks at most about the time
  // limit plus one write.
  [[nodiscard]] std::uint32_t SendDataEx(const void* data, std::uint32_t size, std::uint32_t time_limit);
  // SendDataEx with OutputTimeout.
  [[nodiscard]] std::uint32_t SendData(const void* data, std::uint32_t size);
  // True when SendData wrote every byte of `text` (an empty text included).
  [[nodiscard]] bool SendString(std::string_view text);
  // The same with `time_limit` ms in place of OutputTimeout.
  [[nodiscard]] bool SendString(std::string_view text, std::uint32_t time_limit);

  // Reads up to `wanted` bytes into `buffer` with the poll paused. Ends when
  // all are read; when no byte is waiting and, with `check_cd`, carrier detect
  // is off (`carrier_lost` true); or when no byte is waiting and more than
  // InputTimeout ms have passed since the call began (`timed_out` true).
  // `elapsed` is the call's time in ms. Returns the bytes read; 0 with all
  // flags false when not connected. Blocks at most about InputTimeout.
  [[nodiscard]] std::uint32_t ReadData(void* buffer, std::uint32_t wanted, bool& timed_out, std::uint32_t& elapsed,
                                       bool check_cd, bool& carrier_lost);
  // The same with `idle_limit` ms in place of InputTimeout.
  [[nodiscard]] std::uint32_t ReadData(void* buffer, std::uint32_t wanted, bool& timed_out, std::uint32_t& elapsed,
                                       bool check_cd, bool& carrier_lost, std::uint32_t idle_limit);

  // Asked between the slices of the blocking waits of SendDataEx and ReadData,
  // at least every kAbortCheckMs: true ends the call at once, as if its time
  // limit had passed. The base answers false; an owner that must stop
  // promptly (the modem driver, while the gate stops) answers true.
  virtual bool AbortWaits() { return false; }
  static constexpr std::uint32_t kAbortCheckMs = 100;

  // ---- the poll (see NotifyThread.h) ----

  // Starts the poll thread, or sets the running one's interval and enables it.
  void SetThrdTimer(std::uint16_t interval);
  // Stops the poll thread and frees it, after the poll under way. From inside
  // OnReceiveData it only asks the thread to end (it cannot wait for itself);
  // the owner's next SetThrdTimer, KillThrdTimer or the destructor frees it.
  void KillThrdTimer();
  // Counted suspension of the poll: after PausePolling returns no poll reads
  // until every pause has been matched by ContinuePolling. May be called
  // from OnReceiveData. A ContinuePolling without a pause does nothing.
  void PausePolling();
  void ContinuePolling();
  // One poll: takes up to InBufSize queued bytes and passes them to
  // OnReceiveData. Called by the poll thread only.
  void TimerThreadProc();
  // The poll thread's wait between polls while nothing comes: until bytes
  // come, a wake by PausePolling or KillThrdTimer, or kIdleWaitMs; paused or
  // closed, the thread's usual pause. Called by the poll thread only.
  void WaitForInputOrWake(TNotifyThread& thread);
  static constexpr std::uint32_t kIdleWaitMs = 10000;

  bool PollThreadRunning() const { return NotifyThread != nullptr; }

 protected:
  // LastErrorCode/LastErrorMsg := the platform's last error and its text.
  void CaptureLastError();
  void ClearLastError();
  // The raw kModem* bits; false when not connected or the query fails.
  [[nodiscard]] bool ModemStatus(std::uint32_t& status);

  std::atomic<platform::TPortHandle> FHandle{platform::kInvalidPortHandle};
  TPortNumber FPort = TPortNumber::pnCOM2;
  std::string FPortName = "\\\\.\\COM2";
  TBaudRate FBaudRate = TBaudRate::br9600;
  std::uint32_t FBaudRateValue = 9600;
  TDataBits FDataBits = TDataBits::db8BITS;
  TStopBits FStopBits = TStopBits::sb1BITS;
  TParity FParity = TParity::ptNONE;
  THwFlowControl FHwFlow = THwFlowControl::hfNONERTSON;
  TSwFlowControl FSwFlow = TSwFlowControl::sfNONE;
  std::uint32_t FInBufSize = 2048;
  std::uint32_t FOutBufSize = 2048;
  std::string FLastErrorMsg;
  std::uint32_t FLastErrorCode = 0;
  std::uint16_t FPollingDelay = 50;
  std::unique_ptr<TNotifyThread> NotifyThread;
  platform::TCriticalSection FNotifyThrdCrSect;
  std::vector<char> TempInBuffer;
  std::atomic<std::int32_t> FPauseCount{0};
  std::atomic<bool> FIdleWaiting{false};  // the poll thread waits for input

 private:
  void ApplyIfConnected();
};

// Pauses the poll of a driver for a scope: PausePolling when made,
// ContinuePolling when the scope ends, however it ends.
class [[nodiscard]] TPollPause {
 public:
  explicit TPollPause(TCommPortDriver& driver) : driver_(driver) { driver_.PausePolling(); }
  ~TPollPause() { driver_.ContinuePolling(); }
  TPollPause(const TPollPause&) = delete;
  TPollPause& operator=(const TPollPause&) = delete;

 private:
  TCommPortDriver& driver_;
};

}  // namespace kestrel::serial
