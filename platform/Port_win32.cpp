// The Win32 backend: COM ports through the Win32 serial API, with overlapped
// I/O so that every wait blocks on handles with a deadline and ends at once
// when the port is aborted or purged.
//
// A port whose driver cannot report the modem lines (GetCommModemStatus
// fails with ERROR_NOT_SUPPORTED, as a COM port that Wine maps to a
// pseudo-terminal does) gets virtual lines, as on POSIX: CTS, DSR and carrier
// detect on while the port works, carrier off once the far end is gone; DTR
// and RTS requests are stored.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/PortDevice.h"
#include "platform/Tick.h"

namespace kestrel::platform {
namespace {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;
constexpr DWORD kEvents = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_TXEMPTY;

// A manual-reset event of one overlapped operation, made once per device.
class TOverlapped {
 public:
  TOverlapped() { ov_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~TOverlapped() {
    if (ov_.hEvent != nullptr) ::CloseHandle(ov_.hEvent);
  }
  TOverlapped(const TOverlapped&) = delete;
  TOverlapped& operator=(const TOverlapped&) = delete;
  bool Valid() const { return ov_.hEvent != nullptr; }
  OVERLAPPED* Get() {
    const HANDLE event = ov_.hEvent;
    ov_ = OVERLAPPED{};
    ov_.hEvent = event;
    ::ResetEvent(event);
    return &ov_;
  }
  HANDLE Event() const { return ov_.hEvent; }

 private:
  OVERLAPPED ov_{};
};

DWORD Wait(HANDLE a, HANDLE b, std::uint32_t timeout_ms) {
  const HANDLE handles[2] = {a, b};
  return ::WaitForMultipleObjects(2, handles, FALSE, timeout_ms == kNoLimit ? INFINITE : timeout_ms);
}

class TWin32Device final : public TPortDevice {
 public:
  explicit TWin32Device(HANDLE h) : h_(h), abort_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TWin32Device() override {
    if (abort_ != nullptr) ::CloseHandle(abort_);
  }
  bool Valid() const { return abort_ != nullptr && read_ov_.Valid() && write_ov_.Valid() && wait_ov_.Valid(); }

  std::uint32_t SetState(const TPortDcb& d) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h_, &dcb)) return ::GetLastError();
    dcb.BaudRate = d.baud_rate;
    dcb.fBinary = TRUE;
    dcb.fParity = d.parity_check ? TRUE : FALSE;
    dcb.fOutxCtsFlow = d.outx_cts_flow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = d.outx_dsr_flow ? TRUE : FALSE;
    dcb.fDtrControl = static_cast<DWORD>(d.dtr_control);
    dcb.fDsrSensitivity = d.dsr_sensitivity ? TRUE : FALSE;
    dcb.fTXContinueOnXoff = d.tx_continue_on_xoff ? TRUE : FALSE;
    dcb.fOutX = d.outx ? TRUE : FALSE;
    dcb.fInX = d.inx ? TRUE : FALSE;
    dcb.fErrorChar = d.error_char_on ? TRUE : FALSE;
    dcb.fNull = d.null_discard ? TRUE : FALSE;
    dcb.fRtsControl = static_cast<DWORD>(d.rts_control);
    dcb.fAbortOnError = d.abort_on_error ? TRUE : FALSE;
    dcb.XonLim = d.xon_lim;
    dcb.XoffLim = d.xoff_lim;
    dcb.ByteSize = d.byte_size;
    dcb.Parity = d.parity;
    dcb.StopBits = d.stop_bits;
    dcb.XonChar = d.xon_char;
    dcb.XoffChar = d.xoff_char;
    dcb.ErrorChar = d.error_char;
    dcb.EofChar = d.eof_char;
    dcb.EvtChar = d.evt_char;
    if (!::SetCommState(h_, &dcb)) return ::GetLastError();
    return 0;
  }

  std::uint32_t SetupComm(std::uint32_t in_size, std::uint32_t out_size) override {
    if (!::SetupComm(h_, in_size, out_size)) return ::GetLastError();
    std::lock_guard lock(mutex_);
    out_size_ = out_size;
    return 0;
  }

  std::uint32_t SetTimeouts(const TPortTimeouts& t) override {
    // Reads return at once with what is queued, as the port layer promises;
    // only the write limits are the caller's.
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = MAXDWORD;
    ct.WriteTotalTimeoutMultiplier = t.write_total_multiplier;
    ct.WriteTotalTimeoutConstant = t.write_total_constant;
    if (!::SetCommTimeouts(h_, &ct)) return ::GetLastError();
    return 0;
  }

  std::uint32_t Purge(std::uint32_t flags) override {
    if (!::PurgeComm(h_, flags)) return ::GetLastError();
    if ((flags & (kPurgeRxAbort | kPurgeTxAbort)) != 0) {
      abort_seq_.fetch_add(1);
      WakeEventWait();
    }
    return 0;
  }

  std::uint32_t ClearError(std::uint32_t& errors, TPortQueueStat& stat) override {
    DWORD e = 0;
    COMSTAT cs{};
    if (!::ClearCommError(h_, &e, &cs)) return Failed();
    errors = e & (kLineErrorRxOver | kLineErrorOverrun | kLineErrorParity | kLineErrorFrame);
    std::lock_guard lock(mutex_);
    stat.in_queue = cs.cbInQue;
    stat.out_queue = std::min<std::uint32_t>(cs.cbOutQue, out_size_);
    return 0;
  }

  std::uint32_t ModemStatus(std::uint32_t& status) override {
    if (!virtual_lines_.load()) {
      DWORD s = 0;
      if (::GetCommModemStatus(h_, &s)) {
        status = s & (kModemCtsOn | kModemDsrOn | kModemRingOn | kModemRlsdOn);
        return 0;
      }
      const DWORD e = ::GetLastError();
      if (e != ERROR_NOT_SUPPORTED) return e;
      virtual_lines_.store(true);
    }
    status = kModemCtsOn | kModemDsrOn | (HungUp() ? 0 : kModemRlsdOn);
    return 0;
  }

  std::uint32_t Read(void* data, std::uint32_t size, std::uint32_t& done) override {
    std::lock_guard lock(read_mutex_);
    DWORD got = 0;
    OVERLAPPED* ov = read_ov_.Get();
    if (!::ReadFile(h_, data, size, nullptr, ov)) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_IO_PENDING) return Failed(e);
    }
    // The read time-outs make it return at once with what is queued.
    if (!::GetOverlappedResult(h_, ov, &got, TRUE)) return Failed();
    done = got;
    return 0;
  }

  std::uint32_t Write(const void* data, std::uint32_t size, std::uint32_t& done) override {
    std::lock_guard lock(write_mutex_);
    if (aborted_.load()) return 0;
    DWORD sent = 0;
    OVERLAPPED* ov = write_ov_.Get();
    if (!::WriteFile(h_, data, size, nullptr, ov)) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_IO_PENDING) return Failed(e);
      // The write time-outs end it; an abort or an aborting purge ends it early.
      if (Wait(ov->hEvent, abort_, kNoLimit) != WAIT_OBJECT_0) ::CancelIoEx(h_, ov);
    }
    if (!::GetOverlappedResult(h_, ov, &sent, TRUE)) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_OPERATION_ABORTED) return Failed(e);
    }
    done = sent;
    return 0;
  }

  TPortWait WaitReceive(std::uint32_t timeout_ms, const std::uint32_t* lines_seen, std::uint32_t& error) override {
    const std::uint64_t abort_seen = abort_seq_.load();
    const TDeadline deadline(timeout_ms);
    std::lock_guard lock(wait_mutex_);
    for (;;) {
      if (Woken(abort_seen)) return TPortWait::kAborted;
      if (lines_seen != nullptr) {
        std::uint32_t now = 0;
        if (const std::uint32_t e = ModemStatus(now); e != 0) {
          error = e;
          return TPortWait::kError;
        }
        if (now != *lines_seen) return TPortWait::kLineChange;
      }
      TPortQueueStat stat;
      std::uint32_t line_errors = 0;
      if (const std::uint32_t e = ClearError(line_errors, stat); e != 0) {
        if (HungUp()) return TPortWait::kLineChange;
        error = e;
        return TPortWait::kError;
      }
      if (stat.in_queue > 0) return TPortWait::kReady;
      const std::uint32_t left = timeout_ms == kNoLimit ? kNoLimit : deadline.Left();
      if (left == 0) return TPortWait::kTimeout;
      const TEventWait waited = WaitCommEvent(left, [&] { return QueuedForReading(); });
      if (waited == TEventWait::kFailed) {
        error = Failed();
        if (HungUp()) return TPortWait::kLineChange;
        return TPortWait::kError;
      }
      if (waited == TEventWait::kAborted) return TPortWait::kAborted;
      // An event or the time-out: the loop looks again.
    }
  }

  TPortWait WaitTransmit(std::uint32_t timeout_ms, std::uint32_t& error) override {
    const std::uint64_t abort_seen = abort_seq_.load();
    const TDeadline deadline(timeout_ms);
    std::lock_guard lock(wait_mutex_);
    for (;;) {
      if (Woken(abort_seen)) return TPortWait::kAborted;
      if (HungUp()) return TPortWait::kLineChange;
      TPortQueueStat stat;
      std::uint32_t line_errors = 0;
      if (const std::uint32_t e = ClearError(line_errors, stat); e != 0) {
        error = e;
        return TPortWait::kError;
      }
      if (stat.out_queue < OutSize()) return TPortWait::kReady;
      const std::uint32_t left = timeout_ms == kNoLimit ? kNoLimit : deadline.Left();
      if (left == 0) return TPortWait::kTimeout;
      const TEventWait waited = WaitCommEvent(left, [this] { return RoomForWriting(); });
      if (waited == TEventWait::kFailed) {
        error = Failed();
        return TPortWait::kError;
      }
      if (waited == TEventWait::kAborted) return TPortWait::kAborted;
    }
  }

  void Abort() override {
    aborted_.store(true);
    ::SetEvent(abort_);
    WakeEventWait();
    ::CancelIoEx(h_, nullptr);
  }

  void Close() override {
    // Closing the handle drops DTR, so that a modem set to hang up on DTR
    // loss ends its call.
    ::CloseHandle(h_);
  }

 private:
  enum class TEventWait { kEvent, kTimeout, kAborted, kFailed };

  // Blocks in WaitCommEvent until an event, `timeout_ms`, or an abort. What
  // `ready` sees right after the wait was started (an event that came just
  // before it) ends the wait at once. Called with wait_mutex_ held: one
  // event wait at a time on the handle.
  template <typename Ready>
  TEventWait WaitCommEvent(std::uint32_t timeout_ms, Ready ready) {
    DWORD mask = 0;
    OVERLAPPED* ov = wait_ov_.Get();
    if (::WaitCommEvent(h_, &mask, ov)) return TEventWait::kEvent;
    if (::GetLastError() != ERROR_IO_PENDING) return TEventWait::kFailed;
    DWORD r = ready() ? WAIT_TIMEOUT : Wait(ov->hEvent, abort_, timeout_ms);
    if (r != WAIT_OBJECT_0) {
      // Setting the mask again completes a pending wait at once.
      ::SetCommMask(h_, kEvents);
    }
    DWORD unused = 0;
    (void)::GetOverlappedResult(h_, ov, &unused, TRUE);
    if (r == WAIT_OBJECT_0 + 1 || aborted_.load()) return TEventWait::kAborted;
    return r == WAIT_OBJECT_0 ? TEventWait::kEvent : TEventWait::kTimeout;
  }

  bool QueuedForReading() {
    DWORD e = 0;
    COMSTAT cs{};
    return ::ClearCommError(h_, &e, &cs) && cs.cbInQue > 0;
  }
  bool RoomForWriting() {
    DWORD e = 0;
    COMSTAT cs{};
    return ::ClearCommError(h_, &e, &cs) && cs.cbOutQue < OutSize();
  }

  // Wakes a WaitCommEvent under way (an abort, an aborting purge).
  void WakeEventWait() { ::SetCommMask(h_, kEvents); }

  bool Woken(std::uint64_t abort_seen) const { return aborted_.load() || abort_seq_.load() != abort_seen; }

  std::uint32_t OutSize() {
    std::lock_guard lock(mutex_);
    return out_size_;
  }

  // The last error of a failed call; on a port with virtual lines an I/O
  // error means that the far end has gone.
  std::uint32_t Failed(DWORD e = ::GetLastError()) {
    if (virtual_lines_.load()) {
      std::lock_guard lock(mutex_);
      hung_up_ = true;
    }
    return e;
  }
  bool HungUp() {
    std::lock_guard lock(mutex_);
    return hung_up_;
  }

  const HANDLE h_;
  const HANDLE abort_;
  TOverlapped read_ov_, write_ov_, wait_ov_;
  std::atomic<bool> aborted_{false};
  std::atomic<std::uint64_t> abort_seq_{0};
  std::atomic<bool> virtual_lines_{false};
  std::mutex read_mutex_, write_mutex_, wait_mutex_;
  std::mutex mutex_;  // guards the fields below
  std::uint32_t out_size_ = 4096;
  bool hung_up_ = false;
};

}  // namespace

std::unique_ptr<TPortDevice> OpenSystemDevice(const std::string& name, std::uint32_t& error) {
  // Exclusive, as Windows always opens a COM port.
  const HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    return nullptr;
  }
  auto device = std::make_unique<TWin32Device>(h);
  COMMTIMEOUTS ct{};
  ct.ReadIntervalTimeout = MAXDWORD;
  if (!device->Valid() || !::SetCommMask(h, kEvents) || !::SetCommTimeouts(h, &ct)) {
    error = ::GetLastError();
    device->Close();
    return nullptr;
  }
  // Whether the driver reports modem lines is known from the first look.
  std::uint32_t lines = 0;
  (void)device->ModemStatus(lines);
  return device;
}

}  // namespace kestrel::platform
