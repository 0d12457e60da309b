// Progress of transfers as a person reads it: a bar per transfer on a
// terminal, a few plain lines elsewhere.
//
// TTransferMeter turns the gate's reports (done of total bytes of one packet)
// into a rate and a time left; the text functions are pure. Thread safety:
// a meter is used under its owner's lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrel::app {

using TSteadyClock = std::chrono::steady_clock;

// The gate's caption without blanks and colons at its ends.
std::string TrimCaption(const std::string& caption);

// "812 B", "12.5 KiB", "3.2 MiB".
std::string ByteText(double bytes);
// "5.6 KiB/s".
std::string RateText(double bytes_per_second);

struct TProgressView {
  std::string caption;
  std::int64_t done = 0;
  std::int64_t total = 0;
  double rate = 0;           // bytes per second; 0 while unknown
  double seconds_left = -1;  // < 0 while unknown
};

// One line of at most `width` columns (at least 40 are used):
// "<caption> [#####-----]  45%  120.0/300.0 KiB  5.6 KiB/s  0:32 left";
// the caption is cut first, then the rate and time, then the amounts.
std::string ProgressBar(const TProgressView& view, int width);
// "<caption>: 45% (122880 of 307200 bytes), 5.6 KiB/s, 0:32 left".
std::string ProgressLine(const TProgressView& view);

class TTransferMeter {
 public:
  // A report of `done` of `total` bytes at `now`. A report with less done
  // than before, or another total, starts a new transfer. Returns true when
  // a plain progress line is due: at the start, at each further quarter,
  // and at the end.
  bool Report(std::int64_t done, std::int64_t total, TSteadyClock::time_point now);
  TProgressView View(const std::string& caption) const;
  bool Finished() const { return total_ > 0 && done_ >= total_; }

 private:
  std::int64_t done_ = -1;
  std::int64_t total_ = -1;
  std::int64_t start_done_ = 0;
  int quarter_ = -1;  // the last quarter a line was due for
  TSteadyClock::time_point start_{};
  TSteadyClock::time_point last_{};
};

}  // namespace kestrel::app
