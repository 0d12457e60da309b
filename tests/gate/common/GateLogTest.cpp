// The gate's log: the separator before the first line only, the thread
// prefix, the gate code, the level filter that spares error reports, the
// switch-off after the core refuses a line, and the latest lines kept for
// the monitor window.
#include "gate/common/GateLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "heron.h"
#include "host/HostObject.h"
#include "kestrel/version.h"
#include "platform/Event.h"
#include "platform/ThreadId.h"
#include "gate/common/RecentLog.h"
#include "tests/kit/CoreSpy.h"

namespace kestrel::gate_test {
namespace {

using namespace kestrel::gate;

class GateLog : public ::testing::Test {
 protected:
  GateLog() { Fresh(); }
  ~GateLog() override { ResetLogState(); }
  // The log state of a fresh load, logging or not, and a core without lines.
  void Fresh(bool logging = true) {
    ResetLogState();
    ClearRecentLog();
    LogState().NeedLog = logging;
    core.ClearLines();
  }
  // "<kind> <whole text>" of every call, in order.
  std::vector<std::string> Calls() const {
    std::vector<std::string> out;
    for (const testing::TCoreLine& l : core.Lines()) out.push_back(std::to_string(l.kind) + " " + l.prefix + l.text);
    return out;
  }

  testing::TCoreSpy core;
  const std::string prefix = "[$" + host::Hex8(platform::CurrentThreadId()) + "] ";
  const std::string separator = "2 " + std::string(300, '=');
};

TEST_F(GateLog, SeparatorComesOnlyBeforeTheFirstLineAndALineWhileNotLoggingUsesItUp) {
  const std::string line = gate::GateLog(1, "MDMGATE.StartTransmit:(X)");
  gate::GateLog(1, "second", "Return: TRUE");
  EXPECT_EQ(Calls(), (std::vector<std::string>{separator, "2 " + line, "2 " + prefix + "second"}));
  // The separator's details name the build; no detail is an empty text, not null.
  const auto lines = core.Lines();
  EXPECT_EQ(std::tuple(lines[0].details, lines[1].null_details, lines[1].details, lines[2].details),
            std::tuple("Kestrel " KESTREL_VERSION, false, "", "Return: TRUE"));

  Fresh(false);
  gate::GateLog(1, "unseen");
  LogState().NeedLog = true;
  gate::GateLog(1, "seen");
  EXPECT_EQ(Calls(), std::vector<std::string>{"2 " + prefix + "seen"});
}

TEST_F(GateLog, LineIsThreadPrefixAndMessageAndCarriesTheLow16BitsOfTheGateCode) {
  LogState().GateCode = -2;
  EXPECT_EQ(LogPrefix(), prefix);
  EXPECT_EQ(gate::GateLog(10, "TMPM.Create:(X)"), prefix + "TMPM.Create:(X)");
  EXPECT_EQ(gate::GateLog(11, "filtered"), prefix + "filtered") << "a filtered line is still returned";
  gate::GateLog(1, "a");
  LogState().GateCode = 0x12345;
  GateLogError(1, "b");
  std::vector<std::int16_t> codes;  // the separator, TMPM.Create, a, b twice
  for (const testing::TCoreLine& l : core.Lines()) codes.push_back(l.code);
  EXPECT_EQ(codes, (std::vector<std::int16_t>{-2, -2, -2, 0x2345, 0x2345}));
}

TEST_F(GateLog, LevelFilterSparesErrorReportsWhichNeedNoLogging) {
  Fresh(false);
  GateLogError(1, "reported");
  EXPECT_EQ(Calls(), std::vector<std::string>{"1 " + prefix + "reported"});
  EXPECT_FALSE(LogState().NeedLog);

  Fresh();
  LogState().LogLevel = 1;
  gate::GateLog(3, "TMD.Connect");
  gate::GateLog(1, "kept");
  const std::string line = GateLogError(3, "TME.Connect:(Error)", "details");
  GateLogError(1, "both");
  EXPECT_EQ(Calls(), (std::vector<std::string>{separator, "2 " + prefix + "kept", "1 " + line,
                                               "1 " + prefix + "both", "2 " + prefix + "both"}));
  EXPECT_EQ(core.Lines()[2].details, "details");
}

TEST_F(GateLog, RefusedLineOrSeparatorStopsPlainLinesButNotErrorReports) {
  gate::GateLog(1, "accepted");
  core.SetLogAnswer(false);
  gate::GateLog(1, "refused");
  EXPECT_FALSE(LogState().NeedLog) << "as if never switched on: see the tests above";
  core.SetLogAnswer(true);
  LogState().NeedLog = true;
  core.ClearLines();
  gate::GateLog(1, "again");
  EXPECT_EQ(Calls(), std::vector<std::string>{"2 " + prefix + "again"});

  // A refused separator switches plain lines off; an error line ignores it.
  core.SetLogAnswer(false);
  Fresh();
  gate::GateLog(1, "line");
  EXPECT_EQ(Calls(), std::vector<std::string>{separator});
  EXPECT_FALSE(LogState().NeedLog);
  Fresh();
  GateLogError(1, "error");
  EXPECT_EQ(Calls(), (std::vector<std::string>{separator, "1 " + prefix + "error", "2 " + prefix + "error"}));
}

// The latest lines are kept for the monitor window, whether or not the core listens.
TEST_F(GateLog, RecentLinesAreTheLatestThatPassTheLevelUpToTheCapacity) {
  Fresh(false);
  LogState().LogLevel = 3;
  gate::GateLog(1, "first", "with details");
  gate::GateLog(4, "too detailed");
  GateLogError(1, "broken");
  EXPECT_EQ(RecentLogLines(10), (std::vector<std::string>{prefix + "first  with details", prefix + "broken"}))
      << "the line above the level is left out; the error line is kept";
  EXPECT_TRUE(core.LinesWith("first").empty()) << "the core did not ask for the log";
  EXPECT_EQ(RecentLogLines(1), std::vector<std::string>{prefix + "broken"});

  Fresh(false);
  for (std::size_t i = 0; i < kRecentLogCapacity + 5; ++i) gate::GateLog(1, "line " + std::to_string(i));
  const auto lines = RecentLogLines(kRecentLogCapacity * 2);
  ASSERT_EQ(lines.size(), kRecentLogCapacity);
  EXPECT_EQ(lines.front(), prefix + "line 5");
  EXPECT_EQ(lines.back(), prefix + "line " + std::to_string(kRecentLogCapacity + 4));
}

// A core that holds the separator until told, then logs back into the gate
// from inside its GateInfo, as a core may.
struct THoldingCore {
  platform::TEvent in_separator;
  platform::TEvent release;
  std::mutex mutex;
  std::vector<std::string> texts;  // without the thread prefix

  static KBool Info(void* ctx, std::int32_t, std::int16_t, const char* text, const char*) {
    auto& core = *static_cast<THoldingCore*>(ctx);
    std::string line = text;
    const bool separator = line == std::string(300, '=');
    if (separator) {
      core.in_separator.Set();
      core.release.WaitFor(10000);
    } else {
      line.erase(0, 12);
    }
    {
      std::lock_guard lock(core.mutex);
      core.texts.push_back(line);
    }
    if (separator) gate::GateLog(1, "from the core");
    return 1;
  }

  // Becomes the core and has a thread log "first", whose separator it keeps.
  std::thread LogTheFirstLine() {
    HeronSetGateInfo(&Info, this);
    std::thread first([] { gate::GateLog(1, "first"); });
    EXPECT_TRUE(in_separator.WaitFor(10000));
    return first;
  }
  // Lets the separator go and waits for the first line.
  void Finish(std::thread& first) {
    release.Set();
    first.join();
  }
  ~THoldingCore() { HeronSetGateInfo(nullptr, nullptr); }
};

TEST_F(GateLog, NoLineOvertakesTheSeparatorAndTheCoreMayLogBackWhileItIsWritten) {
  THoldingCore held;
  std::thread first = held.LogTheFirstLine();
  std::thread second([] { gate::GateLog(1, "second"); });
  // Nothing tells when the second thread waits; this gives it time to overtake if it could.
  platform::TEvent().WaitFor(100);
  held.Finish(first);
  second.join();
  ASSERT_EQ(held.texts.size(), 4u);
  EXPECT_EQ(held.texts[0], std::string(300, '='));
  EXPECT_EQ(held.texts[1], "from the core");
  EXPECT_EQ(std::set<std::string>(held.texts.begin() + 2, held.texts.end()), (std::set<std::string>{"first", "second"}));
}

TEST_F(GateLog, ACoreThatKeepsTheSeparatorHoldsOtherLinesUpOnceOnly) {
  THoldingCore held;
  std::thread first = held.LogTheFirstLine();
  // Five lines while the core keeps the separator: the first waits its 2 s,
  // the others go on at once; a wait for each would take 10 s.
  auto others = std::async(std::launch::async, [] {
    for (int i = 0; i < 5; ++i) gate::GateLog(1, "other " + std::to_string(i));
  });
  EXPECT_EQ(others.wait_for(std::chrono::seconds(8)), std::future_status::ready);
  held.Finish(first);
  others.get();
  ASSERT_EQ(held.texts.size(), 8u);  // five others, the separator, the core's line, the first
  EXPECT_EQ(held.texts[0], "other 0") << "given up on the order, not on the lines";
  EXPECT_EQ(held.texts[5], std::string(300, '='));
}

TEST_F(GateLog, ConcurrentThreadsEachGetTheirOwnPrefix) {
  constexpr std::size_t kThreads = 4, kLines = 200;
  std::vector<std::uint32_t> ids(kThreads);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t)
    threads.emplace_back([&ids, t] {
      ids[t] = platform::CurrentThreadId();
      for (std::size_t i = 0; i < kLines; ++i) gate::GateLog(1, "T" + std::to_string(t));
    });
  for (auto& th : threads) th.join();
  std::map<std::string, std::size_t> seen, expected{{std::string(300, '='), 1}};
  for (const testing::TCoreLine& l : core.Lines()) ++seen[l.prefix + l.text];
  for (std::size_t t = 0; t < kThreads; ++t) expected["[$" + host::Hex8(ids[t]) + "] T" + std::to_string(t)] = kLines;
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace kestrel::gate_test
