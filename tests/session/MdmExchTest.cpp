// The exchanger: reading its address block, and how each operation reports
// failures (logged, never raised) with and without a channel.
#include "session/MdmExch.h"

#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "session/MdmMngr.h"
#include "tests/pool/ChannelBench.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::QuickAddress;
using testing::RemoteBlock;
using testing::SettingsBlock;

class MdmExch : public ::testing::Test {
 protected:
  MdmExch() { access.Add(manager.get()); }
  ~MdmExch() override { manager.reset(); }

  std::unique_ptr<TMdmExchanger> Make(const std::string& block) {
    return std::make_unique<TMdmExchanger>(manager.get(), block.data(), static_cast<std::int32_t>(block.size()));
  }
  static std::string Id(const TMdmExchanger& e) { return host::Hex8(e.Identity()); }

  testing::TModemBench modems;
  testing::TLoggingCore core;
  testing::TTestAccess access;
  std::unique_ptr<TMdmGateManager> manager = std::make_unique<TMdmGateManager>();
};

TEST_F(MdmExch, AddressBlockDecidesWhetherTheExchangerIsInitialised) {
  store::TMdmAddress addr = QuickAddress({2});
  addr.RestoreConnTries = 5;
  const std::string record = testing::OwnBlock(addr);

  auto bare = Make(record);  // 168 bytes: no phone section
  EXPECT_TRUE(bare->Initialized());
  EXPECT_TRUE(bare->Phones().empty());
  EXPECT_EQ(std::int32_t{bare->Addr().RestoreConnTries}, 5);

  auto with_phones = Make(RemoteBlock(addr, {" 101 ", "102"}));
  EXPECT_TRUE(with_phones->Initialized());
  EXPECT_EQ(with_phones->Phones(), (std::vector<std::string>{"101", "102"}));

  auto broken_phones = Make(RemoteBlock(addr, {"101"}).substr(0, 168 + 4 + 99));
  EXPECT_FALSE(broken_phones->Initialized());
  EXPECT_TRUE(broken_phones->Phones().empty());

  auto short_block = Make(record.substr(0, 100));
  EXPECT_FALSE(short_block->Initialized());
  EXPECT_EQ(std::int32_t{short_block->Addr().RestoreConnTries}, 2) << "the default record stays";

  TMdmExchanger none(manager.get(), nullptr, 0);
  EXPECT_FALSE(none.Initialized());
}

TEST_F(MdmExch, RestoreParametersAndTimeOutsComeFromTheAddress) {
  store::TMdmAddress addr = QuickAddress({2});
  addr.RestoreConnAfterBreakTimeOut = 1.0 + store::MsToTimeSpan(90000);  // a whole day is dropped
  addr.RestoreConnTimeOut = store::MsToTimeSpan(4000);
  addr.RestoreConnTries = 7;
  addr.StayOnLineTimeOut = store::MsToTimeSpan(5000);
  auto e = Make(RemoteBlock(addr, {"1"}));
  EXPECT_EQ(e->GetRestoreConnAfterBreakTimeOut(), 90000);
  EXPECT_DOUBLE_EQ(e->GetStayOnLineTimeOut(), store::MsToTimeSpan(5000));
  double timeout = 0;
  std::int32_t tries = 0;
  e->GetRestoreConnParams(timeout, tries);
  EXPECT_DOUBLE_EQ(timeout, store::MsToTimeSpan(4000));
  EXPECT_EQ(tries, 7);
}

TEST_F(MdmExch, UninitialisedExchangerRefusesConnectAndDisConnectWithErrorLines) {
  ASSERT_TRUE(manager->InitGate(1));
  auto e = Make(std::string(100, '\0'));
  core.ClearLines();
  EXPECT_FALSE(e->Connect());
  EXPECT_FALSE(e->DisConnect());
  const std::string id = Id(*e);
  const auto lines = core.Lines();
  std::vector<std::string> texts;
  for (const auto& l : lines) texts.push_back(std::to_string(l.kind) + " " + l.text + " | " + l.details);
  const std::vector<std::string> expected = {
      "2 TME[$" + id + "].Connect:(" + std::string("Начало функции"_cp) + ") | ",
      "1 TME[$" + id + "].Connect:(" + std::string("Ошибка"_cp) + " Exception:(Exchanger not initialized)) | ",
      "2 TME[$" + id + "].Connect:(" + std::string("Ошибка"_cp) + " Exception:(Exchanger not initialized)) | ",
      "2 TME[$" + id + "].Connect:(" + std::string("Конец функции"_cp) + ") | Result: FALSE",
      "2 TME[$" + id + "].DisConnect:(" + std::string("Начало функции"_cp) + ") | ",
      "1 TME[$" + id + "].DisConnect:(" + std::string("Ошибка"_cp) + " Exception:(Exchanger not initialized)) | ",
      "2 TME[$" + id + "].DisConnect:(" + std::string("Ошибка"_cp) + " Exception:(Exchanger not initialized)) | ",
      "2 TME[$" + id + "].DisConnect:(" + std::string("Конец функции"_cp) + ") | Result: FALSE",
  };
  EXPECT_EQ(texts, expected);
}

TEST_F(MdmExch, ConnectWithoutChannelsCarriesThePoolsText) {
  ASSERT_TRUE(manager->InitGate(1));  // nothing stored: no channel
  auto e = Make(RemoteBlock(QuickAddress({1}), {"101"}));
  EXPECT_FALSE(e->Connect());
  EXPECT_EQ(e->ChannelIndex(), -1);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, "TME[$" + Id(*e) + "].Connect:(" + std::string("Ошибка"_cp) +
                                " Exception:(TMPM.GetChannelFromSetForSending:(There no initialized channels.Check "
                                "gate settings!)))");
}

TEST_F(MdmExch, DisConnectThatNeverConnectedReleasesNothingAndSucceeds) {
  ASSERT_TRUE(manager->InitGate(1));
  auto e = Make(RemoteBlock(QuickAddress({1}), {"101"}));
  core.ClearLines();
  EXPECT_TRUE(e->DisConnect());
  const auto release = core.LinesWith("TMPM[].ReleaseSendingChannelByIndOwner:");
  ASSERT_EQ(release.size(), 2u);
  EXPECT_EQ(release[0].text,
            "TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: -1; vSeOwner: " + Id(*e) + ")");
  EXPECT_EQ(core.LinesWith("TME[$" + Id(*e) + "].DisConnect:(" + std::string("Конец функции"_cp))[0].details,
            "Result: TRUE");
}

TEST_F(MdmExch, SendAndReceiveWithoutChannelFailOnTheListIndex) {
  ASSERT_TRUE(manager->InitGate(1));
  auto e = Make(RemoteBlock(QuickAddress({1}), {"101"}));
  core.ClearLines();
  EXPECT_FALSE(e->Send(""));
  EXPECT_EQ(e->Receive(), "");
  const std::string id = Id(*e);
  const auto send_begin = core.LinesWith("].Send:(" + std::string("Начало функции"_cp));
  ASSERT_EQ(send_begin.size(), 1u);
  EXPECT_EQ(send_begin[0].text, "TME[$" + id + "].Send:(" + std::string("Начало функции"_cp) +
                                    "); DETAILS: ToSend: OCTET(0)");
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text,
            "TME[$" + id + "].Send:(" + std::string("Ошибка"_cp) + " EListError:(List index out of bounds (-1)))");
  EXPECT_EQ(errors[1].text,
            "TME[$" + id + "].Receive:(" + std::string("Ошибка"_cp) + " EListError:(List index out of bounds (-1)))");
  const auto send_end = core.LinesWith("].Send:(" + std::string("Конец функции"_cp));
  ASSERT_EQ(send_end.size(), 1u);
  // Elapsed time is at least 1 ms; the rate of 0 bytes is 0 whatever it was.
  EXPECT_EQ(send_end[0].details.rfind("Result: FALSE; 0 bytes for ", 0), 0u) << send_end[0].details;
  EXPECT_NE(send_end[0].details.find(" ms; Rate: 0 Bit / sec"), std::string::npos) << send_end[0].details;
  EXPECT_EQ(send_end[0].details.find("for 0 ms"), std::string::npos);
  const auto recv_end = core.LinesWith("].Receive:(" + std::string("Конец функции"_cp));
  ASSERT_EQ(recv_end.size(), 1u);
  EXPECT_EQ(recv_end[0].details, "ResLen: 0");
}

TEST_F(MdmExch, ConnectedExchangerReportsALostCarrierOnReceiveAndGivesTheChannelBack) {
  modems.OnCom(1, "101");
  const platform::TPortHandle far = modems.Terminal("200");
  ASSERT_TRUE(testing::TModemBench::Type(far, "ATE0S0=1\r"));
  ASSERT_NE(testing::TModemBench::ReadUntil(far, "OK", 3000).find("OK"), std::string::npos);
  core.StoreSettings(1, SettingsBlock({ChannelOn(1)}));
  ASSERT_TRUE(manager->InitGate(1));

  auto e = Make(RemoteBlock(QuickAddress({1}), {"200"}));
  ASSERT_TRUE(e->Connect());
  EXPECT_EQ(e->ChannelIndex(), 0);
  EXPECT_EQ(manager->Pool()->Channels(0).SendingOwner(), e->Identity());
  ASSERT_TRUE(e->Send("hello"));
  const auto sent = core.LinesWith("].Send:(" + std::string("Конец функции"_cp));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].details.rfind("Result: TRUE; 5 bytes for ", 0), 0u) << sent[0].details;

  modems.Close(far);  // the far modem hangs up
  EXPECT_EQ(e->Receive(), "");
  const auto failed = core.LinesWith("].Receive:(Channels[i].RecvByChannel: FALSE); ErrStr: ");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].text, "TME[$" + Id(*e) +
                                "].Receive:(Channels[i].RecvByChannel: FALSE); ErrStr: TMD.MdmRecvExch:(Carrier "
                                "Detect is not in GetLineStatus set)");
  EXPECT_EQ(failed[0].details, "PortName: \\\\.\\COM1; Result : ");
  EXPECT_TRUE(core.Errors().empty()) << "a failed receive is no error report";

  EXPECT_TRUE(e->DisConnect());
  EXPECT_EQ(e->ChannelIndex(), -1);
  EXPECT_FALSE(manager->Pool()->Channels(0).Sending());
}

}  // namespace
}  // namespace kestrel::session
