// Progress as a person reads it, and the console lines it goes through.
#include <algorithm>
#include <sstream>

#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/Progress.h"
#include "tools/kestrel/SimExchange.h"

namespace kestrel::app {
namespace {

using namespace std::chrono_literals;
using namespace testing;

TEST(TransferMeter, PlainLinesAtStartQuartersAndEndAndARateOfTimedBytesOnly) {
  TTransferMeter m;
  const auto t0 = TSteadyClock::time_point{} + 1h;
  std::vector<int> due;
  for (int done = 0; done <= 1000; done += 50)
    if (m.Report(done, 1000, t0 + std::chrono::milliseconds(done))) due.push_back(done);
  EXPECT_EQ(due, (std::vector<int>{0, 250, 500, 750, 1000}));
  EXPECT_TRUE(m.Finished());

  // A new packet (another total) starts again; bytes before its clock started
  // give no rate.
  EXPECT_TRUE(m.Report(1000, 11000, t0 + 5s));
  EXPECT_FALSE(m.Finished());
  EXPECT_EQ(m.View("x").rate, 0) << "no rate from one report";
  EXPECT_LT(m.View("x").seconds_left, 0);
  m.Report(6000, 11000, t0 + 6s);
  EXPECT_DOUBLE_EQ(m.View("x").rate, 5000);
  EXPECT_DOUBLE_EQ(m.View("x").seconds_left, 1);
}

TEST(ProgressText, BarFitsItsWidthAndShowsTheFigures) {
  TProgressView v;
  v.caption = "Передача данных";
  v.done = 122880;
  v.total = 307200;
  v.rate = 5734;
  v.seconds_left = 32;
  // Narrow, the figures give way; the percentage stays.
  for (const int width : {10, 40, 45, 80, 200}) {
    const std::string bar = ProgressBar(v, width);
    EXPECT_LE(bar.size(), static_cast<std::size_t>(std::max(width, 40))) << bar;
    EXPECT_THAT(bar, HasSubstr(" 40%"));
    if (width >= 80) {
      EXPECT_THAT(bar, AllOf(HasSubstr("120.0/300.0 KiB"), HasSubstr("0:32 left")));
    }
  }
  const std::string wide = ProgressBar(v, 120);
  const auto filled = std::count(wide.begin(), wide.end(), '#');
  const auto empty = std::count(wide.begin(), wide.end(), '-');
  EXPECT_NEAR(static_cast<double>(filled) / static_cast<double>(filled + empty), 0.4, 0.05);
  EXPECT_EQ(ProgressLine(v), "Передача данных: 40% (122880 of 307200 bytes), 5.6 KiB/s, 0:32 left");
  v.caption = std::string(100, 'c');
  EXPECT_LE(ProgressBar(v, 60).size(), 60u) << "a long caption is cut";
  EXPECT_EQ(TrimCaption(" Modem Gate Progress : "), "Modem Gate Progress");
  EXPECT_EQ(ByteText(812), "812 B");
  EXPECT_EQ(ByteText(3.5 * 1024 * 1024), "3.5 MiB");
}

TEST(Console, StatusLineOnlyOnATerminal) {
  std::ostringstream plain_out;
  TConsole plain(plain_out, false, 80);
  plain.SetStatus("p", "50%");
  plain.Line("delivered a.txt");
  EXPECT_EQ(plain_out.str(), "delivered a.txt\n") << "no status and no control bytes in a pipe";

  std::ostringstream tty_out;
  TConsole tty(tty_out, true, 20);
  tty.SetStatus("p", "[####------] 40% and more");
  tty.Line("line");
  tty.ClearStatus();
  const std::string s = tty_out.str();
  EXPECT_EQ(s.find("and more"), std::string::npos) << "cut to the width: " << s;
  EXPECT_NE(s.find("\r\x1b[Kline\n"), std::string::npos) << "the line clears the status first";
  EXPECT_EQ(s.substr(s.size() - 4), "\r\x1b[K") << "cleared at the end";
}

TEST(LineSplitter, ModemDialogueBecomesLines) {
  TLineSplitter split;
  EXPECT_TRUE(split.Add("ATD").empty());
  EXPECT_EQ(split.Add("T102\r"), std::vector<std::string>{"ATDT102"});
  EXPECT_EQ(split.Add("\r\nOK\r\n\r\nRING\r\n"), (std::vector<std::string>{"OK", "RING"}));
  EXPECT_EQ(split.Add(std::string("A\x01\xFF\r", 4)), std::vector<std::string>{"A<01><FF>"});
  EXPECT_EQ(split.Add(std::string(450, 'x')).size(), 2u) << "runaway lines come in pieces";
}

}  // namespace
}  // namespace kestrel::app
