// The gate manager: initialisation from the settings the core stores, the
// stop that always drops the pool, and the framework's modem-specific slots.
#include "session/MdmMngr.h"

#include "gate/common/GateLog.h"
#include "platform/Cp1251.h"
#include "session/MdmExch.h"
#include "session/MdmList.h"
#include "store/MdmAddrList.h"
#include "store/MdmSettList.h"
#include "tests/session/GateFixture.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::QuickAddress;
using testing::SettingsBlock;

class MdmMngr : public GateFixture {};

TEST_F(MdmMngr, NothingStoredInitialisesWithoutChannelsShowingProgressAndReadsOnce) {
  EXPECT_FALSE(manager->Init());
  EXPECT_EQ(manager->Pool(), nullptr);
  ASSERT_TRUE(manager->InitGate(5));
  EXPECT_TRUE(manager->Initialized());
  EXPECT_TRUE(manager->Init());
  EXPECT_TRUE(manager->GetToShowProgress());
  std::string err;
  std::int32_t index = 0;
  EXPECT_FALSE(manager->Pool()->GetChannelFromSetForSending(QuickAddress({1}), {"1"}, index, 1, nullptr, err));
  EXPECT_EQ(err, "TMPM.GetChannelFromSetForSending:(There no initialized channels.Check gate settings!)");
  EXPECT_TRUE(manager->InitGate(5));
  EXPECT_TRUE(manager->InitGate(6)) << "initialised already: the gate code of the first start holds";
  EXPECT_EQ(core.SettingsReads(), 1);
}

TEST_F(MdmMngr, ShortOrMissingBlocksLeaveThePoolUninitialisedAndAreReadAgain) {
  const std::string header = SettingsBlock({}).substr(0, 104);
  core.StoreSettings(1, header.substr(0, 103));
  EXPECT_FALSE(manager->InitGate(1));
  EXPECT_NE(manager->Pool(), nullptr) << "the pool is built before the settings are read";
  EXPECT_FALSE(manager->Initialized());
  EXPECT_FALSE(manager->Init());
  EXPECT_FALSE(manager->InitGate(1));
  EXPECT_EQ(core.SettingsReads(), 2);

  EXPECT_TRUE(core.Errors().empty()) << "a block too short for its record says nothing of channels";

  // Blocks that configure no channel: the host is told why nothing can work.
  const std::string no_channel(std::string_view("TMGM[].InitGate:(Не настроен ни один модемный канал)"_cp));
  core.StoreSettings(1, header);  // the record alone: the channel part is missing
  EXPECT_FALSE(manager->InitGate(1));
  EXPECT_FALSE(manager->Initialized());
  ASSERT_EQ(core.Errors().size(), 1u);
  EXPECT_EQ(core.Errors()[0].text, no_channel);

  core.StoreSettings(1, SettingsBlock({}, false));  // 108 bytes: no channels
  EXPECT_TRUE(manager->InitGate(1));
  EXPECT_FALSE(manager->GetToShowProgress()) << "the stored record says so";
  ASSERT_EQ(core.Errors().size(), 2u);
  EXPECT_EQ(core.Errors()[1].text, no_channel);
}

TEST_F(MdmMngr, StopGateDropsThePoolLogsAndLetsTheNextInitReadAgain) {
  modems.OnCom(2, "102");
  core.StoreSettings(1, SettingsBlock({ChannelOn(2)}));
  ASSERT_TRUE(manager->InitGate(1));
  ASSERT_TRUE(manager->Pool()->Channels(1).Connected()) << "the modem test leaves the port open";
  core.ClearLines();

  EXPECT_TRUE(manager->StopGate(false));
  EXPECT_EQ(manager->Pool(), nullptr);
  EXPECT_FALSE(manager->Initialized());
  const auto begin = core.LinesWith("TMGM[].StopGate:(Начало функции)"_cp);
  ASSERT_EQ(begin.size(), 1u);
  EXPECT_EQ(begin[0].details, "vStopMode: FALSE");
  const auto end = core.LinesWith("TMGM[].StopGate:(Конец функции)"_cp);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].details, "Return: TRUE");
  ASSERT_TRUE(manager->InitGate(1));
  EXPECT_EQ(core.SettingsReads(), 2);
  EXPECT_TRUE(manager->Pool()->Channels(1).Initialized());
}

TEST_F(MdmMngr, ProgressCaptionIsTheCoresTextOrTheDefault) {
  EXPECT_EQ(manager->GetProgressCaption(), "Modem Gate Progress ");
  core.SetText("M_Kestrel_MdmType_idCaption", std::string("Ход обмена"_cp));
  EXPECT_EQ(manager->GetProgressCaption(), "Ход обмена"_cp);
}

TEST_F(MdmMngr, CreateListenerLogsItsIdentityAndIgnoresTheThirdArgument) {
  const std::string own = testing::OwnBlock(QuickAddress({1}));
  for (const std::int32_t third : {0, 12345}) {
    core.ClearLines();
    std::unique_ptr<host::TListener> listener(
        manager->CreateListener(own.data(), static_cast<std::int32_t>(own.size()), third));
    auto* mdm = dynamic_cast<TMdmListener*>(listener.get());
    ASSERT_NE(mdm, nullptr);
    EXPECT_TRUE(mdm->Initialized());
    const auto lines = core.LinesWith("TMGM[].CreateListener:");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "TMGM[].CreateListener:(Начало функции)"_cp);
    EXPECT_EQ(lines[0].details, "");
    EXPECT_EQ(lines[1].text, "TMGM[].CreateListener:(Конец функции)"_cp);
    EXPECT_EQ(lines[1].details, "Return: $" + Id(*listener));
  }
}

TEST_F(MdmMngr, ExchangerClientIdAndParameterListsAreTheModemOnes) {
  store::TMdmAddress addr = QuickAddress({3});
  addr.IdCl = 4711;
  const std::string block = testing::RemoteBlock(addr, {"101", "102"});
  EXPECT_EQ(manager->GetAddrIdCl(block.data()), 4711);
  EXPECT_EQ(manager->GetAddrIdCl(nullptr), -1);
  std::unique_ptr<host::TExchanger> exchanger(
      manager->CreateExchanger(block.data(), static_cast<std::int32_t>(block.size())));
  auto* mdm = dynamic_cast<TMdmExchanger*>(exchanger.get());
  ASSERT_NE(mdm, nullptr);
  EXPECT_TRUE(mdm->Initialized());
  EXPECT_EQ(mdm->Phones(), (std::vector<std::string>{"101", "102"}));
  EXPECT_EQ(mdm->ChannelIndex(), -1);
  manager->CreateAddrList();
  manager->CreateSettList();
  EXPECT_NE(dynamic_cast<store::TMdmAddrList*>(manager->AddrList), nullptr);
  EXPECT_NE(dynamic_cast<store::TMdmSettList*>(manager->SettList), nullptr);
}

TEST_F(MdmMngr, SetNeedLogFollowsTheLogSwitchOrAStopAndSaysSo) {
  core.ClearLines();
  EXPECT_TRUE(manager->SetNeedLog());
  ASSERT_EQ(core.LinesWith("TMGM[].SetNeedLog:(GateManager проинициализирован)"_cp).size(), 1u);
  gate::LogState().NeedLog = false;
  EXPECT_FALSE(manager->SetNeedLog());
  manager->GateStopping = true;
  EXPECT_TRUE(manager->SetNeedLog());
  manager->GateStopping = false;
}

}  // namespace
}  // namespace kestrel::session
