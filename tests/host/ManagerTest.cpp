// The gate manager's framework slots and services, without a transfer.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/host/FakeLine.h"
#include "host/HostError.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "tests/kit/CoreSpy.h"

namespace kestrel::framework_test {
namespace {

using namespace kestrel::literals;

// A gate that overrides only the two slots it must.
class MinimalGate : public TGateManager {
 public:
  host::TExchanger* CreateExchanger(const void*, std::int32_t) override { return nullptr; }
  host::TListener* CreateListener(const void*, std::int32_t, std::int32_t) override { return nullptr; }
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::EHostError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// The slots' neutral answers are the header's to state; what matters is
// that a gate with neither exchanger nor listener starts nothing.
TEST(GateManager, AGateWithoutExchangerOrListenerStartsNothing) {
  MinimalGate gate;
  EXPECT_EQ(gate.StartListen(nullptr, 0, 1, 3, 0), 0u);
  EXPECT_EQ(ErrorOf([&] { gate.StartTransmit(nullptr, 0, 1, 3, 0); }), "The gate created no exchanger");
  EXPECT_EQ(gate.ProcessList->Count(), 0u);
  EXPECT_TRUE(gate.StopGate(true));
}

TEST(GateManager, SendToGateRaisesForWhatItCannotQueueAndAListenerThatCannotListenIsFreed) {
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
  EXPECT_THROW(gate.ProcessList->AddProcess(nullptr, host::TKindOfProcess::Exchange), host::EHostError);

  // The network takes one listener: a second cannot listen, gets no handle
  // and is freed at once.
  const std::size_t processes = gate.ProcessList->Count();
  EXPECT_EQ(gate.StartListen(nullptr, 0, 1, 3, 0), 0u);
  EXPECT_EQ(TFakeNetwork::LiveListeners.load(), 1);
  EXPECT_EQ(gate.ProcessList->Count(), processes);
}

TEST(GateManager, MessagesLogLinesAndLocalisedTextsGoThroughTheCore) {
  TFakeNetwork net;
  TTestGate gate(net);
  EXPECT_EQ(gate.GetLocalizResourse("M_Kestrel_MdmType_idCaption", "Modem Gate Progress "), "Modem Gate Progress ");
  testing::TCoreSpy spy;
  gate.StartListen(nullptr, 0, 1, 1234, 0);  // sets the gate code
  const TRefPack ref{5, 738000, 3723004};
  gate.OnLineGateInfo(1, std::string("Сбой линии"_cp), &ref, true, false);
  gate.OnLineGateInfo(1, "no ref", nullptr, true, false);
  const auto infos = spy.Errors();
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0].text, "Сбой линии"_cp);
  EXPECT_EQ(infos[0].details, "No=5; Date=29.07.2021; Time=01:02:03.004");
  EXPECT_EQ(infos[0].code, 1234);
  EXPECT_EQ(infos[1].text, "no ref");
  EXPECT_TRUE(infos[1].null_details);
  const auto listening = spy.LinesWith("TGateManager.StartListen:(Listening)");
  ASSERT_EQ(listening.size(), 1u);
  EXPECT_EQ(listening[0].prefix.rfind("[$", 0), 0u) << "thread prefix";
  EXPECT_EQ(listening[0].code, 1234);
  // A gate that wants no log gets no framework lines.
  const std::size_t lines = spy.Lines().size();
  gate.NeedLog = false;
  (void)gate.StopGate(true);
  EXPECT_EQ(spy.Lines().size(), lines);

  spy.SetText("M_Kestrel_MdmType_idCaption", std::string("Модемный шлюз"_cp));
  spy.SetText("Long", std::string(1000, 'L') + "!");
  spy.SetText("Empty", "");
  EXPECT_EQ(gate.GetLocalizResourse("M_Kestrel_MdmType_idCaption", "x"), std::string("Модемный шлюз"_cp));
  EXPECT_EQ(gate.GetLocalizResourse("Long", "x"), std::string(1000, 'L') + "!");
  EXPECT_EQ(gate.GetLocalizResourse("Empty", "x"), "");
  EXPECT_EQ(gate.GetLocalizResourse("Missing", "fallback"), "fallback");
}

}  // namespace
}  // namespace kestrel::framework_test
