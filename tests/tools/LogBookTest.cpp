// The gate's log as the program keeps it: filters, and the writer that
// batches lines from many threads.
#include <thread>

#include "tests/tools/ToolTest.h"
#include "tools/kestrel/LogBook.h"

namespace kestrel::app {
namespace {

using namespace testing;

TLogLine Line(const std::string& text, bool error = false, const std::string& details = "") {
  return TLogLine{"2024-01-01 00:00:00.000", error, "0000ABCD", 1, text, details};
}

std::vector<std::string> Texts(TLogBook& book, TLogFilter filter) {
  std::vector<std::string> texts;
  for (const auto& l : book.List(filter)) texts.push_back(l.text);
  return texts;
}

using LogBook = TStoreTest;

TEST_F(LogBook, FiltersKeepOrderAndLimit) {
  TLogBook book(*db);
  book.Append({Line("one"), Line("two failed", true, "why"), Line("three"), Line("четыре", false, "детали")});
  EXPECT_THAT(Texts(book, {0, false, ""}), ElementsAre("one", "two failed", "three", "четыре"));
  EXPECT_EQ(book.List({0, false, ""}).back().details, "детали");
  EXPECT_THAT(Texts(book, {100, true, ""}), ElementsAre("two failed"));
  EXPECT_THAT(Texts(book, {100, false, "детал"}), ElementsAre("четыре")) << "details are searched too";
  EXPECT_THAT(Texts(book, {2, false, ""}), ElementsAre("three", "четыре"));
}

TEST_F(LogBook, WriterTakesLinesFromManyThreadsAndCountsAFailedWrite) {
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
    EXPECT_EQ(book.List({0, false, ""}).size(), 1000u) << "Flush returns once every line is written";
    writer.Add(Line("last"));
  }
  EXPECT_THAT(Texts(book, {1, false, ""}), ElementsAre("last")) << "the destructor writes what is left";

  db->Exec("DROP TABLE log");
  TLogWriter writer(book);
  writer.Add(Line("nowhere to go"));
  writer.Flush();
  EXPECT_EQ(writer.Failures(), 1u);
  EXPECT_THAT(writer.LastFailure(), HasSubstr("log"));
}

}  // namespace
}  // namespace kestrel::app
