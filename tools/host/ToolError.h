// The one error type of the kestrel program and of the host parts it shares
// with the other hosts (tools/host): a readable one-line message that names
// what failed and where (a file, a party, a database, a port). kestrel's
// main() prints it as "kestrel: <message>" and exits 1.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrel::app {

class EToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::app
