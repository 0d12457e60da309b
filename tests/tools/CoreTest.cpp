// The program as the gate's core: what reaches it through libHeron's
// functions, as the gate calls them.
#include <gtest/gtest.h>

#include <mutex>

#include "heron.h"
#include "platform/Cp1251.h"
#include "platform/PortNames.h"
#include "tests/tools/ToolTempDir.h"
#include "tools/kestrel/Core.h"
#include "tools/kestrel/Schema.h"

namespace kestrel::app {
namespace {

using namespace kestrel::literals;
using namespace std::string_literals;

// Texts as the gate writes them, at namespace scope (clang 14 crashes on
// these literals inside a function).
constexpr std::string_view kBegin = "Начало функции"_cp;
constexpr std::string_view kError = "MDMGATE.StartTransmit:(Ошибка EMdmGateError:(x))"_cp;
constexpr std::string_view kDetails = "подробно"_cp;
constexpr std::string_view kCaption = "Передача"_cp;
constexpr std::string_view kBusyChannel =
    "TMPM[].Init:(Канал COM4 при тестировании выдал ошибку:(Ошибка: 16; Device or resource busy))"_cp;
constexpr std::string_view kCutShort = "TMPM[].Init:(Канал COM5 при тестировании"_cp;

struct TRecorder final : TCoreEvents {
  std::mutex mutex;
  std::vector<TLogLine> lines;
  std::vector<std::pair<std::string, std::string>> problems;
  std::vector<std::int32_t> failed, delivered;
  std::string packet;
  std::int32_t sender = 0;
  bool take = true;
  std::vector<std::string> captions;

  void OnGateLine(const TLogLine& l) override {
    std::lock_guard lock(mutex);
    lines.push_back(l);
  }
  void OnChannelProblem(const std::string& port, const std::string& problem) override {
    problems.emplace_back(port, problem);
  }
  bool OnPacketFailed(const TRefPack& ref, std::int32_t code, std::int32_t param) override {
    if (code == -10 && param == -1) failed.push_back(ref.Number);
    return true;
  }
  bool OnPacket(std::int32_t s, const TRefPack&, std::string_view data) override {
    sender = s;
    packet = std::string(data);
    return take;
  }
  void OnDelivered(KHandle, const TRefPack& ref) override { delivered.push_back(ref.Number); }
  void OnProgress(KHandle, const std::string& caption, std::int32_t, std::int32_t, std::int32_t) override {
    captions.push_back(caption);
  }
};

TEST(Core, GateLinesArriveInUtf8AndAnErrorIsKeptOnce) {
  testing::TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  TLogBook book(*db);
  TLogWriter writer(book);
  TRecorder events;
  {
    TCore core(events, &writer);
    const std::string error = "[$0000BEEF] "s + std::string(kError);
    EXPECT_EQ(::GateInfo(2, 1, ("[$0000BEEF] "s + std::string(kBegin)).c_str(), nullptr, 0), 1);
    const std::string details(kDetails);
    EXPECT_EQ(::GateInfo(1, 1, error.c_str(), details.c_str(), 0), 1);
    EXPECT_EQ(::GateInfo(2, 1, error.c_str(), details.c_str(), 0), 1) << "the same error as a line";
    EXPECT_EQ(::GateInfo(2, 7, "no prefix", "", 0), 1);
    EXPECT_EQ(core.LastError(), "MDMGATE.StartTransmit:(Ошибка EMdmGateError:(x)) (подробно)");
  }
  ASSERT_EQ(events.lines.size(), 3u);
  EXPECT_EQ(events.lines[0].text, "Начало функции");
  EXPECT_EQ(events.lines[0].thread, "0000BEEF");
  EXPECT_FALSE(events.lines[0].error);
  EXPECT_TRUE(events.lines[1].error);
  EXPECT_EQ(events.lines[2].gate_code, 7);
  EXPECT_EQ(events.lines[2].thread, "");
  writer.Flush();
  TLogFilter all;
  all.limit = 0;
  EXPECT_EQ(book.List(all).size(), 3u);
  EXPECT_EQ(::GateInfo(2, 1, "after the core went", nullptr, 0), 1) << "libHeron's own answer again";
}

TEST(Core, SettingsArePerGateCodeAndTheFirstStays) {
  TRecorder events;
  TCore core(events, nullptr);
  core.SetGateSettings(3, "block-three");
  core.SetGateSettings(3, "replacement");
  std::int32_t size = -1;
  const void* block = ::ReadGateSettings(3, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(block), static_cast<std::size_t>(size)), "block-three");
  EXPECT_EQ(::ReadGateSettings(4, &size), nullptr);
  EXPECT_EQ(size, 0);
}

TEST(Core, PacketsOutcomesAndProgressReachTheCommand) {
  TRecorder events;
  TCore core(events, nullptr);
  const TRefPack ref{12, 1, 2};
  EXPECT_EQ(::RecvFromGate(&ref, -10, -1), 1);
  EXPECT_EQ(::RecvFromGate(nullptr, -10, -1), 0) << "no reference, nothing to fail";
  EXPECT_EQ(::PacketDeliveredFromGate(5, &ref), 1);
  EXPECT_EQ(::RecvPacketFromGate(9, &ref, "data", 4), 1);
  EXPECT_EQ(events.sender, 9);
  EXPECT_EQ(events.packet, "data");
  events.take = false;
  EXPECT_EQ(::RecvPacketFromGate(9, &ref, "data", 4), 0) << "a refused packet is refused to the gate";
  EXPECT_EQ(::RecvPacketFromGate(9, &ref, nullptr, 4), 0) << "no bytes behind a size";
  ::ProgressFromGate(5, std::string(kCaption).c_str(), 1, 2, HERON_PROGRESS_SEND);
  EXPECT_EQ(events.failed, std::vector<std::int32_t>{12});
  EXPECT_EQ(events.delivered, std::vector<std::int32_t>{12});
  EXPECT_EQ(events.captions, std::vector<std::string>{"Передача"});
}

TEST(Core, ChannelsThatFailTheirTestAreNamedWithTheirDevice) {
  TRecorder events;
  TCore core(events, nullptr);
  platform::SetComPortTarget(4, "/dev/test-device");
  const std::string line = "[$00000001] "s + std::string(kBusyChannel);
  ::GateInfo(2, 1, line.c_str(), "", 0);
  ::GateInfo(2, 1, std::string(kCutShort).c_str(), "", 0);  // cut short
  platform::ClearComPortTargets();
  ASSERT_EQ(events.problems.size(), 1u);
  EXPECT_EQ(events.problems[0].first, "COM4");
  EXPECT_EQ(events.problems[0].second, "Ошибка: 16; Device or resource busy");
  platform::SetComPortTarget(4, "/dev/test-device");
  EXPECT_EQ(core.ChannelProblems(), "COM4 (/dev/test-device): Ошибка: 16; Device or resource busy");
  platform::ClearComPortTargets();
}

}  // namespace
}  // namespace kestrel::app
