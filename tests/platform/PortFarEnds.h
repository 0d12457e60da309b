// The far ends a port test drives: a sim line, or the master of a
// pseudo-terminal pair whose slave the port layer opens. The serial driver's
// tests use them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SimLine.h"

namespace kestrel::platform::testing {

class TSimFarEnd {
 public:
  static constexpr bool kHasOutQueue = true;
  // A sim line under a name no other test uses, its carrier on as a
  // pseudo-terminal's virtual one is while open, unless told otherwise.
  explicit TSimFarEnd(bool carrier = true, TSimLineOptions options = {});
  const std::string& PortName() const { return port_name_; }
  std::size_t Write(const void* data, std::size_t size) { return line_->Write(data, size); }
  std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Up to `size` bytes the gate wrote, waiting up to `timeout_ms` for the first.
  std::size_t Read(void* data, std::size_t size, std::uint32_t timeout_ms);
  // The modem's carrier goes; for a pseudo-terminal the far end closes.
  void HangUp() { line_->SetCD(false); }
  TSimLine& Line() { return *line_; }

 private:
  std::shared_ptr<TSimLine> line_;
  std::string port_name_;
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

}  // namespace kestrel::platform::testing
