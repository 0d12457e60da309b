// What a program may know about where its output goes: a terminal (draw
// progress bars, redraw a line) or a pipe or file (plain lines only).
// Thread-safe.
#pragma once

namespace kestrel::platform {

enum class TStdStream { Output, Error };

// True when the stream is a terminal.
bool IsTerminal(TStdStream stream);
// The terminal's width in columns; 0 when it is no terminal or does not say.
int TerminalColumns(TStdStream stream);

}  // namespace kestrel::platform
