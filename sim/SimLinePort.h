// A simulated modem's port on the far end of an in-process sim line
// (platform/SimLine.h): the gate opens "sim:<name>" and finds the modem there,
// with CD following the carrier (as &C says), RING pulsing on the ring
// indicator, and DSR and CTS on.
//
// DTR drops are counted on the gate's own thread, at the moment of each
// change, so a close followed at once by an open is still a hang-up.
// Bytes meant for the gate while its end is closed are dropped, as a modem's
// results are lost on a serial line that nobody listens to.
//
// The line should have no line rate of its own (bits_per_second 0): the
// exchange paces the data, and a line rate would make bytes appear without
// the activity callback that wakes the runner.
#pragma once

#include <memory>

#include "platform/SimLine.h"
#include "sim/ModemPort.h"

namespace kestrel::sim {

class TSimLinePort final : public TModemPort {
 public:
  // `line` must not be null.
  explicit TSimLinePort(std::shared_ptr<platform::TSimLine> line);
  ~TSimLinePort() override;

  std::size_t Read(void* data, std::size_t size) override;
  std::size_t Write(const void* data, std::size_t size) override;
  bool Dtr() const override;
  std::uint32_t DtrDrops() const override;
  void SetLines(const TModemLines& lines) override;
  void SetOnActivity(std::function<void()> callback) override;
  std::string Describe() const override;

  const std::shared_ptr<platform::TSimLine>& Line() const { return line_; }

 private:
  struct TShared;
  std::shared_ptr<platform::TSimLine> line_;
  std::shared_ptr<TShared> shared_;  // outlives this object while the line may still call back
  TModemLines lines_;
  bool lines_set_ = false;
};

}  // namespace kestrel::sim
