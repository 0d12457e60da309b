#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/Terminal.h"

namespace kestrel::platform {
namespace {
int Fd(TStdStream stream) { return stream == TStdStream::Output ? STDOUT_FILENO : STDERR_FILENO; }
}  // namespace

bool IsTerminal(TStdStream stream) { return ::isatty(Fd(stream)) == 1; }

int TerminalColumns(TStdStream stream) {
  winsize ws{};
  if (::ioctl(Fd(stream), TIOCGWINSZ, &ws) != 0) return 0;
  return ws.ws_col;
}

}  // namespace kestrel::platform
