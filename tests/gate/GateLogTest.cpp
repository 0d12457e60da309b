#include "gate/GateLog.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "heron.h"
#include "host/HostObject.h"
#include "platform/ThreadId.h"

namespace kestrel::gate_test {
namespace {

using namespace kestrel::gate;

struct Call {
  std::int32_t kind;
  std::int16_t code;
  std::string text;
  std::optional<std::string> details;  // nullopt: a null pointer
};

// Records every GateInfo call; answers kind-2 calls with `accept`.
class GateLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogState();
    HeronSetGateInfo(&Record, this);
  }
  void TearDown() override {
    HeronSetGateInfo(nullptr, nullptr);
    ResetLogState();
  }

  static KBool Record(void* ctx, std::int32_t kind, std::int16_t code, const char* text, const char* details) {
    auto* self = static_cast<GateLog*>(ctx);
    std::lock_guard lock(self->mutex_);
    self->calls_.push_back({kind, code, text, details ? std::optional<std::string>(details) : std::nullopt});
    return kind == 2 ? self->accept_ : 1;
  }

  std::vector<Call> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }
  void StartLogging() { LogState().NeedLog = true; }

  std::mutex mutex_;
  std::vector<Call> calls_;
  KBool accept_ = 1;
};

const std::string kSeparator(300, '=');

TEST_F(GateLog, SeparatorComesOnlyBeforeTheFirstLine) {
  StartLogging();
  const std::string line = gate::GateLog(1, "MDMGATE.StartTransmit:(X)");
  gate::GateLog(1, "second", "Return: TRUE");
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].kind, 2);
  EXPECT_EQ(calls[0].text, kSeparator);
  EXPECT_FALSE(calls[0].details.has_value()) << "the separator has a null detail";
  EXPECT_EQ(calls[1].kind, 2);
  EXPECT_EQ(calls[1].text, line);
  EXPECT_EQ(calls[1].details, "") << "no detail is an empty text, not null";
  EXPECT_EQ(calls[2].details, "Return: TRUE");
}

TEST_F(GateLog, FirstCallWhileNotLoggingUsesUpTheSeparator) {
  gate::GateLog(1, "unseen");
  EXPECT_TRUE(Calls().empty());
  StartLogging();
  gate::GateLog(1, "seen");
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].text, kSeparator);
}

TEST_F(GateLog, LineIsThreadPrefixAndMessage) {
  StartLogging();
  const std::string prefix = "[$" + host::Hex8(platform::CurrentThreadId()) + "] ";
  EXPECT_EQ(LogPrefix(), prefix);
  EXPECT_EQ(gate::GateLog(10, "TMPM.Create:(X)"), prefix + "TMPM.Create:(X)");
  EXPECT_EQ(gate::GateLog(11, "filtered"), prefix + "filtered") << "a filtered line is still returned";

  std::string other_prefix, other_line;
  std::uint32_t other_id = 0;
  std::thread t([&] {
    other_id = platform::CurrentThreadId();
    other_prefix = LogPrefix();
    other_line = gate::GateLog(1, "from a thread");
  });
  t.join();
  ASSERT_NE(other_id, platform::CurrentThreadId());
  EXPECT_EQ(other_prefix, "[$" + host::Hex8(other_id) + "] ");
  EXPECT_EQ(Calls().back().text, other_prefix + "from a thread");
  EXPECT_EQ(other_line, Calls().back().text);
}

TEST_F(GateLog, GateCodeIsPassedAsItsLow16Bits) {
  StartLogging();
  LogState().GateCode = -2;
  gate::GateLog(1, "a");
  LogState().GateCode = 0x12345;
  GateLogError(1, "b");
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].code, -2);
  EXPECT_EQ(calls[1].code, -2);
  EXPECT_EQ(calls[2].code, 0x2345);
  EXPECT_EQ(calls[3].code, 0x2345);
}

TEST_F(GateLog, LevelFilterSparesErrorReports) {
  StartLogging();
  LogState().LogLevel = 1;
  Clear();
  gate::GateLog(3, "TMD.Connect");
  gate::GateLog(1, "kept");
  const std::size_t after_plain = Calls().size();
  const std::string line = GateLogError(3, "TME.Connect:(Error)", "details");
  const auto calls = Calls();
  // separator + "kept", then only the kind-1 report of the level-3 error
  ASSERT_EQ(after_plain, 2u);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].kind, 1);
  EXPECT_EQ(calls[2].text, line);
  EXPECT_EQ(calls[2].details, "details");

  GateLogError(1, "both");
  ASSERT_EQ(Calls().size(), 5u);
  EXPECT_EQ(Calls()[3].kind, 1);
  EXPECT_EQ(Calls()[4].kind, 2);
}

TEST_F(GateLog, ErrorReportsDoNotNeedLogging) {
  GateLogError(1, "reported");
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, 1);
  EXPECT_FALSE(LogState().NeedLog);
}

TEST_F(GateLog, RefusedLineStopsLoggingUntilSwitchedOnAgain) {
  StartLogging();
  gate::GateLog(1, "accepted");
  accept_ = 0;
  gate::GateLog(1, "refused");
  EXPECT_FALSE(LogState().NeedLog);
  Clear();
  gate::GateLog(1, "not offered");
  GateLogError(1, "error still reported");
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, 1);

  accept_ = 1;
  StartLogging();
  Clear();
  gate::GateLog(1, "again");
  EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(GateLog, RefusedSeparatorCountsForPlainLinesOnly) {
  accept_ = 0;
  StartLogging();
  gate::GateLog(1, "line");
  ASSERT_EQ(Calls().size(), 1u) << "the refused separator switches logging off";
  EXPECT_FALSE(LogState().NeedLog);

  ResetLogState();
  Clear();
  StartLogging();
  GateLogError(1, "error");
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 3u) << "an error line ignores the separator's answer";
  EXPECT_EQ(calls[0].text, kSeparator);
  EXPECT_EQ(calls[1].kind, 1);
  EXPECT_EQ(calls[2].kind, 2);
}

TEST_F(GateLog, ConcurrentThreadsEachGetTheirOwnPrefix) {
  StartLogging();
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::uint32_t> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&ids, t] {
      ids[static_cast<std::size_t>(t)] = platform::CurrentThreadId();
      for (int i = 0; i < kLines; ++i) gate::GateLog(i % 2 ? 1 : 10, "T" + std::to_string(t) + " line " + std::to_string(i));
    });
  for (auto& th : threads) th.join();

  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u + kThreads * kLines);
  int separators = 0;
  std::vector<int> per_thread(kThreads);
  for (const Call& c : calls) {
    if (c.text == kSeparator) {
      ++separators;
      continue;
    }
    const int t = c.text[13] - '0';  // "[$XXXXXXXX] T<t> line <i>"
    ASSERT_TRUE(t >= 0 && t < kThreads) << c.text;
    EXPECT_EQ(c.text.substr(0, 12), "[$" + host::Hex8(ids[static_cast<std::size_t>(t)]) + "] ");
    ++per_thread[static_cast<std::size_t>(t)];
  }
  EXPECT_EQ(separators, 1);
  for (int n : per_thread) EXPECT_EQ(n, kLines);
}

}  // namespace
}  // namespace kestrel::gate_test
