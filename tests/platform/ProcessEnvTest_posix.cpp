// Whether another process runs: while it runs, once it ended but was not
// yet waited for, and once it was.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ProcessEnv.h"

namespace kestrel::platform {
namespace {

TEST(ProcessEnv, AProcessRunsUntilItEndsWaitedForOrNot) {
  EXPECT_TRUE(ProcessRuns(ProcessId()));
  EXPECT_FALSE(ProcessRuns(0));
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(go[1]);
    char byte = 0;
    (void)::read(go[0], &byte, 1);  // runs until told to end
    ::_exit(0);
  }
  ::close(go[0]);
  EXPECT_TRUE(ProcessRuns(static_cast<std::uint32_t>(child)));
  ::close(go[1]);
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);  // ended, not reaped
  EXPECT_FALSE(ProcessRuns(static_cast<std::uint32_t>(child))) << "a zombie";
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  EXPECT_FALSE(ProcessRuns(static_cast<std::uint32_t>(child)));
}

}  // namespace
}  // namespace kestrel::platform
