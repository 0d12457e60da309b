// EHostError: what the framework raises when a caller asks for something it
// cannot do (an unknown process handle, a gate that made no exchanger). The
// gate's exports catch it, log its message and report the failure to the core.
#pragma once

#include <stdexcept>

namespace kestrel::host {

class EHostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::host
