// The transmit and listen exports of libKestrel, loaded as a host loads it:
// their log lines and details texts, their results, the message to the core
// about a packet that could not be handed over, and the whole-gate stops.
// (An accepted packet that cannot go is reported failed once by the
// framework, tests/host; through the exports, in tests/e2e/StopsTest.cpp.)
//
// The editing exports of libKestrel, loaded as a host loads it: the view
// texts and their hand-over, the conversion of an address to and from the
// host's parameters, the answers without a gate manager, and the address and
// settings dialogs driven by an operator on the forms backend.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Cp1251.h"
#include "platform/Tick.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"
#include "tests/gate/GateTest.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/ParamLists.h"
#include "tests/kit/forms/Operator.h"

namespace kestrel::testing {
namespace {

using namespace kestrel::literals;

const std::string kSeparator(300, '=');

std::vector<std::string> Cp(std::initializer_list<std::string_view> texts) { return {texts.begin(), texts.end()}; }

// At least 8 upper-case hex digits, as the details show handles and pointers.
std::string Hex(std::uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(v));
  return buf;
}
std::string Ptr(const void* p) { return Hex(reinterpret_cast<std::uintptr_t>(p)); }
std::int32_t Len(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

class Exports : public GateTest {
 protected:
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
  // The separator and its details are the log's test; a load begins with it (below).
  EXPECT_EQ(core.LinesWith("MDMGATE.StartTransmit").at(0).code, -3);
  EXPECT_EQ(core.Transcript({"MDMGATE.StartTransmit"}),
            Cp({"2 MDMGATE.StartTransmit:(Начало функции) | Addr.Version: 1; SubVersion: 0; Тел:(101; 102) "
                "Порты:COM1; DialPhoneType: dtDialTone; RestoreConnAfterBreakTimeOut: 60000; DataWaitTimeOut: 10000; "
                "StayOnLineTimeOut: 180000; RestoreConnTimeOut: 1000; RestoreConnTries: 2; DialTimeOut: 10000; "
                "Addr.IdCl: 77 | SelfIdCl: 42; GateCode: -3; OnLineLevel: 5"_cp,
                std::string("2 MDMGATE.StartTransmit:(Конец функции) | Return: $"_cp) + Hex(h)}));
  EXPECT_TRUE(gate.StopTransmit(h));

  // Listening fails: the gate settings name no channel.
  store::TMdmAddress own = QuickAddress({1, 3});
  own.IdCl = 5;
  const std::string own_block = OwnBlock(own);
  EXPECT_EQ(gate.StartListen(own_block.data(), 168, 9, 3, 1), 0u);
  EXPECT_EQ(core.Transcript({"MDMGATE.StartListen"}),
            Cp({"2 MDMGATE.StartListen:(Начало функции) | SelfAddr.Version: 1; SubVersion: 0; Порты:(COM1; COM3); "
                "DataWaitTimeOut: 10000; StayOnLineTimeOut: 180000; SelfAddr.IdCl: 5 | SelfIdCl: 9; GateCode: 3; "
                "OnLineLevel: 1"_cp,
                "2 MDMGATE.StartListen:(Конец функции) | Return: $00000000"_cp}));
  EXPECT_EQ(core.Errors().size(), 1u) << "the listener's, whose text is the session's test";
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
    ASSERT_EQ(core.Errors().size(), 1u);
    EXPECT_EQ(core.Errors()[0].text, error);
    EXPECT_EQ(core.LinesWith(error).size(), 1u) << "and as a log line";
    EXPECT_EQ(DetailsOfLast("MDMGATE.StartTransmit:(Конец функции)"_cp), "Return: $00000000");
  }
}

TEST_F(Exports, HandOverThatFailsIsReportedToTheCoreWhicheverWayItAnswers) {
  ASSERT_NE(StartNothingStored(), 0u);  // switches the log on
  const TRefPack ref{5, 738000, 3600000};
  const char data[] = "abc";
  const std::string failed("MDMGATE.SendToGate:(Ошибка Exception:(Transmit process $00001234 does not exist))"_cp);
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, &ref, 0x1234), 0);
  EXPECT_EQ(core.Transcript(),
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
            std::string("MDMGATE.SendToGate:(Не послано шлюзовое сообщение в ядро; Функция ядра RecvFromGate вернула FALSE)"_cp));
  EXPECT_EQ(core.Failed().size(), 2u);

  // Without a reference there is no packet to tell the core about.
  core.ClearLines();
  EXPECT_EQ(gate.SendToGate(data, 3, nullptr, 0x1234), 0);
  EXPECT_EQ(DetailsOfLast("MDMGATE.SendToGate:(Начало функции)"_cp),
            "DataPtr = $" + Ptr(data) + "; DataSize = 3; RefPackPtr = $00000000; TransProcPtr = $00001234");
  EXPECT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Failed().size(), 2u);
}

TEST_F(Exports, StopTransmitOfTheWholeGateSwitchesTheLogOffAndWithoutTheManagerEveryExportButTheMonitorAnswersZero) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0), 1);
  EXPECT_EQ(core.Transcript({"MDMGATE.", "TMGM[].StopGate"}),
            Cp({"2 MDMGATE.StopTransmit:(Начало функции) | TransProcPtr = $00000000"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | перед MdmGateManager.StopGate(StopMode)"_cp,
                "2 TMGM[].StopGate:(Начало функции) | vStopMode: TRUE"_cp,
                "2 TMGM[].StopGate:(Конец функции) | Return: TRUE"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | после MdmGateManager.StopGate(StopMode)"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | перед MdmGateManager.Free"_cp,
                "2 MDMGATE.StopTransmit:(Середина функции) | после MdmGateManager.Free"_cp,
                "2 MDMGATE.StopTransmit:(Конец функции) | Return: TRUE"_cp}));

  // The log is off now; nothing reports an error either, and no out-argument is touched.
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0x77), 0);
  const std::string own = OwnBlock(QuickAddress({1}));
  std::int32_t out = -7;
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  TParamList list{};
  EXPECT_EQ((std::tuple{gate.EditAddrGate(own.data(), Len(own), 1, &out, 0), gate.GetGateData(buffer),
                        gate.ViewAddrGate(own.data(), Len(own), 1, &out), gate.GetViewStr(buffer),
                        gate.EditGateSetting(nullptr, 0, &out, 1), gate.GetGateSetting(buffer),
                        gate.AdjustmentGate(1, buffer, &out, buffer)}),
            std::tuple(0, 0, 0, 0, 0, 0, 0));
  for (std::int32_t mode = 0; mode <= 3; ++mode)
    EXPECT_EQ(gate.StructuredAddress(mode, buffer, &out, &list), nullptr) << "mode " << mode;
  EXPECT_EQ(out, -7) << "out-arguments untouched";
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
  EXPECT_TRUE(core.Lines().empty());
  // A start switches the log on, but there is no manager.
  EXPECT_EQ(StartNothingStored(), 0u);
  EXPECT_EQ(core.SettingsReads(), 1) << "no manager: the settings are not read";
  EXPECT_TRUE(core.Errors().empty());

  // A second whole-gate stop: begin and end only, false, and the log off again.
  core.ClearLines();
  EXPECT_EQ(gate.StopTransmit(0), 0);
  EXPECT_EQ(core.Transcript(), Cp({"2 MDMGATE.StopTransmit:(Начало функции) | TransProcPtr = $00000000"_cp,
                              "2 MDMGATE.StopTransmit:(Конец функции) | Return: FALSE"_cp}));
  core.ClearLines();
  EXPECT_EQ(gate.StopListen(0, 0), 0);
  EXPECT_TRUE(core.Lines().empty());
}

TEST_F(Exports, StopListenOfTheWholeGateStopsItButKeepsTheManager) {
  ASSERT_NE(StartNothingStored(), 0u);
  core.ClearLines();
  EXPECT_EQ(gate.StopListen(0, 0), 1);
  EXPECT_EQ(core.Transcript({"MDMGATE.", "TMGM[].StopGate"}),
            Cp({"2 MDMGATE.StopListen:(Начало функции) | RecvProcPtr = $00000000; StopMode = 0"_cp,
                "2 MDMGATE.StopListen:(Середина функции) | перед MdmGateManager.StopGate(StopMode)"_cp,
                "2 TMGM[].StopGate:(Начало функции) | vStopMode: FALSE"_cp,
                "2 TMGM[].StopGate:(Конец функции) | Return: TRUE"_cp,
                "2 MDMGATE.StopListen:(Середина функции) | после MdmGateManager.StopGate(StopMode)"_cp,
                "2 MDMGATE.StopListen:(Конец функции) | Return: TRUE"_cp}));

  // The log stays on and the manager initialises itself again (reading the
  // settings again: the session's test of StopGate).
  EXPECT_NE(StartNothingStored(), 0u);
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
  EXPECT_EQ(core.Transcript({"MDMGATE", "TMGM"}), std::vector<std::string>{});
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

using forms::testing::TFormDriver;
using forms::testing::TUi;

constexpr std::string_view kShortBlock = "Переданный блок памяти имеет размер меньше минимального для TMdmAddress"_cp;
constexpr std::string_view kRemoteView = "Тел:(101;...) Порты:(COM1;...)"_cp;
constexpr std::string_view kOwnView = "Порты:COM2"_cp;
constexpr std::string_view kStructuredError =
    "MDMGATE.StructuredAddress:(Ошибка Exception:(Phone number '"_cp;

class EditExports : public GateTest {
 protected:
  // ViewAddrGate then GetViewStr, as the host does them.
  std::string View(const void* data, std::int32_t size, bool self) {
    std::int32_t len = -1;
    EXPECT_EQ(gate.ViewAddrGate(data, size, self ? 1 : 0, &len), 1);
    if (len <= 0) return "<no length>";
    std::string text(static_cast<std::size_t>(len), '\x7f');
    EXPECT_EQ(gate.GetViewStr(text.data()), 1);
    EXPECT_EQ(text.back(), '\0') << "the text ends in its NUL";
    return text;
  }
};

TEST_F(EditExports, ViewTextsCarryTheirNulAndStayUntilTheNextView) {
  std::vector<char> before(8, 'x');
  EXPECT_EQ(gate.GetViewStr(before.data()), 0) << "no view text yet";
  EXPECT_EQ(before, std::vector<char>(8, 'x'));

  EXPECT_EQ(View(nullptr, 168, false), std::string("Address not exist", 18));
  EXPECT_EQ(View(nullptr, 0, true), std::string("Address not exist", 18));

  // The texts themselves are the dialogs layer's (tested with it); the
  // export picks the own or the remote one and hands it over.
  const std::string remote = RemoteBlock(QuickAddress({1, 3}), {"101", "102", "103"});
  EXPECT_EQ(View(remote.data(), Len(remote), false), std::string(kRemoteView) + '\0');
  // The text stays for as many copies as the host wants.
  std::string again(kRemoteView.size() + 1, '\x7f');
  EXPECT_EQ(gate.GetViewStr(again.data()), 1);
  EXPECT_EQ(again, std::string(kRemoteView) + '\0');
  EXPECT_EQ(gate.GetViewStr(nullptr), 0);
  const std::string own = OwnBlock(QuickAddress({2}));
  EXPECT_EQ(View(own.data(), Len(own), true), std::string(kOwnView) + '\0');
  EXPECT_EQ(View(own.data(), 100, true), std::string(kShortBlock) + '\0');
  EXPECT_EQ(View(remote.data(), 0, false), std::string(1, '\0')) << "a remote address of size 0: the NUL alone";
  EXPECT_TRUE(core.Errors().empty());
}

// An address read as parameters and built back from them, as a host does it.
TEST_F(EditExports, StructuredAddressReadsAndBuildsAddresses) {
  std::int32_t size = 4242;
  TParamList host_list{};
  EXPECT_EQ(gate.StructuredAddress(2, &size, &size, &host_list), nullptr) << "mode 2 before any mode 1";
  EXPECT_EQ(size, 4242);
  EXPECT_EQ(gate.StructuredAddress(4, nullptr, &size, &host_list), nullptr);
  EXPECT_EQ(gate.StructuredAddress(-1, nullptr, &size, &host_list), nullptr);

  // Mode 0 then 3: a block as the gate's parameter list.
  store::TMdmAddress addr = QuickAddress({1, 3});
  addr.IdCl = 77;
  const std::string block = RemoteBlock(addr, {"101", "102"});
  size = Len(block);
  auto* list = static_cast<TParamList*>(gate.StructuredAddress(0, const_cast<char*>(block.data()), &size, &host_list));
  ASSERT_NE(list, nullptr);
  // The list's names, order and values are the address list's (tested with it).
  ASSERT_EQ(list->Count, 10);
  EXPECT_EQ(list->Items[7]->Value, 77);
  EXPECT_EQ(gate.StructuredAddress(3, nullptr, nullptr, &host_list), &host_list);

  // Mode 1 then 2: the host's own list as a block.
  TParams params;
  TParamList* mine = params.Scalar("IdCl", PARAM_INT32, 5).Text("UseComPorts", "01").Text("PhonesList", "7\r\n\r\n8\n").get();
  size = 0;
  EXPECT_EQ(gate.StructuredAddress(1, nullptr, &size, mine), mine);
  ASSERT_EQ(size, 168 + 4 + 2 * 100);
  // A buffer larger than the block: only the block is copied.
  std::string built(static_cast<std::size_t>(size) + 16, '\x55');
  std::int32_t asked = size + 16;
  EXPECT_EQ(gate.StructuredAddress(2, built.data(), &asked, mine), mine);
  EXPECT_EQ(built.substr(static_cast<std::size_t>(size)), std::string(16, '\x55'));
  built.resize(static_cast<std::size_t>(size));
  store::TMdmAddress expected = store::DefaultAddress();
  expected.IdCl = 5;
  expected.UseComPorts[1] = 1;
  EXPECT_EQ(built, RemoteBlock(expected, {"7", "8"}));
  EXPECT_EQ(gate.StructuredAddress(2, built.data(), &size, mine), nullptr) << "the built block was handed over";

  // A list no block can be made of: 0 and the error line, nothing thrown.
  params.Text("PhonesList", std::string(101, '1'));
  size = 9;
  EXPECT_EQ(gate.StructuredAddress(1, nullptr, &size, mine), nullptr);
  EXPECT_EQ(size, 9);
  ASSERT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Errors()[0].text.rfind(std::string(kStructuredError), 0), 0u) << core.Errors()[0].text;
}

TEST_F(EditExports, NilOutArgumentsAreRefused) {
  EXPECT_EQ((std::tuple{gate.ViewAddrGate(nullptr, 0, 0, nullptr), gate.EditGateSetting(nullptr, 0, nullptr, 0)}),
            std::tuple(0, 0));
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, std::string("MDMGATE.ViewAddrGate:(Ошибка EMdmGateError:(TextLen is nil))"_cp));
  EXPECT_EQ(errors[1].text, std::string("MDMGATE.EditGateSetting:(Ошибка EMdmGateError:(NewSize is nil))"_cp));

}

// ---- The dialogs, on the forms backend ----
// Each field the operator uses is on one dialog only, and what each edit
// gives back shows the block that went in.

class EditDialogs : public EditExports {
 protected:
  void SetUp() override {
    EditExports::SetUp();
    TUi::SetUp();
  }
  void TearDown() override { TUi::TearDown(); }
  forms::testing::TOperator& Op() { return TUi::Operator(); }
};

TEST_F(EditDialogs, ConfirmedAddressIsHandedOverOnceToABufferAndACancelledOneKeepsItsSize) {
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Type("edSelfId", "17"));
    EXPECT_TRUE(f.Click("btnOK"));
  });
  std::int32_t new_size = -1;
  ASSERT_EQ(gate.EditAddrGate(nullptr, 0, 1, &new_size, 1), 1);
  ASSERT_EQ(new_size, 168);
  EXPECT_EQ(gate.GetGateData(nullptr), 0) << "a nil buffer keeps the block";
  std::string got(168, '\0');
  ASSERT_EQ(gate.GetGateData(got.data()), 1);
  store::TMdmAddress expected = store::DefaultAddress();
  expected.IdCl = 17;
  EXPECT_EQ(got, OwnBlock(expected));
  EXPECT_EQ(gate.GetGateData(got.data()), 0) << "handed over once";

  const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Type("edIdCl", "99"));
    EXPECT_TRUE(f.Click("btnCancel"));
  });
  EXPECT_EQ((std::tuple{gate.EditAddrGate(block.data(), Len(block), 0, &new_size, 0), new_size}), std::tuple(0, Len(block)));
  EXPECT_EQ(gate.GetGateData(got.data()), 0) << "nothing is held";
  EXPECT_TRUE(core.Errors().empty());
}

TEST_F(EditDialogs, GateSettingsEditedAndCancelled) {
  const std::string block = SettingsBlock({ChannelOn(3)}, false);
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("chbxShowProgress"));
    EXPECT_TRUE(f.Click("btnOk"));
  });
  std::int32_t new_size = -1;
  ASSERT_EQ(gate.EditGateSetting(block.data(), Len(block), &new_size, 1), 1);
  ASSERT_EQ(new_size, Len(block));
  EXPECT_EQ(gate.GetGateSetting(nullptr), 0);
  std::string got(block.size(), '\0');
  ASSERT_EQ(gate.GetGateSetting(got.data()), 1);
  EXPECT_EQ(got, SettingsBlock({ChannelOn(3)}, true));
  EXPECT_EQ(gate.GetGateSetting(got.data()), 0);

  Op().Expect([](TFormDriver& f) { EXPECT_TRUE(f.Click("btnCancel")); });
  new_size = -1;
  EXPECT_EQ((std::tuple{gate.EditGateSetting(block.data(), Len(block), &new_size, 0), new_size}), std::tuple(0, Len(block)));
}

}  // namespace
}  // namespace kestrel::testing
