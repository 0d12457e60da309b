#include "tools/kestrel/Clock.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace kestrel::app {
namespace {

// std::localtime shares one buffer between threads; the gate's threads stamp
// journal entries and log lines concurrently.
std::mutex g_localtime_mutex;

std::tm LocalTm(std::time_t t) {
  std::lock_guard lock(g_localtime_mutex);
  const std::tm* tm = std::localtime(&t);
  return tm != nullptr ? *tm : std::tm{};
}

}  // namespace

std::string LocalTimeText(TWallClock::time_point t) {
  const std::time_t secs = TWallClock::to_time_t(t);
  const std::tm tm = LocalTm(secs);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
  return buf;
}

std::int32_t DayNumber(int year, unsigned month, unsigned day) {
  const std::chrono::sys_days d =
      std::chrono::year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
  const std::chrono::sys_days first =
      std::chrono::year_month_day{std::chrono::year{1}, std::chrono::January, std::chrono::day{1}};
  return static_cast<std::int32_t>((d - first).count() + 1);
}

TCoreDateTime CoreDateTime(TWallClock::time_point t) {
  const std::tm tm = LocalTm(TWallClock::to_time_t(t));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
  TCoreDateTime out;
  out.date = DayNumber(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday));
  out.time = ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 1000 + static_cast<std::int32_t>(ms < 0 ? 0 : ms);
  return out;
}

std::string DurationText(double seconds) {
  const long total = seconds <= 0 ? 0 : static_cast<long>(seconds + 0.5);
  char buf[32];
  if (total >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", total / 60, total % 60);
  return buf;
}

}  // namespace kestrel::app
