// The Win32 backend: COM ports through the Win32 serial API, with overlapped
// I/O so that every wait blocks on handles with a deadline and ends at once
// when the port is aborted or purged.
//
// A port whose driver cannot report the modem lines (GetCommModemStatus
// fails with ERROR_NOT_SUPPORTED, as a COM port that Wine maps to a
// pseudo-terminal does) gets virtual lines, as on POSIX: CTS, DSR and carrier
// detect on while the port works, carrier off once the far end is gone. Such
// a driver has no event waits either (WaitCommEvent fails the same way): a
// wait for received bytes is then a pending one-byte read, its byte kept for
// the next read.
//
// Reads never wait: the handle's read time-outs are "wait for every byte
// asked for", and a read asks only for what ClearCommError says is queued.
//
// Windows itself refuses a second opener of a COM port; Wine does not. A
// named object per device keeps the refusal wherever this backend opens the
// port: the second opener gets ERROR_ACCESS_DENIED, as on Windows.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <string>

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
  TWin32Device(HANDLE h, HANDLE name_lock)
      : h_(h), name_lock_(name_lock), abort_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TWin32Device() override {
    if (abort_ != nullptr) ::CloseHandle(abort_);
  }
  bool Valid() const { return abort_ != nullptr && read_ov_.Valid() && write_ov_.Valid() && wait_ov_.Valid(); }

  // Whether the driver reports modem lines and event waits; known at open.
  void LearnDriver() {
    DWORD s = 0;
    if (!::GetCommModemStatus(h_, &s) && ::GetLastError() == ERROR_NOT_SUPPORTED) virtual_lines_ = true;
  }

  std::uint32_t SetState(const TPortDcb& d) override {
    // Every field comes from the channel's DCB: the device's current state
    // is not read first (a driver may fail to report a rate it was left at).
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
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
    // Reads ask only for what is queued (see the file's comment); the write
    // limits are the caller's.
    COMMTIMEOUTS ct{};
    ct.WriteTotalTimeoutMultiplier = t.write_total_multiplier;
    ct.WriteTotalTimeoutConstant = t.write_total_constant;
    if (!::SetCommTimeouts(h_, &ct)) return ::GetLastError();
    return 0;
  }

  std::uint32_t Purge(std::uint32_t flags) override {
    if (!::PurgeComm(h_, flags)) return ::GetLastError();
    if ((flags & kPurgeRxClear) != 0) {
      std::lock_guard lock(mutex_);
      lookahead_.clear();
    }
    if ((flags & (kPurgeRxAbort | kPurgeTxAbort)) != 0) {
      abort_seq_.fetch_add(1);
      WakeWaits();
    }
    return 0;
  }

  std::uint32_t ClearError(std::uint32_t& errors, TPortQueueStat& stat) override {
    DWORD e = 0;
    COMSTAT cs{};
    if (!::ClearCommError(h_, &e, &cs)) return Failed();
    errors = e & (kLineErrorRxOver | kLineErrorOverrun | kLineErrorParity | kLineErrorFrame);
    std::lock_guard lock(mutex_);
    stat.in_queue = cs.cbInQue + static_cast<std::uint32_t>(lookahead_.size());
    stat.out_queue = std::min<std::uint32_t>(cs.cbOutQue, out_size_);
    return 0;
  }

  std::uint32_t ModemStatus(std::uint32_t& status) override {
    if (!virtual_lines_) {
      DWORD s = 0;
      if (!::GetCommModemStatus(h_, &s)) return ::GetLastError();
      status = s & (kModemCtsOn | kModemDsrOn | kModemRingOn | kModemRlsdOn);
      return 0;
    }
    status = kModemCtsOn | kModemDsrOn | (HungUp() ? 0 : kModemRlsdOn);
    return 0;
  }

  std::uint32_t Read(void* data, std::uint32_t size, std::uint32_t& done) override {
    done = TakeLookahead(static_cast<char*>(data), size);
    if (done == size) return 0;
    DWORD e = 0;
    COMSTAT cs{};
    if (!::ClearCommError(h_, &e, &cs)) return Failed();
    const std::uint32_t want = std::min<std::uint32_t>(size - done, cs.cbInQue);
    if (want == 0) return 0;
    std::lock_guard lock(read_mutex_);
    DWORD got = 0;
    OVERLAPPED* ov = read_ov_.Get();
    if (!::ReadFile(h_, static_cast<char*>(data) + done, want, &got, ov)) {
      if (::GetLastError() != ERROR_IO_PENDING) return Failed();
      // What is queued is there: the read completes at once.
      if (!::GetOverlappedResult(h_, ov, &got, TRUE)) return Failed();
    }
    done += got;
    return 0;
  }

  std::uint32_t Write(const void* data, std::uint32_t size, std::uint32_t& done) override {
    std::lock_guard lock(write_mutex_);
    if (aborted_.load()) return 0;
    DWORD sent = 0;
    OVERLAPPED* ov = write_ov_.Get();
    if (!::WriteFile(h_, data, size, &sent, ov)) {
      if (TimedOut()) return 0;
      if (::GetLastError() != ERROR_IO_PENDING) return Failed();
      // The write time-outs end it; an abort or an aborting purge ends it early.
      if (Wait(ov->hEvent, abort_, kNoLimit) != WAIT_OBJECT_0) ::CancelIoEx(h_, ov);
      if (!::GetOverlappedResult(h_, ov, &sent, TRUE) && ::GetLastError() != ERROR_OPERATION_ABORTED &&
          !TimedOut())
        return Failed();
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
      if (HungUp()) return SleepAfterHangUp(timeout_ms == kNoLimit ? kNoLimit : deadline.Left(), abort_seen);
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
      const TBlocked blocked = virtual_lines_ ? ReadAhead(left) : WaitCommEvent(left, [&] { return Queued() > 0; });
      if (blocked == TBlocked::kAborted) return TPortWait::kAborted;
      if (blocked == TBlocked::kFailed) {
        error = ::GetLastError();
        if (HungUp()) return TPortWait::kLineChange;
        return TPortWait::kError;
      }
      // Bytes, an event or the time-out: the loop looks again.
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
      // A driver without event waits completes every write before it returns.
      if (stat.out_queue < OutSize() || virtual_lines_) return TPortWait::kReady;
      const std::uint32_t left = timeout_ms == kNoLimit ? kNoLimit : deadline.Left();
      if (left == 0) return TPortWait::kTimeout;
      const TBlocked blocked = WaitCommEvent(left, [this] { return RoomForWriting(); });
      if (blocked == TBlocked::kFailed) {
        error = ::GetLastError();
        return TPortWait::kError;
      }
      if (blocked == TBlocked::kAborted) return TPortWait::kAborted;
    }
  }

  void Abort() override {
    aborted_.store(true);
    ::SetEvent(abort_);
    WakeWaits();
  }

  void Close() override {
    // Closing the handle drops DTR, so that a modem set to hang up on DTR
    // loss ends its call; the name is free for the next opener after it.
    ::CloseHandle(h_);
    if (name_lock_ != nullptr) ::CloseHandle(name_lock_);
  }

 private:
  enum class TBlocked { kDone, kAborted, kFailed };

  // Blocks in WaitCommEvent until an event, `timeout_ms`, or an abort. What
  // `ready` sees right after the wait was started (an event that came just
  // before it) ends the wait at once. Called with wait_mutex_ held: one
  // event wait at a time on the handle.
  template <typename Ready>
  TBlocked WaitCommEvent(std::uint32_t timeout_ms, Ready ready) {
    DWORD mask = 0;
    OVERLAPPED* ov = wait_ov_.Get();
    if (::WaitCommEvent(h_, &mask, ov)) return TBlocked::kDone;
    if (::GetLastError() != ERROR_IO_PENDING) return TBlocked::kFailed;
    const DWORD r = ready() ? WAIT_TIMEOUT : Wait(ov->hEvent, abort_, timeout_ms);
    // Setting the mask again completes a pending wait at once.
    if (r != WAIT_OBJECT_0) ::SetCommMask(h_, kEvents);
    DWORD unused = 0;
    (void)::GetOverlappedResult(h_, ov, &unused, TRUE);
    return r == WAIT_OBJECT_0 + 1 || aborted_.load() ? TBlocked::kAborted : TBlocked::kDone;
  }

  // Blocks in a one-byte read until a byte arrives, `timeout_ms`, or an
  // abort; the byte is kept for the next Read. Called with wait_mutex_ held.
  TBlocked ReadAhead(std::uint32_t timeout_ms) {
    std::lock_guard lock(read_mutex_);
    char byte = 0;
    DWORD got = 0;
    OVERLAPPED* ov = read_ov_.Get();
    DWORD r = WAIT_OBJECT_0;
    if (!::ReadFile(h_, &byte, 1, &got, ov)) {
      if (::GetLastError() != ERROR_IO_PENDING) return Failed(), TBlocked::kFailed;
      r = Wait(ov->hEvent, abort_, timeout_ms);
      if (r != WAIT_OBJECT_0) ::CancelIoEx(h_, ov);
      if (!::GetOverlappedResult(h_, ov, &got, TRUE)) {
        if (::GetLastError() != ERROR_OPERATION_ABORTED) return Failed(), TBlocked::kFailed;
        got = 0;
      }
    }
    if (got == 1) {
      std::lock_guard state(mutex_);
      lookahead_.push_back(byte);
    }
    return r == WAIT_OBJECT_0 + 1 || aborted_.load() ? TBlocked::kAborted : TBlocked::kDone;
  }

  // After a hang-up nothing more comes: a wait only sleeps out its time (or
  // until woken), never spins.
  TPortWait SleepAfterHangUp(std::uint32_t timeout_ms, std::uint64_t abort_seen) {
    if (Woken(abort_seen)) return TPortWait::kAborted;
    const DWORD r = ::WaitForSingleObject(abort_, timeout_ms == kNoLimit ? INFINITE : timeout_ms);
    return r == WAIT_OBJECT_0 || Woken(abort_seen) ? TPortWait::kAborted : TPortWait::kTimeout;
  }

  std::uint32_t TakeLookahead(char* data, std::uint32_t size) {
    std::lock_guard lock(mutex_);
    const std::uint32_t n = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(lookahead_.size()));
    std::copy_n(lookahead_.begin(), n, data);
    lookahead_.erase(0, n);
    return n;
  }

  std::uint32_t Queued() {
    DWORD e = 0;
    COMSTAT cs{};
    return ::ClearCommError(h_, &e, &cs) ? cs.cbInQue : 0;
  }
  bool RoomForWriting() {
    DWORD e = 0;
    COMSTAT cs{};
    return ::ClearCommError(h_, &e, &cs) && cs.cbOutQue < OutSize();
  }

  // Wakes a wait under way (an abort, an aborting purge): an event wait ends
  // when the mask is set again, a read ahead when it is cancelled.
  void WakeWaits() {
    if (virtual_lines_)
      ::CancelIoEx(h_, nullptr);
    else
      ::SetCommMask(h_, kEvents);
  }

  bool Woken(std::uint64_t abort_seen) const { return aborted_.load() || abort_seq_.load() != abort_seen; }

  std::uint32_t OutSize() {
    std::lock_guard lock(mutex_);
    return out_size_;
  }

  // Whether a write failed only because its time-out ended it: some drivers
  // (Wine's among them) report the time-out as an error rather than as a
  // short write. What went out before it is in the count.
  static bool TimedOut() {
    const DWORD e = ::GetLastError();
    return e == ERROR_TIMEOUT || e == ERROR_SEM_TIMEOUT;
  }

  // The last error of a failed call; on a port with virtual lines an I/O
  // error means that the far end has gone.
  std::uint32_t Failed() {
    const DWORD e = ::GetLastError();
    if (virtual_lines_) {
      std::lock_guard lock(mutex_);
      hung_up_ = true;
    }
    ::SetLastError(e);
    return e;
  }
  bool HungUp() {
    std::lock_guard lock(mutex_);
    return hung_up_;
  }

  const HANDLE h_;
  const HANDLE name_lock_;
  const HANDLE abort_;
  bool virtual_lines_ = false;  // set once at open
  TOverlapped read_ov_, write_ov_, wait_ov_;
  std::atomic<bool> aborted_{false};
  std::atomic<std::uint64_t> abort_seq_{0};
  std::mutex read_mutex_, write_mutex_, wait_mutex_;
  std::mutex mutex_;  // guards the fields below
  std::string lookahead_;  // bytes a wait read ahead, for the next Read
  std::uint32_t out_size_ = 4096;
  bool hung_up_ = false;
};

// The name of the object that stands for the device `name` while it is open.
std::string NameLockOf(const std::string& name) {
  std::string id = "Local\\KestrelPort-";
  for (const char c : name) id += c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return id;
}

}  // namespace

std::unique_ptr<TPortDevice> OpenSystemDevice(const std::string& name, std::uint32_t& error) {
  const HANDLE name_lock = ::CreateMutexA(nullptr, FALSE, NameLockOf(name).c_str());
  if (name_lock != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(name_lock);
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  // Exclusive, as Windows always opens a COM port.
  const HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    if (name_lock != nullptr) ::CloseHandle(name_lock);
    return nullptr;
  }
  auto device = std::make_unique<TWin32Device>(h, name_lock);
  const COMMTIMEOUTS ct{};
  if (!device->Valid() || !::SetCommTimeouts(h, const_cast<COMMTIMEOUTS*>(&ct))) {
    error = ::GetLastError();
    device->Close();
    return nullptr;
  }
  device->LearnDriver();
  // Event waits where the driver has them (a driver without modem lines has none).
  (void)::SetCommMask(h, kEvents);
  return device;
}

}  // namespace kestrel::platform
