// The far ends of a port that tests drive: a sim line, or the master of a
// pseudo-terminal pair whose slave the port layer opens. The port tests run
// against both; the serial and modem driver tests play a modem on a sim
// line by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SimLine.h"

namespace kestrel::testing {

class TSimFarEnd {
 public:
  static constexpr bool kHasOutQueue = true;
  // A sim line under a name no other test uses, its carrier on as a
  // pseudo-terminal's virtual one is while open, unless told otherwise.
  explicit TSimFarEnd(bool carrier = true, platform::TSimLineOptions options = {});
  // Forgets the COM port OnCom pointed here.
  ~TSimFarEnd();
  TSimFarEnd(TSimFarEnd&& other) noexcept;
  TSimFarEnd& operator=(TSimFarEnd&& other) noexcept;

  const std::string& PortName() const { return port_name_; }
  // Points COM `port` here for the far end's lifetime.
  void OnCom(int port);
  std::size_t Write(const void* data, std::size_t size) { return line_->Write(data, size); }
  std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Up to `size` bytes the gate wrote, waiting up to `timeout_ms` for the first.
  std::size_t Read(void* data, std::size_t size, std::uint32_t timeout_ms);
  // The modem's carrier goes; for a pseudo-terminal the far end closes.
  void HangUp() { line_->SetCD(false); }
  platform::TSimLine& Line() { return *line_; }

  // As a modem played by hand: says `bytes` (all of them, or the test fails),
  // and collects what the gate wrote: everything so far once `needle` is in
  // it or `timeout_ms` passed; Heard without waiting; Forget clears it.
  void Say(std::string_view bytes);
  const std::string& WaitFor(std::string_view needle, std::uint32_t timeout_ms = 3000);
  const std::string& Heard();
  void Forget();

 private:
  std::shared_ptr<platform::TSimLine> line_;
  std::string port_name_;
  std::string heard_;
  int com_ = 0;
};

class TPtyFarEnd {
 public:
  static constexpr bool kHasOutQueue = false;  // TIOCOUTQ of a pseudo-terminal is always 0
  TPtyFarEnd();
  ~TPtyFarEnd();
  const std::string& PortName() const { return port_name_; }
  std::size_t Write(const void* data, std::size_t size);  // what the master took at once
  std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }
  std::size_t Read(void* data, std::size_t size, std::uint32_t timeout_ms);
  void HangUp();
  int Master() const { return master_; }

 private:
  int master_ = -1;  // non-blocking
  int slave_ = -1;  // held so the pair lives while the port is closed
  std::string port_name_;
};

}  // namespace kestrel::testing
