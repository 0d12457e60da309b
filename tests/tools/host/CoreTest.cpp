// A host as the gate's core (tools/host/Core.h): what reaches the command
// through libHeron's functions, as the gate calls them. That a channel's
// problem is named with its device, and that packets and their outcomes
// reach a real host, the kestrel program's and the end-to-end tests show.
//
// Loading the gate (tools/host/GateLibrary.h): where it is looked for, and
// what a wrong file or a missing export gives. (A gate with every export is
// loaded by each test of the exports.)
#include "heron.h"

#include "platform/Cp1251.h"
#include "platform/ProcessEnv.h"
#include "tests/tools/ToolTest.h"
#include "tools/host/Core.h"
#include "tools/host/GateLibrary.h"

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
constexpr std::string_view kCutShort = "TMPM[].Init:(Канал COM5 при тестировании"_cp;

std::string N(long long v) { return std::to_string(v); }

// Every event but the log lines as one line of text.
struct TRecorder final : TCoreEvents {
  std::vector<std::string> events;
  bool take = true;

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
  TRecorder events;
  std::vector<TLogLine> kept;
  {
    TCore core(events, [&](TLogLine line) { kept.push_back(std::move(line)); });
    const std::string error = "[$0000BEEF] "s + std::string(kError);
    const std::string details(kDetails);
    EXPECT_EQ(::GateInfo(2, 1, ("[$0000BEEF] "s + std::string(kBegin)).c_str(), nullptr, 0), 1);
    EXPECT_EQ(::GateInfo(1, 1, error.c_str(), details.c_str(), 0), 1);
    EXPECT_EQ(::GateInfo(2, 1, error.c_str(), details.c_str(), 0), 1) << "the same error as a line";
    EXPECT_EQ(::GateInfo(2, 7, std::string(kCutShort).c_str(), "", 0), 1) << "no channel problem in it";
    EXPECT_EQ(core.LastError(), "MDMGATE.StartTransmit:(Ошибка EMdmGateError:(x)) (подробно)");
  }
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(std::tuple(kept[0].text, kept[0].thread, kept[0].error), std::tuple("Начало функции", "0000BEEF", false));
  EXPECT_TRUE(kept[1].error);
  EXPECT_EQ(std::tuple(kept[2].gate_code, kept[2].thread), std::tuple(7, ""));
  EXPECT_TRUE(events.events.empty());
  for (const std::string odd : {"[$0000ZZZZ] text", "[$1234] short", "", "[$00001A2B]nospace"}) {
    std::string thread = "x", text;
    SplitThreadPrefix(odd, thread, text);
    EXPECT_EQ(thread, "") << odd;
    EXPECT_EQ(text, odd);
  }
}

TEST(Core, SettingsPacketsOutcomesAndProgressReachTheCommand) {
  TRecorder events;
  TCore core(events);
  core.SetGateSettings(3, "block-three");
  core.SetGateSettings(3, "replacement");
  std::int32_t size = -1;
  const void* block = ::ReadGateSettings(3, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(block), static_cast<std::size_t>(size)), "block-three")
      << "the first block of a gate code stays";
  EXPECT_EQ(::ReadGateSettings(4, &size), nullptr);  // with size 0, as libHeron answers for no block

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


TEST(GateLibrary, WrongFilesAndMissingExportsAreNamed) {
  auto error_of = [](const std::string& path) { return ErrorOf([&] { TGateLibrary::Load(path); }); };
  EXPECT_THAT(error_of("/nonexistent/missing.so"), HasSubstr("/nonexistent/missing.so"));
  EXPECT_THAT(error_of(HERON_LIBRARY_PATH), HasSubstr("has no export StartTransmit")) << "a library, but not a gate";
  const auto gate = TGateLibrary::Load(KESTREL_LIBRARY_PATH);
  decltype(gate->GateMonitor) none = nullptr;
  EXPECT_THAT(ErrorOf([&] { gate->Need(none, "GateMonitor", "the monitor window"); }),
              HasSubstr("has no export GateMonitor, so the monitor window"));
}

TEST(GateLibrary, CandidatesFollowOptionEnvironmentThenProgram) {
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "");
  EXPECT_THAT(GateLibraryCandidates("/opt/lib.so", "/usr/bin/kestrel"), ElementsAre("/opt/lib.so"));
  const auto found = GateLibraryCandidates("", "/usr/bin/kestrel");
  ASSERT_GE(found.size(), 3u);
  EXPECT_EQ(found[0], "/usr/bin/libKestrel.so");
  EXPECT_EQ(found[1], "/usr/lib/libKestrel.so");
  EXPECT_EQ(found.back(), "libKestrel.so") << "the loader's own search comes last";
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "/env/lib.so");
  EXPECT_THAT(GateLibraryCandidates("", "/usr/bin/kestrel"), ElementsAre("/env/lib.so"));
  EXPECT_THAT(GateLibraryCandidates("/opt/lib.so", ""), ElementsAre("/opt/lib.so")) << "the option wins";
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "");
}

}  // namespace
}  // namespace kestrel::app
