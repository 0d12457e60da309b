// The program's output, shared by its threads: ordinary lines, and on a
// terminal a status line at the bottom (the progress bars) that ordinary
// lines scroll past without breaking it.
//
// Not on a terminal (a pipe, a file, a parent program reading it), there is
// no status line: SetStatus only records the text, and lines are printed
// as they come. Thread-safe; each line is written whole.
#pragma once

#include <map>
#include <mutex>
#include <ostream>
#include <string>

namespace kestrel::app {

class TConsole {
 public:
  // `terminal`: whether `out` is a terminal; `width` its columns (0: 80).
  TConsole(std::ostream& out, bool terminal, int width);
  // The program's standard output, as the platform describes it.
  static TConsole& Standard();

  bool Terminal() const { return terminal_; }
  int Width() const { return width_; }

  // Prints one line (without its line break).
  void Line(const std::string& text);
  // Sets (or, with an empty text, removes) the status text under `key`.
  // On a terminal all status texts are shown, one per line, below the lines.
  void SetStatus(const std::string& key, const std::string& text);
  // Removes every status text from the screen and forgets them.
  void ClearStatus();

 private:
  void EraseStatus();
  void DrawStatus();

  std::mutex mutex_;
  std::ostream& out_;
  bool terminal_;
  int width_;
  std::map<std::string, std::string> status_;
  int drawn_ = 0;  // status lines on the screen now
};

}  // namespace kestrel::app
