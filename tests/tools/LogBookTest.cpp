// The gate's log as the program keeps it: thread prefixes, filters, and the
// writer that batches lines from many threads.
#include <gtest/gtest.h>

#include <thread>

#include "tests/tools/ToolTempDir.h"
#include "tools/kestrel/LogBook.h"
#include "tools/kestrel/Schema.h"

namespace kestrel::app {
namespace {

using testing::TTestDir;

TLogLine Line(const std::string& text, bool error = false, const std::string& details = "") {
  TLogLine l;
  l.time = "2024-01-01 00:00:00.000";
  l.error = error;
  l.thread = "0000ABCD";
  l.gate_code = 1;
  l.text = text;
  l.details = details;
  return l;
}

TEST(LogLines, ThreadPrefixIsTakenApart) {
  std::string thread, text;
  SplitThreadPrefix("[$00001A2B] MDMGATE.StartTransmit:(x)", thread, text);
  EXPECT_EQ(thread, "00001A2B");
  EXPECT_EQ(text, "MDMGATE.StartTransmit:(x)");
  for (const std::string odd : {"no prefix", "[$0000ZZZZ] text", "[$1234] short", "", "[$00001A2B]nospace"}) {
    SplitThreadPrefix(odd, thread, text);
    EXPECT_EQ(thread, "") << odd;
    EXPECT_EQ(text, odd);
  }
}

TEST(LogBook, FiltersKeepOrderAndLimit) {
  TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  TLogBook book(*db);
  book.Append({Line("one"), Line("two failed", true, "why"), Line("three"), Line("четыре", false, "детали")});
  TLogFilter all;
  all.limit = 0;
  const auto lines = book.List(all);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines.front().text, "one");
  EXPECT_EQ(lines.back().details, "детали");
  TLogFilter errors;
  errors.errors_only = true;
  ASSERT_EQ(book.List(errors).size(), 1u);
  EXPECT_EQ(book.List(errors)[0].text, "two failed");
  TLogFilter grep;
  grep.contains = "детал";
  EXPECT_EQ(book.List(grep).size(), 1u) << "details are searched too";
  TLogFilter last;
  last.limit = 2;
  ASSERT_EQ(book.List(last).size(), 2u);
  EXPECT_EQ(book.List(last)[0].text, "three");
}

TEST(LogWriter, LinesFromManyThreadsAllArrive) {
  TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  TLogBook book(*db);
  {
    TLogWriter writer(book);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&writer, t] {
        for (int i = 0; i < 250; ++i) writer.Add(Line("t" + std::to_string(t) + " #" + std::to_string(i)));
      });
    for (auto& th : threads) th.join();
    writer.Flush();
    TLogFilter all;
    all.limit = 0;
    EXPECT_EQ(book.List(all).size(), 1000u) << "Flush returns once every line is written";
    writer.Add(Line("last"));
  }
  TLogFilter last;
  last.limit = 1;
  EXPECT_EQ(book.List(last).at(0).text, "last") << "the destructor writes what is left";
}

TEST(LogWriter, FailedWriteIsCountedNotThrown) {
  TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  db->Exec("DROP TABLE log");
  TLogBook book(*db);
  TLogWriter writer(book);
  writer.Add(Line("nowhere to go"));
  writer.Flush();
  EXPECT_EQ(writer.Failures(), 1u);
  EXPECT_NE(writer.LastFailure().find("log"), std::string::npos) << writer.LastFailure();
}

}  // namespace
}  // namespace kestrel::app
