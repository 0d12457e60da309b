#include "tools/kestrel/Console.h"

#include <iostream>

#include "platform/Terminal.h"

namespace kestrel::app {

TConsole::TConsole(std::ostream& out, bool terminal, int width)
    : out_(out), terminal_(terminal), width_(width > 0 ? width : 80) {}

TConsole& TConsole::Standard() {
  static TConsole console(std::cout, platform::IsTerminal(platform::TStdStream::Output),
                          platform::TerminalColumns(platform::TStdStream::Output));
  return console;
}

void TConsole::Line(const std::string& text) {
  std::lock_guard lock(mutex_);
  EraseStatus();
  out_ << text << '\n';
  DrawStatus();
  out_.flush();
}

void TConsole::SetStatus(const std::string& key, const std::string& text) {
  std::lock_guard lock(mutex_);
  EraseStatus();
  if (text.empty())
    status_.erase(key);
  else
    status_[key] = text;
  DrawStatus();
  out_.flush();
}

void TConsole::ClearStatus() {
  std::lock_guard lock(mutex_);
  EraseStatus();
  status_.clear();
  out_.flush();
}

void TConsole::EraseStatus() {
  if (!terminal_) return;
  // Up to the first status line, clearing each on the way.
  for (int i = 0; i < drawn_; ++i) out_ << (i == 0 ? "\r\x1b[K" : "\x1b[1A\r\x1b[K");
  drawn_ = 0;
}

void TConsole::DrawStatus() {
  if (!terminal_ || status_.empty()) return;
  bool first = true;
  for (const auto& [key, text] : status_) {
    if (!first) out_ << '\n';
    out_ << text.substr(0, static_cast<std::size_t>(width_ - 1));
    first = false;
    ++drawn_;
  }
}

}  // namespace kestrel::app
