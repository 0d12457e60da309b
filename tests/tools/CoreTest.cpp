// The program as the gate's core: what reaches it through libHeron's
// functions, as the gate calls them.
#include "heron.h"
#include "platform/Cp1251.h"
#include "platform/PortNames.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Core.h"

namespace kestrel::app {
namespace {

using namespace kestrel::literals;
using namespace std::string_literals;
using namespace testing;

// Texts as the gate writes them, at namespace scope (clang 14 crashes on
// these literals inside a function).
constexpr std::string_view kBegin = "Начало функции"_cp;
constexpr std::string_view kError = "MDMGATE.StartTransmit:(Ошибка EMdmGateError:(x))"_cp;
constexpr std::string_view kDetails = "подробно"_cp;
constexpr std::string_view kCaption = "Передача"_cp;
constexpr std::string_view kBusyChannel =
    "TMPM[].Init:(Канал COM4 при тестировании выдал ошибку:(Ошибка: 16; Device or resource busy))"_cp;
constexpr std::string_view kCutShort = "TMPM[].Init:(Канал COM5 при тестировании"_cp;

std::string N(long long v) { return std::to_string(v); }

// Every event but the log lines as one line of text.
struct TRecorder final : TCoreEvents {
  std::vector<TLogLine> lines;
  std::vector<std::string> events;
  bool take = true;

  void OnGateLine(const TLogLine& l) override { lines.push_back(l); }
  void OnChannelProblem(const std::string& port, const std::string& problem) override {
    events.push_back("problem " + port + ": " + problem);
  }
  bool OnPacketFailed(const TRefPack& ref, std::int32_t code, std::int32_t param) override {
    events.push_back("failed " + N(ref.Number) + " " + N(code) + " " + N(param));
    return true;
  }
  bool OnPacket(std::int32_t sender, const TRefPack& ref, std::string_view data) override {
    events.push_back("packet " + N(ref.Number) + " from " + N(sender) + ": " + std::string(data));
    return take;
  }
  void OnDelivered(KHandle proc, const TRefPack& ref) override {
    events.push_back("delivered " + N(ref.Number) + " by " + N(proc));
  }
  void OnProgress(KHandle proc, const std::string& caption, std::int32_t done, std::int32_t total,
                  std::int32_t direction) override {
    events.push_back("progress " + N(proc) + " " + caption + " " + N(done) + "/" + N(total) + " " + N(direction));
  }
};

TEST(Core, GateLinesArriveInUtf8AndAnErrorIsKeptOnce) {
  TTempDir dir;
  auto db = OpenStore(dir / "k.db");
  TLogBook book(*db);
  TLogWriter writer(book);
  TRecorder events;
  {
    TCore core(events, &writer);
    const std::string error = "[$0000BEEF] "s + std::string(kError);
    const std::string details(kDetails);
    EXPECT_EQ(::GateInfo(2, 1, ("[$0000BEEF] "s + std::string(kBegin)).c_str(), nullptr, 0), 1);
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
  EXPECT_EQ(book.List({0, false, ""}).size(), 3u);
  EXPECT_EQ(::GateInfo(2, 1, "after the core went", nullptr, 0), 1) << "libHeron's own answer again";
}

TEST(Core, SettingsPacketsOutcomesAndProgressReachTheCommand) {
  TRecorder events;
  TCore core(events, nullptr);
  core.SetGateSettings(3, "block-three");
  core.SetGateSettings(3, "replacement");
  std::int32_t size = -1;
  const void* block = ::ReadGateSettings(3, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(block), static_cast<std::size_t>(size)), "block-three")
      << "the first block of a gate code stays";
  EXPECT_EQ(::ReadGateSettings(4, &size), nullptr);
  EXPECT_EQ(size, 0);

  const TRefPack ref{12, 1, 2};
  EXPECT_EQ(::RecvFromGate(&ref, -10, -1), 1);
  EXPECT_EQ(::RecvFromGate(nullptr, -10, -1), 0) << "no reference, nothing to fail";
  EXPECT_EQ(::PacketDeliveredFromGate(5, &ref), 1);
  EXPECT_EQ(::RecvPacketFromGate(9, &ref, "data", 4), 1);
  events.take = false;
  EXPECT_EQ(::RecvPacketFromGate(9, &ref, "more", 4), 0) << "a refused packet is refused to the gate";
  EXPECT_EQ(::RecvPacketFromGate(9, &ref, nullptr, 4), 0) << "no bytes behind a size";
  ::ProgressFromGate(5, std::string(kCaption).c_str(), 1, 2, HERON_PROGRESS_SEND);
  EXPECT_THAT(events.events, ElementsAre("failed 12 -10 -1", "delivered 12 by 5", "packet 12 from 9: data",
                                         "packet 12 from 9: more", "progress 5 Передача 1/2 " + N(HERON_PROGRESS_SEND)));
}

TEST(Core, ChannelsThatFailTheirTestAreNamedWithTheirDevice) {
  TRecorder events;
  TCore core(events, nullptr);
  platform::SetComPortTarget(4, "/dev/test-device");
  ::GateInfo(2, 1, ("[$00000001] "s + std::string(kBusyChannel)).c_str(), "", 0);
  ::GateInfo(2, 1, std::string(kCutShort).c_str(), "", 0);  // cut short
  EXPECT_THAT(events.events, ElementsAre("problem COM4: Ошибка: 16; Device or resource busy"));
  EXPECT_EQ(core.ChannelProblems(), "COM4 (/dev/test-device): Ошибка: 16; Device or resource busy");
  platform::ClearComPortTargets();
}

}  // namespace
}  // namespace kestrel::app
