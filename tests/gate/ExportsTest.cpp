// The transmit and listen exports of libKestrel, loaded as a host loads it:
// their log lines and details texts, their results, the message to the core
// about a packet that could not be handed over, and the whole-gate stops.
// (An accepted packet that cannot go is reported failed once by the
// framework, tests/host; through the exports, in tests/e2e/StopsTest.cpp.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "kestrel/version.h"
#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "tests/gate/GateTest.h"
#include "tests/kit/Blocks.h"

namespace kestrel::testing {
namespace {

using namespace kestrel::literals;

const std::string kSeparator(300, '=');

std::string Cp(std::string_view text) { return std::string(text); }
std::vector<std::string> Cp(std::initializer_list<std::string_view> texts) { return {texts.begin(), texts.end()}; }

// At least 8 upper-case hex digits, as the details show handles and pointers.
std::string Hex(std::uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(v));
  return buf;
}
std::string Ptr(const void* p) { return Hex(reinterpret_cast<std::uintptr_t>(p)); }

class Exports : public GateTest {
 protected:
  // "kind text | details" of every line but the separator whose text holds
  // one of `parts` (of every line when none is given).
  std::vector<std::string> Transcript(std::initializer_list<std::string_view> parts = {}) const {
    std::vector<std::string> out;
    for (const TCoreLine& l : core.Lines()) {
      bool wanted = parts.size() == 0;
      for (const auto part : parts) wanted = wanted || l.text.find(part) != std::string::npos;
      if (wanted && l.text != kSeparator) out.push_back(std::to_string(l.kind) + " " + l.text + " | " + l.details);
    }
    return out;
  }
  std::string DetailsOfLast(std::string_view text) const { return core.LinesWith(text).back().details; }
  KHandle StartNothingStored(std::int16_t code = 1) {
    const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
    return gate.StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 42, code, 0);
  }
};

TEST_F(Exports, StartsLogTheirAddressesAndResultsAndListeningNeedsAChannel) {
  store::TMdmAddress addr = QuickAddress({1});
  addr.IdCl = 77;
  const std::string block = RemoteBlock(addr, {"101", "102"});
  const KHandle h = gate.StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 42, -3, 5);
  ASSERT_NE(h, 0u);
  const auto lines = core.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, kSeparator) << "the first line of a load is the separator";
  EXPECT_EQ(lines[0].details, "Kestrel " KESTREL_VERSION);
  EXPECT_EQ(lines[1].code, -3);
  EXPECT_EQ(Transcript({"MDMGATE.StartTransmit"}),
            Cp({"2 MDMGATE.StartTransmit:(Начало функции) | Addr.Version: 1; SubVersion: 0; Тел:(101; 102) "
                "Порты:COM1; DialPhoneType: dtDialTone; RestoreConnAfterBreakTimeOut: 60000; DataWaitTimeOut: 10000; "
                "StayOnLineTimeOut: 180000; RestoreConnTimeOut: 1000; RestoreConnTries: 2; DialTimeOut: 10000; "
                "Addr.IdCl: 77 | SelfIdCl: 42; GateCode: -3; OnLineLevel: 5"_cp,
                Cp("2 MDMGATE.StartTransmit:(Конец функции) | Return: $"_cp) + Hex(h)}));
  EXPECT_EQ(core.SettingsReads(), 1);
  EXPECT_TRUE(gate.StopTransmit(h));

  // Listening fails: the gate settings name no channel.
  store::TMdmAddress own = QuickAddress({1, 3});
  own.IdCl = 5;
  const std::string own_block = OwnBlock(own);
  EXPECT_EQ(gate.StartListen(own_block.data(), 168, 9, 3, 1), 0u);
  EXPECT_EQ(Transcript({"MDMGATE.StartListen"}),
            Cp({"2 MDMGATE.StartListen:(Начало функции) | SelfAddr.Version: 1; SubVersion: 0; Порты:(COM1; COM3); "
                "DataWaitTimeOut: 10000; StayOnLineTimeOut: 180000; SelfAddr.IdCl: 5 | SelfIdCl: 9; GateCode: 3; "
                "OnLineLevel: 1"_cp,
                "2 MDMGATE.StartListen:(Конец функции) | Return: $00000000"_cp}));
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].text.find(Cp("].Listen:(Ошибка Exception:(TMPM.GetChannelsFromSetForListening:(There no "
                                   "initialized channels.Check gate settings!)))"_cp)),
            std::string::npos)
      << errors[0].text;
}

TEST_F(Exports, UnreadableAddressBlocksGetThePlainDetailsAndStillReachTheFramework) {
  const std::string block(100, '\1');
  const KHandle h = gate.StartTransmit(block.data(), 100, 1, 0, 0);
  EXPECT_NE(h, 0u) << "the framework takes the block as it is";
  const std::string_view begin = "MDMGATE.StartTransmit:(Начало функции)"_cp;
  EXPECT_EQ(DetailsOfLast(begin),
            "AddrPtr = $" + Ptr(block.data()) + "; AddrSize = 100; SelfIdCl = 1; GateCode = 0; OnLineLevel = 0");
  EXPECT_NE(gate.StartTransmit(nullptr, 0, 2, 3, 4), 0u);
  EXPECT_EQ(DetailsOfLast(begin), "AddrPtr = $00000000; AddrSize = 0; SelfIdCl = 2; GateCode = 3; OnLineLevel = 4");
  const std::string own = OwnBlock(QuickAddress({1})).substr(0, 167);
  EXPECT_EQ(gate.StartListen(own.data(), 167, 9, 3, 1), 0u);
  EXPECT_EQ(DetailsOfLast("MDMGATE.StartListen:(Начало функции)"_cp),
            "SelfAddrPtr = $" + Ptr(own.data()) + "; SelfAddrSize = 167; SelfIdCl = 9; GateCode = 3; OnLineLevel = 1");
  EXPECT_TRUE(gate.StopTransmit(h));
}

TEST_F(Exports, BadStoredSettingsFailTheStartWithTheirError) {
  store::TMdmChannelSettings port17 = ChannelOn(1);
  port17.PortNumber = static_cast<gate::TPortNumber>(17);
  const std::pair<std::string, std::string_view> cases[] = {
      {SettingsBlock({}).substr(0, 103),
       "MDMGATE.StartTransmit:(Ошибка EMdmGateError:(Ошибка при инициализации менеджера модемного шлюза))"_cp},
      {SettingsBlock({port17}), "MDMGATE.StartTransmit:(Ошибка EListError:(List index out of bounds (16)))"_cp},
  };
  std::int16_t code = 7;
  for (const auto& [block, error] : cases) {
    core.ClearLines();
    core.StoreSettings(++code, block);
    EXPECT_EQ(StartNothingStored(code), 0u);
    const auto errors = core.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, error);
    EXPECT_EQ(core.LinesWith(error).size(), 1u) << "and as a log line";
    EXPECT_EQ(DetailsOfLast("MDMGATE.StartTransmit:(Конец функции)"_cp), "Return: $00000000");
  }
}

TEST_F(Exports, HandOverThatFailsIsReportedToTheCoreWhicheverWayItAnswers) {
  ASSERT_NE(StartNothingStored(), 0u);  // switches the log on
  const TRefPack ref{5, 738000, 3600000};
  const char data[] = "abc";
  const std::string failed = Cp("MDMGATE.SendToGate:(Ошибка Exception:(Transmit process $00001234 does not exist))"_cp);
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, &ref, 0x1234), 0);
  EXPECT_EQ(Transcript(),
            Cp({"2 MDMGATE.SendToGate:(Начало функции) | DataSize = 3; RefPack = (5, 738000/29.07.2021, "
                "3600000/01:00:00.000); TransProcPtr = $00001234"_cp,
                "1 MDMGATE.SendToGate:(Ошибка Exception:(Transmit process $00001234 does not exist)) | "_cp,
                "2 MDMGATE.SendToGate:(Ошибка Exception:(Transmit process $00001234 does not exist)) | "_cp,
                "2 MDMGATE.SendToGate:(Послано шлюзовое сообщение в ядро о неуспешной посылке пакета RefPack = (5, "
                "738000/29.07.2021, 3600000/01:00:00.000)) | "_cp,
                "2 MDMGATE.SendToGate:(Конец функции) | Return: FALSE"_cp}));
  ASSERT_EQ(core.Failed().size(), 1u);
  EXPECT_EQ(core.Failed()[0].Number, 5);

  core.SetRecvFromGateAnswer(false);
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, &ref, 0x1234), 0);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, failed);
  EXPECT_EQ(errors[1].text,
            Cp("MDMGATE.SendToGate:(Не послано шлюзовое сообщение в ядро; Функция ядра RecvFromGate вернула FALSE)"_cp));
  EXPECT_EQ(core.Failed().size(), 2u);

  // Without a reference there is no packet to tell the core about.
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, nullptr, 0x1234), 0);
  EXPECT_EQ(DetailsOfLast("MDMGATE.SendToGate:(Начало функции)"_cp),
            "DataPtr = $" + Ptr(data) + "; DataSize = 3; RefPackPtr = $00000000; TransProcPtr = $00001234");
  EXPECT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Failed().size(), 2u);
}

TEST_F(Exports, StopTransmitOfTheWholeGateDestroysTheManagerAndSwitchesTheLogOff) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0), 1);
  EXPECT_EQ(Transcript({"MDMGATE.", "TMGM[].StopGate"}),
            Cp({"2 MDMGATE.StopTransmit:(Начало функции) | TransProcPtr = $00000000"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | перед MdmGateManager.StopGate(StopMode)"_cp,
                "2 TMGM[].StopGate:(Начало функции) | vStopMode: TRUE"_cp,
                "2 TMGM[].StopGate:(Конец функции) | Return: TRUE"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | после MdmGateManager.StopGate(StopMode)"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | перед MdmGateManager.Free"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | после MdmGateManager.Free"_cp,
                "2 MDMGATE.StopTransmit:(Конец функции) | Return: TRUE"_cp}));

  // The log is off now; a start switches it on, but there is no manager.
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0x77), 0);
  EXPECT_TRUE(core.Lines().empty());
  EXPECT_EQ(StartNothingStored(), 0u);
  EXPECT_EQ(core.SettingsReads(), 1) << "no manager: the settings are not read";
  EXPECT_TRUE(core.Errors().empty());

  // A second whole-gate stop: begin and end only, false, and the log off again.
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0), 0);
  EXPECT_EQ(Transcript(), Cp({"2 MDMGATE.StopTransmit:(Начало функции) | TransProcPtr = $00000000"_cp,
                              "2 MDMGATE.StopTransmit:(Конец функции) | Return: FALSE"_cp}));
  core.ClearLines();
  EXPECT_EQ(gate.StopListen(0, 0), 0);
  EXPECT_TRUE(core.Lines().empty());
}

TEST_F(Exports, StopListenOfTheWholeGateStopsItButKeepsTheManager) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  EXPECT_EQ(gate.StopListen(0, 0), 1);
  EXPECT_EQ(Transcript({"MDMGATE.", "TMGM[].StopGate"}),
            Cp({"2 MDMGATE.StopListen:(Начало функции) | RecvProcPtr = $00000000; StopMode = 0"_cp,
                "2 MDMGATE.StopListen:(Середина функции) | перед MdmGateManager.StopGate(StopMode)"_cp,
                "2 TMGM[].StopGate:(Начало функции) | vStopMode: FALSE"_cp,
                "2 TMGM[].StopGate:(Конец функции) | Return: TRUE"_cp,
                "2 MDMGATE.StopListen:(Середина функции) | после MdmGateManager.StopGate(StopMode)"_cp,
                "2 MDMGATE.StopListen:(Конец функции) | Return: TRUE"_cp}));

  // The log stays on and the manager initialises itself again.
  EXPECT_NE(StartNothingStored(), 0u);
  EXPECT_EQ(core.SettingsReads(), 2);
  EXPECT_EQ(gate.StopListen(0, 2), 1);
  EXPECT_EQ(DetailsOfLast("MDMGATE.StopListen:(Начало функции)"_cp), "RecvProcPtr = $00000000; StopMode = 1");
  EXPECT_EQ(DetailsOfLast("TMGM[].StopGate:(Начало функции)"_cp), "vStopMode: TRUE");
}

// A host may stop the whole gate from a worker thread while its main thread
// pumps nothing: with no monitor window there is nothing to hand over.
TEST_F(Exports, WholeGateStopsFromAWorkerThreadWithoutAWindowNeedNoMainThread) {
  ASSERT_NE(StartNothingStored(), 0u);
  for (const bool listen : {true, false}) {  // StopListen(nil) keeps the manager for StopTransmit(nil)
    KBool result = 0;
    std::uint32_t took = 0;
    std::thread worker([&] {
      const std::uint32_t t0 = platform::GetTickCount();
      result = listen ? gate.StopListen(0, 1) : gate.StopTransmit(0);
      took = platform::Elapsed(t0, platform::GetTickCount());
    });
    worker.join();
    EXPECT_EQ(result, 1);
    EXPECT_LE(took, 1500u) << (listen ? "StopListen" : "StopTransmit");
  }
  EXPECT_TRUE(core.Errors().empty()) << core.Errors().front().text;
}

TEST_F(Exports, UnloadEndsRunningProcessesAndWritesNoGateLines) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  library.reset();
  EXPECT_EQ(Transcript({"MDMGATE", "TMGM"}), std::vector<std::string>{});
  // The library really went: a new load starts from scratch, with a manager
  // and the separator line again.
  library = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH, false);
  core.ClearLines();
  const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
  EXPECT_NE(library->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 1, 1, 0), 0u);
  ASSERT_FALSE(core.Lines().empty());
  EXPECT_EQ(core.Lines()[0].text, kSeparator);
  EXPECT_TRUE(library->StopTransmit(0));
}

}  // namespace
}  // namespace kestrel::testing
