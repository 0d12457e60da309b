// Identities of the framework's objects.
//
// Handles and log identities are 32-bit ids, never pointers: every framework
// object (gate manager, exchanger, listener, protocol, process) takes a fresh
// non-zero id from one process-wide counter at construction.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::host {

// A new non-zero 32-bit identity. Thread-safe.
std::uint32_t NewIdentity();

// An identity (or any 32-bit value) as 8 upper-case hexadecimal digits.
std::string Hex8(std::uint32_t value);

class THostObject {
 public:
  THostObject() : identity_(NewIdentity()) {}
  virtual ~THostObject() = default;
  THostObject(const THostObject&) = delete;
  THostObject& operator=(const THostObject&) = delete;

  std::uint32_t Identity() const { return identity_; }

 private:
  std::uint32_t identity_;
};

}  // namespace kestrel::host
