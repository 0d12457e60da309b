#include "tools/kestrel/Progress.h"

#include <algorithm>
#include <cstdio>

#include "tools/kestrel/Clock.h"

namespace kestrel::app {

std::string TrimCaption(const std::string& caption) {
  const std::size_t a = caption.find_first_not_of(" :\t");
  if (a == std::string::npos) return {};
  const std::size_t b = caption.find_last_not_of(" :\t");
  return caption.substr(a, b - a + 1);
}

std::string ByteText(double bytes) {
  char buf[32];
  if (bytes < 1024)
    std::snprintf(buf, sizeof buf, "%.0f B", bytes);
  else if (bytes < 1024.0 * 1024)
    std::snprintf(buf, sizeof buf, "%.1f KiB", bytes / 1024);
  else
    std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / (1024.0 * 1024));
  return buf;
}

std::string RateText(double bytes_per_second) { return ByteText(bytes_per_second) + "/s"; }

namespace {

int Percent(const TProgressView& v) {
  if (v.total <= 0) return 0;
  return static_cast<int>(std::clamp<std::int64_t>(v.done * 100 / v.total, 0, 100));
}

std::string Tail(const TProgressView& v) {
  std::string s;
  if (v.rate > 0) s += "  " + RateText(v.rate);
  if (v.seconds_left >= 0) s += "  " + DurationText(v.seconds_left) + " left";
  return s;
}

}  // namespace

std::string ProgressBar(const TProgressView& view, int width) {
  width = std::max(width, 40);
  char pct[8];
  std::snprintf(pct, sizeof pct, "%3d%%", Percent(view));
  std::string amounts;
  if (view.total >= 1024) {
    char buf[48];
    const bool mib = view.total >= 1024 * 1024;
    const double unit = mib ? 1024.0 * 1024 : 1024.0;
    std::snprintf(buf, sizeof buf, "%.1f/%.1f %s", static_cast<double>(view.done) / unit,
                  static_cast<double>(view.total) / unit, mib ? "MiB" : "KiB");
    amounts = buf;
  } else {
    amounts = std::to_string(view.done) + "/" + std::to_string(view.total) + " B";
  }
  // The figures that fit beside a bar of at least kMinCells: all of them,
  // else without rate and time, else the percentage alone.
  constexpr int kMinCells = 10;
  std::string right = std::string(pct) + "  " + amounts + Tail(view);
  if (static_cast<int>(right.size()) + kMinCells + 3 > width) right = std::string(pct) + "  " + amounts;
  if (static_cast<int>(right.size()) + kMinCells + 3 > width) right = pct;
  // Widths are counted in bytes: a UTF-8 caption only makes the line shorter
  // than the terminal, never longer.
  std::string caption = view.caption;
  const int caption_room = std::max(0, width - static_cast<int>(right.size()) - kMinCells - 4);
  if (static_cast<int>(caption.size()) > caption_room) {
    std::size_t cut = static_cast<std::size_t>(caption_room);
    while (cut > 0 && (static_cast<unsigned char>(caption[cut]) & 0xC0) == 0x80) --cut;
    caption.resize(cut);
  }
  const int used = static_cast<int>(right.size()) + 3 + (caption.empty() ? 0 : static_cast<int>(caption.size()) + 1);
  const int cells = std::max(kMinCells, width - used);
  const double share = view.total > 0 ? static_cast<double>(view.done) / static_cast<double>(view.total) : 0.0;
  const int filled = std::clamp(static_cast<int>(cells * share), 0, cells);
  const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(cells - filled), '-') + "]";
  return (caption.empty() ? "" : caption + " ") + bar + " " + right;
}

std::string ProgressLine(const TProgressView& view) {
  std::string s = view.caption.empty() ? std::string("transfer") : view.caption;
  s += ": " + std::to_string(Percent(view)) + "% (" + std::to_string(view.done) + " of " + std::to_string(view.total) +
       " bytes)";
  if (view.rate > 0) s += ", " + RateText(view.rate);
  if (view.seconds_left >= 0) s += ", " + DurationText(view.seconds_left) + " left";
  return s;
}

bool TTransferMeter::Report(std::int64_t done, std::int64_t total, TSteadyClock::time_point now) {
  if (done < done_ || total != total_) {
    start_ = now;
    start_done_ = done;
    quarter_ = -1;
  }
  done_ = done;
  total_ = total;
  last_ = now;
  const int quarter = total > 0 ? static_cast<int>(std::clamp<std::int64_t>(done * 4 / total, 0, 4)) : 0;
  if (quarter <= quarter_) return false;
  quarter_ = quarter;
  return true;
}

TProgressView TTransferMeter::View(const std::string& caption) const {
  TProgressView v;
  v.caption = caption;
  v.done = std::max<std::int64_t>(done_, 0);
  v.total = std::max<std::int64_t>(total_, 0);
  const double seconds = std::chrono::duration<double>(last_ - start_).count();
  // The first report starts the clock: its bytes were not timed.
  if (seconds > 0.2 && v.done > start_done_) {
    v.rate = static_cast<double>(v.done - start_done_) / seconds;
    v.seconds_left = static_cast<double>(v.total - v.done) / v.rate;
  }
  return v;
}

}  // namespace kestrel::app
