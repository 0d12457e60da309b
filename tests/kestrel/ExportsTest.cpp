// The transmit and listen exports of libKestrel, loaded as a host loads it:
// their log lines and details texts, their results, the message to the core
// about a packet that could not be handed over, and the whole-gate stops.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Cp1251.h"
#include "tests/kestrel/GateLibrary.h"
#include "tests/pool/Blocks.h"
#include "tests/pool/CoreSpy.h"

namespace kestrel::testing {
namespace {

using namespace kestrel::literals;

std::string Cp(std::string_view text) { return std::string(text); }

// A pointer as the details show it: at least 8 upper-case hex digits.
std::string Ptr(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
  return buf;
}

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

class Exports : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(gate.Error(), ""); }

  // "kind text | details" of every line, the separator left out.
  std::vector<std::string> Transcript() const {
    std::vector<std::string> out;
    for (const TCoreLine& l : core.Lines())
      if (l.text != std::string(300, '=')) out.push_back(std::to_string(l.kind) + " " + l.text + " | " + l.details);
    return out;
  }
  KHandle StartNothingStored(std::int16_t code = 1) {
    const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
    return gate.StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 42, code, 0);
  }

  TCoreSpy core;     // the core's handlers exist before the library loads
  TGateLibrary gate;  // and the library is unloaded before they go
};

TEST_F(Exports, StartTransmitLogsTheAddressOnItsBeginLineAndReturnsTheProcess) {
  store::TMdmAddress addr = QuickAddress({1});
  addr.IdCl = 77;
  const std::string block = RemoteBlock(addr, {"101", "102"});
  const KHandle h = gate.StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 42, -3, 5);
  ASSERT_NE(h, 0u);

  const auto lines = core.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, std::string(300, '=')) << "the first line of a load is the separator";
  EXPECT_TRUE(lines[0].null_details);
  EXPECT_EQ(lines[1].text, Cp("MDMGATE.StartTransmit:(Начало функции)"_cp));
  EXPECT_EQ(lines[1].details, Cp("Addr.Version: 1; SubVersion: 0; Тел:(101; 102) Порты:COM1; "_cp) +
                                  "DialPhoneType: dtDialTone; RestoreConnAfterBreakTimeOut: 60000; "
                                  "DataWaitTimeOut: 10000; StayOnLineTimeOut: 180000; RestoreConnTimeOut: 1000; "
                                  "RestoreConnTries: 2; DialTimeOut: 10000; Addr.IdCl: 77 | SelfIdCl: 42; "
                                  "GateCode: -3; OnLineLevel: 5");
  EXPECT_EQ(lines[1].code, -3);
  const auto end = core.LinesWith("MDMGATE.StartTransmit:(Конец функции)"_cp);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].details, "Return: $" + Hex(h));
  EXPECT_TRUE(core.Errors().empty());
  EXPECT_EQ(core.SettingsReads(), 1);
  EXPECT_TRUE(gate.StopTransmit(h));
}

TEST_F(Exports, StoredSettingsTooShortFailTheStartWithTheInitialisationError) {
  core.StoreSettings(7, SettingsBlock({}).substr(0, 103));
  EXPECT_EQ(StartNothingStored(7), 0u);
  const std::string error =
      Cp("MDMGATE.StartTransmit:(Ошибка EMdmGateError:(Ошибка при инициализации менеджера модемного шлюза))"_cp);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, error);
  EXPECT_EQ(core.LinesWith(error).size(), 1u);
  EXPECT_EQ(core.LinesWith("MDMGATE.StartTransmit:(Конец функции)"_cp)[0].details, "Return: $00000000");
}

TEST_F(Exports, PortNumberSeventeenFailsTheStartWithTheListIndexError) {
  store::TMdmChannelSettings wrong = ChannelOn(1);
  wrong.PortNumber = static_cast<gate::TPortNumber>(17);
  core.StoreSettings(1, SettingsBlock({wrong}));
  EXPECT_EQ(StartNothingStored(1), 0u);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, Cp("MDMGATE.StartTransmit:(Ошибка EListError:(List index out of bounds (16)))"_cp));
}

TEST_F(Exports, UnreadableAddressBlocksGetThePlainDetailsAndStillReachTheFramework) {
  const std::string block(100, '\1');
  const KHandle h = gate.StartTransmit(block.data(), 100, 1, 0, 0);
  EXPECT_NE(h, 0u) << "the framework takes the block as it is";
  EXPECT_EQ(core.LinesWith("MDMGATE.StartTransmit:(Начало функции)"_cp).back().details,
            "AddrPtr = $" + Ptr(block.data()) + "; AddrSize = 100; SelfIdCl = 1; GateCode = 0; OnLineLevel = 0");
  EXPECT_NE(gate.StartTransmit(nullptr, 0, 2, 3, 4), 0u);
  EXPECT_EQ(core.LinesWith("MDMGATE.StartTransmit:(Начало функции)"_cp).back().details,
            "AddrPtr = $00000000; AddrSize = 0; SelfIdCl = 2; GateCode = 3; OnLineLevel = 4");

  const std::string own = OwnBlock(QuickAddress({1})).substr(0, 167);
  EXPECT_EQ(gate.StartListen(own.data(), 167, 9, 3, 1), 0u);
  EXPECT_EQ(core.LinesWith("MDMGATE.StartListen:(Начало функции)"_cp).back().details,
            "SelfAddrPtr = $" + Ptr(own.data()) + "; SelfAddrSize = 167; SelfIdCl = 9; GateCode = 3; OnLineLevel = 1");
  EXPECT_TRUE(gate.StopTransmit(h));
}

TEST_F(Exports, StartListenLogsTheOwnAddressAndFailsWithoutChannels) {
  store::TMdmAddress own = QuickAddress({1, 3});
  own.IdCl = 5;
  const std::string block = OwnBlock(own);
  EXPECT_EQ(gate.StartListen(block.data(), 168, 9, 3, 1), 0u);
  const auto begin = core.LinesWith("MDMGATE.StartListen:(Начало функции)"_cp);
  ASSERT_EQ(begin.size(), 1u);
  EXPECT_EQ(begin[0].details, Cp("SelfAddr.Version: 1; SubVersion: 0; Порты:(COM1; COM3); "_cp) +
                                  "DataWaitTimeOut: 10000; StayOnLineTimeOut: 180000; SelfAddr.IdCl: 5 | "
                                  "SelfIdCl: 9; GateCode: 3; OnLineLevel: 1");
  EXPECT_EQ(core.LinesWith("MDMGATE.StartListen:(Конец функции)"_cp)[0].details, "Return: $00000000");
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].text.find("].Listen:(" + Cp("Ошибка"_cp) +
                                " Exception:(TMPM.GetChannelsFromSetForListening:(There no initialized "
                                "channels.Check gate settings!)))"),
            std::string::npos)
      << errors[0].text;
}

TEST_F(Exports, HandOverThatFailsIsReportedToTheCoreWhicheverWayItAnswers) {
  ASSERT_NE(StartNothingStored(), 0u);  // switches the log on
  const TRefPack ref{5, 738000, 3600000};
  const char data[] = "abc";
  const std::string failed = Cp("MDMGATE.SendToGate:(Ошибка Exception:(Transmit process $00001234 does not exist))"_cp);
  const std::string told =
      Cp("MDMGATE.SendToGate:(Послано шлюзовое сообщение в ядро о неуспешной посылке пакета "_cp) +
      "RefPack = (5, 738000/29.07.2021, 3600000/01:00:00.000))";
  const std::string not_told =
      Cp("MDMGATE.SendToGate:(Не послано шлюзовое сообщение в ядро; Функция ядра RecvFromGate вернула FALSE)"_cp);

  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, &ref, 0x1234), 0);
  EXPECT_EQ(Transcript(),
            (std::vector<std::string>{
                "2 " + Cp("MDMGATE.SendToGate:(Начало функции)"_cp) +
                    " | DataSize = 3; RefPack = (5, 738000/29.07.2021, 3600000/01:00:00.000); TransProcPtr = $00001234",
                "1 " + failed + " | ", "2 " + failed + " | ", "2 " + told + " | ",
                "2 " + Cp("MDMGATE.SendToGate:(Конец функции)"_cp) + " | Return: FALSE"}));
  ASSERT_EQ(core.Failed().size(), 1u);
  EXPECT_EQ(core.Failed()[0].Number, 5);

  core.SetRecvFromGateAnswer(false);
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, &ref, 0x1234), 0);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, failed);
  EXPECT_EQ(errors[1].text, not_told);
  EXPECT_EQ(core.Failed().size(), 2u);

  // Without a reference there is no packet to tell the core about.
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, nullptr, 0x1234), 0);
  EXPECT_EQ(core.LinesWith("MDMGATE.SendToGate:(Начало функции)"_cp)[0].details,
            "DataPtr = $" + Ptr(data) + "; DataSize = 3; RefPackPtr = $00000000; TransProcPtr = $00001234");
  EXPECT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Failed().size(), 2u);
}

TEST_F(Exports, AcceptedPacketThatFindsNoChannelIsReportedFailedOnce) {
  const KHandle h = StartNothingStored();
  ASSERT_NE(h, 0u);
  const TRefPack ref{9, 738000, 1000};
  EXPECT_EQ(gate.SendToGate("x", 1, &ref, h), 1);
  ASSERT_TRUE(core.WaitUntil([](const TCoreSpy& c) { return !c.Failed().empty(); }, 10000));
  EXPECT_TRUE(gate.StopTransmit(h));
  EXPECT_TRUE(gate.StopTransmit(0));
  ASSERT_EQ(core.Failed().size(), 1u);
  EXPECT_EQ(core.Failed()[0].Number, 9);
  EXPECT_TRUE(core.Confirmed().empty());
}

TEST_F(Exports, StopTransmitOfTheWholeGateDestroysTheManagerAndSwitchesTheLogOff) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0), 1);
  std::vector<std::string> gate_lines;
  for (const std::string& l : Transcript())
    if (l.find("MDMGATE.") != std::string::npos || l.find("TMGM[].StopGate") != std::string::npos)
      gate_lines.push_back(l);
  const std::string mid = "2 " + Cp("MDMGATE.StopTransmit:(Середина функции)"_cp) + " | ";
  EXPECT_EQ(gate_lines, (std::vector<std::string>{
                            "2 " + Cp("MDMGATE.StopTransmit:(Начало функции)"_cp) + " | TransProcPtr = $00000000",
                            mid + Cp("перед MdmGateManager.StopGate(StopMode)"_cp),
                            "2 " + Cp("TMGM[].StopGate:(Начало функции)"_cp) + " | vStopMode: TRUE",
                            "2 " + Cp("TMGM[].StopGate:(Конец функции)"_cp) + " | Return: TRUE",
                            mid + Cp("после MdmGateManager.StopGate(StopMode)"_cp),
                            mid + Cp("перед MdmGateManager.Free"_cp),
                            mid + Cp("после MdmGateManager.Free"_cp),
                            "2 " + Cp("MDMGATE.StopTransmit:(Конец функции)"_cp) + " | Return: TRUE"}));

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
  EXPECT_EQ(Transcript(), (std::vector<std::string>{
                              "2 " + Cp("MDMGATE.StopTransmit:(Начало функции)"_cp) + " | TransProcPtr = $00000000",
                              "2 " + Cp("MDMGATE.StopTransmit:(Конец функции)"_cp) + " | Return: FALSE"}));
  core.ClearLines();
  EXPECT_EQ(gate.StopListen(0, 0), 0);
  EXPECT_TRUE(core.Lines().empty());
}

TEST_F(Exports, StopListenOfTheWholeGateStopsItButKeepsTheManager) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  EXPECT_EQ(gate.StopListen(0, 0), 1);
  std::vector<std::string> gate_lines;
  for (const std::string& l : Transcript())
    if (l.find("MDMGATE.") != std::string::npos || l.find("TMGM[].StopGate") != std::string::npos)
      gate_lines.push_back(l);
  const std::string mid = "2 " + Cp("MDMGATE.StopListen:(Середина функции)"_cp) + " | ";
  EXPECT_EQ(gate_lines,
            (std::vector<std::string>{
                "2 " + Cp("MDMGATE.StopListen:(Начало функции)"_cp) + " | RecvProcPtr = $00000000; StopMode = 0",
                mid + Cp("перед MdmGateManager.StopGate(StopMode)"_cp),
                "2 " + Cp("TMGM[].StopGate:(Начало функции)"_cp) + " | vStopMode: FALSE",
                "2 " + Cp("TMGM[].StopGate:(Конец функции)"_cp) + " | Return: TRUE",
                mid + Cp("после MdmGateManager.StopGate(StopMode)"_cp),
                "2 " + Cp("MDMGATE.StopListen:(Конец функции)"_cp) + " | Return: TRUE"}));

  // The log stays on and the manager initialises itself again.
  const KHandle again = StartNothingStored();
  EXPECT_NE(again, 0u);
  EXPECT_EQ(core.SettingsReads(), 2);
  EXPECT_EQ(gate.StopListen(0, 2), 1);
  EXPECT_EQ(core.LinesWith("MDMGATE.StopListen:(Начало функции)"_cp).back().details,
            "RecvProcPtr = $00000000; StopMode = 1");
  EXPECT_EQ(core.LinesWith("TMGM[].StopGate:(Начало функции)"_cp).back().details, "vStopMode: TRUE");
}

TEST_F(Exports, UnloadEndsRunningProcessesAndWritesNoGateLines) {
  const KHandle h = StartNothingStored();
  ASSERT_NE(h, 0u);
  core.ClearLines();
  gate.Unload();
  for (const TCoreLine& l : core.Lines()) {
    EXPECT_EQ(l.text.find("MDMGATE"), std::string::npos) << l.text;
    EXPECT_EQ(l.text.find("TMGM"), std::string::npos) << l.text;
  }
  // The library really went: a new load starts from scratch, with a manager
  // and the separator line again.
  TGateLibrary again;
  ASSERT_EQ(again.Error(), "");
  core.ClearLines();
  const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
  const KHandle h2 = again.StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 1, 1, 0);
  EXPECT_NE(h2, 0u);
  ASSERT_FALSE(core.Lines().empty());
  EXPECT_EQ(core.Lines()[0].text, std::string(300, '='));
  EXPECT_TRUE(again.StopTransmit(0));
}

}  // namespace
}  // namespace kestrel::testing
