// The backend side of the port layer (internal to platform/): one open device
// behind a port handle. Port.cpp owns the handle table, validates arguments,
// turns returned error codes into the thread's last error, and guarantees:
//   - Abort() may run concurrently with any other call and wakes every wait;
//   - Close() runs once, after every other call has returned;
//   - the remaining calls may run concurrently with each other (the poll
//     thread reads while the owner writes), so a device guards its own state.
// Every call returns 0 or the error code of the failing system call, captured
// where it failed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Port.h"

namespace kestrel::platform {

class TPortDevice {
 public:
  virtual ~TPortDevice() = default;

  virtual std::uint32_t SetState(const TPortDcb& dcb) = 0;
  virtual std::uint32_t SetupComm(std::uint32_t in_size, std::uint32_t out_size) = 0;
  virtual std::uint32_t SetTimeouts(const TPortTimeouts& timeouts) = 0;
  virtual std::uint32_t Purge(std::uint32_t flags) = 0;
  virtual std::uint32_t ClearError(std::uint32_t& errors, TPortQueueStat& stat) = 0;
  virtual std::uint32_t ModemStatus(std::uint32_t& status) = 0;
  // Whether the device cannot report its modem lines, so that the backend
  // keeps virtual ones.
  virtual bool VirtualLines() const { return false; }
  virtual std::uint32_t Read(void* data, std::uint32_t size, std::uint32_t& done) = 0;
  virtual std::uint32_t Write(const void* data, std::uint32_t size, std::uint32_t& done) = 0;
  virtual TPortWait WaitReceive(std::uint32_t timeout_ms, const std::uint32_t* lines_seen,
                                std::uint32_t& error) = 0;
  virtual TPortWait WaitTransmit(std::uint32_t timeout_ms, std::uint32_t& error) = 0;
  // From now on every wait and blocked write returns at once.
  virtual void Abort() = 0;
  // Ends the receive wait under way with kAborted, or the next one when
  // none is; discards nothing and leaves other waits alone.
  virtual void WakeReceive() = 0;
  virtual void Close() = 0;
};

// Opens a device of the operating system by the name a port name resolved
// to (ResolvePortName): a termios device or pseudo-terminal by path
// (Port_posix.cpp). The backend file is chosen by CMake.
std::unique_ptr<TPortDevice> OpenSystemDevice(const std::string& name, std::uint32_t& error);

// What COM number `n` opens when no target is set for it (PortNames_posix.cpp:
// <KESTREL_COM_DIR>/com<n> when that entry exists, else /dev/ttyS<n-1>).
std::string SystemComPortName(int n);
// Opens the gate end of the sim line `name` (Port_sim.cpp).
std::unique_ptr<TPortDevice> OpenSimDevice(const std::string& name, std::uint32_t& error);

// The write time-out of `size` bytes in ms; 0xFFFFFFFF for no limit.
constexpr std::uint32_t WriteTimeoutMs(const TPortTimeouts& t, std::uint32_t size) {
  if (t.write_total_multiplier == 0 && t.write_total_constant == 0) return 0xFFFFFFFFu;
  const std::uint64_t ms = std::uint64_t{t.write_total_multiplier} * size + t.write_total_constant;
  return ms >= 0xFFFFFFFFu ? 0xFFFFFFFEu : static_cast<std::uint32_t>(ms);
}

}  // namespace kestrel::platform
