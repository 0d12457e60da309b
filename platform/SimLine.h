// The far end of an in-process virtual serial line ("sim port").
//
// A sim line has two ends. The gate's end is opened through the port layer
// (platform/Port.h) by the name "sim:<name>", or by a COM number mapped to that
// name; it behaves like a serial device with queues, modem lines and an
// optional line rate. The far end is this object: the modem simulator (or a
// test) holds it, writes bytes toward the gate, reads what the gate wrote and
// drives the modem lines the gate sees (CTS, DSR, RING, CD).
//
// Lifetime: Create registers the line under its name; the registration ends
// when the last shared_ptr to the line goes. A gate end that is open at that
// moment keeps working but sees the carrier and every other modem line off and
// its writes go nowhere, as a modem that was unplugged.
//
// Thread safety: every member may be called from any thread at any time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel::platform {

struct TSimLineOptions {
  // Bytes the far end may queue toward the gate beyond the gate's receive
  // queue (the gate end's input queue size, set when it opens or sets up the
  // port). Write accepts no more than both together hold.
  std::uint32_t far_to_gate_capacity = 65536;
  // Bytes the gate's writes may fill toward the far end before the far end
  // reads them; beyond that the gate end's transmit queue fills and its
  // writes wait, as with a modem that holds its flow control.
  std::uint32_t gate_to_far_capacity = 65536;
  // 0: bytes move at once. Otherwise the line carries this many bits per
  // second in both directions, 10 bits a byte (start, 8 data, stop): bytes
  // written by either side become visible to the other side at that rate.
  std::uint32_t bits_per_second = 0;
};

class TSimLineState;  // shared by both ends; defined in SimLine.cpp

class TSimLine {
 public:
  // Registers a line under `name`. Returns null when the name is empty or a
  // line of that name still lives. Never throws for those cases.
  static std::shared_ptr<TSimLine> Create(const std::string& name, TSimLineOptions options = {});

  ~TSimLine();
  TSimLine(const TSimLine&) = delete;
  TSimLine& operator=(const TSimLine&) = delete;

  const std::string& Name() const { return name_; }

  // Toward the gate: queues up to `size` bytes for the gate end's receive
  // queue and returns how many were accepted (fewer when the queue is full,
  // 0 when `size` is 0). Bytes written while no gate end is open are kept and
  // delivered after the open, unless the gate purges them. Never blocks.
  // `data` may be null only when `size` is 0.
  std::size_t Write(const void* data, std::size_t size);

  // What the gate wrote, oldest first: copies up to `size` bytes into `data`
  // and returns the count. Never blocks. Pending() is the number of bytes
  // ready to be read now (with a line rate: those that have crossed the line).
  std::size_t Read(void* data, std::size_t size);
  std::size_t Pending() const;

  // Lines driven by the far end, as the gate's modem status shows them.
  // Defaults: CTS and DSR on, RING and CD off. A change wakes a gate end
  // waiting for line events.
  void SetCTS(bool on);
  void SetDSR(bool on);
  void SetRing(bool on);
  void SetCD(bool on);

  // The gate end as the far end sees it. DTR and RTS are false while no gate
  // end is open: closing the gate end drops both.
  bool GateOpen() const;
  bool DTR() const;
  bool RTS() const;

  // Blocks until the gate end changes something (writes bytes, reads bytes,
  // opens, closes, purges, changes DTR or RTS) or `timeout_ms` pass. Returns
  // true when woken by such a change; a change that happened since the
  // previous call of WaitGateActivity counts, so no change is missed between
  // two calls. With a line rate, bytes the gate wrote reach Pending() over
  // time; their arrival counts as activity too. A timeout of 0 only looks.
  bool WaitGateActivity(std::uint32_t timeout_ms);

  // Called after each gate-side change listed above, on the thread that made
  // the change, with no lock of the line held (not for bytes that arrive over
  // time at a line rate: no gate thread is running then). Must be quick and must not call
  // into the gate end of this line (it may call this object). An empty
  // function clears it.
  void SetOnGateActivity(std::function<void()> callback);

  // For the port layer: the state shared with the gate end.
  const std::shared_ptr<TSimLineState>& State() const { return state_; }

 private:
  TSimLine(std::string name, std::shared_ptr<TSimLineState> state);

  std::string name_;
  std::shared_ptr<TSimLineState> state_;
};

}  // namespace kestrel::platform
