// The port layer: serial ports in the shape of the Win32 serial operations
// (CreateFile, SetCommState, SetupComm, SetCommTimeouts, PurgeComm,
// ClearCommError, GetCommModemStatus, ReadFile, WriteFile, CloseHandle), so
// that the serial driver reads the same on every system.
//
// A port is named as on Windows ("\\.\COM3"), by a device path, or as
// "sim:<name>" for the gate end of an in-process virtual line
// (platform/SimLine.h). PortNames.h tells how a COM number finds its device.
// Behind the handle sits one of the backends: termios devices and
// pseudo-terminals (posix), or sim lines.
//
// Errors: every function that fails stores its error code as the calling
// thread's last error (platform/SysError.h) at the point of failure and
// returns false or kInvalidPortHandle; codes are the system's own (errno
// values on POSIX, GetLastError values on Windows), with kErrorFileNotFound
// for a missing device and kErrorBusy for a device that another opener
// holds. A successful call leaves the last error unchanged.
//
// Thread safety: all functions may be called from any thread. Calls on one
// handle may run concurrently (the serial driver's poll reads while its owner
// writes); PortClose wakes calls that are blocked on the handle, waits for them
// to return and only then releases the device, so a handle is never used after
// its device was released. A closed handle is invalid forever (ids are never
// reused within a process).
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel::platform {

// An open port: a 32-bit id, never a pointer.
using TPortHandle = std::uint32_t;
inline constexpr TPortHandle kInvalidPortHandle = 0xFFFFFFFFu;

// Error codes the callers may test for, as this system gives them
// (SysError_<os>.cpp).
extern const std::uint32_t kErrorFileNotFound;      // no such device, no live sim line (2 everywhere)
extern const std::uint32_t kErrorBusy;              // another opener holds the device
extern const std::uint32_t kErrorInvalidHandle;     // closed or never-opened handle
extern const std::uint32_t kErrorInvalidParameter;

// Line settings in the shape of the Win32 DCB. Only what the serial driver
// sets is honoured; the comments say how each maps onto a termios device.
struct TPortDcb {
  enum class TDtrControl : std::uint8_t { kDisable = 0, kEnable = 1, kHandshake = 2 };
  enum class TRtsControl : std::uint8_t { kDisable = 0, kEnable = 1, kHandshake = 2, kToggle = 3 };

  std::uint32_t baud_rate = 9600;  // any value above 0; rates outside the classic table are set as custom rates
  bool binary = true;              // raw mode; a termios device is always raw
  bool parity_check = false;       // check parity of received bytes (INPCK)
  bool outx_cts_flow = false;      // hold output while CTS is off (CRTSCTS)
  bool outx_dsr_flow = false;      // no termios equivalent: ignored there
  TDtrControl dtr_control = TDtrControl::kEnable;  // handshake counts as enable
  bool dsr_sensitivity = false;    // ignored
  bool tx_continue_on_xoff = false;  // ignored
  bool outx = false;               // obey XOFF/XON from the far end (IXON)
  bool inx = false;                // send XOFF/XON when the receive side fills (IXOFF)
  bool error_char_on = false;      // ignored
  bool null_discard = false;       // ignored
  TRtsControl rts_control = TRtsControl::kEnable;  // handshake: CRTSCTS; toggle counts as enable
  bool abort_on_error = false;     // ignored
  std::uint16_t xon_lim = 0;       // the kernel keeps its own thresholds: ignored by termios
  std::uint16_t xoff_lim = 0;
  std::uint8_t byte_size = 8;      // 5..8
  std::uint8_t parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stop_bits = 0;      // 0 one, 1 one and a half (set as two on termios), 2 two
  char xon_char = 17;              // DC1
  char xoff_char = 19;             // DC3
  char error_char = 0;
  char eof_char = 0;
  char evt_char = 0;
};

// SetCommTimeouts. Reads never wait (PortRead returns what is queued), so the
// read values are stored and otherwise unused; the write values bound how long
// PortWrite waits for room: write_total_multiplier * size + write_total_constant
// milliseconds, both 0 meaning no limit.
struct TPortTimeouts {
  std::uint32_t read_interval = 0xFFFFFFFFu;
  std::uint32_t read_total_multiplier = 0;
  std::uint32_t read_total_constant = 0;
  std::uint32_t write_total_multiplier = 10;
  std::uint32_t write_total_constant = 10;
};

// PortPurge flags (the PurgeComm values).
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;

// PortGetModemStatus bits (the GetCommModemStatus values).
inline constexpr std::uint32_t kModemCtsOn = 0x0010;
inline constexpr std::uint32_t kModemDsrOn = 0x0020;
inline constexpr std::uint32_t kModemRingOn = 0x0040;
inline constexpr std::uint32_t kModemRlsdOn = 0x0080;  // carrier detect

// PortClearError line error bits (the ClearCommError values).
inline constexpr std::uint32_t kLineErrorRxOver = 0x0001;
inline constexpr std::uint32_t kLineErrorOverrun = 0x0002;
inline constexpr std::uint32_t kLineErrorParity = 0x0004;
inline constexpr std::uint32_t kLineErrorFrame = 0x0008;

struct TPortQueueStat {
  std::uint32_t in_queue = 0;   // bytes waiting to be read
  std::uint32_t out_queue = 0;  // bytes written but not yet sent (0 where the device cannot tell)
};

// Opens a port for reading and writing, exclusively, without making it the
// controlling terminal. Returns kInvalidPortHandle on failure (kErrorBusy when
// another opener, in this or another process, holds it). The line settings
// are whatever the device had: callers apply theirs with PortSetState. On a
// device that cannot report modem lines (every pseudo-terminal) CTS, DSR and
// carrier detect read as on until the far end hangs up.
[[nodiscard]] TPortHandle PortOpen(std::string_view name);

// Releases the device; DTR drops. Blocked calls on the handle return first.
[[nodiscard]] bool PortClose(TPortHandle port);

// Applies the line settings. Fails with kErrorInvalidParameter for a baud rate
// of 0, a byte size outside 5..8, a parity above 4 or stop bits above 2, and
// with the device's error when it refuses a setting.
[[nodiscard]] bool PortSetState(TPortHandle port, const TPortDcb& dcb);

// Sets the receive and transmit queue sizes (each at least 1). A sim port
// holds exactly that many bytes; a termios device keeps its kernel buffers and
// reports at most out_size bytes as queued for sending.
[[nodiscard]] bool PortSetupComm(TPortHandle port, std::uint32_t in_size, std::uint32_t out_size);

[[nodiscard]] bool PortSetTimeouts(TPortHandle port, const TPortTimeouts& timeouts);

// Discards queued bytes: kPurgeRxClear the receive side, kPurgeTxClear the
// transmit side; the abort flags wake a PortWrite or wait that is blocked.
[[nodiscard]] bool PortPurge(TPortHandle port, std::uint32_t flags);

// Returns and clears the line error bits (null `errors` allowed) and, when
// `stat` is not null, the queue counts.
[[nodiscard]] bool PortClearError(TPortHandle port, std::uint32_t* errors, TPortQueueStat* stat);

// The modem input lines as kModem* bits.
[[nodiscard]] bool PortGetModemStatus(TPortHandle port, std::uint32_t& status);

// Ends the PortWaitReceive under way on `port` with kAborted, or the next one
// when none is (a wake is never lost between a caller's look and its wait).
// Discards nothing, and leaves writes and transmit waits alone.
void PortWakeReceive(TPortHandle port);

// True when the port's device cannot report its modem lines (a
// pseudo-terminal, or a COM port Wine maps to one) and the port layer keeps
// virtual ones: CTS, DSR and carrier detect on while the far end is there.
// False also for an invalid handle.
bool PortHasVirtualLines(TPortHandle port);

// Copies up to `size` queued bytes into `data` and sets `done` to their count;
// never waits (0 bytes is a success). `data` may be null only when `size` is 0.
[[nodiscard]] bool PortRead(TPortHandle port, void* data, std::uint32_t size, std::uint32_t& done);

// Writes up to `size` bytes and sets `done` to the count taken. Takes what fits
// at once; only when nothing fits does it wait for room, up to the write
// time-out of PortSetTimeouts, and returns success with `done` 0 when none
// came. Returns early with what was taken when the port is purged with
// kPurgeTxAbort or closed.
[[nodiscard]] bool PortWrite(TPortHandle port, const void* data, std::uint32_t size, std::uint32_t& done);

// What ended a wait.
enum class TPortWait : std::uint8_t {
  kReady,       // bytes are queued (PortWaitReceive) / the transmit side has room (PortWaitTransmit)
  kLineChange,  // the modem input lines differ from those seen, or the far end hung up
  kTimeout,
  kAborted,     // the port is being closed or was purged with an abort flag
  kError,       // bad handle or a device error (the last error tells)
};

// Blocks until bytes are queued for reading, or `timeout_ms` pass; with
// `lines_seen` (the kModem* bits the caller last saw) also until the modem
// input lines differ from them, which is reported at once when they already
// do, so no change slips in between a status query and the wait. Never spins,
// also after a hang-up. A timeout of 0 only looks.
TPortWait PortWaitReceive(TPortHandle port, std::uint32_t timeout_ms, const std::uint32_t* lines_seen = nullptr);

// Blocks until the transmit side has room for at least one byte, or
// `timeout_ms` pass. A timeout of 0 only looks.
TPortWait PortWaitTransmit(TPortHandle port, std::uint32_t timeout_ms);

}  // namespace kestrel::platform
