// The far end of a sim line, which the port tests drive beside the system's
// own devices (SystemFarEnd.h, PtyFarEnd.h), and on which the serial and
// modem driver tests play a modem by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/PortNames.h"
#include "platform/SimLine.h"
#include "platform/Tick.h"

namespace kestrel::testing {

class TSimFarEnd {
 public:
  static constexpr bool kHasOutQueue = true;
  // As TSystemFarEnd's: a sim line is always there, hangs up and tells room.
  static bool Available() { return true; }
  static bool CanHangUp() { return true; }
  static bool TellsRoom() { return true; }
  // A sim line under a name no other test uses, its carrier on as a
  // pseudo-terminal's virtual one is while open, unless told otherwise.
  explicit TSimFarEnd(bool carrier = true, platform::TSimLineOptions options = {}) {
    static std::atomic<int> counter{0};
    const std::string name = "far" + std::to_string(++counter);
    line_ = platform::TSimLine::Create(name, options);
    if (!line_) throw std::runtime_error("sim line not created");
    line_->SetCD(carrier);
    port_name_ = "sim:" + name;
  }
  // Forgets the COM port OnCom pointed here.
  ~TSimFarEnd() {
    if (com_ != 0) platform::SetComPortTarget(com_, "");
  }
  TSimFarEnd(const TSimFarEnd&) = delete;
  TSimFarEnd& operator=(const TSimFarEnd&) = delete;

  const std::string& PortName() const { return port_name_; }
  // Points COM `port` here for the far end's lifetime.
  void OnCom(int port) {
    ASSERT_TRUE(platform::SetComPortTarget(port, port_name_));
    com_ = port;
  }
  std::size_t Write(const void* data, std::size_t size) { return line_->Write(data, size); }
  std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Up to `size` bytes the gate wrote, waiting up to `timeout_ms` for the first.
  std::size_t Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
    const std::uint32_t start = platform::GetTickCount();
    for (;;) {
      if (const std::size_t n = line_->Read(data, size); n != 0) return n;
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
      if (left == 0) return 0;
      line_->WaitGateActivity(left);
    }
  }
  // The modem's carrier goes; for a pseudo-terminal the far end closes.
  void HangUp() { line_->SetCD(false); }
  platform::TSimLine& Line() { return *line_; }

  // As a modem played by hand: says `bytes` (all of them, or the test fails),
  // and collects what the gate wrote: everything so far once `needle` is in
  // it or `timeout_ms` passed; Heard without waiting; Forget clears it.
  void Say(std::string_view bytes) { ASSERT_EQ(Write(bytes), bytes.size()); }
  const std::string& WaitFor(std::string_view needle, std::uint32_t timeout_ms = 3000) {
    const std::uint32_t t0 = platform::GetTickCount();
    for (std::uint32_t left = timeout_ms; Heard().find(needle) == std::string::npos && left > 0;
         left = platform::Remaining(t0, platform::GetTickCount(), timeout_ms))
      line_->WaitGateActivity(std::min<std::uint32_t>(left, 50));
    return heard_;
  }
  const std::string& Heard() {
    char buf[4096];
    for (std::size_t n; (n = line_->Read(buf, sizeof buf)) > 0;) heard_.append(buf, n);
    return heard_;
  }
  void Forget() {
    Heard();
    heard_.clear();
  }

 private:
  std::shared_ptr<platform::TSimLine> line_;
  std::string port_name_;
  std::string heard_;
  int com_ = 0;
};

}  // namespace kestrel::testing
