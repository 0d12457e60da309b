// The kestrel program run as its own process, as a person runs it: with
// arguments and the gate library of this build (unless the arguments name
// one), its output collected line by line as it comes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/kit/Program.h"

namespace kestrel::app::testing {

using TEnv = kestrel::testing::TProgram::TEnv;

class TRunningKestrel : public kestrel::testing::TProgram {
 public:
  explicit TRunningKestrel(const std::vector<std::string>& args, const TEnv& env = {});
};

struct TProgramResult {
  int code = -1;  // -1: killed after its time ran out
  std::string output;
};

// Runs it to its end, for at most `timeout_ms`.
TProgramResult RunKestrel(const std::vector<std::string>& args, const TEnv& env = {},
                          std::uint32_t timeout_ms = 60000);

}  // namespace kestrel::app::testing
