// What a simulated modem needs from the serial connection to its terminal:
// bytes both ways, the terminal's DTR, and the modem's own lines.
//
// Implementations: SimLinePort.h (the far end of an in-process sim port) and
// PtyPort.h (the master of a pseudo-terminal). Tests may add their own.
//
// Thread safety: Read, Write, Dtr, DtrDrops and SetLines are called from the
// runner's thread only; the activity callback may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrel::sim {

struct TModemLines {
  bool cd = false;
  bool ring = false;
  bool dsr = true;
  bool cts = true;

  bool operator==(const TModemLines&) const = default;
};

class TModemPort {
 public:
  virtual ~TModemPort() = default;

  // Bytes the terminal sent: up to `size` of them; never blocks.
  virtual std::size_t Read(void* data, std::size_t size) = 0;
  // Bytes for the terminal; returns how many were taken (fewer when its
  // queue is full). While no terminal is there they are dropped and all count
  // as taken. Never blocks.
  virtual std::size_t Write(const void* data, std::size_t size) = 0;
  // The terminal's DTR now, and how many times it has dropped since the port
  // was made, so that a drop followed at once by a raise is still seen.
  virtual bool Dtr() const = 0;
  virtual std::uint32_t DtrDrops() const = 0;
  virtual void SetLines(const TModemLines& lines) = 0;
  // Called whenever the terminal side changes something (bytes, room, DTR).
  // Must be quick. An empty function clears it; once the call returns, the
  // old callback is not running and will not run again.
  virtual void SetOnActivity(std::function<void()> callback) = 0;
  // Where a terminal finds this port, for people: "sim:modem1", a link path.
  virtual std::string Describe() const = 0;
};

}  // namespace kestrel::sim
