#include "tests/tools/ProgramRun.h"

#include <algorithm>

namespace kestrel::app::testing {
namespace {

std::vector<std::string> Argv(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {KESTREL_PROGRAM};
  if (std::find(args.begin(), args.end(), "--gate-library") == args.end())
    argv.insert(argv.end(), {"--gate-library", KESTREL_LIBRARY_PATH});
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

TRunningKestrel::TRunningKestrel(const std::vector<std::string>& args, const TEnv& env) : TProgram(Argv(args), env) {}

TProgramResult RunKestrel(const std::vector<std::string>& args, const TEnv& env, std::uint32_t timeout_ms) {
  TRunningKestrel program(args, env);
  TProgramResult result;
  result.code = program.Wait(timeout_ms);
  result.output = program.Output();
  if (result.code == -1) result.output += "(killed: no end within the test's time)\n";
  return result;
}

}  // namespace kestrel::app::testing
