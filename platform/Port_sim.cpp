// The sim backend: the gate end of an in-process sim line.
#include <mutex>

#include "platform/PortDevice.h"
#include "platform/SimLineState.h"

namespace kestrel::platform {

namespace {

class TSimDevice final : public TPortDevice {
 public:
  explicit TSimDevice(std::shared_ptr<TSimLineState> line) : line_(std::move(line)) {}

  std::uint32_t SetState(const TPortDcb& dcb) override {
    line_->GateSetLines(dcb.dtr_control != TPortDcb::TDtrControl::kDisable,
                        dcb.rts_control != TPortDcb::TRtsControl::kDisable);
    return 0;
  }
  std::uint32_t SetupComm(std::uint32_t in_size, std::uint32_t out_size) override {
    line_->GateSetupComm(in_size, out_size);
    return 0;
  }
  std::uint32_t SetTimeouts(const TPortTimeouts& timeouts) override {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return 0;
  }
  std::uint32_t Purge(std::uint32_t flags) override {
    line_->GatePurge(flags);
    return 0;
  }
  std::uint32_t ClearError(std::uint32_t& errors, TPortQueueStat& stat) override {
    errors = 0;  // a sim line carries bytes without loss
    stat = line_->GateCounts();
    return 0;
  }
  std::uint32_t ModemStatus(std::uint32_t& status) override {
    status = line_->GateModemStatus();
    return 0;
  }
  std::uint32_t Read(void* data, std::uint32_t size, std::uint32_t& done) override {
    done = line_->GateRead(data, size);
    return 0;
  }
  std::uint32_t Write(const void* data, std::uint32_t size, std::uint32_t& done) override {
    TPortTimeouts timeouts;
    {
      std::lock_guard lock(mutex_);
      timeouts = timeouts_;
    }
    done = line_->GateWrite(data, size, WriteTimeoutMs(timeouts, size));
    return 0;
  }
  TPortWait WaitReceive(std::uint32_t timeout_ms, const std::uint32_t* lines_seen, std::uint32_t&) override {
    return line_->GateWaitReceive(timeout_ms, lines_seen);
  }
  TPortWait WaitTransmit(std::uint32_t timeout_ms, std::uint32_t&) override {
    return line_->GateWaitTransmit(timeout_ms);
  }
  void Abort() override { line_->GateAbort(); }
  void WakeReceive() override { line_->GateWakeReceive(); }
  void Close() override { line_->GateClose(); }

 private:
  const std::shared_ptr<TSimLineState> line_;
  std::mutex mutex_;
  TPortTimeouts timeouts_;
};

}  // namespace

std::unique_ptr<TPortDevice> OpenSimDevice(const std::string& name, std::uint32_t& error) {
  auto line = OpenSimLineState(name, error);
  if (!line) return nullptr;
  return std::make_unique<TSimDevice>(std::move(line));
}

}  // namespace kestrel::platform
