// The gate manager's framework slots and services, without a transfer.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "CoreSpy.h"
#include "FakeLine.h"
#include "host/HostError.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"

namespace kestrel::framework_test {
namespace {

using namespace kestrel::literals;
using host::EHostError;

// A gate that overrides only the two slots it must.
class MinimalGate : public TGateManager {
 public:
  host::TExchanger* CreateExchanger(const void*, std::int32_t) override { return nullptr; }
  host::TListener* CreateListener(const void*, std::int32_t, std::int32_t) override { return nullptr; }
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EHostError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TEST(GateManager, AMinimalGateGetsNeutralDefaults) {
  MinimalGate gate;
  std::int32_t size = 0;
  EXPECT_TRUE(gate.Init());
  EXPECT_TRUE(gate.CanEstablishConnection(nullptr, 0));
  EXPECT_FALSE(gate.GetToShowProgress());
  EXPECT_FALSE(gate.SetNeedLog());
  EXPECT_EQ(gate.GetProgressCaption(), "");
  EXPECT_FALSE(gate.EditAddress(nullptr, 0, true, size, false));
  EXPECT_FALSE(gate.GetEditedSettings(nullptr));
  EXPECT_EQ(gate.GetAddrIdCl(nullptr), 0);
  EXPECT_EQ(gate.AdjustmentGate(1, nullptr, &size, nullptr), 0);
  // No listener, no exchanger: nothing starts and nothing is held.
  EXPECT_EQ(gate.StartListen(nullptr, 0, 1, 3, 0), 0u);
  EXPECT_EQ(ErrorOf([&] { gate.StartTransmit(nullptr, 0, 1, 3, 0); }), "The gate created no exchanger");
  EXPECT_EQ(gate.ProcessList->Count(), 0u);
  EXPECT_TRUE(gate.StopGate(true));
}

TEST(GateManager, SendToGateRaisesForWhatItCannotQueue) {
  TFakeNetwork net;
  TTestGate gate(net);
  const KHandle tx = gate.StartTransmit(nullptr, 0, 1, 3, 0);
  ASSERT_TRUE(gate.StartListen(nullptr, 0, 1, 3, 0) != 0);
  const TRefPack ref{1, 2, 3};
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", 1, &ref, 0x12AB); }), "Transmit process $000012AB does not exist");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", 1, &ref, 0); }), "Transmit process $00000000 does not exist");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", 1, nullptr, tx); }), "No packet reference");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate(nullptr, 5, &ref, tx); }), "No packet data (size 5)");
  EXPECT_EQ(ErrorOf([&] { gate.SendToGate("x", -1, &ref, tx); }), "No packet data (size -1)");
  EXPECT_FALSE(gate.StopTransmit(0x12AB));
  EXPECT_FALSE(gate.StopListen(tx, true)) << "a transmit handle is no listener";
  EXPECT_FALSE(gate.StopListen(0, true));
  EXPECT_THROW(gate.ProcessList->AddProcess(nullptr, host::TKindOfProcess::Exchange), EHostError);
}

TEST(GateManager, AListenerThatCannotListenIsFreedAndGivesNoHandle) {
  TFakeNetwork net;
  net.RefuseListen = true;
  TTestGate gate(net);
  EXPECT_EQ(gate.StartListen(nullptr, 0, 1, 3, 0), 0u);
  EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 0);
  EXPECT_EQ(gate.ProcessList->Count(), 0u);
}

TEST(GateManager, MessagesAndLogLinesGoToTheCoreWithTheGateCode) {
  CoreSpy spy;
  TFakeNetwork net;
  TTestGate gate(net);
  gate.StartListen(nullptr, 0, 1, 1234, 0);  // sets the gate code
  const TRefPack ref{5, 738000, 3723004};
  gate.OnLineGateInfo(1, std::string("Сбой линии"_cp), &ref, true, false);
  gate.OnLineGateInfo(1, "no ref", nullptr, true, false);
  const auto infos = spy.Infos();
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0], std::string("Сбой линии"_cp) + "|No=5; Date=29.07.2021; Time=01:02:03.004");
  EXPECT_EQ(infos[1], "no ref|(null)");
  ASSERT_FALSE(spy.Logs().empty());
  EXPECT_EQ(spy.Logs().back().rfind("[$", 0), 0u) << "thread prefix";
  EXPECT_TRUE(spy.LogContains("TGateManager.StartListen:(Listening)"));

  // A gate that wants no log gets no framework lines.
  const std::size_t lines = spy.Logs().size();
  gate.NeedLog = false;
  gate.StopGate(true);
  EXPECT_EQ(spy.Logs().size(), lines);
}

TEST(GateManager, LocalisedTextsComeFromTheCoreElseTheDefault) {
  TFakeNetwork net;
  TTestGate gate(net);
  EXPECT_EQ(gate.GetLocalizResourse("M_Kestrel_MdmType_idCaption", "Modem Gate Progress "), "Modem Gate Progress ");
  CoreSpy spy;
  spy.Texts["M_Kestrel_MdmType_idCaption"] = std::string("Модемный шлюз"_cp);
  spy.Texts["Long"] = std::string(1000, 'L') + "!";
  spy.Texts["Empty"] = "";
  EXPECT_EQ(gate.GetLocalizResourse("M_Kestrel_MdmType_idCaption", "x"), std::string("Модемный шлюз"_cp));
  EXPECT_EQ(gate.GetLocalizResourse("Long", "x"), std::string(1000, 'L') + "!");
  EXPECT_EQ(gate.GetLocalizResourse("Empty", "x"), "");
  EXPECT_EQ(gate.GetLocalizResourse("Missing", "fallback"), "fallback");
}

}  // namespace
}  // namespace kestrel::framework_test
